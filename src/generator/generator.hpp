// CypherGenerator: random Cypher query texts of thirteen named shapes that fit a Schema.
// Labels, properties and relationship types come from the generator's own schema copy, literal
// values from small fixed pools; a seed fixes the whole output sequence.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "generator/random.hpp"
#include "schema.hpp"

namespace tessark {

class CypherGenerator {
 public:
  // The query types in their listing order.
  static constexpr std::array<std::string_view, 13> kQueryTypes = {
      "match_return", "match_where_return", "create",          "merge",
      "aggregation",  "match_relationship", "create_relationship", "match_set",
      "match_delete", "with_chain",         "distinct_return", "order_by",
      "unwind"};

  // Copies the schema. Without a seed the state comes from the operating system (which throws
  // std::system_error if its entropy source fails).
  CypherGenerator(const Schema& schema, std::optional<std::uint64_t> seed);

  // One query of the given type; a Generator error "Unknown query type: <type>" (and no draw)
  // for any other text.
  Result<std::string> generate(std::string_view query_type);

  const RandomGenerator& rng() const { return rng_; }

 private:
  std::string pick_label();
  std::optional<std::string> pick_node_prop(const std::string& label);
  std::string maybe_limit();
  std::string gen_scalar_value();
  std::string gen_string_value();
  std::string gen_property_map(const std::string& label);

  std::vector<std::string> labels_;     // node labels, sorted
  std::vector<std::string> rel_types_;  // relationship types, sorted
  Schema schema_;                       // own copy, for relationship endpoints
  std::map<std::string, std::vector<std::string>, std::less<>> label_props_;  // sorted lists
  RandomGenerator rng_;
};

}  // namespace tessark
