// Tree builder and parse entry: built trees asserted through the compact printer, keyword flags
// read in grammatical position, number and range reading, the builder's own error messages on
// hand-made match trees, the depth bound, deep copies, and the name collectors.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "parser/builder.hpp"
#include "parser/limits.hpp"
#include "parser/collect.hpp"
#include "testing/ast_dump.hpp"

namespace tessark {
namespace {

using testing::dump;

struct Case {
  const char* input;
  const char* expected;
};

// The whole query as printed, or "error: " and the message.
std::string built(std::string_view query) {
  Result<CypherQuery> result = parse(query);
  if (!result) return "error: " + result.error().message;
  return dump(*result);
}

// The expression of the only item of "RETURN <text>".
std::string built_expression(std::string_view text) {
  std::string query = "RETURN " + std::string(text);
  Result<CypherQuery> result = parse(query);
  if (!result) return "error: " + result.error().message;
  const auto& single = std::get<SingleQuery::SinglePart>(result->as<CypherQuery::Regular>()->first.value);
  const auto& items = single.return_clause->items.as<ReturnItems::Items>()->items;
  if (items.size() != 1) return "not one item: " + dump(*result);
  return dump(items[0].expression);
}

TEST(BuilderExpressions, OperatorLevelsFoldToTheLeft) {
  const Case cases[] = {
      {"a OR b OR c", "Or(Or(a, b), c)"},
      {"a XOR b XOR c", "Xor(Xor(a, b), c)"},
      {"a AND b AND c", "And(And(a, b), c)"},
      {"a AND b OR c XOR d", "Or(And(a, b), Xor(c, d))"},
      {"NOT NOT x = 1", "Not(Not(Equal(x, 1)))"},
      {"NOT n.note = 'NOTE'", "Not(Equal(Prop(n, note), 'NOTE'))"},
      {"a < b < c", "LessThan(LessThan(a, b), c)"},
      {"a < b = c", "Equal(LessThan(a, b), c)"},
      {"a <> b", "NotEqual(a, b)"},
      {"a <= b", "LessThanOrEqual(a, b)"},
      {"a >= b", "GreaterThanOrEqual(a, b)"},
      {"a > b", "GreaterThan(a, b)"},
      {"n.name =~ 'A.*'", "RegexMatch(Prop(n, name), 'A.*')"},
      {"1 - 2 + 3", "Add(Subtract(1, 2), 3)"},
      {"1 + 2 * 3", "Add(1, Multiply(2, 3))"},
      {"(1 + 2) * 3", "Multiply(Add(1, 2), 3)"},
      {"8 / 2 * 2", "Multiply(Divide(8, 2), 2)"},
      {"10 % 3 % 2", "Modulo(Modulo(10, 3), 2)"},
      {"2 ^ 3 ^ 2", "Power(Power(2, 3), 2)"},
      {"2 * 3 % 2 ^ 2", "Multiply(2, Modulo(3, Power(2, 2)))"},
      {"1 - -1", "Subtract(1, Negate(1))"},
      {"1 /* - */ + 2", "Add(1, 2)"},
      {"1 - /* + */ 2 + '-'", "Add(Subtract(1, 2), '-')"},
      {"-x", "Negate(x)"},
      {"x", "x"},
      {"-n.x", "Negate(Prop(n, x))"},
      {"'a' + 'b'", "Add('a', 'b')"},
  };
  for (const Case& c : cases) EXPECT_EQ(built_expression(c.input), c.expected) << c.input;
}

TEST(BuilderExpressions, ComparisonOperatorsReadFromTheirText) {
  const Case cases[] = {
      {"n.x IN [1, 2]", "In(Prop(n, x), [1, 2])"},
      {"n.name STARTS WITH 'A'", "StartsWith(Prop(n, name), 'A')"},
      {"n.name Starts  With 'A'", "StartsWith(Prop(n, name), 'A')"},
      {"n.name ENDS WITH $p", "EndsWith(Prop(n, name), $p)"},
      {"n.name contains 'x'", "Contains(Prop(n, name), 'x')"},
      {"n.x IS NULL (0)", "IsNull(Prop(n, x))"},
      {"n.x IS NOT NULL (0)", "IsNotNull(Prop(n, x))"},
      {"n.x is\nnull (0)", "IsNull(Prop(n, x))"},
      {"n.x IS /* gap */ NULL (0)", "IsNull(Prop(n, x))"},
      {"n.x IS // line\n NOT NULL (0)", "IsNotNull(Prop(n, x))"},
      {"n.x IS NULL (0) = true", "Equal(IsNull(Prop(n, x)), true)"},
  };
  for (const Case& c : cases) EXPECT_EQ(built_expression(c.input), c.expected) << c.input;
}

TEST(BuilderExpressions, PostfixOperatorsApplyLeftToRight) {
  const Case cases[] = {
      {"n.a.b", "Prop(Prop(n, a), b)"},
      {"a.b[0].c", "Prop(Index(Prop(a, b), 0), c)"},
      {"[1,2][0]", "Index([1, 2], 0)"},
      {"x[1][2]", "Index(Index(x, 1), 2)"},
      {"n['a']", "Index(n, 'a')"},
      {"$p.x", "Prop($p, x)"},
      {"list[..3]", "Slice(list, _, 3)"},
      {"list[$a..]", "Slice(list, $a, _)"},
      {"list[..]", "Slice(list, _, _)"},
      {"list[1 ..3]", "Slice(list, 1, 3)"},
      {"list[ /* from */ $a .. $b]", "Slice(list, $a, $b)"},
      {"list[.. /* to */ $b]", "Slice(list, _, $b)"},
      {"n.`odd key`", "Prop(n, `odd key`)"},
  };
  for (const Case& c : cases) EXPECT_EQ(built_expression(c.input), c.expected) << c.input;
}

TEST(BuilderExpressions, AtomsAndLiterals) {
  const Case cases[] = {
      {"$param", "$param"},
      {"$1", "$1"},
      {"'a\\nb'", "'a\\nb'"},
      {"\"it's\"", "'it's'"},
      {"''", "''"},
      {"TRUE", "true"},
      {"true", "true"},
      {"True", "true"},
      {"false", "false"},
      {"NULL", "null"},
      {"[]", "[]"},
      {"[1, 'a', [2]]", "[1, 'a', [2]]"},
      {"{}", "{}"},
      {"{a: 1, a: 2}", "{a: 2}"},
      {"{b: 1, a: [1,2]}", "{a: [1, 2], b: 1}"},
      {"count(*)", "CountStar"},
      {"COUNT ( * )", "CountStar"},
      {"count(n)", "Call(count, n)"},
      {"count (n)", "Call(count, n)"},
      {"count(DISTINCT n)", "Call(count, DISTINCT, n)"},
      {"count( distinct n)", "Call(count, DISTINCT, n)"},
      {"count(/* DISTINCT */ n)", "Call(count, n)"},
      {"f('DISTINCT')", "Call(f, 'DISTINCT')"},
      {"f()", "Call(f)"},
      {"f(DISTINCT)", "Call(f, DISTINCT)"},
      {"toUpper(a, b)", "Call(toUpper, a, b)"},
      {"my.lib.total([1])", "Call(my.lib.total, [1])"},
      {"exists(n.x)", "Call(exists, Prop(n, x))"},
      {"all(x)", "Call(all, x)"},
      {"CASE WHEN a THEN b END", "Case(_, [a -> b], _)"},
      {"CASE x WHEN 1 THEN 'a' ELSE 'b' END", "Case(x, [1 -> 'a'], 'b')"},
      {"CASE n.x WHEN 1 THEN 'a' END", "Case(Prop(n, x), [1 -> 'a'], _)"},
      {"case /* c */ when a then b when c then d else e end", "Case(_, [a -> b, c -> d], e)"},
      {"CASE WHEN a THEN 'ELSE' END", "Case(_, [a -> 'ELSE'], _)"},
      {"CASE whenever WHEN 1 THEN 2 END", "Case(whenever, [1 -> 2], _)"},
      {"CASE elsewhere WHEN 1 THEN 2 END", "Case(elsewhere, [1 -> 2], _)"},
      {"[x IN list WHERE x > 1 | x * 2]", "ListComp(x, list, GreaterThan(x, 1), Multiply(x, 2))"},
      {"[x IN list | x.name]", "ListComp(x, list, _, Prop(x, name))"},
      {"[x IN list]", "ListComp(x, list, _, _)"},
      {"[x IN [1,2]]", "[In(x, [1, 2])]"},
      {"all(x IN list WHERE x > 0)", "QuantifierAll(x, list, GreaterThan(x, 0))"},
      {"ALL(x IN list)", "QuantifierAll(x, list, _)"},
      {"any (x IN l)", "QuantifierAny(x, l, _)"},
      {"None(x IN l WHERE x)", "QuantifierNone(x, l, x)"},
      {"single(x IN l)", "QuantifierSingle(x, l, _)"},
      {"EXISTS { (n)-[:KNOWS]->() }", "Exists{(n)-[:KNOWS]->()}"},
      {"EXISTS { (a), (b) }", "Exists{(a), (b)}"},
      {"[EXISTS { (a) }, 1]", "[Exists{(a)}, 1]"},
  };
  for (const Case& c : cases) EXPECT_EQ(built_expression(c.input), c.expected) << c.input;
}

TEST(BuilderExpressions, IntegerLiterals) {
  const Case cases[] = {
      {"0", "0"},
      {"42", "42"},
      {"0x1F", "31"},
      {"0o17", "15"},
      {"9223372036854775807", "9223372036854775807"},
      {"9223372036854775808", "0"},
      {"-9223372036854775808", "Negate(0)"},
      {"0x7FFFFFFFFFFFFFFF", "9223372036854775807"},
      {"0x8000000000000000", "0"},
      {"99999999999999999999", "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(built_expression(c.input), c.expected) << c.input;
}

TEST(BuilderExpressions, NumberReaders) {
  struct IntegerCase {
    const char* text;
    std::int64_t value;
  };
  const IntegerCase integers[] = {
      {"0x1f", 31}, {"0X1F", 31}, {"0o17", 15}, {"0O17", 0}, {"0o8", 0}, {"0x", 0},
      {"0o", 0},    {"", 0},      {"12a", 0},   {"+5", 5},   {"-5", -5}, {"-0x10", 0},
      {"0x-10", -16}, {"+-5", 0},
  };
  for (const IntegerCase& c : integers) EXPECT_EQ(read_integer_literal(c.text), c.value) << c.text;

  struct FloatCase {
    const char* text;
    double value;
  };
  const FloatCase floats[] = {
      {"1.5", 1.5},   {"1.", 1.0},        {"1.5e3", 1500.0},   {"0.25e-3", 0.00025},
      {"2.E10", 2e10}, {"1.5E+2", 150.0}, {"abc", 0.0},        {"", 0.0},
      {"1e-999", 0.0}, {"1.0e999", std::numeric_limits<double>::infinity()},
  };
  for (const FloatCase& c : floats) EXPECT_EQ(read_float_literal(c.text), c.value) << c.text;
  EXPECT_EQ(built_expression("1.5e3"), "F1500");
  EXPECT_EQ(built_expression("1."), "F1");
}

TEST(BuilderQueries, ShapesAndProjections) {
  const Case cases[] = {
      {"MATCH (n) RETURN n", "Single[MATCH (n) RETURN n]"},
      {"MATCH (n) RETURN n UNION MATCH (m:Ball) RETURN m",
       "Single[MATCH (n) RETURN n] UNION Single[MATCH (m:Ball) RETURN m]"},
      {"MATCH (n) RETURN n UNION ALL MATCH (m) RETURN m",
       "Single[MATCH (n) RETURN n] UNION ALL Single[MATCH (m) RETURN m]"},
      {"RETURN 1 UNION RETURN 2 union /* c */ all RETURN 3",
       "Single[RETURN 1] UNION Single[RETURN 2] UNION ALL Single[RETURN 3]"},
      {"RETURN 1 UNION RETURN all(x IN l)",
       "Single[RETURN 1] UNION Single[RETURN QuantifierAll(x, l, _)]"},
      {"RETURN count(DISTINCT n)", "Single[RETURN Call(count, DISTINCT, n)]"},
      {"RETURN DISTINCT n", "Single[RETURN DISTINCT n]"},
      {"return distinct n", "Single[RETURN DISTINCT n]"},
      {"RETURN distinctName", "Single[RETURN DISTINCT Name]"},
      {"RETURN /* DISTINCT */ n", "Single[RETURN n]"},
      {"RETURN 'DISTINCT'", "Single[RETURN 'DISTINCT']"},
      {"RETURN 1 AS x;", "Single[RETURN 1 AS x]"},
      {"RETURN *", "Single[RETURN *]"},
      {"MATCH (n) WITH * RETURN n", "Multi[MATCH (n) WITH * | RETURN n]"},
      {"WITH DISTINCT n RETURN n", "Multi[WITH DISTINCT n | RETURN n]"},
      {"WITH n, count(DISTINCT m) AS c RETURN c",
       "Multi[WITH n, Call(count, DISTINCT, m) AS c | RETURN c]"},
      {"MATCH (n) RETURN n ORDER BY n.description",
       "Single[MATCH (n) RETURN n ORDER BY Prop(n, description)]"},
      {"MATCH (n) RETURN n ORDER BY n.x DESC", "Single[MATCH (n) RETURN n ORDER BY Prop(n, x) DESC]"},
      {"MATCH (n) RETURN n ORDER BY n.x descending",
       "Single[MATCH (n) RETURN n ORDER BY Prop(n, x) DESC]"},
      {"MATCH (n) RETURN n ORDER BY n.x ASC, n.y Desc, n.z ascending",
       "Single[MATCH (n) RETURN n ORDER BY Prop(n, x), Prop(n, y) DESC, Prop(n, z)]"},
      {"MATCH (n) RETURN n ORDER BY desc_order /* DESC */",
       "Single[MATCH (n) RETURN n ORDER BY desc_order]"},
      {"MATCH (n) RETURN n ORDER BY n.x DESC SKIP 1 LIMIT 10",
       "Single[MATCH (n) RETURN n ORDER BY Prop(n, x) DESC SKIP 1 LIMIT 10]"},
      {"MATCH (a) WITH a MATCH (b) WITH b RETURN b",
       "Multi[MATCH (a) WITH a | MATCH (b) WITH b | RETURN b]"},
      {"MATCH (n) WITH n MATCH (m) RETURN m", "Multi[MATCH (n) WITH n | MATCH (m) RETURN m]"},
      {"WITH 1 AS x", "Multi[WITH 1 AS x | ]"},
      {"WITH 1 AS x WITH x RETURN x", "Multi[WITH 1 AS x | WITH x | RETURN x]"},
      {"MATCH (n) WITH n ORDER BY n.x LIMIT 5 WHERE n.y > 1 RETURN n",
       "Multi[MATCH (n) WITH n ORDER BY Prop(n, x) LIMIT 5 WHERE GreaterThan(Prop(n, y), 1) | "
       "RETURN n]"},
      {"CREATE (n)", "Single[CREATE (n)]"},
      {"MATCH (n) CREATE (m) RETURN m", "Single[MATCH (n) CREATE (m) RETURN m]"},
      {"MATCH (n)", "Single[MATCH (n)]"},
      {"CALL db.labels() YIELD label", "Single[CALL db.labels() YIELD label]"},
      {"CALL db.labels() YIELD label AS l, x", "Single[CALL db.labels() YIELD label AS l, x]"},
      {"CALL my.proc(1, 'a') YIELD label RETURN label",
       "Single[CALL my.proc(1, 'a') YIELD label RETURN label]"},
      {"UNWIND [1, 2] AS x RETURN x", "Single[UNWIND [1, 2] AS x RETURN x]"},
      {"optional MatCH (n) RETURN n", "Single[OPTIONAL MATCH (n) RETURN n]"},
      {"MATCH (n) WHERE n.x = 'OPTIONAL' RETURN n",
       "Single[MATCH (n) WHERE Equal(Prop(n, x), 'OPTIONAL') RETURN n]"},
      {"OPTIONALMATCH (n)", "Single[OPTIONAL MATCH (n)]"},
      {"MATCH (n) WHERE n.x = 1 RETURN n", "Single[MATCH (n) WHERE Equal(Prop(n, x), 1) RETURN n]"},
      {"RETURN 1 AS order", "Single[RETURN 1 AS order]"},
  };
  for (const Case& c : cases) EXPECT_EQ(built(c.input), c.expected) << c.input;
}

TEST(BuilderQueries, UpdatingClauses) {
  const Case cases[] = {
      {"MATCH (n) SET n.s = 'a+=b'", "Single[MATCH (n) SET n.s = 'a+=b']"},
      {"MATCH (n) SET n += {a: 1}", "Single[MATCH (n) SET n += {a: 1}]"},
      {"MATCH (n) SET n /* = */ += {a: 1}", "Single[MATCH (n) SET n += {a: 1}]"},
      {"MATCH (n) SET n = {a: 1}", "Single[MATCH (n) SET n = {a: 1}]"},
      {"MATCH (n) SET n:A:B", "Single[MATCH (n) SET n:A:B]"},
      {"MATCH (n) SET n.x = 1, n.y = 2 RETURN n", "Single[MATCH (n) SET n.x = 1, n.y = 2 RETURN n]"},
      {"MATCH (n) SET n.a.b = 1", "Single[MATCH (n) SET n.a.b = 1]"},
      {"SET n.x = 1", "Single[SET n.x = 1]"},
      {"MATCH (n) REMOVE n.x, n:A", "Single[MATCH (n) REMOVE n.x, n:A]"},
      {"MATCH (n) REMOVE n:A:B", "Single[MATCH (n) REMOVE n:A:B]"},
      {"DELETE n", "Single[DELETE n]"},
      {"MATCH (a), (b) DELETE a, b", "Single[MATCH (a), (b) DELETE a, b]"},
      {"detach delete n", "Single[DETACH DELETE n]"},
      {"MATCH (n) DETACH DELETE n", "Single[MATCH (n) DETACH DELETE n]"},
      {"MERGE (n:A) ON CREATE SET n.matched = true", "Single[MERGE (n:A) ON CREATE SET n.matched = true]"},
      {"MERGE (n:A) ON MATCH SET n.created = 1", "Single[MERGE (n:A) ON MATCH SET n.created = 1]"},
      {"MERGE (n:A {id: 1}) ON CREATE SET n.c = 1 ON MATCH SET n.m = 2",
       "Single[MERGE (n:A {id: 1}) ON MATCH SET n.m = 2 ON CREATE SET n.c = 1]"},
      {"MERGE (n) ON MATCH SET n.a = 1 on /* c */ match SET n.b = 2, n.c = 3",
       "Single[MERGE (n) ON MATCH SET n.a = 1 ON MATCH SET n.b = 2, n.c = 3]"},
      {"MERGE (a)-[:R]->(b)", "Single[MERGE (a)-[:R]->(b)]"},
  };
  for (const Case& c : cases) EXPECT_EQ(built(c.input), c.expected) << c.input;
}

TEST(BuilderPatterns, NodesRelationshipsAndRanges) {
  const Case cases[] = {
      {"(a)-[:KNOWS]->(b)", "(a)-[:KNOWS]->(b)"},
      {"(a)<-[r]-(b)", "(a)<-[r]-(b)"},
      {"(a)-[r]-(b)", "(a)-[r]-(b)"},
      {"(a)--(b)", "(a)-[]-(b)"},
      {"(a)-->(b)", "(a)-[]->(b)"},
      {"(a)<--(b)", "(a)<-[]-(b)"},
      {"(a)<-->(b)", "(a)<-[]-(b)"},
      {"(a) - [r] -> (b)", "(a)-[r]->(b)"},
      {"(a) < - [r] - (b)", "(a)<-[r]-(b)"},
      {"(a)-[r]-  (b)", "(a)-[r]-(b)"},
      {"(a)--/* > */(b)", "(a)-[]-(b)"},
      {"(a)-[*]->(b)", "(a)-[*..]->(b)"},
      {"(a)-[*3]->(b)", "(a)-[*3..3]->(b)"},
      {"(a)-[*1..3]->(b)", "(a)-[*1..3]->(b)"},
      {"(a)-[*2..]->(b)", "(a)-[*2..]->(b)"},
      {"(a)-[:R * 1 .. 2]->(b)", "(a)-[:R *1..2]->(b)"},
      {"(a)-[*99999999999999999999]->(b)", "(a)-[*..]->(b)"},
      {"(a)-[*1..99999999999999999999]->(b)", "(a)-[*1..]->(b)"},
      {"(a)-[*0x3]->(b)", "(a)-[*..]->(b)"},
      {"(a)-[*0o3..4]->(b)", "(a)-[*..4]->(b)"},
      {"(a)-[ r :R *1..2 {x: 1} ]->(b)", "(a)-[r:R *1..2 {x: 1}]->(b)"},
      {"(a)-[:A|B]->(b)", "(a)-[:A|B]->(b)"},
      {"(a)<-[:R|:S]-(b)", "(a)<-[:R|S]-(b)"},
      {"(n:Person:Movie {name: 'x'})", "(n:Person:Movie {name: 'x'})"},
      {"(n $props)", "(n $props)"},
      {"(n : A)", "(n:A)"},
      {"(:Person)", "(:Person)"},
      {"()", "()"},
      {"(n {})", "(n {})"},
      {"p = (a)-->(b)", "p = (a)-[]->(b)"},
      {"(a), (b)-->(c)", "(a), (b)-[]->(c)"},
      {"(n)-[:R]->(m)<-[:S]-(o)", "(n)-[:R]->(m)<-[:S]-(o)"},
      {"(`my var`:`My Label`)-[`r`:`REL TYPE`]->(b)", "(`my var`:`My Label`)-[`r`:`REL TYPE`]->(b)"},
      {"(a)-[r:KNOWS {since: 2020}]->(b)", "(a)-[r:KNOWS {since: 2020}]->(b)"},
      {"(a)-[r $p]->(b)", "(a)-[r $p]->(b)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(built("MATCH " + std::string(c.input)), "Single[MATCH " + std::string(c.expected) + "]")
        << c.input;
  }
}

TEST(BuilderPatterns, FieldsOfOneStep) {
  Result<CypherQuery> query = parse("MATCH p = (a)-->(b) RETURN p");
  ASSERT_TRUE(query) << query.error().message;
  const auto& single = *query->as<CypherQuery::Regular>()->first.as<SingleQuery::SinglePart>();
  const auto& part = single.reading_clauses.at(0).as<ReadingClause::Match>()->pattern.parts.at(0);
  EXPECT_EQ(part.variable, "p");
  ASSERT_EQ(part.chain.size(), 1u);
  const RelationshipPattern& rel = part.chain[0].relationship;
  EXPECT_FALSE(rel.variable);
  EXPECT_TRUE(rel.rel_types.empty());
  EXPECT_FALSE(rel.length);
  EXPECT_FALSE(rel.properties);
  EXPECT_EQ(rel.direction, Direction::Outgoing);
}

// The six-line syntax-error report for a failure at line:column of `line_text`.
std::string report(std::size_t line, std::size_t column, std::string_view line_text,
                   std::string_view message) {
  std::string gutter(std::to_string(line).size(), ' ');
  std::string underline;
  for (std::size_t i = 0; i + 1 < column && i < line_text.size(); ++i) {
    underline += line_text[i] == '\t' ? '\t' : ' ';
  }
  return gutter + "--> " + std::to_string(line) + ":" + std::to_string(column) + "\n" + gutter +
         " |\n" + std::to_string(line) + " | " + std::string(line_text) + "\n" + gutter + " | " +
         underline + "^---\n" + gutter + " |\n" + gutter + " = " + std::string(message);
}

TEST(BuilderQueries, SyntaxErrorIsTheReportWithoutPrefix) {
  const std::string query = "MATCH (n RETURN n";
  Result<CypherQuery> result = parse(query);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind, CypherError::Kind::Parse);
  EXPECT_EQ(result.error().message, report(1, 10, query, "expected node_labels or properties"));
}

// ---- The builder's own messages, on hand-made match trees the grammar never produces ----

struct Node {
  Rule rule;
  std::vector<Node> inner = {};
  const char* text = "";  // must occur in the fixture text
};

// Flattens `root` in pre-order over `text`; each node's offsets are those of the first
// occurrence of its text at or after its parent's start.
class Fixture {
 public:
  Fixture(std::string text, const Node& root) : text_(std::move(text)) {
    tree_.input = text_;
    add(root, 0);
  }
  Match top() const { return *tree_.top().begin(); }

 private:
  void add(const Node& node, std::uint32_t from) {
    std::size_t found = text_.find(node.text, from);
    auto start = static_cast<std::uint32_t>(found == std::string::npos ? from : found);
    auto end = static_cast<std::uint32_t>(start + std::string_view(node.text).size());
    std::size_t index = tree_.nodes.size();
    tree_.nodes.push_back({node.rule, start, end, 0});
    for (const Node& inner : node.inner) add(inner, start);
    tree_.nodes[index].subtree_end = static_cast<std::uint32_t>(tree_.nodes.size());
  }

  std::string text_;
  MatchTree tree_;
};

template <typename T>
std::string error_of(const Result<T>& result) {
  return result ? "built" : result.error().message;
}

using R = Rule;
const Node kVariable{R::atom, {{R::variable, {}, "a"}}, "a"};

TEST(BuilderErrors, MessagesOfMalformedMatchTrees) {
  struct ErrorCase {
    const char* name;
    std::function<std::string(Match)> build;
    Node tree;
    const char* message;
  };
  auto query = [](Match m) { return error_of(build_query(m)); };
  auto regular = [](Match m) { return error_of(build_regular_query(m)); };
  auto single = [](Match m) { return error_of(build_single_query(m)); };
  auto sort = [](Match m) { return error_of(build_sort_item(m)); };
  auto part = [](Match m) { return error_of(build_pattern_part(m)); };
  auto properties = [](Match m) { return error_of(build_properties(m)); };
  auto expression = [](Match m) { return error_of(build_expression(m)); };
  auto property_expression = [](Match m) { return error_of(build_property_expression(m)); };
  auto reading = [](Match m) { return error_of(build_reading_clause(m)); };
  auto updating = [](Match m) { return error_of(build_updating_clause(m)); };
  auto set = [](Match m) { return error_of(build_set_clause(m)); };
  const Node empty_single{R::single_query, {{R::single_part_query}}};
  auto body = [](Node inner) {
    return Node{R::single_query,
                {{R::single_part_query, {{R::return_clause, {{R::return_body, {inner}}}}}}}};
  };

  const ErrorCase cases[] = {
      {"no statement", query, {R::cypher}, "Empty query"},
      {"not a statement", query, {R::cypher, {{R::EOI}}}, "Expected statement, got EOI"},
      {"empty statement", query, {R::cypher, {{R::statement}}}, "Empty statement"},
      {"odd statement", query, {R::cypher, {{R::statement, {{R::single_query}}}}},
       "Unknown statement type: single_query"},
      {"no single query", regular, {R::regular_query}, "Missing single_query"},
      {"union without query", regular, {R::regular_query, {empty_single, {R::union_clause}}},
       "Missing union single_query"},
      {"empty single query", single, {R::single_query}, "Empty single_query"},
      {"odd single query", single, {R::single_query, {{R::return_clause}}},
       "Unknown single_query: return_clause"},
      {"WITH WHERE", single,
       {R::single_query, {{R::multi_part_query, {{R::with_clause, {{R::where_clause}}}}}}},
       "WHERE missing expr"},
      {"return item", single, body({R::return_items, {{R::return_item}}}),
       "Return item missing expr"},
      {"SKIP", single, body({R::skip_clause}), "SKIP missing expr"},
      {"LIMIT", single, body({R::limit_clause}), "LIMIT missing expr"},
      {"sort item", sort, {R::sort_item}, "Sort item missing expr"},
      {"pattern part", part, {R::pattern_part, {{R::variable, {}, "a"}}, "a"},
       "Pattern part missing element"},
      {"pattern element", part, {R::pattern_part, {{R::pattern_element}}},
       "Pattern element missing node"},
      {"empty properties", properties, {R::properties}, "Empty properties"},
      {"odd properties", properties, {R::properties, {{R::variable}}}, "Unknown properties type"},
      {"expression", expression, {R::expression}, "Empty expression"},
      {"or", expression, {R::or_expr, {{R::or_kw}}}, "Empty or_expr"},
      {"xor", expression, {R::xor_expr}, "Empty xor_expr"},
      {"and", expression, {R::and_expr}, "Empty and_expr"},
      {"not", expression, {R::not_expr, {{R::not_kw}}}, "NOT missing comparison_expr"},
      {"comparison", expression, {R::comparison_expr}, "Empty comparison_expr"},
      {"comparison op", expression,
       {R::comparison_expr, {kVariable, {R::comparison_op, {}, "like "}, kVariable}, "a like a"},
       "Unknown comparison op: LIKE"},
      {"add", expression, {R::add_sub_expr}, "Empty add_sub_expr"},
      {"mul", expression, {R::mul_div_expr}, "Empty mul_div_expr"},
      {"mod", expression, {R::mod_expr}, "Empty mod_expr"},
      {"power", expression, {R::power_expr}, "Empty power_expr"},
      {"unary", expression, {R::unary_expr, {kVariable}}, "Unary missing postfix"},
      {"postfix", expression, {R::postfix_expr}, "Postfix missing atom"},
      {"postfix op", expression, {R::postfix_expr, {kVariable, {R::postfix_op}}},
       "Empty postfix_op"},
      {"lookup", expression,
       {R::postfix_expr, {kVariable, {R::postfix_op, {{R::property_lookup}}}}},
       "Property lookup missing key"},
      {"subscript", expression,
       {R::postfix_expr, {kVariable, {R::postfix_op, {{R::subscript_op}}}}},
       "Subscript missing index"},
      {"keyword alone", expression, {R::or_kw}, "Unexpected rule in expression: or_kw"},
      {"atom", expression, {R::atom}, "Empty atom"},
      {"paren", expression, {R::atom, {{R::parenthesized_expr}}}, "Empty paren expr"},
      {"function", expression, {R::atom, {{R::function_invocation}}}, "Function missing name"},
      {"literal", expression, {R::atom, {{R::literal}}}, "Empty literal"},
      {"odd literal", expression, {R::atom, {{R::literal, {{R::variable}}}}},
       "Unknown literal: variable"},
      {"odd atom", expression, {R::atom, {{R::property_key_name}}},
       "Unknown atom: property_key_name"},
      {"map key", expression,
       {R::atom, {{R::literal, {{R::map_literal, {{R::property_key_value_pair}}}}}}},
       "Map missing key"},
      {"map value", expression,
       {R::atom,
        {{R::literal,
          {{R::map_literal, {{R::property_key_value_pair, {{R::property_key_name}}}}}}}}},
       "Map missing value"},
      {"EXISTS", expression, {R::atom, {{R::exists_subquery}}}, "Empty EXISTS"},
      {"odd EXISTS", expression, {R::atom, {{R::exists_subquery, {{R::variable}}}}},
       "Unknown EXISTS subquery type"},
      {"property expression", property_expression,
       {R::property_expression, {{R::variable, {}, "a"}, {R::property_lookup}}, "a"},
       "Property lookup missing key"},
      {"reading", reading, {R::reading_clause}, "Empty reading_clause"},
      {"UNWIND", reading, {R::reading_clause, {{R::unwind_clause}}}, "UNWIND missing expr"},
      {"UNWIND variable", reading, {R::reading_clause, {{R::unwind_clause, {kVariable}}}},
       "UNWIND missing variable"},
      {"MATCH WHERE", reading,
       {R::reading_clause, {{R::match_clause, {{R::pattern}, {R::where_clause}}}}},
       "Empty WHERE"},
      {"MATCH", reading, {R::reading_clause, {{R::match_clause}}}, "MATCH missing pattern"},
      {"odd reading", reading, {R::reading_clause, {{R::create_clause}}},
       "Unknown reading clause: create_clause"},
      {"updating", updating, {R::updating_clause}, "Empty updating_clause"},
      {"CREATE", updating, {R::updating_clause, {{R::create_clause}}}, "CREATE missing pattern"},
      {"MERGE", updating, {R::updating_clause, {{R::merge_clause}}},
       "MERGE missing pattern_part"},
      {"odd updating", updating, {R::updating_clause, {{R::match_clause}}},
       "Unknown updating clause: match_clause"},
      {"SET one part", set, {R::set_clause, {{R::set_item, {{R::variable, {}, "a"}}, "a"}}},
       "Invalid SET item"},
      {"SET odd target", set, {R::set_clause, {{R::set_item, {kVariable, kVariable}, "a"}}, "a"},
       "Unknown SET item"},
      {"REMOVE", updating, {R::updating_clause, {{R::remove_clause, {{R::remove_item}}}}},
       "Empty remove_item"},
      {"REMOVE odd", updating,
       {R::updating_clause, {{R::remove_clause, {{R::remove_item, {kVariable}}}}}},
       "Unknown REMOVE item"},
  };
  for (const ErrorCase& c : cases) {
    Fixture fixture("a like a", c.tree);
    EXPECT_EQ(c.build(fixture.top()), c.message) << c.name;
  }
}

// Wraps an atom in every level of the precedence chain, as the grammar records it.
Node as_expression(Node atom) {
  Node node{R::postfix_expr, {std::move(atom)}};
  for (Rule level : {R::unary_expr, R::power_expr, R::mod_expr, R::mul_div_expr, R::add_sub_expr,
                     R::comparison_expr, R::not_expr, R::and_expr, R::xor_expr, R::or_expr,
                     R::expression}) {
    node = Node{level, {std::move(node)}};
  }
  return node;
}

TEST(BuilderErrors, TheFirstErrorEndsTheBuild) {
  // A SKIP without expression in the WITH of the third stage fails the whole query.
  const Node stage{R::with_clause,
                   {{R::return_body, {{R::return_items, {{R::return_item, {as_expression(kVariable)}}}}}}}};
  const Node broken{R::with_clause, {{R::return_body, {{R::skip_clause}}}}};
  Fixture fixture("a", {R::single_query, {{R::multi_part_query, {stage, stage, broken}}}});
  EXPECT_EQ(error_of(build_single_query(fixture.top())), "SKIP missing expr");
}

// ---- Depth, copies and collectors ----

// Runs `work` on a thread whose stack is 512 KiB; AddressSanitizer's redzones make frames
// several times larger, so its builds get four times that.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kSmallStack = 4 * 512 * 1024;
#else
constexpr std::size_t kSmallStack = 512 * 1024;
#endif

void on_small_stack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kSmallStack);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

std::string repeated(std::string_view head, std::string_view piece, std::size_t count) {
  std::string out(head);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

const std::string kTooDeep = "Expression nested too deeply (more than " +
                             std::to_string(kMaxExpressionDepth) + " levels)";

TEST(BuilderDepth, LongChainsGiveACleanErrorOnASmallStack) {
  const std::size_t n = 100000;
  const std::string queries[] = {
      repeated("RETURN 1", " + 1", n),
      repeated("RETURN a", " OR a", n),
      repeated("RETURN a", " AND a", n),
      repeated("RETURN ", "NOT ", n) + "a",
      repeated("RETURN a", ".b", n),
      repeated("RETURN a", "[0]", n),
      repeated("RETURN 1", " < 1", n),
      repeated("MATCH (n {k: 1", " * 1", n) + "}) RETURN n",
  };
  for (const std::string& query : queries) {
    std::string outcome;
    on_small_stack([&] { outcome = built(query); });
    EXPECT_EQ(outcome, "error: " + kTooDeep) << query.substr(0, 24);
  }
}

TEST(BuilderDepth, TheBoundItselfIsAcceptedAndSafeToCopyAndWalk) {
  // n terms of a chain make a tree n levels deep.
  const std::string at_bound = repeated("RETURN 1", " + 1", kMaxExpressionDepth - 1);
  const std::string over = repeated("RETURN 1", " + 1", kMaxExpressionDepth);
  on_small_stack([&] {
    Result<CypherQuery> query = parse(at_bound);
    ASSERT_TRUE(query) << query.error().message;
    EXPECT_EQ(query_expression_depth(*query), kMaxExpressionDepth);
    CypherQuery copy = *query;
    query = CypherError::parse("dropped");
    EXPECT_TRUE(collect_query_names(copy).properties.empty());
    EXPECT_EQ(error_of(parse(over)), kTooDeep);
  });
  // The chain alone is at the bound; inside EXISTS it is one level deeper.
  const std::string exists_inside =
      repeated("MATCH (n) WHERE EXISTS { (n {k: 1", " + 1", kMaxExpressionDepth - 1) + "}) } RETURN n";
  EXPECT_EQ(error_of(parse(exists_inside)), kTooDeep);
}

TEST(BuilderDepth, NestingAtTheGrammarBoundBuildsCopiesAndWalksOnASmallStack) {
  // Each form wrapped around itself as deep as the grammar accepts (the comprehension only a
  // little: its grammar retries nested brackets, which costs time exponential in the depth).
  struct Form {
    const char* open;
    const char* close;
    std::size_t depth = kMaxNestingDepth + 1;
  };
  const Form forms[] = {
      {"(", ")"},          {"[", "]"},     {"{k: ", "}"},        {"f(", ")"},
      {"-(", ")"},         {"NOT (", ")"}, {"CASE WHEN ", " THEN 1 END"},
      {"[x IN ", " | x]", 8}, {"x[", "]"}, {"EXISTS { (n {k: ", "}) }"},
  };
  for (const Form& form : forms) {
    std::string query;
    for (std::size_t depth = form.depth; depth > 0; --depth) {
      query = "RETURN " + repeated("", form.open, depth) + "n.p" + repeated("", form.close, depth);
      if (parse(query)) break;
    }
    on_small_stack([&] {
      Result<CypherQuery> built_query = parse(query);
      ASSERT_TRUE(built_query) << form.open << ": " << built_query.error().message;
      CypherQuery copy = *built_query;
      built_query = CypherError::parse("dropped");
      (void)collect_query_names(copy);
    });
  }
}

TEST(BuilderTree, CopySurvivesDestructionOfItsSource) {
  const char* text =
      "MATCH p = (a:A {k: [1, 2.5, 'x', true, null, {m: $p}]})-[r:R|S *1..3 {w: 1}]->(b) "
      "WHERE a.x[0] = b.y[1 ..2] OR NOT a.z IS NULL (0) XOR exists { (a)--() } AND -a.v ^ 2 > 1 "
      "WITH a, b ORDER BY a.x DESC SKIP 1 LIMIT 2 WHERE a.y STARTS WITH 's' "
      "MERGE (a)-[:T]->(c) ON MATCH SET c.n = 1, c += {q: 1} ON CREATE SET c:L, c = {} "
      "REMOVE c.n, c:L DETACH DELETE c "
      "RETURN DISTINCT CASE a.x WHEN 1 THEN 'one' ELSE 'many' END AS v, "
      "CASE WHEN a.y THEN 1 END, [x IN a.l WHERE x > 1 | x * 2], all(x IN a.l WHERE x), "
      "any(x IN a.l), none(x IN a.l), single(x IN a.l), count(*), count(DISTINCT b), "
      "a.s ENDS WITH 'e', a.s CONTAINS 'c', a.s =~ 'r', a.n IN [1], a.n <> 1, a.n <= 1, "
      "a.n >= 1, a.n < 1, 1 - 2 / 3 % 4 * 5 "
      "UNION ALL UNWIND [1] AS u CALL my.proc(u) YIELD f AS g RETURN g";
  Result<CypherQuery> source = parse(text);
  ASSERT_TRUE(source) << source.error().message;
  const std::string expected = dump(*source);
  auto copy = std::make_unique<CypherQuery>(*source);
  source = CypherError::parse("gone");  // destroys the source tree
  EXPECT_EQ(dump(*copy), expected);

  // Copying expressions one by one as well, then dropping the source.
  auto expression = std::make_unique<Expr>(Add{Box<Expr>(Variable{"x"}), Box<Expr>(IntegerLiteral{1})});
  Expr copied = *expression;
  expression.reset();
  EXPECT_EQ(dump(copied), "Add(x, 1)");
}

TEST(Collectors, NamesMentionedByAQuery) {
  struct NamesCase {
    const char* query;
    std::vector<std::string> labels, rel_types, properties;
  };
  const NamesCase cases[] = {
      {"MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name", {"Movie", "Person"}, {"ACTED_IN"}, {"name"}},
      {"MATCH (a:Person), (b:Person) RETURN a.name, b.name", {"Person"}, {}, {"name"}},
      {"MATCH (n:Person {name: 'x'}) RETURN n", {"Person"}, {}, {"name"}},
      {"MATCH ()-[r:KNOWS {since: 2020}]->() RETURN r", {}, {"KNOWS"}, {}},
      {"MATCH (n) SET n.age = 1 RETURN n", {}, {}, {}},
      {"MATCH (n) WITH n WHERE n.age > 1 RETURN n", {}, {}, {}},
      {"RETURN {key: 1}", {}, {}, {}},
      {"RETURN {key: n.inner}", {}, {}, {"inner"}},
      {"MATCH (n) WHERE EXISTS { (n)-[:KNOWS]->(m:Person {age: 1}) } RETURN n", {}, {}, {}},
      {"CALL db.labels() YIELD label", {}, {}, {}},
      {"MATCH (zebra:Zebra), (a:apple), (b:`Back tick`) RETURN 1", {"Zebra", "`Back tick`", "apple"}, {}, {}},
      {"MATCH (a:A) WITH a MATCH (b:B)-[:R]->(c {k: c.v}) RETURN b.x ORDER BY b.y",
       {"A", "B"}, {"R"}, {"k", "v", "x"}},
      {"MATCH (a:A) RETURN a.x UNION MATCH (b:B) RETURN b.y", {"A", "B"}, {}, {"x", "y"}},
      {"CREATE (a:C {p: 1}) MERGE (b:M {q: 2})-[:T]->(c) ON CREATE SET b.z = 1", {"C", "M"}, {"T"}, {"p", "q"}},
      {"MATCH (n) UNWIND n.list AS x DELETE n.gone RETURN *", {}, {}, {}},
      {"RETURN CASE n.a WHEN n.b THEN n.c ELSE n.d END, [x IN n.e WHERE x.f | x.g], n.h[n.i..n.j]",
       {}, {}, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
  };
  for (const NamesCase& c : cases) {
    Result<CypherQuery> query = parse(c.query);
    ASSERT_TRUE(query) << c.query << ": " << query.error().message;
    QueryNames names = collect_query_names(*query);
    EXPECT_EQ(names.labels, c.labels) << c.query;
    EXPECT_EQ(names.rel_types, c.rel_types) << c.query;
    EXPECT_EQ(names.properties, c.properties) << c.query;
  }
}

TEST(Collectors, ExistsQueryBodyGivesOnlyItsPropertyKeys) {
  // The grammar only writes pattern bodies; a query body is built by hand.
  Result<CypherQuery> inner = parse("MATCH (x:Hidden)-[:GONE]->(y {kept: 1}) RETURN x.also");
  ASSERT_TRUE(inner);
  ExistsSubquery body;
  body.value = *inner->as<CypherQuery::Regular>();
  Result<CypherQuery> outer = parse("MATCH (n:Shown) RETURN n.x");
  ASSERT_TRUE(outer);
  auto& single = std::get<SingleQuery::SinglePart>(std::get<RegularQuery>(outer->value).first.value);
  std::get<ReturnItems::Items>(single.return_clause->items.value)
      .items.push_back(ReturnItem{Exists{Box<ExistsSubquery>(std::move(body))}, std::nullopt});
  QueryNames names = collect_query_names(*outer);
  EXPECT_EQ(names.labels, std::vector<std::string>{"Shown"});
  EXPECT_TRUE(names.rel_types.empty());
  EXPECT_EQ(names.properties, (std::vector<std::string>{"also", "kept", "x"}));
}

}  // namespace
}  // namespace tessark
