// The tree builder: turns the grammar's match tree (match.hpp) into the syntax tree (ast.hpp),
// and the parse entry `parse` that runs the grammar and the builder over one query text.
//
// Every operation takes one match of the rule its name carries and returns its node or a
// Parse-kind CypherError; the first error ends the whole build. Matches are only read (rule,
// text, inner matches); nothing of them is kept. Keyword flags (DISTINCT, OPTIONAL, DESC, ...)
// are read from the match text at the keyword's grammatical position, skipping whitespace and
// comments, never from inside a name, string or nested expression. All functions are stateless
// and may run on any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "parser/ast.hpp"
#include "parser/match.hpp"

namespace tessark {

// Deepest expression nesting that `parse` accepts, counted in tree levels (a chain of n ORs is
// n levels deep; an EXISTS body adds its own expressions' depth). Copying a tree and the
// consumers' recursive walks use stack once per level; at this depth they stay well inside a
// 512 KiB thread stack, also under AddressSanitizer, while hundreds of chained operators pass.
inline constexpr std::size_t kMaxExpressionDepth = 500;

// Query text to syntax tree. A syntax error gives its report text (no prefix) as the message of
// a Parse error; so does a builder error, and an expression deeper than kMaxExpressionDepth.
Result<CypherQuery> parse(std::string_view text);

// Queries and projections.
Result<CypherQuery> build_query(Match cypher);
Result<RegularQuery> build_regular_query(Match regular_query);
Result<SingleQuery> build_single_query(Match single_query);
Result<ReturnClause> build_return_clause(Match return_clause);

// What a return_body holds; RETURN and WITH both take it.
struct ReturnBody {
  std::vector<ReturnItem> items;  // empty for `*`
  std::optional<std::vector<SortItem>> order_by;
  std::optional<Expr> skip;
  std::optional<Expr> limit;
};
Result<ReturnBody> build_return_body(Match return_body);
Result<SortItem> build_sort_item(Match sort_item);

// Reading and updating clauses.
Result<ReadingClause> build_reading_clause(Match reading_clause);
Result<UpdatingClause> build_updating_clause(Match updating_clause);
Result<std::vector<SetItem>> build_set_clause(Match set_clause);
Result<CallClause> build_call_clause(Match call);  // standalone_call or in_query_call

// Patterns.
Result<Pattern> build_pattern(Match pattern);
Result<PatternPart> build_pattern_part(Match pattern_part);
Result<NodePattern> build_node_pattern(Match node_pattern);
Result<MapOrParam> build_properties(Match properties);

// Expressions: build_expression takes any level of the precedence chain down to `atom`.
Result<Expr> build_expression(Match expression);
Result<Expr> build_comparison_expr(Match comparison_expr);
Result<Expr> build_postfix_expr(Match postfix_expr);
Result<Expr> build_atom(Match atom);
Result<Expr> build_literal(Match literal);
Result<PropertyMap> build_map_literal(Match map_literal);
Result<PropertyExpr> build_property_expression(Match property_expression);

// Number readers of the literal builders, exposed for tests. Neither fails: an integer that is
// not valid in its base ("0x" hexadecimal, "0o" octal, else decimal) or does not fit gives 0,
// a float text that does not parse gives 0.0.
std::int64_t read_integer_literal(std::string_view text);
double read_float_literal(std::string_view text);

// Depth of an expression tree in levels (a leaf is 1), measured without recursion; EXISTS
// bodies count with their expressions.
std::size_t expression_depth(const Expr& expr);
// The largest expression_depth over every expression of the query.
std::size_t query_expression_depth(const CypherQuery& query);

}  // namespace tessark
