// Expression depth of built trees, measured with an explicit stack so that a tree of any
// depth can be measured (and rejected by `parse`) without deep recursion.
#include <utility>
#include <vector>

#include "parser/builder.hpp"

namespace tessark {
namespace {

// Calls `visit` for every expression held directly by clauses and patterns (not inside
// other expressions). Clause structures only nest through EXISTS, which the caller handles.
template <typename Visit>
class RootExpressions {
 public:
  explicit RootExpressions(Visit& visit) : visit_(visit) {}

  void query(const RegularQuery& query) {
    single_query(query.first);
    for (const UnionPart& part : query.unions) single_query(part.query);
  }

  void pattern(const Pattern& pattern) {
    for (const PatternPart& part : pattern.parts) pattern_part(part);
  }

 private:
  void single_query(const SingleQuery& query) {
    if (const auto* single = query.as<SingleQuery::SinglePart>()) {
      clauses(single->reading_clauses, single->updating_clauses);
      if (single->return_clause) return_clause(*single->return_clause);
    } else if (const auto* multi = query.as<SingleQuery::MultiPart>()) {
      for (const QueryStage& stage : multi->parts) {
        clauses(stage.reading_clauses, stage.updating_clauses);
        const WithClause& with = stage.with_clause;
        for (const ReturnItem& item : with.items) visit_(item.expression);
        projection_tail(with.order_by, with.skip, with.limit);
        optional(with.where_clause);
      }
      clauses(multi->reading_clauses, multi->updating_clauses);
      if (multi->return_clause) return_clause(*multi->return_clause);
    }
  }

  void clauses(const std::vector<ReadingClause>& reading,
               const std::vector<UpdatingClause>& updating) {
    for (const ReadingClause& clause : reading) {
      if (const auto* match = clause.as<ReadingClause::Match>()) {
        pattern(match->pattern);
        optional(match->where_clause);
      } else if (const auto* unwind = clause.as<ReadingClause::Unwind>()) {
        visit_(unwind->expression);
      } else if (const auto* call = clause.as<ReadingClause::Call>()) {
        for (const Expr& argument : call->arguments) visit_(argument);
      }
    }
    for (const UpdatingClause& clause : updating) {
      if (const auto* create = clause.as<UpdatingClause::Create>()) {
        pattern(*create);
      } else if (const auto* merge = clause.as<UpdatingClause::Merge>()) {
        pattern_part(merge->pattern);
        for (const auto& items : merge->on_match) set_items(items);
        for (const auto& items : merge->on_create) set_items(items);
      } else if (const auto* set = clause.as<UpdatingClause::Set>()) {
        set_items(set->items);
      } else if (const auto* deleted = clause.as<UpdatingClause::Delete>()) {
        for (const Expr& expression : deleted->expressions) visit_(expression);
      }
    }
  }

  void set_items(const std::vector<SetItem>& items) {
    for (const SetItem& item : items) {
      std::visit(
          [this](const auto& node) {
            if constexpr (requires { node.value; }) visit_(node.value);
          },
          item.value);
    }
  }

  void return_clause(const ReturnClause& clause) {
    if (const auto* items = clause.items.as<ReturnItems::Items>()) {
      for (const ReturnItem& item : items->items) visit_(item.expression);
    }
    projection_tail(clause.order_by, clause.skip, clause.limit);
  }

  void projection_tail(const std::optional<std::vector<SortItem>>& order_by,
                       const std::optional<Expr>& skip, const std::optional<Expr>& limit) {
    if (order_by) {
      for (const SortItem& item : *order_by) visit_(item.expression);
    }
    optional(skip);
    optional(limit);
  }

  void pattern_part(const PatternPart& part) {
    node(part.start);
    for (const PatternStep& step : part.chain) {
      properties(step.relationship.properties);
      node(step.node);
    }
  }

  void node(const NodePattern& node) { properties(node.properties); }

  void properties(const std::optional<MapOrParam>& properties) {
    if (!properties) return;
    if (const auto* map = properties->as<MapOrParam::Map>()) {
      for (const auto& entry : *map) visit_(entry.second);
    }
  }

  void optional(const std::optional<Expr>& expr) {
    if (expr) visit_(*expr);
  }

  Visit& visit_;
};

struct Pending {
  const Expr* expr;
  std::size_t depth;
};

// Pushes the expressions of an EXISTS body as children one level below `depth`.
void push_exists_body(const ExistsSubquery& body, std::size_t depth, std::vector<Pending>& stack) {
  auto push = [&stack, depth](const Expr& expr) { stack.push_back({&expr, depth + 1}); };
  RootExpressions<decltype(push)> roots(push);
  if (const auto* query = body.as<ExistsSubquery::Query>()) roots.query(*query);
  if (const auto* pattern = body.as<ExistsSubquery::Pattern>()) roots.pattern(*pattern);
}

std::size_t max_depth(std::vector<Pending> stack) {
  std::size_t deepest = 0;
  while (!stack.empty()) {
    Pending top = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, top.depth);
    for_each_subexpression(*top.expr, [&](const Expr& child) {
      stack.push_back({&child, top.depth + 1});
    });
    if (const auto* exists = top.expr->as<Exists>(); exists && exists->subquery) {
      push_exists_body(*exists->subquery, top.depth, stack);
    }
  }
  return deepest;
}

}  // namespace

std::size_t expression_depth(const Expr& expr) { return max_depth({{&expr, 1}}); }

std::size_t query_expression_depth(const CypherQuery& query) {
  std::vector<Pending> stack;
  auto push = [&stack](const Expr& expr) { stack.push_back({&expr, 1}); };
  RootExpressions<decltype(push)> roots(push);
  if (const auto* regular = query.as<CypherQuery::Regular>()) {
    roots.query(*regular);
  } else if (const auto* call = query.as<CypherQuery::StandaloneCall>()) {
    for (const Expr& argument : call->arguments) push(argument);
  }
  return max_depth(std::move(stack));
}

}  // namespace tessark
