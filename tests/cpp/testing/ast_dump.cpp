// TEST ONLY: see ast_dump.hpp. Recursive, so only for the small trees of tests.
#include "testing/ast_dump.hpp"

#include <charconv>
#include <initializer_list>
#include <string_view>

namespace tessark::testing {
namespace {

template <typename Range, typename Print>
std::string join(const Range& items, std::string_view separator, Print print) {
  std::string out;
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += separator;
    first = false;
    out += print(item);
  }
  return out;
}

std::string dump_box(const Box<Expr>& expr) { return expr ? dump(*expr) : "_"; }

std::string names(const std::vector<std::string>& parts, std::string_view lead,
                  std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    out += i == 0 ? lead : separator;
    out += parts[i];
  }
  return out;
}

std::string dump_map(const PropertyMap& map) {
  return "{" + join(map, ", ", [](const auto& entry) {
           return entry.first + ": " + dump(entry.second);
         }) + "}";
}

std::string dump_properties(const std::optional<MapOrParam>& properties) {
  if (!properties) return "";
  if (const auto* map = properties->as<MapOrParam::Map>()) return dump_map(*map);
  return "$" + properties->as<MapOrParam::Param>()->name;
}

// Joins the non-empty pieces with single blanks.
std::string spaced(std::initializer_list<std::string> pieces) {
  std::string out;
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;
    if (!out.empty()) out += ' ';
    out += piece;
  }
  return out;
}

std::string dump_node(const NodePattern& node) {
  return "(" +
         spaced({node.variable.value_or("") + names(node.labels, ":", ":"),
                 dump_properties(node.properties)}) +
         ")";
}

std::string dump_bound(const std::optional<std::int64_t>& bound) {
  return bound ? std::to_string(*bound) : "";
}

std::string dump_relationship(const RelationshipPattern& rel) {
  std::string length =
      rel.length ? "*" + dump_bound(rel.length->min) + ".." + dump_bound(rel.length->max) : "";
  std::string inside = spaced({rel.variable.value_or("") + names(rel.rel_types, ":", "|"), length,
                               dump_properties(rel.properties)});
  std::string body = "-[" + inside + "]-";
  switch (rel.direction) {
    case Direction::Outgoing: return body + ">";
    case Direction::Incoming: return "<" + body;
    case Direction::Undirected: return body;
  }
  return body;
}

std::string dump_property_expr(const PropertyExpr& target) {
  return target.variable + names(target.keys, ".", ".");
}

std::string dump_set_item(const SetItem& item) {
  if (const auto* p = item.as<SetItem::Property>()) {
    return dump_property_expr(p->target) + " = " + dump(p->value);
  }
  if (const auto* r = item.as<SetItem::Replace>()) return r->variable + " = " + dump(r->value);
  if (const auto* a = item.as<SetItem::Append>()) return a->variable + " += " + dump(a->value);
  const auto* l = item.as<SetItem::Labels>();
  return l->variable + names(l->labels, ":", ":");
}

std::string dump_set_items(const std::vector<SetItem>& items) {
  return join(items, ", ", dump_set_item);
}

std::string dump_return_item(const ReturnItem& item) {
  return dump(item.expression) + (item.alias ? " AS " + *item.alias : "");
}

std::string dump_items(const std::vector<ReturnItem>& items) {
  return items.empty() ? "*" : join(items, ", ", dump_return_item);
}

std::string dump_tail(const std::optional<std::vector<SortItem>>& order_by,
                      const std::optional<Expr>& skip, const std::optional<Expr>& limit) {
  std::string out;
  if (order_by) {
    out += " ORDER BY " + join(*order_by, ", ", [](const SortItem& item) {
             return dump(item.expression) + (item.descending ? " DESC" : "");
           });
  }
  if (skip) out += " SKIP " + dump(*skip);
  if (limit) out += " LIMIT " + dump(*limit);
  return out;
}

std::string dump_return(const ReturnClause& clause) {
  std::string items = clause.items.is<ReturnItems::All>()
                          ? "<All>"
                          : dump_items(clause.items.as<ReturnItems::Items>()->items);
  return std::string("RETURN ") + (clause.distinct ? "DISTINCT " : "") + items +
         dump_tail(clause.order_by, clause.skip, clause.limit);
}

std::string dump_with(const WithClause& clause) {
  return std::string("WITH ") + (clause.distinct ? "DISTINCT " : "") + dump_items(clause.items) +
         dump_tail(clause.order_by, clause.skip, clause.limit) +
         (clause.where_clause ? " WHERE " + dump(*clause.where_clause) : "");
}

std::string dump_call(const CallClause& call) {
  std::string out = "CALL " + call.procedure + "(" +
                    join(call.arguments, ", ", [](const Expr& e) { return dump(e); }) + ")";
  if (!call.yield_items.empty()) {
    out += " YIELD " + join(call.yield_items, ", ", [](const YieldItem& item) {
             return item.field ? *item.field + " AS " + item.variable : item.variable;
           });
  }
  return out;
}

std::string dump_clauses(const std::vector<ReadingClause>& reading,
                         const std::vector<UpdatingClause>& updating) {
  std::string out;
  for (const auto& clause : reading) out += (out.empty() ? "" : " ") + dump(clause);
  for (const auto& clause : updating) out += (out.empty() ? "" : " ") + dump(clause);
  return out;
}

std::string with_return(std::string clauses, const std::optional<ReturnClause>& clause) {
  if (!clause) return clauses;
  return clauses + (clauses.empty() ? "" : " ") + dump_return(*clause);
}

std::string dump_float(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}


}  // namespace

// The alternatives' names, in declared order.
constexpr std::string_view kExprNames[] = {
    "IntegerLiteral", "FloatLiteral", "StringLiteral", "BooleanLiteral", "NullLiteral",
    "ListLiteral", "MapLiteral", "Variable", "PropertyAccess", "Subscript", "Slice", "Parameter",
    "Or", "Xor", "And", "Not", "Equal", "NotEqual", "LessThan", "LessThanOrEqual", "GreaterThan",
    "GreaterThanOrEqual", "RegexMatch", "IsNull", "IsNotNull", "In", "StartsWith", "EndsWith",
    "Contains", "Add", "Subtract", "Multiply", "Divide", "Modulo", "Power", "Negate",
    "FunctionCall", "CountStar", "Case", "ListComprehension", "QuantifierAll", "QuantifierAny",
    "QuantifierNone", "QuantifierSingle", "Exists"};
static_assert(std::size(kExprNames) == std::variant_size_v<Expr::Value>);

std::string dump(const Expr& expr) {
  return std::visit(
      [&expr](const auto& node) -> std::string {
        using T = std::decay_t<decltype(node)>;
        if constexpr (std::is_same_v<T, IntegerLiteral>) return std::to_string(node.value);
        else if constexpr (std::is_same_v<T, FloatLiteral>) return "F" + dump_float(node.value);
        else if constexpr (std::is_same_v<T, StringLiteral>) return "'" + node.value + "'";
        else if constexpr (std::is_same_v<T, BooleanLiteral>) return node.value ? "true" : "false";
        else if constexpr (std::is_same_v<T, NullLiteral>) return "null";
        else if constexpr (std::is_same_v<T, ListLiteral>)
          return "[" + join(node.elements, ", ", [](const Expr& e) { return dump(e); }) + "]";
        else if constexpr (std::is_same_v<T, MapLiteral>) return dump_map(node.entries);
        else if constexpr (std::is_same_v<T, Variable>) return node.name;
        else if constexpr (std::is_same_v<T, PropertyAccess>)
          return "Prop(" + dump_box(node.expression) + ", " + node.key + ")";
        else if constexpr (std::is_same_v<T, Subscript>)
          return "Index(" + dump_box(node.expression) + ", " + dump_box(node.index) + ")";
        else if constexpr (std::is_same_v<T, Slice>)
          return "Slice(" + dump_box(node.expression) + ", " + dump_box(node.from) + ", " +
                 dump_box(node.to) + ")";
        else if constexpr (std::is_same_v<T, Parameter>) return "$" + node.name;
        else if constexpr (std::is_same_v<T, FunctionCall>)
          return "Call(" + node.name + (node.distinct ? ", DISTINCT" : "") +
                 join(node.arguments, "", [](const Expr& e) { return ", " + dump(e); }) + ")";
        else if constexpr (std::is_same_v<T, CountStar>) return "CountStar";
        else if constexpr (std::is_same_v<T, Case>)
          return "Case(" + dump_box(node.subject) + ", [" +
                 join(node.alternatives, ", ",
                      [](const CaseAlternative& a) {
                        return dump(a.condition) + " -> " + dump(a.result);
                      }) +
                 "], " + dump_box(node.else_expression) + ")";
        else if constexpr (std::is_same_v<T, ListComprehension>)
          return "ListComp(" + node.variable + ", " + dump_box(node.list) + ", " +
                 dump_box(node.predicate) + ", " + dump_box(node.projection) + ")";
        else if constexpr (requires { node.list; node.predicate; })  // the quantifiers
          return std::string(kExprNames[expr.value.index()]) + "(" + node.variable + ", " +
                 dump_box(node.list) + ", " + dump_box(node.predicate) + ")";
        else if constexpr (std::is_same_v<T, Exists>) {
          if (const auto* p = node.subquery->template as<ExistsSubquery::Pattern>())
            return "Exists{" + dump(*p) + "}";
          return "Exists{" + dump(*node.subquery->template as<ExistsSubquery::Query>()) + "}";
        } else {
          std::string name(kExprNames[expr.value.index()]);
          if constexpr (requires { node.left; })
            return name + "(" + dump_box(node.left) + ", " + dump_box(node.right) + ")";
          else
            return name + "(" + dump_box(node.operand) + ")";
        }
      },
      expr.value);
}

std::string dump(const PatternPart& part) {
  std::string out = part.variable ? *part.variable + " = " : "";
  out += dump_node(part.start);
  for (const PatternStep& step : part.chain) {
    out += dump_relationship(step.relationship) + dump_node(step.node);
  }
  return out;
}

std::string dump(const Pattern& pattern) {
  return join(pattern.parts, ", ", [](const PatternPart& part) { return dump(part); });
}

std::string dump(const ReadingClause& clause) {
  if (const auto* match = clause.as<ReadingClause::Match>()) {
    return std::string(match->optional ? "OPTIONAL " : "") + "MATCH " + dump(match->pattern) +
           (match->where_clause ? " WHERE " + dump(*match->where_clause) : "");
  }
  if (const auto* unwind = clause.as<ReadingClause::Unwind>()) {
    return "UNWIND " + dump(unwind->expression) + " AS " + unwind->variable;
  }
  return dump_call(*clause.as<ReadingClause::Call>());
}

std::string dump(const UpdatingClause& clause) {
  if (const auto* create = clause.as<UpdatingClause::Create>()) return "CREATE " + dump(*create);
  if (const auto* merge = clause.as<UpdatingClause::Merge>()) {
    std::string out = "MERGE " + dump(merge->pattern);
    for (const auto& items : merge->on_match) out += " ON MATCH SET " + dump_set_items(items);
    for (const auto& items : merge->on_create) out += " ON CREATE SET " + dump_set_items(items);
    return out;
  }
  if (const auto* set = clause.as<UpdatingClause::Set>()) return "SET " + dump_set_items(set->items);
  if (const auto* remove = clause.as<UpdatingClause::Remove>()) {
    return "REMOVE " + join(remove->items, ", ", [](const RemoveItem& item) {
             if (const auto* labels = item.as<RemoveItem::Labels>()) {
               return labels->variable + names(labels->labels, ":", ":");
             }
             return dump_property_expr(*item.as<RemoveItem::Property>());
           });
  }
  const auto* deleted = clause.as<UpdatingClause::Delete>();
  return std::string(deleted->detach ? "DETACH " : "") + "DELETE " +
         join(deleted->expressions, ", ", [](const Expr& e) { return dump(e); });
}

std::string dump(const SingleQuery& query) {
  if (const auto* single = query.as<SingleQuery::SinglePart>()) {
    return "Single[" +
           with_return(dump_clauses(single->reading_clauses, single->updating_clauses),
                       single->return_clause) +
           "]";
  }
  const auto* multi = query.as<SingleQuery::MultiPart>();
  std::string out = "Multi[";
  for (const QueryStage& stage : multi->parts) {
    std::string clauses = dump_clauses(stage.reading_clauses, stage.updating_clauses);
    out += clauses + (clauses.empty() ? "" : " ") + dump_with(stage.with_clause) + " | ";
  }
  return out +
         with_return(dump_clauses(multi->reading_clauses, multi->updating_clauses),
                     multi->return_clause) +
         "]";
}

std::string dump(const RegularQuery& query) {
  std::string out = dump(query.first);
  for (const UnionPart& part : query.unions) {
    out += part.all ? " UNION ALL " : " UNION ";
    out += dump(part.query);
  }
  return out;
}

std::string dump(const CypherQuery& query) {
  if (const auto* regular = query.as<CypherQuery::Regular>()) return dump(*regular);
  return "StandaloneCall[" + dump_call(*query.as<CypherQuery::StandaloneCall>()) + "]";
}

}  // namespace tessark::testing
