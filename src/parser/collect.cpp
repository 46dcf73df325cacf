// Name collectors for extraction without a schema (see collect.hpp for what is walked).
#include "parser/collect.hpp"

#include <set>

#include "parser/builder.hpp"

namespace tessark {
namespace {

using NameSet = std::set<std::string>;  // byte order: std::string compares as unsigned chars

class NameCollector {
 public:
  NameCollector(NameSet& labels, NameSet& rel_types, NameSet& properties)
      : labels_(labels), rel_types_(rel_types), properties_(properties) {}

  void regular_query(const RegularQuery& query) {
    single_query(query.first);
    for (const UnionPart& part : query.unions) single_query(part.query);
  }

 private:
  void single_query(const SingleQuery& query) {
    if (const auto* single = query.as<SingleQuery::SinglePart>()) {
      clauses(single->reading_clauses, single->updating_clauses);
      return_clause(single->return_clause);
    } else if (const auto* multi = query.as<SingleQuery::MultiPart>()) {
      for (const QueryStage& stage : multi->parts) {
        clauses(stage.reading_clauses, stage.updating_clauses);
      }
      clauses(multi->reading_clauses, multi->updating_clauses);
      return_clause(multi->return_clause);
    }
  }

  void clauses(const std::vector<ReadingClause>& reading,
               const std::vector<UpdatingClause>& updating) {
    for (const ReadingClause& clause : reading) {
      if (const auto* match = clause.as<ReadingClause::Match>()) {
        pattern(match->pattern);
        if (match->where_clause) expression(*match->where_clause);
      }
    }
    for (const UpdatingClause& clause : updating) {
      if (const auto* create = clause.as<UpdatingClause::Create>()) {
        pattern(*create);
      } else if (const auto* merge = clause.as<UpdatingClause::Merge>()) {
        pattern_part(merge->pattern);
      }
    }
  }

  void return_clause(const std::optional<ReturnClause>& clause) {
    if (!clause) return;
    if (const auto* items = clause->items.as<ReturnItems::Items>()) {
      for (const ReturnItem& item : items->items) expression(item.expression);
    }
  }

  void pattern(const Pattern& pattern) {
    for (const PatternPart& part : pattern.parts) pattern_part(part);
  }

  void pattern_part(const PatternPart& part) {
    node(part.start);
    for (const PatternStep& step : part.chain) {
      rel_types_.insert(step.relationship.rel_types.begin(), step.relationship.rel_types.end());
      node(step.node);
    }
  }

  void node(const NodePattern& node) {
    labels_.insert(node.labels.begin(), node.labels.end());
    if (!node.properties) return;
    if (const auto* map = node.properties->as<MapOrParam::Map>()) {
      for (const auto& [key, value] : *map) {
        properties_.insert(key);
        expression(value);
      }
    }
  }

  // Walked with an explicit stack; the order of visits does not matter for sets.
  void expression(const Expr& root) {
    std::vector<const Expr*> stack{&root};
    while (!stack.empty()) {
      const Expr& expr = *stack.back();
      stack.pop_back();
      if (const auto* access = expr.as<PropertyAccess>()) properties_.insert(access->key);
      if (const auto* exists = expr.as<Exists>(); exists && exists->subquery) {
        exists_body(*exists->subquery);
      }
      for_each_subexpression(expr, [&stack](const Expr& child) { stack.push_back(&child); });
    }
  }

  // A pattern body gives nothing; a query body gives only its property keys.
  void exists_body(const ExistsSubquery& body) {
    const auto* query = body.as<ExistsSubquery::Query>();
    if (!query) return;
    NameSet discarded_labels;
    NameSet discarded_rel_types;
    NameCollector(discarded_labels, discarded_rel_types, properties_).regular_query(*query);
  }

  NameSet& labels_;
  NameSet& rel_types_;
  NameSet& properties_;
};

std::vector<std::string> sorted(const NameSet& names) { return {names.begin(), names.end()}; }

}  // namespace

QueryNames collect_query_names(const CypherQuery& query) {
  NameSet labels;
  NameSet rel_types;
  NameSet properties;
  if (const auto* regular = query.as<CypherQuery::Regular>()) {
    NameCollector(labels, rel_types, properties).regular_query(*regular);
  }
  return QueryNames{sorted(labels), sorted(rel_types), sorted(properties)};
}

QueryInfo extract_query_info(std::string_view text) {
  QueryInfo info;
  Result<CypherQuery> query = parse(text);
  if (!query) {
    info.errors.push_back(query.error().text());
    return info;
  }
  info.is_valid = true;
  info.names = collect_query_names(*query);
  return info;
}

}  // namespace tessark
