#include "generator/generator.hpp"

#include <algorithm>
#include <utility>

namespace tessark {
namespace {

constexpr std::array<std::string_view, 5> kStringLiterals = {"\"Alice\"", "\"Bob\"", "\"Carol\"",
                                                             "\"Neo4j\"", "\"hello\""};
constexpr std::array<std::string_view, 4> kParameters = {"$name", "$id", "$value", "$limit"};

// Label used when the schema has none; it has no properties.
constexpr std::string_view kFallbackLabel = "Node";

std::vector<std::string> to_strings(const std::vector<std::string_view>& views) {
  return {views.begin(), views.end()};
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out += separator;
    out += parts[i];
  }
  return out;
}

RandomGenerator seeded(std::optional<std::uint64_t> seed) {
  return seed ? RandomGenerator::from_seed(*seed) : RandomGenerator::from_entropy();
}

std::string concat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out += piece;
  return out;
}

}  // namespace

CypherGenerator::CypherGenerator(const Schema& schema, std::optional<std::uint64_t> seed)
    : labels_(to_strings(schema.node_labels())),
      rel_types_(to_strings(schema.rel_types())),
      schema_(schema),
      rng_(seeded(seed)) {
  for (const std::string& label : labels_) {
    label_props_.emplace(label, to_strings(schema_.node_properties(label)));
  }
}

std::string CypherGenerator::pick_label() {
  const auto index = rng_.pick(static_cast<std::uint32_t>(labels_.size()));
  return index ? labels_[*index] : std::string(kFallbackLabel);
}

std::optional<std::string> CypherGenerator::pick_node_prop(const std::string& label) {
  const auto found = label_props_.find(label);
  if (found == label_props_.end()) return std::nullopt;
  const auto index = rng_.pick(static_cast<std::uint32_t>(found->second.size()));
  if (!index) return std::nullopt;
  return found->second[*index];
}

std::string CypherGenerator::maybe_limit() {
  if (rng_.below(3) != 0) return {};
  return " LIMIT " + std::to_string(rng_.between(1, 50));
}

std::string CypherGenerator::gen_scalar_value() {
  switch (rng_.draw32() >> 30) {
    case 0:
      return std::string(kStringLiterals[rng_.below(5)]);
    case 1:
      return std::to_string(rng_.between(1, 100));
    case 2:
      return (rng_.draw32() >> 31) != 0 ? "false" : "true";
    default:
      return std::string(kParameters[rng_.draw32() >> 30]);
  }
}

std::string CypherGenerator::gen_string_value() {
  if (rng_.below(3) != 0) return std::string(kStringLiterals[rng_.draw32() >> 30]);
  return std::string(kParameters[rng_.below(3)]);
}

std::string CypherGenerator::gen_property_map(const std::string& label) {
  const auto found = label_props_.find(label);
  if (found == label_props_.end() || found->second.empty()) return {};
  const std::vector<std::string>& props = found->second;
  const auto count = static_cast<std::uint32_t>(props.size());
  const std::uint32_t amount = 1 + rng_.below(std::min<std::uint32_t>(count, 3));
  std::vector<std::string> entries;
  for (std::uint32_t index : rng_.distinct(count, amount)) {
    entries.push_back(props[index] + ": " + gen_scalar_value());
  }
  return " {" + join(entries, ", ") + "}";
}

Result<std::string> CypherGenerator::generate(std::string_view query_type) {
  if (query_type == "match_return") {
    const std::string label = pick_label();
    const std::string limit = maybe_limit();
    return concat({"MATCH (n:", label, ") RETURN n", limit});
  }
  if (query_type == "match_where_return") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    if (!prop) return concat({"MATCH (n:", label, ") RETURN n", maybe_limit()});
    const std::string value = gen_string_value();
    const std::string limit = maybe_limit();
    return concat({"MATCH (n:", label, ") WHERE n.", *prop, " = ", value, " RETURN n.", *prop,
                   limit});
  }
  if (query_type == "create" || query_type == "merge") {
    const std::string label = pick_label();
    const std::string map = gen_property_map(label);
    return concat({query_type == "create" ? "CREATE" : "MERGE", " (n:", label, map, ") RETURN n"});
  }
  if (query_type == "aggregation") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    if (!prop) return concat({"MATCH (n:", label, ") RETURN count(n) AS result"});
    return concat({"MATCH (n:", label, ") RETURN count(n.", *prop, ") AS result"});
  }
  if (query_type == "match_relationship" || query_type == "create_relationship") {
    const auto type_index = rng_.pick(static_cast<std::uint32_t>(rel_types_.size()));
    const bool create = query_type == "create_relationship";
    if (!type_index) {
      return concat({create ? "CREATE" : "MATCH", " (n:", pick_label(), ") RETURN n"});
    }
    const std::string& type = rel_types_[*type_index];
    const auto endpoints = schema_.rel_src_tgt(type);
    const std::string_view source = endpoints ? endpoints->first : kFallbackLabel;
    const std::string_view target = endpoints ? endpoints->second : kFallbackLabel;
    if (create) {
      return concat({"MATCH (a:", source, "),(b:", target, ") CREATE (a)-[r:", type,
                     "]->(b) RETURN r"});
    }
    const std::string_view optional = rng_.draw32() < 0x40000000U ? "OPTIONAL " : "";
    return concat({optional, "MATCH (a:", source, ")-[r:", type, "]->(b:", target,
                   ") RETURN a, r, b"});
  }
  if (query_type == "match_set") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    if (!prop) return concat({"MATCH (n:", label, ") RETURN n"});
    const std::string value = gen_string_value();
    return concat({"MATCH (n:", label, ") SET n.", *prop, " = ", value, " RETURN n"});
  }
  if (query_type == "match_delete") {
    return concat({"MATCH (n:", pick_label(), ") DETACH DELETE n"});
  }
  if (query_type == "with_chain") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    if (!prop) return concat({"MATCH (n:", label, ") WITH n AS val RETURN count(*)"});
    return concat({"MATCH (n:", label, ") WITH n.", *prop, " AS val RETURN count(*)"});
  }
  if (query_type == "distinct_return") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    const std::string limit = maybe_limit();
    return concat({"MATCH (n:", label, ") RETURN DISTINCT n", prop ? "." : "", prop.value_or(""),
                   limit});
  }
  if (query_type == "order_by") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    const std::string_view descending = (rng_.draw32() >> 31) != 0 ? " DESC" : "";
    const std::string limit = maybe_limit();
    if (!prop) return concat({"MATCH (n:", label, ") RETURN n ORDER BY n", limit});
    return concat({"MATCH (n:", label, ") RETURN n ORDER BY n.", *prop, descending, limit});
  }
  if (query_type == "unwind") {
    const std::string label = pick_label();
    const auto prop = pick_node_prop(label);
    const std::uint32_t count = 2 + rng_.below(3);
    std::vector<std::string> values;
    for (std::uint32_t i = 0; i < count; ++i) values.push_back(gen_scalar_value());
    if (prop) return concat({"MATCH (n:", label, ") UNWIND n.", *prop, " AS item RETURN item"});
    return concat({"UNWIND [", join(values, ", "), "] AS item RETURN item"});
  }
  return CypherError::generator(concat({"Unknown query type: ", query_type}));
}

}  // namespace tessark
