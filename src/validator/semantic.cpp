// Scope tracking and schema checks over the syntax tree; see semantic.hpp.
#include "validator/semantic.hpp"

#include <algorithm>
#include <utility>

#include "validator/closest_match.hpp"

namespace tessark {
namespace {

std::string suggestion_suffix(std::string_view name, std::span<const std::string_view> candidates) {
  std::optional<std::string_view> match = closest_match(name, candidates);
  if (!match) return {};
  std::string suffix = ", did you mean :";
  suffix += *match;
  suffix += '?';
  return suffix;
}

std::string join_labels(std::span<const std::string> labels) {
  std::string out;
  for (const std::string& label : labels) {
    if (!out.empty()) out += ", ";
    out += ':';
    out += label;
  }
  return out;
}

const PropertyMap* inline_map(const std::optional<MapOrParam>& properties) {
  if (!properties) return nullptr;
  const PropertyMap* map = properties->as<MapOrParam::Map>();
  return map && !map->empty() ? map : nullptr;
}

}  // namespace

SemanticValidator::SemanticValidator(const Schema& schema) : schema_(schema) {}

std::string SemanticValidator::label_suggestion(std::string_view label) {
  if (!known_labels_) known_labels_ = schema_.node_labels();
  return suggestion_suffix(label, *known_labels_);
}

std::string SemanticValidator::rel_type_suggestion(std::string_view type) {
  if (!known_rel_types_) known_rel_types_ = schema_.rel_types();
  return suggestion_suffix(type, *known_rel_types_);
}

// ---- Queries ----

void SemanticValidator::validate_query(const CypherQuery& query) {
  const RegularQuery* regular = query.as<CypherQuery::Regular>();
  if (regular == nullptr) return;  // a standalone CALL is not examined
  validate_single_query(regular->first);
  for (const UnionPart& part : regular->unions) {
    Scope saved = std::move(scope_);
    scope_ = Scope(0, saved.hash_function());
    validate_single_query(part.query);
    scope_ = std::move(saved);
  }
}

void SemanticValidator::validate_single_query(const SingleQuery& query) {
  if (const auto* single = query.as<SingleQuery::SinglePart>()) {
    validate_query_part(single->reading_clauses, single->updating_clauses);
    if (single->return_clause) validate_return_clause(*single->return_clause);
    return;
  }
  const auto& multi = *query.as<SingleQuery::MultiPart>();
  for (const QueryStage& stage : multi.parts) {
    validate_query_part(stage.reading_clauses, stage.updating_clauses);
    validate_with_clause(stage.with_clause);
  }
  validate_query_part(multi.reading_clauses, multi.updating_clauses);
  if (multi.return_clause) validate_return_clause(*multi.return_clause);
}

void SemanticValidator::validate_query_part(std::span<const ReadingClause> reading,
                                            std::span<const UpdatingClause> updating) {
  for (const ReadingClause& clause : reading) collect_reading_bindings(clause);
  for (const UpdatingClause& clause : updating) collect_updating_bindings(clause);
  for (const ReadingClause& clause : reading) validate_reading_clause(clause);
  for (const UpdatingClause& clause : updating) validate_updating_clause(clause);
}

void SemanticValidator::validate_with_clause(const WithClause& with) {
  for (const ReturnItem& item : with.items) validate_expr(item.expression);
  if (with.order_by)
    for (const SortItem& sort : *with.order_by) validate_expr(sort.expression);
  if (with.skip) validate_expr(*with.skip);
  if (with.limit) validate_expr(*with.limit);
  if (with.where_clause) validate_expr(*with.where_clause);

  // The projection replaces the scope: aliases and bare variables, the latter (and aliases of a
  // bare variable) carrying their labels over; a later item of the same name wins.
  Scope projected(0, scope_.hash_function());
  for (const ReturnItem& item : with.items) {
    const Variable* variable = item.expression.as<Variable>();
    const std::string* name = item.alias ? &*item.alias : variable ? &variable->name : nullptr;
    if (name == nullptr) continue;
    std::vector<std::string> names;
    if (variable) {
      auto bound = scope_.find(variable->name);
      if (bound != scope_.end()) names = bound->second;
    }
    projected.insert_or_assign(*name, std::move(names));
  }
  scope_ = std::move(projected);
}

void SemanticValidator::validate_return_clause(const ReturnClause& ret) {
  if (const auto* items = ret.items.as<ReturnItems::Items>())
    for (const ReturnItem& item : items->items) validate_expr(item.expression);
  if (ret.order_by)
    for (const SortItem& sort : *ret.order_by) validate_expr(sort.expression);
  if (ret.skip) validate_expr(*ret.skip);
  if (ret.limit) validate_expr(*ret.limit);
}

// ---- Bindings ----

void SemanticValidator::bind_merge(const std::string& variable, std::span<const std::string> names) {
  auto [entry, inserted] = scope_.try_emplace(variable);
  std::vector<std::string>& list = entry->second;
  for (const std::string& name : names)
    if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
}

void SemanticValidator::bind_replace(const std::string& variable) {
  scope_.insert_or_assign(variable, std::vector<std::string>{});
}

void SemanticValidator::collect_reading_bindings(const ReadingClause& clause) {
  if (const auto* match = clause.as<ReadingClause::Match>()) {
    collect_pattern_bindings(match->pattern.parts);
  } else if (const auto* unwind = clause.as<ReadingClause::Unwind>()) {
    bind_replace(unwind->variable);
  } else if (const auto* call = clause.as<ReadingClause::Call>()) {
    for (const YieldItem& item : call->yield_items)
      if (!item.variable.empty()) bind_replace(item.variable);
  }
}

void SemanticValidator::collect_updating_bindings(const UpdatingClause& clause) {
  if (const auto* create = clause.as<UpdatingClause::Create>()) {
    collect_pattern_bindings(create->parts);
  } else if (const auto* merge = clause.as<UpdatingClause::Merge>()) {
    collect_pattern_bindings(std::span(&merge->pattern, 1));
  }
}

void SemanticValidator::collect_pattern_bindings(std::span<const PatternPart> parts) {
  for (const PatternPart& part : parts) {
    if (part.variable) bind_replace(*part.variable);
    collect_node_bindings(part.start);
    for (const PatternStep& step : part.chain) {
      if (step.relationship.variable)
        bind_merge(*step.relationship.variable, step.relationship.rel_types);
      collect_node_bindings(step.node);
    }
  }
}

void SemanticValidator::collect_node_bindings(const NodePattern& node) {
  if (node.variable) bind_merge(*node.variable, node.labels);
}

// ---- Clause and pattern checks ----

void SemanticValidator::validate_reading_clause(const ReadingClause& clause) {
  if (const auto* match = clause.as<ReadingClause::Match>()) {
    validate_pattern(match->pattern.parts);
    if (match->where_clause) validate_expr(*match->where_clause);
  } else if (const auto* unwind = clause.as<ReadingClause::Unwind>()) {
    validate_expr(unwind->expression);
  }
  // CALL: neither the procedure nor its arguments are examined.
}

void SemanticValidator::validate_updating_clause(const UpdatingClause& clause) {
  if (const auto* create = clause.as<UpdatingClause::Create>()) {
    validate_pattern(create->parts);
  } else if (const auto* merge = clause.as<UpdatingClause::Merge>()) {
    validate_pattern(std::span(&merge->pattern, 1));
  } else if (const auto* set = clause.as<UpdatingClause::Set>()) {
    for (const SetItem& item : set->items) {
      if (const auto* property = item.as<SetItem::Property>()) {
        validate_property_access(property->target.variable, property->target.keys);
        validate_expr(property->value);
      } else if (const auto* labels = item.as<SetItem::Labels>()) {
        for (const std::string& label : labels->labels)
          if (!schema_.has_label(label))
            errors_.push_back("Unknown node label in SET: :" + label + label_suggestion(label));
      } else if (const auto* replace = item.as<SetItem::Replace>()) {
        validate_expr(replace->value);
      } else if (const auto* append = item.as<SetItem::Append>()) {
        validate_expr(append->value);
      }
    }
  } else if (const auto* remove = clause.as<UpdatingClause::Remove>()) {
    for (const RemoveItem& item : remove->items) {
      if (const auto* property = item.as<RemoveItem::Property>()) {
        validate_property_access(property->variable, property->keys);
      } else if (const auto* labels = item.as<RemoveItem::Labels>()) {
        for (const std::string& label : labels->labels)
          if (!schema_.has_label(label))
            errors_.push_back("Unknown node label in REMOVE: :" + label + label_suggestion(label));
      }
    }
  } else if (const auto* del = clause.as<UpdatingClause::Delete>()) {
    for (const Expr& expr : del->expressions) validate_expr(expr);
  }
}

void SemanticValidator::validate_pattern(std::span<const PatternPart> parts) {
  for (const PatternPart& part : parts) {
    validate_node_pattern(part.start);
    const NodePattern* left = &part.start;
    for (const PatternStep& step : part.chain) {
      const RelationshipPattern& rel = step.relationship;
      const NodePattern& right = step.node;
      for (const std::string& type : rel.rel_types) {
        auto known = schema_.relationships.find(type);
        if (known == schema_.relationships.end()) {
          errors_.push_back("Unknown relationship type: :" + type + rel_type_suggestion(type));
          continue;
        }
        const RelationshipType& declared = known->second;
        if (const PropertyMap* map = inline_map(rel.properties)) {
          for (const auto& [key, value] : *map)
            if (!declared.properties.contains(key))
              errors_.push_back("Unknown property '" + key + "' for relationship type :" + type);
        }
        if (rel.direction == Direction::Outgoing) {
          check_endpoint_label(left->labels, declared.source, "source", type);
          check_endpoint_label(right.labels, declared.target, "target", type);
        } else if (rel.direction == Direction::Incoming) {
          check_endpoint_label(right.labels, declared.source, "source", type);
          check_endpoint_label(left->labels, declared.target, "target", type);
        }
      }
      validate_node_pattern(right);
      left = &right;
    }
  }
}

void SemanticValidator::validate_node_pattern(const NodePattern& node) {
  for (const std::string& label : node.labels)
    if (!schema_.has_label(label))
      errors_.push_back("Unknown node label: :" + label + label_suggestion(label));
  if (node.labels.empty()) return;
  const PropertyMap* map = inline_map(node.properties);
  if (map == nullptr) return;
  for (const auto& [key, value] : *map) {
    for (const std::string& label : node.labels) {
      auto known = schema_.nodes.find(label);
      if (known != schema_.nodes.end() && !known->second.contains(key))
        errors_.push_back("Unknown property '" + key + "' for node label :" + label);
    }
  }
}

void SemanticValidator::check_endpoint_label(std::span<const std::string> labels,
                                             std::string_view expected, std::string_view role,
                                             std::string_view rel_type) {
  if (labels.empty()) return;
  if (std::find(labels.begin(), labels.end(), expected) != labels.end()) return;
  bool any_known = std::any_of(labels.begin(), labels.end(),
                               [&](const std::string& label) { return schema_.has_label(label); });
  if (!any_known) return;  // the unknown labels are reported by the node check
  std::string message = "Relationship :";
  message += rel_type;
  message += " expects ";
  message += role;
  message += " label :";
  message += expected;
  message += ", but node has label(s): ";
  message += join_labels(labels);
  errors_.push_back(std::move(message));
}

void SemanticValidator::validate_property_access(const std::string& variable,
                                                 std::span<const std::string> keys) {
  auto bound = scope_.find(variable);
  if (bound == scope_.end()) return;  // unbound variables are the expression walk's business
  for (const std::string& name : bound->second) {
    if (auto label = schema_.nodes.find(name); label != schema_.nodes.end()) {
      for (const std::string& key : keys)
        if (!label->second.contains(key))
          errors_.push_back("Unknown property '" + key + "' on variable '" + variable +
                            "' with label :" + name);
    } else if (auto type = schema_.relationships.find(name); type != schema_.relationships.end()) {
      for (const std::string& key : keys)
        if (!type->second.properties.contains(key))
          errors_.push_back("Unknown property '" + key + "' on variable '" + variable +
                            "' with relationship type :" + name);
    }
  }
}

// ---- Expressions ----

void SemanticValidator::validate_expr(const Expr& expr) {
  if (const auto* variable = expr.as<Variable>()) {
    if (!scope_.contains(variable->name))
      errors_.push_back("Variable '" + variable->name + "' is not bound in this scope");
    return;
  }
  if (expr.is<Exists>()) return;  // neither the pattern nor the query of EXISTS is examined
  if (const auto* access = expr.as<PropertyAccess>()) {
    if (!access->expression) return;
    if (const auto* base = access->expression->as<Variable>())
      validate_property_access(base->name, std::span(&access->key, 1));
    validate_expr(*access->expression);
    return;
  }
  if (const auto* list = expr.as<ListComprehension>()) {
    if (list->list) validate_expr(*list->list);
    validate_scoped(list->variable, list->predicate.get(), list->projection.get());
    return;
  }
  if (const auto* all = expr.as<QuantifierAll>()) {
    if (all->list) validate_expr(*all->list);
    validate_scoped(all->variable, all->predicate.get(), nullptr);
    return;
  }
  if (const auto* any = expr.as<QuantifierAny>()) {
    if (any->list) validate_expr(*any->list);
    validate_scoped(any->variable, any->predicate.get(), nullptr);
    return;
  }
  if (const auto* none = expr.as<QuantifierNone>()) {
    if (none->list) validate_expr(*none->list);
    validate_scoped(none->variable, none->predicate.get(), nullptr);
    return;
  }
  if (const auto* single = expr.as<QuantifierSingle>()) {
    if (single->list) validate_expr(*single->list);
    validate_scoped(single->variable, single->predicate.get(), nullptr);
    return;
  }
  // Every other alternative: its sub-expressions, left to right (map literals in map order).
  for_each_subexpression(expr, [this](const Expr& child) { validate_expr(child); });
}

// Validates `first` and `second` (either may be null) with `variable` bound, temporarily when it
// was not bound before.
void SemanticValidator::validate_scoped(const std::string& variable, const Expr* first,
                                        const Expr* second) {
  bool temporary = !scope_.contains(variable);
  if (temporary) bind_replace(variable);
  if (first) validate_expr(*first);
  if (second) validate_expr(*second);
  if (temporary) scope_.erase(variable);
}

}  // namespace tessark
