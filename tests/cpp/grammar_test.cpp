// The grammar run: accepted texts and their match trees, rejected texts and their reports, the
// report's formatting rules, and the nesting bound on a small thread stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "parser/grammar.hpp"

namespace tessark {
namespace {

// The six-line report for a failure at line:column of a line with the given text.
std::string render_report(std::size_t line, std::size_t column, const std::string& line_text,
                          const std::string& message) {
  const std::string number = std::to_string(line);
  const std::string gutter(number.size(), ' ');
  std::string underline;
  for (std::size_t i = 0; i + 1 < column && i < line_text.size(); ++i) {
    underline += line_text[i] == '\t' ? '\t' : ' ';
  }
  return gutter + "--> " + number + ":" + std::to_string(column) + "\n" + gutter + " |\n" +
         number + " | " + line_text + "\n" + gutter + " | " + underline + "^---\n" + gutter +
         " |\n" + gutter + " = " + message;
}

// Texts of every match of `rule`, in source order.
std::vector<std::string> texts_of(const MatchTree& tree, Rule rule) {
  std::vector<std::string> out;
  for (const MatchNode& node : tree.nodes) {
    if (node.rule == rule) out.emplace_back(tree.input.substr(node.start, node.end - node.start));
  }
  return out;
}

// The direct inner matches' rule names of the first match of `rule`.
std::string inner_names(const MatchTree& tree, Rule rule) {
  for (std::uint32_t i = 0; i < tree.nodes.size(); ++i) {
    if (tree.nodes[i].rule != rule) continue;
    std::string out;
    for (Match inner : Match(&tree, i).inner()) {
      if (!out.empty()) out += ' ';
      out += inner.rule_name();
    }
    return out;
  }
  return "(no " + std::string(rule_name(rule)) + ")";
}

std::string repeated(const std::string& piece, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

void on_thread_with_stack(std::size_t bytes, const std::function<void()>& work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, bytes);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST(GrammarAccepts, QueriesAndTheTextsOfChosenMatches) {
  struct Case {
    std::string query;
    Rule rule = Rule::cypher;        // whose match texts to check (cypher: only acceptance)
    std::vector<std::string> texts = {};  // expected texts of every match of that rule
  };
  const Case cases[] = {
      // lexical
      {"MATCH (order) RETURN order", Rule::variable, {"order", "order"}},
      {"MATCH (`match`) RETURN `match`", Rule::variable, {"`match`", "`match`"}},
      {"RETURN asc", Rule::variable, {"asc"}},
      {"RETURN ends", Rule::variable, {"ends"}},
      {"RETURN descending", Rule::variable, {"descending"}},
      {"RETURN 0", Rule::integer_literal, {"0"}},
      {"RETURN 0x1F", Rule::integer_literal, {"0x1F"}},
      {"RETURN 0o17", Rule::integer_literal, {"0o17"}},
      {"RETURN 1.", Rule::float_literal, {"1."}},
      {"RETURN 1.5e-3", Rule::float_literal, {"1.5e-3"}},
      {"RETURN n.nullable", Rule::property_key_name, {"nullable"}},
      {"RETURN $1, $param", Rule::parameter, {"$1", "$param"}},
      {"RETURN $match", Rule::parameter, {"$match"}},
      {"RETURN my.lib.total([1])", Rule::function_name, {"my.lib.total"}},
      {"MATCH (n) // note\nRETURN n"},
      {"RETURN 1 // end"},
      {"MATCH (n) /* x */ RETURN n"},
      {"RETURN TRUE, false, NULL", Rule::boolean_literal, {"TRUE", "false"}},
      {"RETURN COUNT ( * )", Rule::count_star, {"COUNT ( * )"}},
      {"RETURN 'a\\b', \"it's\"", Rule::string_literal, {"'a\\b'", "\"it's\""}},
      {"RETURN `a b`.c, ``", Rule::variable, {"`a b`", "``"}},
      // queries and clauses
      {"MATCH (n)"},
      {"WITH 1 AS x"},
      {"RETURN *"},
      {"RETURN 1 AS x;"},
      {"  RETURN 1 ; /* trailing */ "},
      {"OPTIONAL MATCH (n) RETURN n", Rule::match_clause, {"OPTIONAL MATCH (n) "}},
      {"CREATE (n) RETURN n"},
      {"SET n.x = 1"},
      {"DELETE n"},
      {"MATCH (n) CREATE (m) RETURN m"},
      {"CALL my.proc() YIELD label", Rule::in_query_call, {"CALL my.proc() YIELD label"}},
      {"CALL my.proc() YIELD label AS l, x", Rule::yield_item, {"label AS l", "x"}},
      {"CALL my.proc() YIELD label RETURN label", Rule::procedure_name, {"my.proc"}},
      {"MATCH (n) RETURN n ORDER BY n.x DESC SKIP 1 LIMIT 10", Rule::sort_item, {"n.x DESC"}},
      {"RETURNx", Rule::variable, {"x"}},
      {"RETURN distinctName", Rule::variable, {"Name"}},
      {"MATCH (n) SET n:Label:Other", Rule::label_name, {"Label", "Other"}},
      {"MATCH (n) SET n += {a: 1}", Rule::set_item, {"n += {a: 1}"}},
      {"MATCH (n) SET n.x = 1, n.y = 2 RETURN n", Rule::set_item, {"n.x = 1", "n.y = 2 "}},
      {"MATCH (n) REMOVE n.x, n:Label", Rule::remove_item, {"n.x", "n:Label"}},
      {"MERGE (n:A {id: 1}) ON CREATE SET n.c = 1 ON MATCH SET n.m = 2", Rule::on_match_or_create,
       {"ON CREATE SET n.c = 1 ", "ON MATCH SET n.m = 2"}},
      {"MATCH (n) RETURN n UNION MATCH (m) RETURN m UNION ALL RETURN 1", Rule::union_clause,
       {"UNION MATCH (m) RETURN m ", "UNION ALL RETURN 1"}},
      {"MATCH (n) WITH n ORDER BY n.x LIMIT 5 RETURN n", Rule::with_clause,
       {"WITH n ORDER BY n.x LIMIT 5 "}},
      {"WITH 1 AS x WITH x RETURN x", Rule::with_clause, {"WITH 1 AS x ", "WITH x "}},
      {"RETURN 1 AS order"},
      {"MATCH (n)RETURN n"},
      {"RETURN n.x ", Rule::return_item, {"n.x "}},
      // patterns
      {"MATCH (a)-[r:KNOWS]->(b) RETURN a", Rule::rel_type_name, {"KNOWS"}},
      {"MATCH (a)<-[:R|S]-(b)", Rule::rel_type_name, {"R", "S"}},
      {"MATCH (a)-[:R|:S]-(b)", Rule::rel_types, {":R|:S"}},
      {"MATCH (a)--(b)"},
      {"MATCH (a)-->(b)", Rule::right_arrow, {">"}},
      {"MATCH (a)<--(b)", Rule::left_arrow, {"<"}},
      {"MATCH (a)<-->(b)", Rule::relationship_pattern, {"<-->"}},
      {"MATCH (a) - [r] -> (b)"},
      {"MATCH (a)-[*]->(b)", Rule::range_literal, {"*"}},
      {"MATCH (a)-[*2]->(b)", Rule::integer_literal, {"2"}},
      {"MATCH (a)-[*2..]->(b)", Rule::range_literal, {"*2.."}},
      {"MATCH (a)-[*1..3]->(b)", Rule::integer_literal, {"1", "3"}},
      {"MATCH (a)-[:R * 1 .. 2]->(b)", Rule::range_literal, {"* 1 .. 2"}},
      {"MATCH (a)-[ r :R *1..2 {x: 1} ]->(b)", Rule::properties, {"{x: 1}"}},
      {"MATCH (a)-[]->(b)"},
      {"MATCH (), (:Person), (n:A:B), (n : A), (n {}), (n {name: 'x'}), (n $props)"},
      {"MATCH (n:Person {name: 'A', age: 3})", Rule::property_key_value_pair,
       {"name: 'A'", "age: 3"}},
      {"MERGE (a)-[:R]->(b)"},
      // expressions
      {"RETURN 1 + 2 * 3"},
      {"RETURN (1 + 2) * 3", Rule::parenthesized_expr, {"(1 + 2)"}},
      {"RETURN 2 ^ 3 ^ 2"},
      {"RETURN 10 % 3"},
      {"RETURN -n.x", Rule::unary_expr, {"-n.x"}},
      {"RETURN 1 - -1", Rule::unary_expr, {"1 ", "-1"}},
      {"RETURN 1 < 2 < 3", Rule::comparison_op, {"<", "<"}},
      {"RETURN a AND b OR c XOR d", Rule::and_kw, {"AND"}},
      {"RETURN NOT NOT a", Rule::not_kw, {"NOT", "NOT"}},
      {"RETURN 'a' + 'b'"},
      {"MATCH (n) WHERE n.name STARTS WITH 'A' RETURN n", Rule::comparison_op, {"STARTS WITH "}},
      {"MATCH (n) WHERE n.name ENDS WITH 'x' RETURN n"},
      {"MATCH (n) WHERE n.name CONTAINS 'x' RETURN n"},
      {"MATCH (n) WHERE n.name STARTS WITH $p RETURN n"},
      {"MATCH (n) WHERE n.name CONTAINS $p RETURN n"},
      {"MATCH (n) WHERE n.x IN [1,2] RETURN n", Rule::comparison_op, {"IN "}},
      {"RETURN x IN [1]", Rule::comparison_op, {"IN "}},
      {"RETURN n.x IS /* c */ NULL (0)", Rule::comparison_op, {"IS /* c */ NULL "}},
      {"RETURN n.x =~ 'a.*'", Rule::comparison_op, {"=~"}},
      {"RETURN x[1 ..3]", Rule::list_slice_op, {"[1 ..3]"}},
      {"RETURN x[..3], x[$a..$b], x[1]", Rule::subscript_op, {"[1]"}},
      {"RETURN [x IN list WHERE x > 1 | x * 2]", Rule::list_comprehension,
       {"[x IN list WHERE x > 1 | x * 2]"}},
      {"RETURN [x IN list | x]", Rule::id_in_coll, {"x IN list "}},
      {"RETURN [x IN [1,2]]", Rule::list_comprehension, {}},
      {"RETURN ALL(x IN list WHERE x > 1)", Rule::quantifier_expression,
       {"ALL(x IN list WHERE x > 1)"}},
      {"RETURN any (x IN l)", Rule::quantifier_expression, {"any (x IN l)"}},
      {"RETURN none(x IN l)"},
      {"RETURN EXISTS { (n)-->() }", Rule::exists_subquery, {"EXISTS { (n)-->() }"}},
      {"RETURN exists(n.x), all(x), count(n), allNodes(x)", Rule::function_name,
       {"exists", "all", "count", "allNodes"}},
      {"RETURN CASE WHEN n.x = 1 THEN 'a' ELSE 'b' END"},
      {"RETURN CASE n.x WHEN 1 THEN 'a' END"},
      {"RETURN count(*)", Rule::count_star, {"count(*)"}},
      {"RETURN count (n)", Rule::function_invocation, {"count (n)"}},
      {"RETURN count(DISTINCT n)"},
      {"RETURN f()"},
      {"RETURN f(DISTINCT)"},
      {"RETURN size([1,2])"},
      {"RETURN {a: 1, b: [1,2]}", Rule::map_literal, {"{a: 1, b: [1,2]}"}},
      {"RETURN {}"},
      {"RETURN []"},
      {"RETURN [1,2][0]"},
      {"RETURN x[1][2]", Rule::postfix_op, {"[1]", "[2]"}},
      {"RETURN n['a']"},
      {"RETURN $p.x"},
      {"RETURN n.a.b", Rule::property_lookup, {".a", ".b"}},
  };
  for (const Case& c : cases) {
    auto outcome = CypherParser::run(Rule::cypher, c.query);
    const auto* tree = std::get_if<MatchTree>(&outcome);
    if (const auto* error = std::get_if<SyntaxError>(&outcome)) {
      ADD_FAILURE() << c.query << "\n" << error->report();
      continue;
    }
    ASSERT_NE(tree, nullptr) << c.query;
    ASSERT_FALSE(tree->nodes.empty());
    EXPECT_EQ(tree->nodes[0].rule, Rule::cypher);
    EXPECT_EQ(tree->nodes[0].end, c.query.size()) << c.query;
    if (c.rule != Rule::cypher) {
      EXPECT_EQ(texts_of(*tree, c.rule), c.texts) << c.query;
    }
  }
}

TEST(GrammarAccepts, MatchTreeShapes) {
  struct Case {
    std::string query;
    Rule rule;
    std::string inner;  // rule names of the first match's direct inner matches
  };
  const Case cases[] = {
      {"MATCH (n) RETURN n", Rule::cypher, "statement EOI"},
      {"CALL my.proc() YIELD label", Rule::single_part_query, "reading_clause"},
      {"CALL my.proc() YIELD label", Rule::reading_clause, "in_query_call"},
      {"MATCH (n)-[:R]->(m)<-[:S]-(o)", Rule::pattern_element,
       "node_pattern relationship_pattern node_pattern relationship_pattern node_pattern"},
      {"MATCH (a)<-[r:R*1..2 {x: 1}]->(b)", Rule::relationship_pattern,
       "left_arrow variable rel_types range_literal properties right_arrow"},
      {"MATCH (a), (b) RETURN a", Rule::pattern, "pattern_part pattern_part"},
      {"MATCH p = (a)-[*1..3]->(b) RETURN p", Rule::pattern_part, "variable pattern_element"},
      {"MATCH (n:A:B {k: 1})", Rule::node_pattern, "variable node_labels properties"},
      {"RETURN 2 ^ 3 ^ 2", Rule::power_expr, "unary_expr unary_expr unary_expr"},
      {"RETURN 1 < 2 < 3", Rule::comparison_expr,
       "add_sub_expr comparison_op add_sub_expr comparison_op add_sub_expr"},
      {"RETURN NOT NOT a", Rule::not_expr, "not_kw not_kw comparison_expr"},
      {"RETURN a OR b", Rule::or_expr, "xor_expr or_kw xor_expr"},
      {"RETURN CASE n WHEN 1 THEN 2 ELSE 3 END", Rule::case_expression,
       "expression expression expression expression"},
      {"RETURN x[..3]", Rule::list_slice_op, "expression"},
      {"MATCH (n) SET n.a.b = 1", Rule::property_expression,
       "variable property_lookup property_lookup"},
      {"RETURN *", Rule::return_items, ""},
  };
  for (const Case& c : cases) {
    auto outcome = CypherParser::run(Rule::cypher, c.query);
    const auto* tree = std::get_if<MatchTree>(&outcome);
    ASSERT_NE(tree, nullptr) << c.query;
    EXPECT_EQ(inner_names(*tree, c.rule), c.inner) << c.query;
  }
  auto outcome = CypherParser::run(Rule::cypher, "RETURN x");
  EXPECT_EQ(print_match_tree(std::get<MatchTree>(outcome)),
            "cypher[statement[regular_query[single_query[single_part_query[return_clause["
            "return_body[return_items[return_item[expression[or_expr[xor_expr[and_expr["
            "not_expr[comparison_expr[add_sub_expr[mul_div_expr[mod_expr[power_expr["
            "unary_expr[postfix_expr[atom[variable]]]]]]]]]]]]]]]]]]]]] EOI]");
}

TEST(GrammarRejects, FullReports) {
  struct Case {
    std::string query;
    std::size_t line, column;
    std::string line_text, message;
  };
  const std::string is_null_list =
      "expected EOI, union_clause, reading_clause, updating_clause, with_clause, return_clause, "
      "or_kw, xor_kw, and_kw, comparison_op, or postfix_op";
  const Case cases[] = {
      {"MATCH (n RETURN n", 1, 10, "MATCH (n RETURN n", "expected node_labels or properties"},
      {"", 1, 1, "", "expected statement"},
      {"RETURN", 1, 7, "RETURN", "expected not_expr"},
      {"RETURN 1 ;;", 1, 11, "RETURN 1 ;;", "expected EOI"},
      {"MATCH (n)\nRETURN n.", 2, 10, "RETURN n.", "expected property_key_name"},
      {"MATCH (n)\r\nWHERE\tn.x = \nRETURN n", 3, 1, "RETURN n", "expected atom"},
      {"RETURN\t--1", 1, 9, "RETURN\t--1", "expected atom"},
      {repeated("\n", 10) + "RETURN", 11, 7, "RETURN", "expected not_expr"},
      {"MATCH (n) WHERE n.x IS NULL RETURN n", 1, 21, "MATCH (n) WHERE n.x IS NULL RETURN n",
       is_null_list},
      {"MATCH (n) WHERE n.x IS NOT NULL RETURN n", 1, 21,
       "MATCH (n) WHERE n.x IS NOT NULL RETURN n", is_null_list},
      {"MATCH (n) WHERE n.x IS NULL", 1, 28, "MATCH (n) WHERE n.x IS NULL", "expected atom"},
      {"RETURN *, n", 1, 9, "RETURN *, n",
       "expected EOI, union_clause, order_clause, skip_clause, or limit_clause"},
      {"MATCH (a)-[*..5]->(b)", 1, 13, "MATCH (a)-[*..5]->(b)",
       "expected properties or integer_literal"},
      {"MATCH (match) RETURN match", 1, 8, "MATCH (match) RETURN match",
       "expected node_labels, properties, or variable"},
      {"RETURN desc", 1, 8, "RETURN desc", "expected not_expr"},
      {"CALL my.proc", 1, 6, "CALL my.proc", "expected explicit_procedure_invocation"},
      {"MATCH (n) RETURN n AS", 1, 22, "MATCH (n) RETURN n AS", "expected variable"},
      {"RETURN --1", 1, 9, "RETURN --1", "expected atom"},
      {"RETURN - -1", 1, 10, "RETURN - -1", "expected atom"},
      {"RETURN x[1..3]", 1, 13, "RETURN x[1..3]", "expected property_key_name"},
  };
  for (const Case& c : cases) {
    auto outcome = CypherParser::run(Rule::cypher, c.query);
    const auto* error = std::get_if<SyntaxError>(&outcome);
    ASSERT_NE(error, nullptr) << c.query;
    const std::string expected = render_report(c.line, c.column, c.line_text, c.message);
    EXPECT_EQ(error->report(), expected) << c.query;
    Result<MatchTree> parsed = CypherParser::parse(Rule::cypher, c.query);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().kind, CypherError::Kind::Parse);
    EXPECT_EQ(parsed.error().message, expected);
  }
}

TEST(GrammarRejects, Positions) {
  struct Case {
    std::string query;
    std::size_t column;
  };
  const Case cases[] = {
      {"RETURN 0X1F", 9},
      {"RETURN 0o8", 9},
      {"RETURN 1e5", 9},
      {"RETURN 'It\\'s'", 13},
      {"RETURN nullable", 12},
      {"RETURN match.x(1)", 8},
      {"MATCH (n) RETURN n LIMIT 1 SKIP 1", 28},
      {"MATCH (n) RETURN n MATCH (m) RETURN m", 20},
      {"MATCH (a)-(b)", 10},
      {"MERGE (a), (b)", 10},
      {"MATCH (a)< - - (b)", 10},
      {"MATCH (a)<- -(b)", 10},
      {"MATCH (n) WHERE n.x IN list RETURN n", 21},
      {"MATCH (n) WHERE n.name STARTS WITH m.name RETURN n", 24},
      {"RETURN CASE END", 13},
      {"RETURN [1,2,]", 13},
      {"RETURN {a:1,}", 13},
      {"RETURN trueValue", 12},
      {"RETURN n:Person", 9},
      {"RETURN a ANDb", 10},
      {"RETURN a OR1", 10},
      {"RETURN x[1..]", 13},
      {"RETURN 1 /* open", 11},  // "/" is division, then "*" starts no operand,
      {"RETURN 'open", 8},
      {"RETURN é", 8},
      {"RETURN 'é' é", 12},
  };
  for (const Case& c : cases) {
    auto outcome = CypherParser::run(Rule::cypher, c.query);
    const auto* error = std::get_if<SyntaxError>(&outcome);
    ASSERT_NE(error, nullptr) << c.query;
    EXPECT_EQ(error->line, 1u) << c.query;
    EXPECT_EQ(error->column, c.column) << c.query << "\n" << error->report();
  }
  // The MATCH (a)-(b) failure names the arrow among the alternatives.
  auto outcome = CypherParser::run(Rule::cypher, "MATCH (a)-(b)");
  const auto& error = std::get<SyntaxError>(outcome);
  EXPECT_NE(std::find(error.expected.begin(), error.expected.end(), Rule::left_arrow),
            error.expected.end());
}

TEST(SyntaxReport, MessageFormsAndLineRules) {
  struct Case {
    std::string text;
    std::size_t position;
    std::vector<Rule> expected, unexpected;
    std::size_t line, column;
    std::string line_text, message;
  };
  const Case cases[] = {
      {"ab", 1, {}, {}, 1, 2, "ab", "unknown parsing error"},
      {"ab", 1, {}, {Rule::keyword}, 1, 2, "ab", "unexpected keyword"},
      {"ab", 1, {Rule::atom, Rule::EOI, Rule::atom}, {Rule::variable, Rule::keyword}, 1, 2, "ab",
       "unexpected variable or keyword; expected EOI or atom"},
      {"ab", 2, {Rule::map_literal, Rule::atom, Rule::cypher}, {}, 1, 3, "ab",
       "expected cypher, atom, or map_literal"},
      // A lone "\r" is an ordinary character; line breaks vanish unless the position is on one.
      {"a\rb\r\nc", 2, {Rule::atom}, {}, 1, 3, "ab", "expected atom"},
      {"a\rb\r\nc", 3, {Rule::atom}, {}, 1, 4, "a\u240Db\u240D\u240A", "expected atom"},
      {"a\r\nb\nc", 5, {Rule::atom}, {}, 3, 1, "c", "expected atom"},
      {"x\n", 1, {Rule::atom}, {}, 1, 2, "x\u240A", "expected atom"},
      // Columns count characters, not bytes.
      {"\u00e9\u00e9x", 4, {Rule::atom}, {}, 1, 3, "\u00e9\u00e9x", "expected atom"},
  };
  for (const Case& c : cases) {
    SyntaxError error = syntax_error_at(c.text, c.position, c.expected, c.unexpected);
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_EQ(error.column, c.column) << c.text;
    EXPECT_EQ(error.line_text, c.line_text) << c.text;
    EXPECT_EQ(error.message(), c.message) << c.text;
  }
  // The underline has one space per character before the column, whatever its byte length.
  EXPECT_EQ(syntax_error_at("\u00e9\u00e9x", 4, {Rule::atom}, {}).report(),
            " --> 1:3\n  |\n1 | \u00e9\u00e9x\n  |   ^---\n  |\n  = expected atom");
}

TEST(GrammarNesting, DeepInputGivesTheNestingErrorOnASmallStack) {
  const std::size_t n = 100000;
  const std::string queries[] = {
      "RETURN " + repeated("(", n) + "1" + repeated(")", n),
      "RETURN " + repeated("[", n) + "1" + repeated("]", n),
      "RETURN " + repeated("{a: ", n) + "1" + repeated("}", n),
      "RETURN " + repeated("(", n),
      "RETURN " + repeated("[", n),
      "MATCH (n {a: " + repeated("EXISTS { (n {a: ", n),
  };
  for (const std::string& query : queries) {
    on_thread_with_stack(512 * 1024, [&] {
      Result<MatchTree> parsed = CypherParser::parse(Rule::cypher, query);
      ASSERT_FALSE(parsed) << query.substr(0, 20);
      EXPECT_EQ(parsed.error().message, nesting_limit_message());
    });
  }
  EXPECT_EQ(nesting_limit_message(), "Query nested too deeply (more than " +
                                         std::to_string(kMaxNestingDepth) + " levels)");
}

TEST(GrammarNesting, EveryNestingFormAtTheBoundParsesOnASmallStack) {
  struct Form {
    std::string open, inner, close;
  };
  const Form forms[] = {
      {"(", "1", ")"},
      {"[", "1", "]"},
      {"{a: ", "1", "}"},
      {"CASE WHEN ", "1", " THEN 1 END"},
      {"CASE ", "1", " WHEN 1 THEN 1 END"},
      {"x[", "1", "]"},
      {"x[..", "1", "]"},
      {"f(", "1", ")"},
      {"[x IN ", "l", "]"},
      {"all(x IN ", "l", ")"},
      {"EXISTS { (n {a: ", "1", "}) }"},
  };
  // The RETURN item is one level, so the forms nest one less than the bound.
  const std::size_t depth = kMaxNestingDepth - 1;
  for (const Form& form : forms) {
    const std::string at_bound =
        "RETURN " + repeated(form.open, depth) + form.inner + repeated(form.close, depth);
    const std::string over =
        "RETURN " + repeated(form.open, depth + 1) + form.inner + repeated(form.close, depth + 1);
    on_thread_with_stack(512 * 1024, [&] {
      Result<MatchTree> parsed = CypherParser::parse(Rule::cypher, at_bound);
      EXPECT_TRUE(parsed) << form.open << (parsed ? "" : parsed.error().message);
      Result<MatchTree> deeper = CypherParser::parse(Rule::cypher, over);
      ASSERT_FALSE(deeper) << form.open;
      EXPECT_EQ(deeper.error().message, nesting_limit_message());
    });
  }
}

}  // namespace
}  // namespace tessark
