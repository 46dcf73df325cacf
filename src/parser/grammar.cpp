// The query grammar, one rule per definition in the order of the rule list, each under its
// grammar line; and the run that applies one rule to a text.
#include "parser/grammar.hpp"

#include <array>
#include <utility>

#include "parser/peg.hpp"

namespace tessark {
namespace grammar {

using namespace peg;  // NOLINT: the grammar reads as combinators

// Every rule is declared up front: the grammar is recursive.
#define TESSARK_RULE(id, name) struct id;
#include "parser/rules.def"
#undef TESSARK_RULE

// Character classes (notation only: not rules, never matches).
using letter = choice<range<'a', 'z'>, range<'A', 'Z'>>;
using digit = range<'0', '9'>;
using letter_or_digit = choice<range<'a', 'z'>, range<'A', 'Z'>, range<'0', '9'>>;
using hex_digit = choice<range<'0', '9'>, range<'a', 'f'>, range<'A', 'F'>>;
using oct_digit = range<'0', '7'>;
using word_end = not_at<choice<letter_or_digit, lit<"_">>>;
using name_start = choice<letter, lit<"_">>;  // LETTER | "_"
using name_rest = star<choice<letter_or_digit, lit<"_">>>;  // ( LETTER_OR_DIGIT | "_" )*

// clang-format off

// ---- Runtime ----

// EOI: end of input
struct EOI : normal<Rule::EOI, end_of_input> {};

// ---- Whitespace and comments ----

// WHITESPACE: " " | "\t" | "\r" | "\n"
struct WHITESPACE : silent<choice<lit<" ">, lit<"\t">, lit<"\r">, lit<"\n">>> {};
// COMMENT: ( "//" ~ ( !"\n" ~ ANY_CHAR )* ~ "\n"? ) | ( "/*" ~ ( !"*/" ~ ANY_CHAR )* ~ "*/" )
struct COMMENT : silent<choice<seq<lit<"//">, any_until<"\n">, opt<lit<"\n">>>,
                               seq<lit<"/*">, any_until<"*/">, lit<"*/">>>> {};

// ---- Queries ----

// cypher: START_OF_INPUT ~ statement ~ ";"? ~ EOI
struct cypher : normal<Rule::cypher, seq<start_of_input, statement, opt<lit<";">>, EOI>> {};
// statement: regular_query | standalone_call
struct statement : normal<Rule::statement, choice<regular_query, standalone_call>> {};
// regular_query: single_query ~ union_clause*
struct regular_query : normal<Rule::regular_query, seq<single_query, star<union_clause>>> {};
// union_clause: "UNION"i ~ "ALL"i? ~ single_query
struct union_clause : normal<Rule::union_clause, seq<ilit<"UNION">, opt<ilit<"ALL">>, single_query>> {};
// single_query: multi_part_query | single_part_query
struct single_query : normal<Rule::single_query, choice<multi_part_query, single_part_query>> {};
// single_part_query: reading_clause+ ~ updating_clause* ~ return_clause?
//                  | updating_clause+ ~ return_clause? | return_clause
struct single_part_query : normal<Rule::single_part_query,
    choice<seq<plus<reading_clause>, star<updating_clause>, opt<return_clause>>,
           seq<plus<updating_clause>, opt<return_clause>>,
           return_clause>> {};
// multi_part_query: ( reading_clause* ~ updating_clause* ~ with_clause )+
//                   ~ reading_clause* ~ updating_clause* ~ return_clause?
struct multi_part_query : normal<Rule::multi_part_query,
    seq<plus<seq<star<reading_clause>, star<updating_clause>, with_clause>>,
        star<reading_clause>, star<updating_clause>, opt<return_clause>>> {};

// ---- Reading clauses ----

// reading_clause: match_clause | unwind_clause | in_query_call
struct reading_clause : normal<Rule::reading_clause, choice<match_clause, unwind_clause, in_query_call>> {};
// match_clause: "OPTIONAL"i? ~ "MATCH"i ~ pattern ~ where_clause?
struct match_clause : normal<Rule::match_clause,
    seq<opt<ilit<"OPTIONAL">>, ilit<"MATCH">, pattern, opt<where_clause>>> {};
// unwind_clause: "UNWIND"i ~ expression ~ "AS"i ~ variable
struct unwind_clause : normal<Rule::unwind_clause, seq<ilit<"UNWIND">, expression, ilit<"AS">, variable>> {};
// in_query_call: "CALL"i ~ explicit_procedure_invocation ~ ( "YIELD"i ~ yield_items )?
struct in_query_call : normal<Rule::in_query_call,
    seq<ilit<"CALL">, explicit_procedure_invocation, opt<seq<ilit<"YIELD">, yield_items>>>> {};
// standalone_call: "CALL"i ~ explicit_procedure_invocation ~ ( "YIELD"i ~ yield_items )?
struct standalone_call : normal<Rule::standalone_call,
    seq<ilit<"CALL">, explicit_procedure_invocation, opt<seq<ilit<"YIELD">, yield_items>>>> {};
// explicit_procedure_invocation: procedure_name ~ "(" ~ ( expression ~ ( "," ~ expression )* )? ~ ")"
struct explicit_procedure_invocation : normal<Rule::explicit_procedure_invocation,
    seq<procedure_name, lit<"(">, opt<seq<expression, star<seq<lit<",">, expression>>>>, lit<")">>> {};
// procedure_name: identifier ~ ( "." ~ identifier )*
struct procedure_name : atomic<Rule::procedure_name, seq<identifier, star<seq<lit<".">, identifier>>>> {};
// yield_items: yield_item ~ ( "," ~ yield_item )*
struct yield_items : normal<Rule::yield_items, seq<yield_item, star<seq<lit<",">, yield_item>>>> {};
// yield_item: ( procedure_result_field ~ "AS"i )? ~ variable
struct yield_item : normal<Rule::yield_item, seq<opt<seq<procedure_result_field, ilit<"AS">>>, variable>> {};
// procedure_result_field: identifier
struct procedure_result_field : atomic<Rule::procedure_result_field, identifier> {};

// ---- Updating clauses ----

// updating_clause: create_clause | merge_clause | set_clause | remove_clause | delete_clause
struct updating_clause : normal<Rule::updating_clause,
    choice<create_clause, merge_clause, set_clause, remove_clause, delete_clause>> {};
// create_clause: "CREATE"i ~ pattern
struct create_clause : normal<Rule::create_clause, seq<ilit<"CREATE">, pattern>> {};
// merge_clause: "MERGE"i ~ pattern_part ~ on_match_or_create*
struct merge_clause : normal<Rule::merge_clause, seq<ilit<"MERGE">, pattern_part, star<on_match_or_create>>> {};
// on_match_or_create: "ON"i ~ ( "MATCH"i ~ set_clause | "CREATE"i ~ set_clause )
struct on_match_or_create : normal<Rule::on_match_or_create,
    seq<ilit<"ON">, choice<seq<ilit<"MATCH">, set_clause>, seq<ilit<"CREATE">, set_clause>>>> {};
// set_clause: "SET"i ~ set_item ~ ( "," ~ set_item )*
struct set_clause : normal<Rule::set_clause, seq<ilit<"SET">, set_item, star<seq<lit<",">, set_item>>>> {};
// set_item: property_expression ~ "=" ~ expression | variable ~ "=" ~ expression
//         | variable ~ ( "+=" ~ expression | node_labels )
struct set_item : normal<Rule::set_item,
    choice<seq<property_expression, lit<"=">, expression>,
           seq<variable, lit<"=">, expression>,
           seq<variable, choice<seq<lit<"+=">, expression>, node_labels>>>> {};
// remove_clause: "REMOVE"i ~ remove_item ~ ( "," ~ remove_item )*
struct remove_clause : normal<Rule::remove_clause,
    seq<ilit<"REMOVE">, remove_item, star<seq<lit<",">, remove_item>>>> {};
// remove_item: variable ~ node_labels | property_expression
struct remove_item : normal<Rule::remove_item, choice<seq<variable, node_labels>, property_expression>> {};
// delete_clause: "DETACH"i? ~ "DELETE"i ~ expression ~ ( "," ~ expression )*
struct delete_clause : normal<Rule::delete_clause,
    seq<opt<ilit<"DETACH">>, ilit<"DELETE">, expression, star<seq<lit<",">, expression>>>> {};

// ---- Projections ----

// with_clause: "WITH"i ~ "DISTINCT"i? ~ return_body ~ where_clause?
struct with_clause : normal<Rule::with_clause,
    seq<ilit<"WITH">, opt<ilit<"DISTINCT">>, return_body, opt<where_clause>>> {};
// return_clause: "RETURN"i ~ "DISTINCT"i? ~ return_body
struct return_clause : normal<Rule::return_clause, seq<ilit<"RETURN">, opt<ilit<"DISTINCT">>, return_body>> {};
// return_body: return_items ~ order_clause? ~ skip_clause? ~ limit_clause?
struct return_body : normal<Rule::return_body,
    seq<return_items, opt<order_clause>, opt<skip_clause>, opt<limit_clause>>> {};
// return_items: "*" | return_item ~ ( "," ~ return_item )*
struct return_items : normal<Rule::return_items,
    choice<lit<"*">, seq<return_item, star<seq<lit<",">, return_item>>>>> {};
// return_item: expression ~ ( "AS"i ~ variable )?
struct return_item : normal<Rule::return_item, seq<expression, opt<seq<ilit<"AS">, variable>>>> {};
// order_clause: "ORDER"i ~ "BY"i ~ sort_item ~ ( "," ~ sort_item )*
struct order_clause : normal<Rule::order_clause,
    seq<ilit<"ORDER">, ilit<"BY">, sort_item, star<seq<lit<",">, sort_item>>>> {};
// sort_item: expression ~ ( "ASCENDING"i | "ASC"i | "DESCENDING"i | "DESC"i )?
struct sort_item : normal<Rule::sort_item,
    seq<expression, opt<choice<ilit<"ASCENDING">, ilit<"ASC">, ilit<"DESCENDING">, ilit<"DESC">>>>> {};
// skip_clause: "SKIP"i ~ expression
struct skip_clause : normal<Rule::skip_clause, seq<ilit<"SKIP">, expression>> {};
// limit_clause: "LIMIT"i ~ expression
struct limit_clause : normal<Rule::limit_clause, seq<ilit<"LIMIT">, expression>> {};
// where_clause: "WHERE"i ~ expression
struct where_clause : normal<Rule::where_clause, seq<ilit<"WHERE">, expression>> {};

// ---- Patterns ----

// pattern: pattern_part ~ ( "," ~ pattern_part )*
struct pattern : normal<Rule::pattern, seq<pattern_part, star<seq<lit<",">, pattern_part>>>> {};
// pattern_part: ( variable ~ "=" )? ~ pattern_element
struct pattern_part : normal<Rule::pattern_part, seq<opt<seq<variable, lit<"=">>>, pattern_element>> {};
// pattern_element: node_pattern ~ ( relationship_pattern ~ node_pattern )*
struct pattern_element : normal<Rule::pattern_element,
    seq<node_pattern, star<seq<relationship_pattern, node_pattern>>>> {};
// node_pattern: "(" ~ variable? ~ node_labels? ~ properties? ~ ")"
struct node_pattern : normal<Rule::node_pattern,
    seq<lit<"(">, opt<variable>, opt<node_labels>, opt<properties>, lit<")">>> {};
// node_labels: ( ":" ~ label_name )+
struct node_labels : normal<Rule::node_labels, plus<seq<lit<":">, label_name>>> {};
// label_name: identifier
struct label_name : atomic<Rule::label_name, identifier> {};
// relationship_pattern: left_arrow? ~ ( "-" ~ "[" ~ variable? ~ rel_types? ~ range_literal?
//                       ~ properties? ~ "]" ~ "-" | "--" ) ~ right_arrow?
struct relationship_pattern : normal<Rule::relationship_pattern,
    seq<opt<left_arrow>,
        choice<seq<lit<"-">, lit<"[">, opt<variable>, opt<rel_types>, opt<range_literal>,
                   opt<properties>, lit<"]">, lit<"-">>,
               lit<"--">>,
        opt<right_arrow>>> {};
// left_arrow: "<"
struct left_arrow : normal<Rule::left_arrow, lit<"<">> {};
// right_arrow: ">"
struct right_arrow : normal<Rule::right_arrow, lit<">">> {};
// rel_types: ":" ~ rel_type_name ~ ( "|" ~ ":"? ~ rel_type_name )*
struct rel_types : normal<Rule::rel_types,
    seq<lit<":">, rel_type_name, star<seq<lit<"|">, opt<lit<":">>, rel_type_name>>>> {};
// rel_type_name: identifier
struct rel_type_name : atomic<Rule::rel_type_name, identifier> {};
// range_literal: "*" ~ ( integer_literal ~ ( ".." ~ integer_literal? )? )?
struct range_literal : normal<Rule::range_literal,
    seq<lit<"*">, opt<seq<integer_literal, opt<seq<lit<"..">, opt<integer_literal>>>>>>> {};
// properties: map_literal | parameter
struct properties : normal<Rule::properties, choice<map_literal, parameter>> {};

// ---- Expressions: precedence chain, loosest first ----

// expression: or_expr (each expression is one level of nesting)
struct expression : memoised<normal<Rule::expression, nested<or_expr>>> {};
// or_kw: "OR"i ~ WORD_END
struct or_kw : atomic<Rule::or_kw, seq<ilit<"OR">, word_end>> {};
// xor_kw: "XOR"i ~ WORD_END
struct xor_kw : atomic<Rule::xor_kw, seq<ilit<"XOR">, word_end>> {};
// and_kw: "AND"i ~ WORD_END
struct and_kw : atomic<Rule::and_kw, seq<ilit<"AND">, word_end>> {};
// not_kw: "NOT"i ~ WORD_END
struct not_kw : atomic<Rule::not_kw, seq<ilit<"NOT">, word_end>> {};
// or_expr: xor_expr ~ ( or_kw ~ xor_expr )*
struct or_expr : normal<Rule::or_expr, seq<xor_expr, star<seq<or_kw, xor_expr>>>> {};
// xor_expr: and_expr ~ ( xor_kw ~ and_expr )*
struct xor_expr : normal<Rule::xor_expr, seq<and_expr, star<seq<xor_kw, and_expr>>>> {};
// and_expr: not_expr ~ ( and_kw ~ not_expr )*
struct and_expr : normal<Rule::and_expr, seq<not_expr, star<seq<and_kw, not_expr>>>> {};
// not_expr: not_kw* ~ comparison_expr
struct not_expr : normal<Rule::not_expr, seq<star<not_kw>, comparison_expr>> {};
// comparison_expr: add_sub_expr ~ ( comparison_op ~ add_sub_expr )*
struct comparison_expr : normal<Rule::comparison_expr,
    seq<add_sub_expr, star<seq<comparison_op, add_sub_expr>>>> {};
// comparison_op: "<=" | ">=" | "<>" | "<" | ">" | "=~" | "=" | "IS"i ~ "NOT"i ~ "NULL"i ~ WORD_END
//              | "IS"i ~ "NULL"i ~ WORD_END | "IN"i ~ WORD_END | "STARTS"i ~ "WITH"i ~ WORD_END
//              | "ENDS"i ~ "WITH"i ~ WORD_END | "CONTAINS"i ~ WORD_END
struct comparison_op : normal<Rule::comparison_op,
    choice<lit<"<=">, lit<">=">, lit<"<>">, lit<"<">, lit<">">, lit<"=~">, lit<"=">,
           seq<ilit<"IS">, ilit<"NOT">, ilit<"NULL">, word_end>,
           seq<ilit<"IS">, ilit<"NULL">, word_end>,
           seq<ilit<"IN">, word_end>,
           seq<ilit<"STARTS">, ilit<"WITH">, word_end>,
           seq<ilit<"ENDS">, ilit<"WITH">, word_end>,
           seq<ilit<"CONTAINS">, word_end>>> {};
// add_sub_expr: mul_div_expr ~ ( ( "+" | "-" ) ~ mul_div_expr )*
struct add_sub_expr : normal<Rule::add_sub_expr,
    seq<mul_div_expr, star<seq<choice<lit<"+">, lit<"-">>, mul_div_expr>>>> {};
// mul_div_expr: mod_expr ~ ( ( "*" | "/" ) ~ mod_expr )*
struct mul_div_expr : normal<Rule::mul_div_expr,
    seq<mod_expr, star<seq<choice<lit<"*">, lit<"/">>, mod_expr>>>> {};
// mod_expr: power_expr ~ ( "%" ~ power_expr )*
struct mod_expr : normal<Rule::mod_expr, seq<power_expr, star<seq<lit<"%">, power_expr>>>> {};
// power_expr: unary_expr ~ ( "^" ~ unary_expr )*
struct power_expr : normal<Rule::power_expr, seq<unary_expr, star<seq<lit<"^">, unary_expr>>>> {};
// unary_expr: "-"? ~ postfix_expr
struct unary_expr : normal<Rule::unary_expr, seq<opt<lit<"-">>, postfix_expr>> {};
// postfix_expr: atom ~ postfix_op*
struct postfix_expr : normal<Rule::postfix_expr, seq<atom, star<postfix_op>>> {};
// postfix_op: property_lookup | subscript_op | list_slice_op
struct postfix_op : normal<Rule::postfix_op, choice<property_lookup, subscript_op, list_slice_op>> {};
// property_lookup: "." ~ property_key_name
struct property_lookup : normal<Rule::property_lookup, seq<lit<".">, property_key_name>> {};
// subscript_op: "[" ~ expression ~ "]"
struct subscript_op : normal<Rule::subscript_op, seq<lit<"[">, expression, lit<"]">>> {};
// list_slice_op: "[" ~ expression? ~ ".." ~ expression? ~ "]"
struct list_slice_op : normal<Rule::list_slice_op,
    seq<lit<"[">, opt<expression>, lit<"..">, opt<expression>, lit<"]">>> {};

// ---- Atoms ----

// atom: literal | parameter | case_expression | list_comprehension | quantifier_expression
//     | exists_subquery | count_star | function_invocation | variable | parenthesized_expr
struct atom : memoised<normal<Rule::atom,
    choice<literal, parameter, case_expression, list_comprehension, quantifier_expression,
           exists_subquery, count_star, function_invocation, variable, parenthesized_expr>>> {};
// parenthesized_expr: "(" ~ expression ~ ")"
struct parenthesized_expr : normal<Rule::parenthesized_expr, seq<lit<"(">, expression, lit<")">>> {};
// count_star: "COUNT"i ~ "(" ~ "*" ~ ")"
struct count_star : normal<Rule::count_star, seq<ilit<"COUNT">, lit<"(">, lit<"*">, lit<")">>> {};
// function_invocation: function_name ~ "(" ~ "DISTINCT"i? ~ ( expression ~ ( "," ~ expression )* )? ~ ")"
struct function_invocation : normal<Rule::function_invocation,
    seq<function_name, lit<"(">, opt<ilit<"DISTINCT">>,
        opt<seq<expression, star<seq<lit<",">, expression>>>>, lit<")">>> {};
// function_name: namespace? ~ ( LETTER | "_" ) ~ ( LETTER_OR_DIGIT | "_" )*
struct function_name : atomic<Rule::function_name, seq<opt<namespace_>, name_start, name_rest>> {};
// namespace: ( identifier ~ "." )+
struct namespace_ : atomic<Rule::namespace_, plus<seq<identifier, lit<".">>>> {};
// case_expression: "CASE"i ~ expression? ~ ( "WHEN"i ~ expression ~ "THEN"i ~ expression )+
//                  ~ ( "ELSE"i ~ expression )? ~ "END"i
struct case_expression : normal<Rule::case_expression,
    seq<ilit<"CASE">, opt<expression>, plus<seq<ilit<"WHEN">, expression, ilit<"THEN">, expression>>,
        opt<seq<ilit<"ELSE">, expression>>, ilit<"END">>> {};
// list_comprehension: "[" ~ filter_expression ~ ( "|" ~ expression )? ~ "]"
struct list_comprehension : normal<Rule::list_comprehension,
    seq<lit<"[">, filter_expression, opt<seq<lit<"|">, expression>>, lit<"]">>> {};
// filter_expression: id_in_coll ~ ( "WHERE"i ~ expression )?
struct filter_expression : normal<Rule::filter_expression,
    seq<id_in_coll, opt<seq<ilit<"WHERE">, expression>>>> {};
// id_in_coll: variable ~ "IN"i ~ expression
struct id_in_coll : normal<Rule::id_in_coll, seq<variable, ilit<"IN">, expression>> {};
// quantifier_expression: ( "ALL"i | "ANY"i | "NONE"i | "SINGLE"i ) ~ "(" ~ filter_expression ~ ")"
struct quantifier_expression : normal<Rule::quantifier_expression,
    seq<choice<ilit<"ALL">, ilit<"ANY">, ilit<"NONE">, ilit<"SINGLE">>,
        lit<"(">, filter_expression, lit<")">>> {};
// exists_subquery: "EXISTS"i ~ "{" ~ pattern ~ "}"
struct exists_subquery : normal<Rule::exists_subquery, seq<ilit<"EXISTS">, lit<"{">, pattern, lit<"}">>> {};

// ---- Literals ----

// literal: float_literal | integer_literal | string_literal | boolean_literal | null_literal
//        | list_literal | map_literal
struct literal : normal<Rule::literal,
    choice<float_literal, integer_literal, string_literal, boolean_literal, null_literal,
           list_literal, map_literal>> {};
// integer_literal: "0x" ~ HEX_DIGIT+ | "0o" ~ OCT_DIGIT+ | DIGIT+
struct integer_literal : atomic<Rule::integer_literal,
    choice<seq<lit<"0x">, plus<hex_digit>>, seq<lit<"0o">, plus<oct_digit>>, plus<digit>>> {};
// float_literal: DIGIT+ ~ "." ~ DIGIT* ~ ( ( "e" | "E" ) ~ ( "+" | "-" )? ~ DIGIT+ )?
struct float_literal : atomic<Rule::float_literal,
    seq<plus<digit>, lit<".">, star<digit>,
        opt<seq<choice<lit<"e">, lit<"E">>, opt<choice<lit<"+">, lit<"-">>>, plus<digit>>>>> {};
// string_literal: "\"" ~ ( !"\"" ~ ANY_CHAR )* ~ "\"" | "'" ~ ( !"'" ~ ANY_CHAR )* ~ "'"
struct string_literal : atomic<Rule::string_literal,
    choice<seq<lit<"\"">, any_until<"\"">, lit<"\"">>, seq<lit<"'">, any_until<"'">, lit<"'">>>> {};
// boolean_literal: "TRUE"i | "FALSE"i
struct boolean_literal : normal<Rule::boolean_literal, choice<ilit<"TRUE">, ilit<"FALSE">>> {};
// null_literal: "NULL"i
struct null_literal : normal<Rule::null_literal, ilit<"NULL">> {};
// list_literal: "[" ~ ( expression ~ ( "," ~ expression )* )? ~ "]"
struct list_literal : normal<Rule::list_literal,
    seq<lit<"[">, opt<seq<expression, star<seq<lit<",">, expression>>>>, lit<"]">>> {};
// map_literal: "{" ~ ( property_key_value_pair ~ ( "," ~ property_key_value_pair )* )? ~ "}"
struct map_literal : normal<Rule::map_literal,
    seq<lit<"{">, opt<seq<property_key_value_pair, star<seq<lit<",">, property_key_value_pair>>>>,
        lit<"}">>> {};
// property_key_value_pair: property_key_name ~ ":" ~ expression
struct property_key_value_pair : normal<Rule::property_key_value_pair,
    seq<property_key_name, lit<":">, expression>> {};
// property_key_name: identifier
struct property_key_name : atomic<Rule::property_key_name, identifier> {};
// property_expression: variable ~ property_lookup+
struct property_expression : normal<Rule::property_expression, seq<variable, plus<property_lookup>>> {};
// parameter: "$" ~ ( ( LETTER | "_" ) ~ ( LETTER_OR_DIGIT | "_" )* | DIGIT+ )
struct parameter : atomic<Rule::parameter, seq<lit<"$">, choice<seq<name_start, name_rest>, plus<digit>>>> {};

// ---- Names ----

// variable: identifier
struct variable : atomic<Rule::variable, identifier> {};
// identifier: ( !keyword ~ ( LETTER | "_" ) ~ ( LETTER_OR_DIGIT | "_" )* ) | backtick_identifier
struct identifier : atomic<Rule::identifier,
    choice<seq<not_at<keyword>, name_start, name_rest>, backtick_identifier>> {};
// backtick_identifier: "`" ~ ( !"`" ~ ANY_CHAR )* ~ "`"
struct backtick_identifier : atomic<Rule::backtick_identifier, seq<lit<"`">, any_until<"`">, lit<"`">>> {};
// keyword: ( "ALL"i | "AND"i | ... | "YIELD"i ) ~ WORD_END; the first word that matches is kept
struct keyword : normal<Rule::keyword,
    seq<choice<ilit<"ALL">, ilit<"AND">, ilit<"ANY">, ilit<"AS">, ilit<"ASC">, ilit<"ASCENDING">,
               ilit<"BY">, ilit<"CALL">, ilit<"CASE">, ilit<"CONTAINS">, ilit<"COUNT">,
               ilit<"CREATE">, ilit<"DELETE">, ilit<"DESC">, ilit<"DESCENDING">, ilit<"DETACH">,
               ilit<"DISTINCT">, ilit<"DO">, ilit<"DROP">, ilit<"ELSE">, ilit<"END">, ilit<"ENDS">,
               ilit<"EXISTS">, ilit<"FALSE">, ilit<"FOR">, ilit<"FROM">, ilit<"IN">, ilit<"IS">,
               ilit<"LIMIT">, ilit<"MATCH">, ilit<"MERGE">, ilit<"NEW">, ilit<"NONE">, ilit<"NOT">,
               ilit<"NULL">, ilit<"ON">, ilit<"OPTIONAL">, ilit<"OR">, ilit<"ORDER">,
               ilit<"REMOVE">, ilit<"RETURN">, ilit<"SET">, ilit<"SINGLE">, ilit<"SKIP">,
               ilit<"STARTS">, ilit<"THEN">, ilit<"TRUE">, ilit<"UNION">, ilit<"UNWIND">,
               ilit<"WHEN">, ilit<"WHERE">, ilit<"WITH">, ilit<"XOR">, ilit<"YIELD">>,
        word_end>> {};

// clang-format on

}  // namespace grammar

namespace peg {

// zero or more WHITESPACE, then zero or more times ( COMMENT, zero or more WHITESPACE )
void skip(State& s) {
  while (grammar::WHITESPACE::match(s)) {
  }
  while (grammar::COMMENT::match(s)) {
    while (grammar::WHITESPACE::match(s)) {
    }
  }
}

}  // namespace peg

namespace {

using RuleMatcher = bool (*)(peg::State&);

// Each rule's entry point, indexed by ordinal.
constexpr std::array<RuleMatcher, kRuleCount> kRuleMatchers = {
#define TESSARK_RULE(id, name) &grammar::id::match,
#include "parser/rules.def"
#undef TESSARK_RULE
};

}  // namespace

std::string nesting_limit_message() {
  return "Query nested too deeply (more than " + std::to_string(kMaxNestingDepth) + " levels)";
}

std::string text_size_limit_message() {
  return "Query text too long (more than " + std::to_string(kMaxQueryBytes) + " bytes)";
}

std::variant<MatchTree, SyntaxError, ParseLimitError> CypherParser::run(Rule rule,
                                                                         std::string_view text,
                                                                         ParseMode mode,
                                                                         ParseStats* stats) {
  if (text.size() > kMaxQueryBytes) return ParseLimitError{text_size_limit_message()};
  peg::State state;
  peg::Memo memo;
  state.input = text;
  if (mode == ParseMode::memoised) state.memo = &memo;
  state.nodes.reserve(text.size() / 2 + 16);
  const bool matched = kRuleMatchers[static_cast<std::size_t>(rule)](state);
  if (stats != nullptr) stats->rule_invocations = state.rule_invocations;
  if (state.too_deep) return ParseLimitError{nesting_limit_message()};
  if (matched) return MatchTree{text, std::move(state.nodes)};
  return syntax_error_at(text, state.furthest, state.expected.rules(), state.unexpected.rules());
}

Result<MatchTree> CypherParser::parse(Rule rule, std::string_view text) {
  auto outcome = run(rule, text);
  if (auto* tree = std::get_if<MatchTree>(&outcome)) return std::move(*tree);
  if (auto* error = std::get_if<SyntaxError>(&outcome)) return CypherError::parse(error->report());
  return CypherError::parse(std::get<ParseLimitError>(outcome).message);
}

std::string print_match_tree(const MatchTree& tree) {
  std::string out;
  std::vector<std::uint32_t> open_ends;  // subtree ends of the matches whose "[" is open
  for (std::uint32_t i = 0; i < tree.nodes.size(); ++i) {
    while (!open_ends.empty() && open_ends.back() == i) {
      out += ']';
      open_ends.pop_back();
    }
    if (!out.empty() && out.back() != '[') out += ' ';
    out += rule_name(tree.nodes[i].rule);
    if (tree.nodes[i].subtree_end > i + 1) {
      out += '[';
      open_ends.push_back(tree.nodes[i].subtree_end);
    }
  }
  out.append(open_ends.size(), ']');
  return out;
}

}  // namespace tessark
