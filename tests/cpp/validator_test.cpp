// Validation through Tessark::validate: scopes, schema checks, message texts and order, the
// syntax / semantic split, deep trees on small stacks, and batches against single calls.
#include <gtest/gtest.h>

#include <pthread.h>

#include <string>
#include <string_view>
#include <vector>

#include "parser/builder.hpp"
#include "parser/limits.hpp"
#include "validator/driver.hpp"
#include "validator/semantic.hpp"

namespace tessark {
namespace {

using Messages = std::vector<std::string>;

// Labels Person {name, age} and Movie {title}; ACTED_IN from Person to Movie with {role}.
Schema movie_schema() {
  Schema schema;
  schema.set_node("Person", {"name", "age"});
  schema.set_node("Movie", {"title"});
  schema.set_relationship("ACTED_IN", "Person", "Movie", {"role"});
  return schema;
}

std::string unbound(std::string_view name) {
  return "Variable '" + std::string(name) + "' is not bound in this scope";
}

struct Case {
  std::string_view query;
  Messages messages;
};

void expect_semantic(const Tessark& tessark, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    ValidationResult result = tessark.validate(c.query);
    EXPECT_TRUE(result.syntax_errors.empty()) << c.query << "\n" << result.syntax_errors[0];
    EXPECT_EQ(result.semantic_errors, c.messages) << c.query;
    EXPECT_EQ(result.errors, c.messages) << c.query;
    EXPECT_EQ(result.is_valid, c.messages.empty()) << c.query;
  }
}

TEST(Scopes, BindingsAndProjections) {
  expect_semantic(Tessark(movie_schema()), {
      {"MATCH (n:Person) RETURN m", {unbound("m")}},
      {"MATCH (n) RETURN m, m", {unbound("m"), unbound("m")}},
      // bindings of the whole part are visible to clauses written before them
      {"MATCH (a) WHERE b.x = 1 CREATE (b) RETURN a", {}},
      {"MATCH (a) WHERE b.x = 1 MERGE (b) RETURN a", {}},
      {"UNWIND [1,2] AS x RETURN x", {}},
      {"CALL db.labels() YIELD label RETURN label", {}},
      {"CALL db.labels() YIELD label AS l RETURN l, label", {unbound("label")}},
      {"CALL db.labels() RETURN label", {unbound("label")}},
      // WITH: its own expressions see the old scope, then only the projected names remain
      {"MATCH (n) WITH n.name AS name WHERE name = 'x' RETURN name", {unbound("name")}},
      {"MATCH (n:Person) WITH n.name AS k ORDER BY n.age SKIP n.age WHERE n.age > 1 RETURN k", {}},
      {"MATCH (n:Person) WITH n AS m RETURN n", {unbound("n")}},
      {"MATCH (n) WITH count(n) RETURN n", {unbound("n")}},
      {"MATCH (n:Person) WITH * RETURN n", {unbound("n")}},
      {"MATCH (n) WITH n MATCH (m) WITH m RETURN n", {unbound("n")}},
      // RETURN aliases are not visible to its own ORDER BY
      {"MATCH (n) RETURN n AS m ORDER BY m", {unbound("m")}},
      {"MATCH (n) RETURN n SKIP q LIMIT r", {unbound("q"), unbound("r")}},
      // UNION branches start empty and do not leak into each other
      {"MATCH (a) RETURN a UNION MATCH (b) RETURN a", {unbound("a")}},
      {"MATCH (a) RETURN b UNION ALL MATCH (b) RETURN b", {unbound("b")}},
      // comprehension and quantifier variables are temporary; the list is checked outside
      {"RETURN [x IN [1,2] WHERE x > 1 | x * 2]", {}},
      {"RETURN [x IN [1] | x], x", {unbound("x")}},
      {"RETURN [x IN x | 1]", {unbound("x")}},
      {"MATCH (n) WHERE all(x IN [1] WHERE x > 0) RETURN x", {unbound("x")}},
      {"RETURN any(y IN [1] WHERE y = z), none(y IN [1] WHERE y), single(y IN [] WHERE y)",
       {unbound("z")}},
  });
}

TEST(Scopes, LabelsTravelWithBindings) {
  expect_semantic(Tessark(movie_schema()), {
      // merge: labels of repeated node variables accumulate, without duplicates
      {"MATCH (n:Person), (n:Movie) RETURN n.role",
       {"Unknown property 'role' on variable 'n' with label :Person",
        "Unknown property 'role' on variable 'n' with label :Movie"}},
      {"MATCH (n:Person) MATCH (n:Person) MATCH (n) RETURN n.title",
       {"Unknown property 'title' on variable 'n' with label :Person"}},
      // WITH carries the labels of a bare variable over to its alias; the later item wins
      {"MATCH (n:Person) WITH n AS m RETURN m.titel",
       {"Unknown property 'titel' on variable 'm' with label :Person"}},
      {"MATCH (a:Person), (b:Movie) WITH a AS x, b AS x RETURN x.name",
       {"Unknown property 'name' on variable 'x' with label :Movie"}},
      {"MATCH (n:Person) WITH n RETURN n.title",
       {"Unknown property 'title' on variable 'n' with label :Person"}},
      // replace: UNWIND, a path name and YIELD drop earlier labels
      {"MATCH (n:Person) UNWIND [1] AS n RETURN n.titel", {}},
      {"MATCH (p:Person), p = (a) RETURN p.titel", {}},
      {"MATCH (n:Person) CALL db.x() YIELD n RETURN n.titel", {}},
      // a comprehension over an already bound name keeps that binding
      {"MATCH (x:Person) RETURN [x IN [1] | x.titel]",
       {"Unknown property 'titel' on variable 'x' with label :Person"}},
      {"MATCH (x:Person) RETURN [x IN [1] | 1], x.titel",
       {"Unknown property 'titel' on variable 'x' with label :Person"}},
  });
}

TEST(Scopes, WhatTheExpressionWalkVisits) {
  expect_semantic(Tessark(movie_schema()), {
      {"RETURN CASE q WHEN r THEN s ELSE t END", {unbound("q"), unbound("r"), unbound("s"),
                                                  unbound("t")}},
      {"RETURN a[b], c[d..e]", {unbound("a"), unbound("b"), unbound("c"), unbound("d"),
                                unbound("e")}},
      {"RETURN foo(a, b), -c, NOT d, e", {unbound("a"), unbound("b"), unbound("c"),
                                                  unbound("d"), unbound("e")}},
      {"RETURN a + b * c STARTS WITH (d)", {unbound("a"), unbound("b"), unbound("c"),
                                          unbound("d")}},
      {"RETURN {k: v}, [w]", {unbound("v"), unbound("w")}},
      {"RETURN $p, 1, 'x', true, null, count(*)", {}},
      // a property message comes before the unbound check of its base
      {"MATCH (p:Person) RETURN p.titel, q.x",
       {"Unknown property 'titel' on variable 'p' with label :Person", unbound("q")}},
      // not examined: EXISTS bodies, CALL arguments, inline map values
      {"MATCH (n) WHERE EXISTS { (n)-[:NOPE]->(z:Foo) } RETURN n", {}},
      {"MATCH (n) CALL db.proc(q) YIELD x RETURN n", {}},
      {"MATCH (n:Person {name: q})-[:ACTED_IN {role: r}]->(m) RETURN n", {}},
      // updating clauses
      {"MATCH (n) DETACH DELETE n, m", {unbound("m")}},
      {"MATCH (n:Person) SET n.name = q", {unbound("q")}},
      {"MATCH (n:Person) SET n = q, n += r", {unbound("q"), unbound("r")}},
      {"SET x.name = 1", {}},
      {"REMOVE x.name", {}},
  });
}

TEST(SchemaChecks, PatternsAndMessages) {
  expect_semantic(Tessark(movie_schema()), {
      {"MATCH (p:Person) RETURN p", {}},
      {"MATCH (p:Persn) RETURN p", {"Unknown node label: :Persn, did you mean :Person?"}},
      {"MATCH (p:person) RETURN p", {"Unknown node label: :person, did you mean :Person?"}},
      {"MATCH (p:Xyzzy) RETURN p", {"Unknown node label: :Xyzzy"}},
      {"MATCH (p:`Person`) RETURN p", {"Unknown node label: :`Person`, did you mean :Person?"}},
      {"MATCH (m:Movie)-[:ACTED_IN]->(p:Person) RETURN p",
       {"Relationship :ACTED_IN expects source label :Person, but node has label(s): :Movie",
        "Relationship :ACTED_IN expects target label :Movie, but node has label(s): :Person"}},
      {"MATCH (m:Movie)<-[:ACTED_IN]-(p:Person) RETURN p", {}},
      {"MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p", {}},
      {"MATCH (a)-[:ACTED_IN]->(b) RETURN a", {}},
      {"MATCH (m:Movie)-[:ACTED_IN]-(p:Person) RETURN p", {}},
      // both arrow heads count as incoming
      {"MATCH (m:Movie)<-[:ACTED_IN]->(p:Person) RETURN p", {}},
      {"MATCH (p:Person)<-[:ACTED_IN]->(m:Movie) RETURN p",
       {"Relationship :ACTED_IN expects source label :Person, but node has label(s): :Movie",
        "Relationship :ACTED_IN expects target label :Movie, but node has label(s): :Person"}},
      // an end with only unknown labels gets no endpoint message; with a known one it does
      {"MATCH (x:Foo)-[:ACTED_IN]->(m:Movie) RETURN x", {"Unknown node label: :Foo"}},
      {"MATCH (x:Foo:Movie)-[:ACTED_IN]->(m:Movie) RETURN x",
       {"Unknown node label: :Foo",
        "Relationship :ACTED_IN expects source label :Person, but node has label(s): :Foo, :Movie"}},
      {"MATCH (x:Movie:Person)-[:ACTED_IN]->(m:Movie) RETURN x", {}},
      // the endpoint check reads the labels written in the pattern, not the scope
      {"MATCH (m:Movie) MATCH (m)-[:ACTED_IN]->(p) RETURN p", {}},
      {"MATCH (p:Person {nam: 'A'}) RETURN p", {"Unknown property 'nam' for node label :Person"}},
      {"MATCH (p {nam: 'A'}) RETURN p", {}},
      {"MATCH (p:Person $props) RETURN p", {}},
      {"MATCH (p:Person:Movie {title: 'x'}) RETURN p",
       {"Unknown property 'title' for node label :Person"}},
      {"MATCH (p:Person:Movie {zz: 1}) RETURN p",
       {"Unknown property 'zz' for node label :Person",
        "Unknown property 'zz' for node label :Movie"}},
      {"MATCH (p:Persn {zz: 1}) RETURN p", {"Unknown node label: :Persn, did you mean :Person?"}},
      {"MATCH (p:Person)-[r:ACTED_IN {rol: 'x'}]->(m:Movie) RETURN r.rol",
       {"Unknown property 'rol' for relationship type :ACTED_IN",
        "Unknown property 'rol' on variable 'r' with relationship type :ACTED_IN"}},
      {"MATCH (p:Person)-[r:ACTED_IN]->(m:Movie) RETURN r.role, p.name, p.age, m.title", {}},
      {"MATCH ()-[r {zzz: 1}]->() RETURN r.zzz", {}},
      {"MATCH (p:Person) RETURN p.titel",
       {"Unknown property 'titel' on variable 'p' with label :Person"}},
      {"MATCH (p:Person)-[:KNOWS]->(q) RETURN q", {"Unknown relationship type: :KNOWS"}},
      {"MATCH (p:Person)-[:ACTED_IM]->(q) RETURN q",
       {"Unknown relationship type: :ACTED_IM, did you mean :ACTED_IN?"}},
      {"MATCH (m:Movie)-[:KNOWS|ACTED_IN]->(p) RETURN m",
       {"Unknown relationship type: :KNOWS",
        "Relationship :ACTED_IN expects source label :Person, but node has label(s): :Movie"}},
      // chain order: node, then per type its type, property and endpoint messages, next node
      {"MATCH (a:Persn)-[:ACTD_IN]->(b:Movi)-[:ACTED_IN {x: 1}]->(c:Person) RETURN a",
       {"Unknown node label: :Persn, did you mean :Person?",
        "Unknown relationship type: :ACTD_IN, did you mean :ACTED_IN?",
        "Unknown node label: :Movi, did you mean :Movie?",
        "Unknown property 'x' for relationship type :ACTED_IN",
        "Relationship :ACTED_IN expects target label :Movie, but node has label(s): :Person"}},
      {"MATCH (a:Foo), (b:Bar) RETURN a", {"Unknown node label: :Foo",
                                           "Unknown node label: :Bar"}},
      {"CREATE (a:Persn)-[:ACTED_IN]->(b:Person)",
       {"Unknown node label: :Persn, did you mean :Person?",
        "Relationship :ACTED_IN expects target label :Movie, but node has label(s): :Person"}},
      // MERGE: its pattern is checked, its ON MATCH / ON CREATE items are not
      {"MERGE (p:Persn) ON CREATE SET p:Mvie, p.zz = q RETURN p",
       {"Unknown node label: :Persn, did you mean :Person?"}},
  });
}

TEST(SchemaChecks, SetAndRemove) {
  expect_semantic(Tessark(movie_schema()), {
      {"MATCH (p:Person) SET p:Actr", {"Unknown node label in SET: :Actr"}},
      {"MATCH (p:Person) SET p:Persn:Movie",
       {"Unknown node label in SET: :Persn, did you mean :Person?"}},
      {"MATCH (p:Person) REMOVE p:Actr", {"Unknown node label in REMOVE: :Actr"}},
      {"MATCH (p:Person) REMOVE p:Movi", {"Unknown node label in REMOVE: :Movi, did you mean :Movie?"}},
      {"MATCH (n:Person) SET n.titel = 1",
       {"Unknown property 'titel' on variable 'n' with label :Person"}},
      // the whole key path is checked against the variable's labels
      {"MATCH (n:Person) SET n.address.city = 1",
       {"Unknown property 'address' on variable 'n' with label :Person",
        "Unknown property 'city' on variable 'n' with label :Person"}},
      {"MATCH (n:Person) REMOVE n.titel, n.name",
       {"Unknown property 'titel' on variable 'n' with label :Person"}},
      {"MATCH ()-[r:ACTED_IN]->() SET r.rol = r.role",
       {"Unknown property 'rol' on variable 'r' with relationship type :ACTED_IN"}},
  });
}

TEST(SchemaChecks, EmptySchemaMakesEverythingUnknown) {
  expect_semantic(Tessark(Schema{}), {
      {"MATCH (p:Person)-[:R]->(q) SET p:X RETURN p.name",
       {"Unknown node label: :Person", "Unknown relationship type: :R",
        "Unknown node label in SET: :X"}},
      {"MATCH (n) RETURN n", {}},
  });
}

// The six-line syntax-error report for a failure at `line`:`column` of `line_text`.
std::string syntax_report(int line, int column, std::string_view line_text,
                          std::string_view message) {
  std::string number = std::to_string(line);
  std::string gutter(number.size(), ' ');
  std::string underline;
  for (char c : line_text.substr(0, static_cast<std::size_t>(column - 1)))
    underline += c == '\t' ? '\t' : ' ';
  return gutter + "--> " + number + ":" + std::to_string(column) + "\n" + gutter + " |\n" +
         number + " | " + std::string(line_text) + "\n" + gutter + " | " + underline + "^---\n" +
         gutter + " |\n" + gutter + " = " + std::string(message);
}

TEST(Driver, SyntaxErrorsAreReportedAloneAndWithoutPrefix) {
  struct SyntaxCase {
    std::string_view query;
    std::string report;
  };
  const SyntaxCase cases[] = {
      {"MATCH (n RETURN n", syntax_report(1, 10, "MATCH (n RETURN n",
                                          "expected node_labels or properties")},
      {"", syntax_report(1, 1, "", "expected statement")},
      {"MATCH (n)\nRETURN n.", syntax_report(2, 10, "RETURN n.", "expected property_key_name")},
  };
  for (const Schema& schema : {movie_schema(), Schema{}}) {
    Tessark tessark(schema);
    for (const SyntaxCase& c : cases) {
      ValidationResult result = tessark.validate(c.query);
      EXPECT_FALSE(result.is_valid) << c.query;
      EXPECT_EQ(result.syntax_errors, Messages{c.report}) << c.query;
      EXPECT_EQ(result.errors, Messages{c.report}) << c.query;
      EXPECT_TRUE(result.semantic_errors.empty()) << c.query;
    }
  }
}

TEST(Driver, SemanticMessagesKeepTheirOrder) {
  ValidationResult result = Tessark(movie_schema()).validate("MATCH (p:Persn) RETURN q");
  Messages expected = {"Unknown node label: :Persn, did you mean :Person?", unbound("q")};
  EXPECT_FALSE(result.is_valid);
  EXPECT_EQ(result.semantic_errors, expected);
  EXPECT_EQ(result.errors, expected);
  EXPECT_TRUE(result.syntax_errors.empty());

  ValidationResult valid = Tessark(movie_schema()).validate("MATCH (p:Person) RETURN p.name");
  EXPECT_EQ(valid, (ValidationResult{true, {}, {}, {}}));
}

// Queries whose trees are as deep as the parser allows (long operator chains, nested brackets),
// and one nested too deeply, for the small-stack test.
std::vector<std::string> deep_queries() {
  std::size_t depth = kMaxExpressionDepth - 10;
  std::string sum = "MATCH (n:Person) RETURN n.name";
  std::size_t brackets = kMaxNestingDepth - 5;
  std::string lists = "RETURN " + std::string(brackets, '[') + "q" + std::string(brackets, ']');
  std::string nots = "RETURN ";
  for (std::size_t i = 0; i < depth; ++i) sum += " + n.titel", nots += "NOT ";
  nots += "q";
  std::string too_deep = "RETURN " + std::string(kMaxExpressionDepth * 4, '[') +
                         std::string(kMaxExpressionDepth * 4, ']');
  return {sum, lists, nots, too_deep};
}

struct DeepWalk {
  const std::vector<CypherQuery>* trees;
  std::vector<Messages> messages;
};

void* walk_deep_trees(void* raw) {
  auto& walk = *static_cast<DeepWalk*>(raw);
  Schema schema = movie_schema();
  for (const CypherQuery& tree : *walk.trees) {
    SemanticValidator validator(schema);
    validator.validate_query(tree);
    walk.messages.push_back(validator.take_errors());
  }
  return nullptr;
}

// The semantic walk over the deepest trees the parser builds fits a 512 KiB thread stack.
TEST(Driver, DeepTreesFitA512KiBStack) {
  std::vector<std::string> queries = deep_queries();
  std::vector<CypherQuery> trees;
  for (std::size_t i = 0; i + 1 < queries.size(); ++i) {
    Result<CypherQuery> tree = parse(queries[i]);
    ASSERT_TRUE(tree) << tree.error().message;
    trees.push_back(std::move(tree).value());
  }
  DeepWalk walk{&trees, {}};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, walk_deep_trees, &walk), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);

  ASSERT_EQ(walk.messages.size(), 3u);
  std::size_t titel = kMaxExpressionDepth - 10;
  EXPECT_EQ(walk.messages[0],
            Messages(titel, "Unknown property 'titel' on variable 'n' with label :Person"));
  EXPECT_EQ(walk.messages[1], Messages{unbound("q")});
  EXPECT_EQ(walk.messages[2], Messages{unbound("q")});
}

// The same queries, parse included, on the pool's worker threads; the over-deep one is refused.
TEST(Driver, DeepQueriesInABatch) {
  std::vector<std::string> queries;
  for (int copy = 0; copy < 16; ++copy)
    for (const std::string& query : deep_queries()) queries.push_back(query);
  Tessark tessark(movie_schema());
  MapResult<ValidationResult> batch = tessark.validate_batch(queries);
  ASSERT_FALSE(batch.failure);
  for (std::size_t i = 0; i < queries.size(); ++i) {
    bool too_deep = i % 4 == 3;
    EXPECT_EQ(batch.values[i].syntax_errors.size(), too_deep ? 1u : 0u) << i;
    EXPECT_EQ(batch.values[i].semantic_errors.empty(), too_deep) << i;
  }
}

// A mixed corpus: valid queries, schema errors, unbound variables and syntax errors.
std::vector<std::string> mixed_queries(std::size_t count) {
  const std::vector<std::string> kinds = {
      "MATCH (p:Person) RETURN p.name",
      "MATCH (p:Persn) RETURN q",
      "MATCH (m:Movie)-[:ACTED_IN]->(p:Person) RETURN p",
      "MATCH (n RETURN n",
      "MATCH (p:Person)-[r:ACTED_IN {rol: 'x'}]->(m:Movie) RETURN r.rol",
      "",
      "MATCH (n:Person) WITH n AS m WHERE m.age > 3 RETURN m.titel ORDER BY m.name",
      "UNWIND [1,2,3] AS x RETURN [y IN range(1, x) WHERE y > 1 | y * 2]",
  };
  std::vector<std::string> queries;
  for (std::size_t i = 0; i < count; ++i)
    queries.push_back(kinds[i % kinds.size()] + (i % 3 == 0 ? " LIMIT " + std::to_string(i) : ""));
  return queries;
}

TEST(Driver, BatchEqualsSingleCalls) {
  Tessark tessark(movie_schema());
  for (std::size_t count : std::vector<std::size_t>{0, 1, 7, 10000}) {
    std::vector<std::string> queries = mixed_queries(count);
    MapResult<ValidationResult> batch = tessark.validate_batch(queries);
    ASSERT_FALSE(batch.failure);
    ASSERT_EQ(batch.values.size(), count);
    for (std::size_t i = 0; i < count; ++i)
      ASSERT_EQ(batch.values[i], tessark.validate(queries[i])) << i << ": " << queries[i];
  }
}

}  // namespace
}  // namespace tessark
