// Tree builder, expression level: the precedence chain, postfix operators, atoms, literals,
// map literals and property expressions. Chains of operators are folded to the left in loops,
// so a long chain costs no recursion here (see the depth note in ast.hpp).
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "parser/builder.hpp"
#include "parser/builder_text.hpp"

// Nested brackets recurse through build_expression, build_atom and build_literal once per
// level. Those dispatchers stay small because every alternative is built by a function of its
// own that is not inlined into them (inlined, their locals would all share the dispatcher's
// frame, some kilobytes per nesting level).
#define NOINLINE [[gnu::noinline]]

namespace tessark {
namespace {

using namespace builder_text;

template <typename Node>
Expr binary(Expr left, Expr right) {
  return Node{Box<Expr>(std::move(left)), Box<Expr>(std::move(right))};
}

template <typename Node>
Expr unary(Expr operand) {
  return Node{Box<Expr>(std::move(operand))};
}

// a OR b OR c: operands between keyword matches, folded to the left.
template <typename Node>
NOINLINE Result<Expr> build_boolean_chain(Match chain, Rule keyword, std::string_view empty_message) {
  std::optional<Expr> result;
  for (Match m : chain.inner()) {
    if (m.rule() == keyword) continue;
    TRY_ASSIGN(Expr operand, build_expression(m));
    result = result ? binary<Node>(std::move(*result), std::move(operand)) : std::move(operand);
  }
  if (!result) return fail(empty_message);
  return std::move(*result);
}

NOINLINE Result<Expr> build_not_expr(Match not_expr) {
  std::size_t nots = 0;
  std::optional<Match> comparison;
  for (Match m : not_expr.inner()) {
    if (m.rule() == Rule::not_kw) ++nots;
    if (m.rule() == Rule::comparison_expr && !comparison) comparison = m;
  }
  if (!comparison) return fail("NOT missing comparison_expr");
  if (nots == 0) return build_expression(*comparison);
  TRY_ASSIGN(Expr result, build_expression(*comparison));
  for (std::size_t i = 0; i < nots; ++i) result = unary<Not>(std::move(result));
  return result;
}

// The arithmetic levels; `combine` maps the operator character written before an operand to
// the node joining it to the operands before it.
template <typename Combine>
NOINLINE Result<Expr> build_arithmetic_chain(Match chain, std::string_view empty_message,
                                    Combine combine) {
  std::string_view text = chain.text();
  std::optional<Expr> result;
  std::size_t previous_end = 0;
  for (Match m : chain.inner()) {
    TRY_ASSIGN(Expr operand, build_expression(m));
    if (!result) {
      result = std::move(operand);
    } else {
      std::size_t pos = skip_trivia(text, previous_end);
      char op = pos < text.size() ? text[pos] : '\0';
      result = combine(op, std::move(*result), std::move(operand));
    }
    previous_end = end_in(chain, m);
  }
  if (!result) return fail(empty_message);
  return std::move(*result);
}

NOINLINE Result<Expr> negate(Result<Expr> operand) {
  if (!operand) return operand;
  return unary<Negate>(std::move(operand).value());
}

NOINLINE Result<Expr> build_unary_expr(Match unary_expr) {
  for (Match m : unary_expr.inner()) {
    if (m.rule() != Rule::postfix_expr) continue;
    if (unary_expr.text().starts_with('-')) return negate(build_postfix_expr(m));
    return build_postfix_expr(m);
  }
  return fail("Unary missing postfix");
}

// The operator words in upper case, joined by single blanks; whitespace and comments between
// and after them are dropped ("is /* c */ not\nnull " gives "IS NOT NULL").
std::string normalized_operator(std::string_view text) {
  std::string out;
  std::size_t pos = skip_trivia(text, 0);
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && skip_trivia(text, end) == end) ++end;
    if (!out.empty()) out += ' ';
    out += upper(text.substr(pos, end - pos));
    pos = skip_trivia(text, end);
  }
  return out;
}

// ---- Atoms ----

// Variable, list and predicate of a filter_expression, as used by comprehensions and
// quantifiers.
struct Filter {
  std::string variable;
  Expr list = NullLiteral{};
  Box<Expr> predicate;
};

NOINLINE Result<bool> read_filter(Match filter, Filter& out) {
  for (Match m : filter.inner()) {
    if (m.rule() == Rule::id_in_coll) {
      std::vector<Match> parts = m.inner_list();
      if (!parts.empty()) out.variable = std::string(parts[0].text());
      if (parts.size() > 1) {
        TRY_ASSIGN(out.list, build_expression(parts[1]));
      }
    } else if (m.rule() == Rule::expression) {
      TRY_ASSIGN(Expr predicate, build_expression(m));
      out.predicate = Box<Expr>(std::move(predicate));
    }
  }
  return true;
}

NOINLINE Result<Expr> build_list_comprehension(Match comprehension) {
  Filter filter;
  Box<Expr> projection;
  for (Match m : comprehension.inner()) {
    if (m.rule() == Rule::filter_expression) {
      filter = Filter{};
      TRY_ASSIGN(bool done, read_filter(m, filter));
      (void)done;
    } else if (m.rule() == Rule::expression) {
      TRY_ASSIGN(Expr built, build_expression(m));
      projection = Box<Expr>(std::move(built));
    }
  }
  return Expr(ListComprehension{std::move(filter.variable), Box<Expr>(std::move(filter.list)),
                                std::move(filter.predicate), std::move(projection)});
}

NOINLINE Result<Expr> build_quantifier(Match quantifier) {
  Filter filter;
  for (Match m : quantifier.inner()) {
    if (m.rule() != Rule::filter_expression) continue;
    filter = Filter{};
    TRY_ASSIGN(bool done, read_filter(m, filter));
    (void)done;
  }
  std::string_view text = quantifier.text();
  std::size_t pos = skip_trivia(text, 0);
  auto make = [&filter]<typename Node>() -> Expr {
    return Node{std::move(filter.variable), Box<Expr>(std::move(filter.list)),
                std::move(filter.predicate)};
  };
  if (word_at(text, pos, "ALL")) return make.template operator()<QuantifierAll>();
  if (word_at(text, pos, "ANY")) return make.template operator()<QuantifierAny>();
  if (word_at(text, pos, "NONE")) return make.template operator()<QuantifierNone>();
  return make.template operator()<QuantifierSingle>();
}

NOINLINE Result<Expr> build_function_call(Match call) {
  std::vector<Match> parts = call.inner_list();
  if (parts.empty()) return fail("Function missing name");
  FunctionCall built;
  built.name = std::string(parts[0].text());
  // DISTINCT stands after "(" and before the first argument.
  std::string_view text = call.text();
  std::size_t pos = skip_trivia(text, end_in(call, parts[0]));
  if (pos < text.size() && text[pos] == '(') {
    std::size_t limit = text.size();
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].rule() == Rule::expression) {
        limit = start_in(call, parts[i]);
        break;
      }
    }
    built.distinct = keyword_after(text, pos + 1, "DISTINCT", limit);
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].rule() != Rule::expression) continue;
    TRY_ASSIGN(Expr argument, build_expression(parts[i]));
    built.arguments.push_back(std::move(argument));
  }
  return Expr(std::move(built));
}

// CASE [subject] (WHEN condition THEN result)+ [ELSE value] END: every part is an expression
// match; the subject is the one starting right after CASE, the else value the last one when
// ELSE stands in front of it.
NOINLINE Result<Expr> build_case(Match case_expression) {
  std::vector<Match> parts;
  for (Match m : case_expression.inner()) {
    if (m.rule() == Rule::expression) parts.push_back(m);
  }
  std::string_view text = case_expression.text();
  std::size_t after_case = skip_trivia(text, past_keyword(text, "CASE"));
  bool has_subject = !parts.empty() && start_in(case_expression, parts[0]) == after_case;
  std::size_t first_pair = has_subject ? 1 : 0;
  bool has_else = false;
  if (parts.size() >= first_pair + 2) {
    Match last = parts.back();
    Match before = parts[parts.size() - 2];
    has_else = keyword_after(text, end_in(case_expression, before), "ELSE",
                             start_in(case_expression, last));
  }
  std::size_t pairs_end = parts.size() - (has_else ? 1 : 0);

  Case built;
  if (has_subject) {
    TRY_ASSIGN(Expr subject, build_expression(parts[0]));
    built.subject = Box<Expr>(std::move(subject));
  }
  for (std::size_t i = first_pair; i + 1 < pairs_end; i += 2) {
    TRY_ASSIGN(Expr condition, build_expression(parts[i]));
    TRY_ASSIGN(Expr result, build_expression(parts[i + 1]));
    built.alternatives.push_back(CaseAlternative{std::move(condition), std::move(result)});
  }
  if (has_else) {
    TRY_ASSIGN(Expr else_expression, build_expression(parts.back()));
    built.else_expression = Box<Expr>(std::move(else_expression));
  }
  return Expr(std::move(built));
}

NOINLINE Result<Expr> build_exists(Match exists) {
  std::optional<Match> body = first_inner(exists);
  if (!body) return fail("Empty EXISTS");
  ExistsSubquery subquery;
  if (body->rule() == Rule::regular_query) {
    TRY_ASSIGN(RegularQuery query, build_regular_query(*body));
    subquery.value = std::move(query);
  } else if (body->rule() == Rule::pattern) {
    TRY_ASSIGN(Pattern pattern, build_pattern(*body));
    subquery.value = std::move(pattern);
  } else {
    return fail("Unknown EXISTS subquery type");
  }
  return Expr(Exists{Box<ExistsSubquery>(std::move(subquery))});
}

NOINLINE Result<Expr> build_list_literal(Match list_literal) {
  ListLiteral list;
  for (Match m : list_literal.inner()) {
    if (m.rule() != Rule::expression) continue;
    TRY_ASSIGN(Expr element, build_expression(m));
    list.elements.push_back(std::move(element));
  }
  return Expr(std::move(list));
}

// Digits of `base` with an optional sign; nullopt when invalid or out of range.
std::optional<std::int64_t> read_integer(std::string_view digits, int base) {
  if (!digits.empty() && digits.front() == '+') {
    digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '-') return std::nullopt;
  }
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace

std::int64_t read_integer_literal(std::string_view text) {
  std::optional<std::int64_t> value;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    value = read_integer(text.substr(2), 16);
  } else if (text.size() >= 2 && text[0] == '0' && text[1] == 'o') {
    value = read_integer(text.substr(2), 8);
  } else {
    value = read_integer(text, 10);
  }
  return value.value_or(0);
}

double read_float_literal(std::string_view text) {
  double value = 0.0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (end != text.data() + text.size()) return 0.0;
  if (error == std::errc::result_out_of_range) {
    // Too large is infinite, too small is zero (as a correctly rounded reading gives).
    bool negative_exponent = text.find("e-") != std::string_view::npos ||
                             text.find("E-") != std::string_view::npos;
    return negative_exponent ? 0.0 : std::numeric_limits<double>::infinity();
  }
  if (error != std::errc()) return 0.0;
  return value;
}

// ---- Expressions ----

namespace {

// The grammar records every precedence level even around a single operand (x alone is eleven
// levels above its atom). A level holding one operand and no operator builds exactly what its
// operand builds, so descend through such levels in a loop: each nesting of brackets then costs
// a few stack frames instead of a dozen.
Match skip_single_operand_levels(Match match) {
  for (;;) {
    auto inner = match.inner();
    if (inner.empty()) return match;
    Match only = *inner.begin();
    if (++inner.begin() != inner.end()) return match;
    switch (match.rule()) {
      case Rule::expression:
      case Rule::comparison_expr:
      case Rule::add_sub_expr:
      case Rule::mul_div_expr:
      case Rule::mod_expr:
      case Rule::power_expr: break;
      case Rule::or_expr:
        if (only.rule() == Rule::or_kw) return match;
        break;
      case Rule::xor_expr:
        if (only.rule() == Rule::xor_kw) return match;
        break;
      case Rule::and_expr:
        if (only.rule() == Rule::and_kw) return match;
        break;
      case Rule::not_expr:
        if (only.rule() != Rule::comparison_expr) return match;
        break;
      case Rule::unary_expr:
        if (only.rule() != Rule::postfix_expr || match.text().starts_with('-')) return match;
        break;
      case Rule::postfix_expr:
        if (only.rule() != Rule::atom) return match;
        break;
      default: return match;
    }
    match = only;
  }
}

}  // namespace

Result<Expr> build_expression(Match expression) {
  expression = skip_single_operand_levels(expression);
  switch (expression.rule()) {
    case Rule::expression: {
      std::optional<Match> first = first_inner(expression);
      if (!first) return fail("Empty expression");
      return build_expression(*first);
    }
    case Rule::or_expr: return build_boolean_chain<Or>(expression, Rule::or_kw, "Empty or_expr");
    case Rule::xor_expr:
      return build_boolean_chain<Xor>(expression, Rule::xor_kw, "Empty xor_expr");
    case Rule::and_expr:
      return build_boolean_chain<And>(expression, Rule::and_kw, "Empty and_expr");
    case Rule::not_expr: return build_not_expr(expression);
    case Rule::comparison_expr: return build_comparison_expr(expression);
    case Rule::add_sub_expr:
      return build_arithmetic_chain(expression, "Empty add_sub_expr", [](char op, Expr l, Expr r) {
        return op == '-' ? binary<Subtract>(std::move(l), std::move(r))
                         : binary<Add>(std::move(l), std::move(r));
      });
    case Rule::mul_div_expr:
      return build_arithmetic_chain(expression, "Empty mul_div_expr", [](char op, Expr l, Expr r) {
        return op == '/' ? binary<Divide>(std::move(l), std::move(r))
                         : binary<Multiply>(std::move(l), std::move(r));
      });
    case Rule::mod_expr:
      return build_arithmetic_chain(expression, "Empty mod_expr", [](char, Expr l, Expr r) {
        return binary<Modulo>(std::move(l), std::move(r));
      });
    case Rule::power_expr:
      return build_arithmetic_chain(expression, "Empty power_expr", [](char, Expr l, Expr r) {
        return binary<Power>(std::move(l), std::move(r));
      });
    case Rule::unary_expr: return build_unary_expr(expression);
    case Rule::postfix_expr: return build_postfix_expr(expression);
    case Rule::atom: return build_atom(expression);
    default: return fail("Unexpected rule in expression: ", expression);
  }
}

namespace {

// `left op right` for the comparison operator written as `op_text`.
NOINLINE Result<Expr> apply_comparison(std::string_view op_text, Expr left, Expr right) {
  std::string op = normalized_operator(op_text);
  if (op == "=") return binary<Equal>(std::move(left), std::move(right));
  if (op == "<") return binary<LessThan>(std::move(left), std::move(right));
  if (op == ">") return binary<GreaterThan>(std::move(left), std::move(right));
  if (op == "<>") return binary<NotEqual>(std::move(left), std::move(right));
  if (op == "<=") return binary<LessThanOrEqual>(std::move(left), std::move(right));
  if (op == ">=") return binary<GreaterThanOrEqual>(std::move(left), std::move(right));
  if (op == "=~") return binary<RegexMatch>(std::move(left), std::move(right));
  if (op == "IN") return binary<In>(std::move(left), std::move(right));
  // IS NULL and IS NOT NULL drop the right operand the grammar makes them take.
  if (op == "IS NULL") return unary<IsNull>(std::move(left));
  if (op == "IS NOT NULL") return unary<IsNotNull>(std::move(left));
  if (op.size() >= 6 && op.starts_with("STARTS")) {
    return binary<StartsWith>(std::move(left), std::move(right));
  }
  if (op.size() >= 4 && op.starts_with("ENDS")) {
    return binary<EndsWith>(std::move(left), std::move(right));
  }
  if (op == "CONTAINS") return binary<Contains>(std::move(left), std::move(right));
  return fail("Unknown comparison op: " + op);
}

}  // namespace

NOINLINE Result<Expr> build_comparison_expr(Match comparison_expr) {
  auto parts = comparison_expr.inner();
  if (parts.empty()) return fail("Empty comparison_expr");
  auto part = parts.begin();
  TRY_ASSIGN(Expr result, build_expression(*part));
  // Pairs of operator and right operand; a missing pair member or another rule ends the chain.
  for (++part; part != parts.end() && (*part).rule() == Rule::comparison_op;) {
    Match op = *part;
    if (++part == parts.end()) break;
    TRY_ASSIGN(Expr right, build_expression(*part));
    TRY_ASSIGN(result, apply_comparison(op.text(), std::move(result), std::move(right)));
    ++part;
  }
  return result;
}

namespace {

// `base` with one postfix operator applied.
NOINLINE Result<Expr> apply_postfix_op(Expr base, Match postfix_op) {
  std::optional<Match> op = first_inner(postfix_op);
  if (!op) return fail("Empty postfix_op");
  switch (op->rule()) {
    case Rule::property_lookup: {
      std::optional<Match> key = first_inner(*op);
      if (!key) return fail("Property lookup missing key");
      return Expr(PropertyAccess{Box<Expr>(std::move(base)), std::string(key->text())});
    }
    case Rule::subscript_op: {
      std::optional<Match> index = first_inner(*op);
      if (!index) return fail("Subscript missing index");
      TRY_ASSIGN(Expr built, build_expression(*index));
      return Expr(Subscript{Box<Expr>(std::move(base)), Box<Expr>(std::move(built))});
    }
    case Rule::list_slice_op: {
      // A bound is `from` when no ".." stands between "[" and it, `to` otherwise.
      std::string_view text = op->text();
      std::size_t after_bracket = skip_trivia(text, 1);
      Box<Expr> from;
      Box<Expr> to;
      for (Match bound : op->inner()) {
        if (bound.rule() != Rule::expression) continue;
        TRY_ASSIGN(Expr built, build_expression(bound));
        bool is_from = !from && !to && start_in(*op, bound) == after_bracket &&
                       text.compare(after_bracket, 2, "..") != 0;
        (is_from ? from : to) = Box<Expr>(std::move(built));
      }
      return Expr(Slice{Box<Expr>(std::move(base)), std::move(from), std::move(to)});
    }
    default: return base;
  }
}

}  // namespace

NOINLINE Result<Expr> build_postfix_expr(Match postfix_expr) {
  auto parts = postfix_expr.inner();
  if (parts.empty()) return fail("Postfix missing atom");
  auto part = parts.begin();
  TRY_ASSIGN(Expr result, build_atom(*part));
  for (++part; part != parts.end(); ++part) {
    if ((*part).rule() != Rule::postfix_op) continue;
    TRY_ASSIGN(result, apply_postfix_op(std::move(result), *part));
  }
  return result;
}

NOINLINE Result<Expr> build_atom(Match atom) {
  std::optional<Match> inner = first_inner(atom);
  if (!inner) return fail("Empty atom");
  switch (inner->rule()) {
    case Rule::parenthesized_expr: {
      std::optional<Match> expression = first_inner(*inner);
      if (!expression) return fail("Empty paren expr");
      return build_expression(*expression);
    }
    case Rule::count_star: return Expr(CountStar{});
    case Rule::function_invocation: return build_function_call(*inner);
    case Rule::case_expression: return build_case(*inner);
    case Rule::list_comprehension: return build_list_comprehension(*inner);
    case Rule::quantifier_expression: return build_quantifier(*inner);
    case Rule::exists_subquery: return build_exists(*inner);
    case Rule::literal: return build_literal(*inner);
    case Rule::parameter: {
      std::string_view name = inner->text();
      while (!name.empty() && name.front() == '$') name.remove_prefix(1);
      return Expr(Parameter{std::string(name)});
    }
    case Rule::variable: return Expr(Variable{std::string(inner->text())});
    default: return fail("Unknown atom: ", *inner);
  }
}

NOINLINE Result<Expr> build_literal(Match literal) {
  std::optional<Match> inner = first_inner(literal);
  if (!inner) return fail("Empty literal");
  std::string_view text = inner->text();
  switch (inner->rule()) {
    case Rule::integer_literal: return Expr(IntegerLiteral{read_integer_literal(text)});
    case Rule::float_literal: return Expr(FloatLiteral{read_float_literal(text)});
    case Rule::string_literal:
      return Expr(StringLiteral{std::string(text.size() >= 2 ? text.substr(1, text.size() - 2)
                                                             : std::string_view())});
    case Rule::boolean_literal: return Expr(BooleanLiteral{upper(text) == "TRUE"});
    case Rule::null_literal: return Expr(NullLiteral{});
    case Rule::list_literal: return build_list_literal(*inner);
    case Rule::map_literal: {
      TRY_ASSIGN(PropertyMap entries, build_map_literal(*inner));
      return Expr(MapLiteral{std::move(entries)});
    }
    default: return fail("Unknown literal: ", *inner);
  }
}

NOINLINE Result<PropertyMap> build_map_literal(Match map_literal) {
  PropertyMap map;
  for (Match pair : map_literal.inner()) {
    if (pair.rule() != Rule::property_key_value_pair) continue;
    std::vector<Match> parts = pair.inner_list();
    if (parts.empty()) return fail("Map missing key");
    if (parts.size() < 2) return fail("Map missing value");
    TRY_ASSIGN(Expr value, build_expression(parts[1]));
    map.insert_or_assign(std::string(parts[0].text()), std::move(value));
  }
  return map;
}

Result<PropertyExpr> build_property_expression(Match property_expression) {
  PropertyExpr built;
  for (Match m : property_expression.inner()) {
    if (m.rule() == Rule::variable) {
      built.variable = std::string(m.text());
    } else if (m.rule() == Rule::property_lookup) {
      std::optional<Match> key = first_inner(m);
      if (!key) return fail("Property lookup missing key");
      built.keys.emplace_back(key->text());
    }
  }
  return built;
}

}  // namespace tessark
