// Tree builder, query and clause levels: the parse entry, queries, projections, reading and
// updating clauses, and patterns. Expressions are built in builder_expr.cpp.
#include "parser/builder.hpp"

#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "parser/builder_text.hpp"
#include "parser/grammar.hpp"

namespace tessark {
namespace {

using namespace builder_text;

std::optional<Match> first_inner_of(Match match, Rule rule) {
  for (Match m : match.inner()) {
    if (m.rule() == rule) return m;
  }
  return std::nullopt;
}

// True when `word` follows the clause's leading keyword `lead`, before the inner match `before`
// (or the end of the clause when there is none): UNION ALL, WITH DISTINCT, ON MATCH.
bool flag_after_lead(Match clause, std::string_view lead, std::string_view word,
                     std::optional<Match> before) {
  std::string_view text = clause.text();
  std::size_t limit = before ? start_in(clause, *before) : text.size();
  return keyword_after(text, past_keyword(text, lead), word, limit);
}

// ---- Patterns ----

// A decimal signed 64-bit integer, optional sign, nothing else; absent otherwise.
std::optional<std::int64_t> read_range_bound(std::string_view piece) {
  piece = trim_space(piece);
  if (!piece.empty() && piece.front() == '+') {
    piece.remove_prefix(1);
    if (piece.empty() || piece.front() < '0' || piece.front() > '9') return std::nullopt;
  }
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value, 10);
  if (error != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
  return value;
}

LengthRange read_length_range(std::string_view text) {
  while (!text.empty() && text.front() == '*') text.remove_prefix(1);
  text = trim_space(text);
  LengthRange range;
  if (text.empty()) return range;
  std::size_t dots = text.find("..");
  if (dots == std::string_view::npos) {
    range.min = range.max = read_range_bound(text);
    return range;
  }
  range.min = read_range_bound(text.substr(0, dots));
  std::string_view rest = text.substr(dots + 2);
  range.max = read_range_bound(rest.substr(0, rest.find("..")));
  return range;
}

std::vector<std::string> texts_of(Match match, Rule rule) {
  std::vector<std::string> out;
  for (Match m : match.inner()) {
    if (m.rule() == rule) out.emplace_back(m.text());
  }
  return out;
}

Result<RelationshipPattern> build_relationship_pattern(Match relationship) {
  RelationshipPattern rel;
  std::string_view text = relationship.text();
  rel.direction = !text.empty() && text.front() == '<'  ? Direction::Incoming
                  : !text.empty() && text.back() == '>' ? Direction::Outgoing
                                                        : Direction::Undirected;
  for (Match m : relationship.inner()) {
    switch (m.rule()) {
      case Rule::variable: rel.variable = std::string(m.text()); break;
      case Rule::rel_types: rel.rel_types = texts_of(m, Rule::rel_type_name); break;
      case Rule::range_literal: rel.length = read_length_range(m.text()); break;
      case Rule::properties: {
        TRY_ASSIGN(rel.properties, build_properties(m));
        break;
      }
      default: break;
    }
  }
  return rel;
}

struct Path {
  NodePattern start;
  std::vector<PatternStep> chain;
};

Result<Path> build_pattern_element(Match element) {
  std::optional<Match> first = first_inner(element);
  if (!first) return fail("Pattern element missing node");
  Path path;
  TRY_ASSIGN(path.start, build_node_pattern(*first));
  std::optional<RelationshipPattern> pending;
  bool past_first = false;
  for (Match m : element.inner()) {
    if (!past_first) {
      past_first = true;
      continue;
    }
    if (m.rule() == Rule::relationship_pattern) {
      TRY_ASSIGN(pending, build_relationship_pattern(m));
    } else if (m.rule() == Rule::node_pattern) {
      TRY_ASSIGN(NodePattern node, build_node_pattern(m));
      if (pending) {
        path.chain.push_back(PatternStep{std::move(*pending), std::move(node)});
        pending.reset();
      }
    }
  }
  return path;
}

// ---- Clauses ----

Result<std::vector<RemoveItem>> build_remove_items(Match remove_clause) {
  std::vector<RemoveItem> items;
  for (Match item : remove_clause.inner()) {
    if (item.rule() != Rule::remove_item) continue;
    std::vector<Match> parts = item.inner_list();
    if (parts.empty()) return fail("Empty remove_item");
    RemoveItem built;
    if (parts[0].rule() == Rule::property_expression) {
      TRY_ASSIGN(PropertyExpr target, build_property_expression(parts[0]));
      built.value = std::move(target);
    } else if (parts[0].rule() == Rule::variable) {
      RemoveItem::Labels labels{std::string(parts[0].text()), {}};
      if (parts.size() > 1 && parts[1].rule() == Rule::node_labels) {
        labels.labels = texts_of(parts[1], Rule::label_name);
      }
      built.value = std::move(labels);
    } else {
      return fail("Unknown REMOVE item");
    }
    items.push_back(std::move(built));
  }
  return items;
}

Result<SetItem> build_set_item(Match item) {
  std::vector<Match> parts = item.inner_list();
  SetItem built;
  if (parts.size() >= 2) {
    std::string_view text = item.text();
    std::size_t pos = skip_trivia(text, end_in(item, parts[0]));
    if (text.compare(pos, 2, "+=") == 0 && pos + 2 <= start_in(item, parts[1])) {
      TRY_ASSIGN(Expr value, build_expression(parts[1]));
      built.value = SetItem::Append{std::string(parts[0].text()), std::move(value)};
      return built;
    }
  }
  if (parts.size() < 2) return fail("Invalid SET item");
  if (parts[0].rule() == Rule::property_expression) {
    TRY_ASSIGN(PropertyExpr target, build_property_expression(parts[0]));
    TRY_ASSIGN(Expr value, build_expression(parts[1]));
    built.value = SetItem::Property{std::move(target), std::move(value)};
  } else if (parts[0].rule() == Rule::variable) {
    std::string variable(parts[0].text());
    if (parts[1].rule() == Rule::node_labels) {
      built.value = SetItem::Labels{std::move(variable), texts_of(parts[1], Rule::label_name)};
    } else {
      TRY_ASSIGN(Expr value, build_expression(parts[1]));
      built.value = SetItem::Replace{std::move(variable), std::move(value)};
    }
  } else {
    return fail("Unknown SET item");
  }
  return built;
}

Result<UpdatingClause::Merge> build_merge_clause(Match merge) {
  std::optional<PatternPart> pattern;
  UpdatingClause::Merge built;
  for (Match m : merge.inner()) {
    if (m.rule() == Rule::pattern_part) {
      TRY_ASSIGN(pattern, build_pattern_part(m));
    } else if (m.rule() == Rule::on_match_or_create) {
      bool on_match = flag_after_lead(m, "ON", "MATCH", first_inner_of(m, Rule::set_clause));
      for (Match set : m.inner()) {
        if (set.rule() != Rule::set_clause) continue;
        TRY_ASSIGN(std::vector<SetItem> items, build_set_clause(set));
        (on_match ? built.on_match : built.on_create).push_back(std::move(items));
      }
    }
  }
  if (!pattern) return fail("MERGE missing pattern_part");
  built.pattern = std::move(*pattern);
  return built;
}

// ---- Projections ----

Result<WithClause> build_with_clause(Match with) {
  WithClause built;
  built.distinct = flag_after_lead(with, "WITH", "DISTINCT", first_inner_of(with, Rule::return_body));
  for (Match m : with.inner()) {
    if (m.rule() == Rule::return_body) {
      TRY_ASSIGN(ReturnBody body, build_return_body(m));
      built.items = std::move(body.items);
      built.order_by = std::move(body.order_by);
      built.skip = std::move(body.skip);
      built.limit = std::move(body.limit);
    } else if (m.rule() == Rule::where_clause) {
      std::optional<Match> condition = first_inner(m);
      if (!condition) return fail("WHERE missing expr");
      TRY_ASSIGN(built.where_clause, build_expression(*condition));
    }
  }
  return built;
}

Result<ReturnItem> build_return_item(Match item) {
  std::optional<Match> first = first_inner(item);
  if (!first) return fail("Return item missing expr");
  TRY_ASSIGN(Expr expression, build_expression(*first));
  ReturnItem built{std::move(expression), std::nullopt};
  bool past_first = false;
  for (Match m : item.inner()) {
    if (past_first && m.rule() == Rule::variable) {
      built.alias = std::string(m.text());
      break;
    }
    past_first = true;
  }
  return built;
}

// Builds the clause list entries of one query part into `reading` and `updating`; returns
// true when the match was one of the two clause kinds.
Result<bool> add_clause(Match m, std::vector<ReadingClause>& reading,
                        std::vector<UpdatingClause>& updating) {
  if (m.rule() == Rule::reading_clause) {
    TRY_ASSIGN(ReadingClause clause, build_reading_clause(m));
    reading.push_back(std::move(clause));
    return true;
  }
  if (m.rule() == Rule::updating_clause) {
    TRY_ASSIGN(UpdatingClause clause, build_updating_clause(m));
    updating.push_back(std::move(clause));
    return true;
  }
  return false;
}

Result<SingleQuery::SinglePart> build_single_part(Match part) {
  SingleQuery::SinglePart built;
  for (Match m : part.inner()) {
    TRY_ASSIGN(bool added, add_clause(m, built.reading_clauses, built.updating_clauses));
    if (!added && m.rule() == Rule::return_clause) {
      TRY_ASSIGN(built.return_clause, build_return_clause(m));
    }
  }
  return built;
}

Result<MultiPartQuery> build_multi_part(Match part) {
  MultiPartQuery built;
  for (Match m : part.inner()) {
    TRY_ASSIGN(bool added, add_clause(m, built.reading_clauses, built.updating_clauses));
    if (added) continue;
    if (m.rule() == Rule::return_clause) {
      TRY_ASSIGN(built.return_clause, build_return_clause(m));
    } else if (m.rule() == Rule::with_clause) {
      TRY_ASSIGN(WithClause with, build_with_clause(m));
      built.parts.push_back(QueryStage{std::move(built.reading_clauses),
                                       std::move(built.updating_clauses), std::move(with)});
      built.reading_clauses.clear();
      built.updating_clauses.clear();
    }
  }
  return built;
}

}  // namespace

// ---- Queries ----

Result<CypherQuery> parse(std::string_view text) {
  TRY_ASSIGN(MatchTree tree, CypherParser::parse(Rule::cypher, text));
  auto top = tree.top();
  if (top.empty()) return fail("No parse result");
  TRY_ASSIGN(CypherQuery query, build_query(*top.begin()));
  if (query_expression_depth(query) > kMaxExpressionDepth) {
    return fail("Expression nested too deeply (more than " + std::to_string(kMaxExpressionDepth) +
                " levels)");
  }
  return query;
}

Result<CypherQuery> build_query(Match cypher) {
  std::optional<Match> statement = first_inner(cypher);
  if (!statement) return fail("Empty query");
  if (statement->rule() != Rule::statement) return fail("Expected statement, got ", *statement);
  std::optional<Match> body = first_inner(*statement);
  if (!body) return fail("Empty statement");
  CypherQuery query;
  if (body->rule() == Rule::standalone_call) {
    TRY_ASSIGN(CallClause call, build_call_clause(*body));
    query.value = std::move(call);
  } else if (body->rule() == Rule::regular_query) {
    TRY_ASSIGN(RegularQuery regular, build_regular_query(*body));
    query.value = std::move(regular);
  } else {
    return fail("Unknown statement type: ", *body);
  }
  return query;
}

Result<RegularQuery> build_regular_query(Match regular_query) {
  std::optional<Match> first = first_inner(regular_query);
  if (!first) return fail("Missing single_query");
  TRY_ASSIGN(SingleQuery first_query, build_single_query(*first));
  RegularQuery built{std::move(first_query), {}};
  bool past_first = false;
  for (Match m : regular_query.inner()) {
    if (!past_first) {
      past_first = true;
      continue;
    }
    if (m.rule() != Rule::union_clause) continue;
    std::optional<Match> query = first_inner_of(m, Rule::single_query);
    bool all = flag_after_lead(m, "UNION", "ALL", query);
    if (!query) return fail("Missing union single_query");
    TRY_ASSIGN(SingleQuery union_query, build_single_query(*query));
    built.unions.push_back(UnionPart{all, std::move(union_query)});
  }
  return built;
}

Result<SingleQuery> build_single_query(Match single_query) {
  std::optional<Match> form = first_inner(single_query);
  if (!form) return fail("Empty single_query");
  SingleQuery built;
  if (form->rule() == Rule::single_part_query) {
    TRY_ASSIGN(built.value, build_single_part(*form));
  } else if (form->rule() == Rule::multi_part_query) {
    TRY_ASSIGN(built.value, build_multi_part(*form));
  } else {
    return fail("Unknown single_query: ", *form);
  }
  return built;
}

Result<ReturnClause> build_return_clause(Match return_clause) {
  ReturnClause built;
  built.distinct = flag_after_lead(return_clause, "RETURN", "DISTINCT",
                                   first_inner_of(return_clause, Rule::return_body));
  built.items.value = ReturnItems::All{};
  for (Match m : return_clause.inner()) {
    if (m.rule() != Rule::return_body) continue;
    TRY_ASSIGN(ReturnBody body, build_return_body(m));
    built.items.value = ReturnItems::Items{std::move(body.items)};
    built.order_by = std::move(body.order_by);
    built.skip = std::move(body.skip);
    built.limit = std::move(body.limit);
  }
  return built;
}

Result<ReturnBody> build_return_body(Match return_body) {
  ReturnBody body;
  for (Match m : return_body.inner()) {
    switch (m.rule()) {
      case Rule::return_items: {
        if (trim_space(m.text()) == "*") break;
        for (Match item : m.inner()) {
          if (item.rule() != Rule::return_item) continue;
          TRY_ASSIGN(ReturnItem built, build_return_item(item));
          body.items.push_back(std::move(built));
        }
        break;
      }
      case Rule::order_clause: {
        std::vector<SortItem> order_by;
        for (Match item : m.inner()) {
          if (item.rule() != Rule::sort_item) continue;
          TRY_ASSIGN(SortItem built, build_sort_item(item));
          order_by.push_back(std::move(built));
        }
        body.order_by = std::move(order_by);
        break;
      }
      case Rule::skip_clause: {
        std::optional<Match> value = first_inner(m);
        if (!value) return fail("SKIP missing expr");
        TRY_ASSIGN(body.skip, build_expression(*value));
        break;
      }
      case Rule::limit_clause: {
        std::optional<Match> value = first_inner(m);
        if (!value) return fail("LIMIT missing expr");
        TRY_ASSIGN(body.limit, build_expression(*value));
        break;
      }
      default: break;
    }
  }
  return body;
}

Result<SortItem> build_sort_item(Match sort_item) {
  std::optional<Match> first = first_inner(sort_item);
  if (!first) return fail("Sort item missing expr");
  std::string_view text = sort_item.text();
  bool descending = word_at(text, skip_trivia(text, end_in(sort_item, *first)), "DESC");
  TRY_ASSIGN(Expr expression, build_expression(*first));
  return SortItem{std::move(expression), descending};
}

// ---- Reading and updating clauses ----

Result<ReadingClause> build_reading_clause(Match reading_clause) {
  std::optional<Match> clause = first_inner(reading_clause);
  if (!clause) return fail("Empty reading_clause");
  ReadingClause built;
  switch (clause->rule()) {
    case Rule::in_query_call: {
      TRY_ASSIGN(CallClause call, build_call_clause(*clause));
      built.value = std::move(call);
      return built;
    }
    case Rule::unwind_clause: {
      std::vector<Match> parts = clause->inner_list();
      if (parts.empty()) return fail("UNWIND missing expr");
      TRY_ASSIGN(Expr expression, build_expression(parts[0]));
      if (parts.size() < 2) return fail("UNWIND missing variable");
      built.value = ReadingClause::Unwind{std::move(expression), std::string(parts[1].text())};
      return built;
    }
    case Rule::match_clause: {
      std::string_view text = clause->text();
      bool optional = word_at(text, skip_trivia(text, 0), "OPTIONAL");
      std::optional<Pattern> pattern;
      std::optional<Expr> where;
      for (Match m : clause->inner()) {
        if (m.rule() == Rule::pattern) {
          TRY_ASSIGN(pattern, build_pattern(m));
        } else if (m.rule() == Rule::where_clause) {
          std::optional<Match> condition = first_inner(m);
          if (!condition) return fail("Empty WHERE");
          TRY_ASSIGN(where, build_expression(*condition));
        }
      }
      if (!pattern) return fail("MATCH missing pattern");
      built.value = ReadingClause::Match{std::move(*pattern), std::move(where), optional};
      return built;
    }
    default: return fail("Unknown reading clause: ", *clause);
  }
}

Result<UpdatingClause> build_updating_clause(Match updating_clause) {
  std::optional<Match> clause = first_inner(updating_clause);
  if (!clause) return fail("Empty updating_clause");
  UpdatingClause built;
  switch (clause->rule()) {
    case Rule::create_clause: {
      std::optional<Match> pattern = first_inner(*clause);
      if (!pattern) return fail("CREATE missing pattern");
      TRY_ASSIGN(Pattern created, build_pattern(*pattern));
      built.value = std::move(created);
      return built;
    }
    case Rule::merge_clause: {
      TRY_ASSIGN(built.value, build_merge_clause(*clause));
      return built;
    }
    case Rule::set_clause: {
      TRY_ASSIGN(std::vector<SetItem> items, build_set_clause(*clause));
      built.value = UpdatingClause::Set{std::move(items)};
      return built;
    }
    case Rule::remove_clause: {
      TRY_ASSIGN(std::vector<RemoveItem> items, build_remove_items(*clause));
      built.value = UpdatingClause::Remove{std::move(items)};
      return built;
    }
    case Rule::delete_clause: {
      std::string_view text = clause->text();
      UpdatingClause::Delete deleted{{}, word_at(text, skip_trivia(text, 0), "DETACH")};
      for (Match m : clause->inner()) {
        if (m.rule() != Rule::expression) continue;
        TRY_ASSIGN(Expr expression, build_expression(m));
        deleted.expressions.push_back(std::move(expression));
      }
      built.value = std::move(deleted);
      return built;
    }
    default: return fail("Unknown updating clause: ", *clause);
  }
}

Result<std::vector<SetItem>> build_set_clause(Match set_clause) {
  std::vector<SetItem> items;
  for (Match m : set_clause.inner()) {
    if (m.rule() != Rule::set_item) continue;
    TRY_ASSIGN(SetItem item, build_set_item(m));
    items.push_back(std::move(item));
  }
  return items;
}

Result<CallClause> build_call_clause(Match call) {
  CallClause built;
  for (Match m : call.inner()) {
    if (m.rule() == Rule::explicit_procedure_invocation) {
      for (Match part : m.inner()) {
        if (part.rule() == Rule::procedure_name) {
          built.procedure = std::string(part.text());
        } else if (part.rule() == Rule::expression) {
          TRY_ASSIGN(Expr argument, build_expression(part));
          built.arguments.push_back(std::move(argument));
        }
      }
    } else if (m.rule() == Rule::yield_items) {
      for (Match item : m.inner()) {
        if (item.rule() != Rule::yield_item) continue;
        YieldItem yield;
        for (Match part : item.inner()) {
          if (part.rule() == Rule::procedure_result_field) yield.field = std::string(part.text());
          if (part.rule() == Rule::variable) yield.variable = std::string(part.text());
        }
        built.yield_items.push_back(std::move(yield));
      }
    }
  }
  return built;
}

// ---- Patterns ----

Result<Pattern> build_pattern(Match pattern) {
  Pattern built;
  for (Match m : pattern.inner()) {
    if (m.rule() != Rule::pattern_part) continue;
    TRY_ASSIGN(PatternPart part, build_pattern_part(m));
    built.parts.push_back(std::move(part));
  }
  return built;
}

Result<PatternPart> build_pattern_part(Match pattern_part) {
  std::optional<std::string> variable;
  std::optional<Path> path;
  for (Match m : pattern_part.inner()) {
    if (m.rule() == Rule::variable) {
      variable = std::string(m.text());
    } else if (m.rule() == Rule::pattern_element) {
      TRY_ASSIGN(path, build_pattern_element(m));
    }
  }
  if (!path) return fail("Pattern part missing element");
  return PatternPart{std::move(variable), std::move(path->start), std::move(path->chain)};
}

Result<NodePattern> build_node_pattern(Match node_pattern) {
  NodePattern node;
  for (Match m : node_pattern.inner()) {
    switch (m.rule()) {
      case Rule::variable: node.variable = std::string(m.text()); break;
      case Rule::node_labels: node.labels = texts_of(m, Rule::label_name); break;
      case Rule::properties: {
        TRY_ASSIGN(node.properties, build_properties(m));
        break;
      }
      default: break;
    }
  }
  return node;
}

Result<MapOrParam> build_properties(Match properties) {
  std::optional<Match> first = first_inner(properties);
  if (!first) return fail("Empty properties");
  MapOrParam built;
  if (first->rule() == Rule::map_literal) {
    TRY_ASSIGN(PropertyMap map, build_map_literal(*first));
    built.value = std::move(map);
  } else if (first->rule() == Rule::parameter) {
    std::string_view name = first->text();
    while (!name.empty() && name.front() == '$') name.remove_prefix(1);
    built.value = MapOrParam::Param{std::string(name)};
  } else {
    return fail("Unknown properties type");
  }
  return built;
}

}  // namespace tessark
