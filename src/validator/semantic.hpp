// The semantic validator: walks one syntax tree against one schema, tracking which variables
// are visible at each point of the query, and collects every problem as a message.
//
// Visiting order. In each query part all bindings (MATCH, CREATE, MERGE patterns, UNWIND, YIELD)
// are collected first, then the clauses are checked in order, so a variable bound anywhere in a
// part is visible throughout it. WITH ends a part: its expressions see the old scope, then the
// scope is replaced by the projected names. Each UNION branch starts with an empty scope.
//
// Messages keep the order in which they are found and are never de-duplicated. Recursion over
// expressions is one level per tree level, bounded by the parser's expression depth limit.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "parser/ast.hpp"
#include "schema.hpp"

namespace tessark {

class SemanticValidator {
 public:
  // The validator reads `schema` and must not outlive it.
  explicit SemanticValidator(const Schema& schema);

  // Walks the whole query; the problems are then in errors(). Never fails.
  void validate_query(const CypherQuery& query);

  const std::vector<std::string>& errors() const { return errors_; }
  std::vector<std::string> take_errors() { return std::move(errors_); }

 private:
  // Variable name to the labels (node) or types (relationship) the query gives it, first-seen
  // order without duplicates; empty for every other kind of variable.
  using Scope = std::unordered_map<std::string, std::vector<std::string>, SeededHash, StringEqual>;

  void validate_single_query(const SingleQuery& query);
  void validate_query_part(std::span<const ReadingClause> reading,
                           std::span<const UpdatingClause> updating);
  void validate_with_clause(const WithClause& with);
  void validate_return_clause(const ReturnClause& ret);

  void collect_reading_bindings(const ReadingClause& clause);
  void collect_updating_bindings(const UpdatingClause& clause);
  void collect_pattern_bindings(std::span<const PatternPart> parts);
  void collect_node_bindings(const NodePattern& node);
  void bind_merge(const std::string& variable, std::span<const std::string> names);
  void bind_replace(const std::string& variable);

  void validate_reading_clause(const ReadingClause& clause);
  void validate_updating_clause(const UpdatingClause& clause);
  void validate_pattern(std::span<const PatternPart> parts);
  void validate_node_pattern(const NodePattern& node);
  void check_endpoint_label(std::span<const std::string> labels, std::string_view expected,
                            std::string_view role, std::string_view rel_type);
  void validate_property_access(const std::string& variable, std::span<const std::string> keys);
  void validate_expr(const Expr& expr);
  void validate_scoped(const std::string& variable, const Expr* first, const Expr* second);

  // ", did you mean :X?" for the closest known label (or type), or "".
  std::string label_suggestion(std::string_view label);
  std::string rel_type_suggestion(std::string_view type);

  const Schema& schema_;
  std::vector<std::string> errors_;
  // The schema's sorted labels and types, the suggestion candidates; filled on first need.
  std::optional<std::vector<std::string_view>> known_labels_;
  std::optional<std::vector<std::string_view>> known_rel_types_;
  Scope scope_;
};

}  // namespace tessark
