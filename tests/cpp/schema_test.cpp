// Schema record: lookups, seeded containers, merge, the JSON form and the debug text form.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "debug_form.hpp"
#include "schema.hpp"
#include "schema_json.hpp"

namespace tessark {
namespace {

using Names = std::vector<std::string>;

Names to_names(const std::vector<std::string_view>& views) { return Names(views.begin(), views.end()); }

Schema movie_schema() {
  Schema schema;
  schema.set_node("Person", {"name", "age", "name"});
  schema.set_node("Movie", {"title"});
  schema.set_node("person", {});
  schema.set_node("Per", {});
  schema.set_relationship("ACTED_IN", "Person", "Movie", {"role"});
  schema.set_relationship("KNOWS", "Person", "Ghost", {});
  return schema;
}

TEST(SchemaLookups, ListingsAreSortedByteWise) {
  Schema schema = movie_schema();
  EXPECT_EQ(to_names(schema.node_labels()), (Names{"Movie", "Per", "Person", "person"}));
  EXPECT_EQ(to_names(schema.rel_types()), (Names{"ACTED_IN", "KNOWS"}));
  EXPECT_EQ(to_names(schema.node_properties("Person")), (Names{"age", "name"}));
  EXPECT_EQ(to_names(schema.rel_properties("ACTED_IN")), (Names{"role"}));
}

TEST(SchemaLookups, UnknownNamesGiveEmptyResults) {
  Schema schema = movie_schema();
  EXPECT_TRUE(schema.node_properties("Nope").empty());
  EXPECT_TRUE(schema.node_properties("person").empty());  // known, no properties
  EXPECT_TRUE(schema.rel_properties("NOPE").empty());
  EXPECT_FALSE(schema.rel_src_tgt("NOPE").has_value());
  EXPECT_FALSE(schema.has_label("PERSON"));
  EXPECT_TRUE(schema.has_label("person"));
  EXPECT_TRUE(schema.label_has_property("Person", "age"));
  EXPECT_FALSE(schema.label_has_property("Movie", "age"));
  EXPECT_FALSE(schema.label_has_property("Nope", "age"));
  EXPECT_TRUE(schema.rel_has_property("ACTED_IN", "role"));
  EXPECT_FALSE(schema.rel_has_property("KNOWS", "role"));

  Schema empty;
  EXPECT_TRUE(empty.node_labels().empty());
  EXPECT_TRUE(empty.rel_types().empty());
  EXPECT_FALSE(empty.rel_src_tgt("").has_value());
}

TEST(SchemaLookups, EndpointsNeedNotBeDeclaredLabels) {
  Schema schema = movie_schema();
  auto endpoints = schema.rel_src_tgt("KNOWS");  // views into `schema`
  ASSERT_TRUE(endpoints.has_value());
  EXPECT_EQ(endpoints->first, "Person");
  EXPECT_EQ(endpoints->second, "Ghost");
}

TEST(SchemaLookups, LaterEntryReplacesEarlierAndEmptyNamesAreLegal) {
  Schema schema;
  schema.set_node("", {""});
  schema.set_node("A", {"x"});
  schema.set_node("A", {"y"});
  EXPECT_EQ(to_names(schema.node_labels()), (Names{"", "A"}));
  EXPECT_EQ(to_names(schema.node_properties("A")), (Names{"y"}));
  EXPECT_EQ(to_names(schema.node_properties("")), (Names{""}));
}

TEST(SchemaLookups, ContainersHaveTheirOwnSeeds) {
  NameSet a, b;
  EXPECT_FALSE(a.hash_function().seed == b.hash_function().seed &&
               a.hash_function().seed2 == b.hash_function().seed2);
  EXPECT_NE(a.hash_function()("Person"), b.hash_function()("Person"));
}

TEST(SchemaLookups, ManyKeysStayFindable) {
  Schema schema;
  auto name = [](char prefix, int i) { return std::string(1, prefix).append(std::to_string(i)); };
  for (int i = 0; i < 5000; ++i) schema.set_node(name('L', i), {name('p', i)});
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(schema.label_has_property(name('L', i), name('p', i))) << i;
  EXPECT_EQ(schema.node_labels().size(), 5000u);
}

TEST(SchemaMerge, UnitesPropertiesAndKeepsOwnEndpoints) {
  Schema mine;
  mine.set_node("Person", {"age"});
  mine.set_relationship("KNOWS", "Person", "Person", {"since"});
  Schema theirs;
  theirs.set_node("Person", {"name"});
  theirs.set_node("Company", {"name"});
  theirs.set_relationship("KNOWS", "Person", "Company", {"weight"});
  theirs.set_relationship("WORKS_AT", "Person", "Company", {});

  Schema merged = mine.merge(theirs);
  EXPECT_EQ(to_names(merged.node_labels()), (Names{"Company", "Person"}));
  EXPECT_EQ(to_names(merged.node_properties("Person")), (Names{"age", "name"}));
  EXPECT_EQ(to_names(merged.rel_types()), (Names{"KNOWS", "WORKS_AT"}));
  EXPECT_EQ(merged.rel_src_tgt("KNOWS")->second, "Person");
  EXPECT_EQ(to_names(merged.rel_properties("KNOWS")), (Names{"since", "weight"}));
  // Inputs unchanged.
  EXPECT_EQ(to_names(mine.node_properties("Person")), (Names{"age"}));
  EXPECT_FALSE(mine.has_label("Company"));
  EXPECT_EQ(to_names(theirs.rel_properties("KNOWS")), (Names{"weight"}));
}

// --- JSON form ------------------------------------------------------------------------------

TEST(SchemaJson, WriterIsCompactWithStandardEscapes) {
  EXPECT_EQ(schema_to_json(Schema{}), R"({"nodes":{},"relationships":{}})");
  Schema schema;
  schema.set_node("q\"b\\s\b\f\n\r\t\x01\x1f\x7f é/", {});
  schema.set_relationship("R", "A", "B", {"p"});
  EXPECT_EQ(schema_to_json(schema),
            "{\"nodes\":{\"q\\\"b\\\\s\\b\\f\\n\\r\\t\\u0001\\u001f\x7f é/\":[]},"
            "\"relationships\":{\"R\":[\"A\",\"B\",[\"p\"]]}}");
}

void expect_same_contents(const Schema& a, const Schema& b) {
  ASSERT_EQ(a.node_labels(), b.node_labels());
  ASSERT_EQ(a.rel_types(), b.rel_types());
  for (auto label : a.node_labels()) EXPECT_EQ(a.node_properties(label), b.node_properties(label));
  for (auto type : a.rel_types()) {
    EXPECT_EQ(a.rel_properties(type), b.rel_properties(type));
    EXPECT_EQ(a.rel_src_tgt(type), b.rel_src_tgt(type));
  }
}

TEST(SchemaJson, RoundTripKeepsEveryName) {
  Schema schema;
  schema.set_node("Ünïcode \"quoted\" back\\slash", {"tab\there", std::string("nul\0byte", 8), "😀"});
  schema.set_node("", {""});
  schema.set_relationship("REL\n", "Src\x1f", "Tgt\x7f", {"\\u0041"});
  Result<Schema> back = schema_from_json(schema_to_json(schema));
  ASSERT_TRUE(back) << back.error().message;
  expect_same_contents(schema, *back);
}

TEST(SchemaJson, ReaderAcceptsBothTopLevelShapes) {
  struct Case {
    const char* json;
    Names labels;
    Names types;
  };
  const Case cases[] = {
      {R"({"relationships":{"R":["A","B",["w"]]},"nodes":{"A":["x","x","y"]}})", {"A"}, {"R"}},
      {" \n\t[ {\"A\":[]} , {} ] \r\n", {"A"}, {}},
      {R"({"nodes":{},"relationships":{},"extra":[1,-2.5e-3,true,false,null,{"k":"v"},"\u00e9"]})", {}, {}},
      {R"({"nodes":{"A":["x"],"A":["y"]},"relationships":{}})", {"A"}, {}},
      {R"({"nodes":{"\ud83d\ude00\/":[]},"relationships":{}})", {"😀/"}, {}},
  };
  for (const Case& c : cases) {
    Result<Schema> schema = schema_from_json(c.json);
    ASSERT_TRUE(schema) << c.json << ": " << schema.error().message;
    EXPECT_EQ(to_names(schema->node_labels()), c.labels) << c.json;
    EXPECT_EQ(to_names(schema->rel_types()), c.types) << c.json;
  }
  Result<Schema> merged = schema_from_json(cases[0].json);
  EXPECT_EQ(to_names(merged->node_properties("A")), (Names{"x", "y"}));
  EXPECT_EQ(to_names(merged->rel_properties("R")), (Names{"w"}));
  Result<Schema> last = schema_from_json(cases[3].json);
  EXPECT_EQ(to_names(last->node_properties("A")), (Names{"y"}));
}

// The column of the first occurrence of `marker` in `json` (1-based), plus `offset`.
std::size_t column_of(const std::string& json, const std::string& marker, int offset = 0) {
  return json.find(marker) + 1 + offset;
}

TEST(SchemaJson, ReaderFaultsNameWhatAndWhere) {
  struct Case {
    std::string json;
    std::string description;
    std::size_t line;
    std::size_t column;
  };
  const std::string rel2 = R"({"nodes":{},"relationships":{"R":["A","B"]}})";
  const std::string rel4 = R"({"nodes":{},"relationships":{"R":["A","B",[],1]}})";
  const std::string dup = R"({"nodes":{},"nodes":{}})";
  const std::string booly = R"({"nodes":{},"relationships":true})";
  const std::string mapped = R"({"nodes":{},"relationships":{"R":{}}})";
  const std::string multi = "{\n  \"nodes\": {\"A\": [1]},\n  \"relationships\": {}\n}";
  const Case cases[] = {
      {"{}", "missing field `nodes`", 1, 2},
      {R"({"nodes":{}})", "missing field `relationships`", 1, 12},
      {R"({"relationships":{}})", "missing field `nodes`", 1, 20},
      {dup, "duplicate field `nodes`", 1, column_of(dup, "\"nodes\":{}}") + 6},
      {"[{}]", "invalid length 1, expected struct Schema with 2 elements", 1, 4},
      {"[]", "invalid length 0, expected struct Schema with 2 elements", 1, 2},
      {rel2, "invalid length 2, expected a tuple of size 3", 1, column_of(rel2, "]")},
      {rel4, "trailing characters", 1, column_of(rel4, "1]")},
      {"[{},{},{}]", "trailing characters", 1, 8},
      {"1", "invalid type: integer `1`, expected struct Schema", 1, 1},
      {R"("s")", "invalid type: string \"s\", expected struct Schema", 1, 3},
      {R"({"nodes":[],"relationships":{}})", "invalid type: sequence, expected a map", 1, 9},
      {booly, "invalid type: boolean `true`, expected a map", 1, column_of(booly, "true", 3)},
      {R"({"nodes":{"A":"x"},"relationships":{}})", "invalid type: string \"x\", expected a sequence", 1, 17},
      {R"({"nodes":{"A":[null]},"relationships":{}})", "invalid type: null, expected a string", 1, 19},
      {R"({"nodes":{"A":[2.5]},"relationships":{}})", "invalid type: floating point `2.5`, expected a string", 1, 18},
      {mapped, "invalid type: map, expected a tuple of size 3", 1, column_of(mapped, "{}}", -1)},
      {multi, "invalid type: integer `1`, expected a string", 2, 19},
      // Lexical faults.
      {"", "EOF while parsing a value", 1, 0},
      {"{\"nodes\":{},\"relationships\":{}} x", "trailing characters", 1, 33},
      {R"({"nodes":{"A":["x)", "EOF while parsing a string", 1, 17},
      {R"({"nodes":{"A":["\q"]}})", "invalid escape", 1, 18},
      {R"({"nodes":{"A":["\u12G4"]}})", "invalid escape", 1, 21},
      {R"({"nodes":{"A":["\ud800"]}})", "lone surrogate in \\u escape", 1, 22},
      {R"({"nodes":{"A":["\udc00"]}})", "lone surrogate in \\u escape", 1, 22},
      {"{\"nodes\":{\"A\":[\"a\tb\"]}}", "control character (\\u0000-\\u001F) found while parsing a string", 1, 18},
      {R"({"nodes":{},"x":01})", "invalid number", 1, 18},
      {R"({"nodes":{},"x":-})", "invalid number", 1, 18},
      {R"({"nodes":{},"x":1.})", "invalid number", 1, 19},
      {R"({"nodes":{},"x":1e400,"relationships":{}})", "", 0, 0},  // skipped numbers need no range
      {R"({"nodes":{"A":[1e400]}})", "number out of range", 1, 20},
      {R"({"nodes":{},"x":nul})", "invalid literal", 1, 20},
      {R"({"nodes" {}})", "expected `:`", 1, 10},
      {R"({"nodes":{}  "relationships":{}})", "expected `,` or `}`", 1, 14},
      {R"({"nodes":{"A":["a" "b"]}})", "expected `,` or `]`", 1, 20},
      {R"({"nodes":{"A":["a",]}})", "trailing comma", 1, 20},
      {R"({"nodes":{},})", "trailing comma", 1, 13},
      {R"({1:2})", "key must be a string", 1, 2},
      {R"({"nodes":{})", "EOF while parsing an object", 1, 11},
      {R"({"nodes":{},"x":[)", "EOF while parsing a list", 1, 17},
      {R"({"nodes":{},"x":@})", "expected value", 1, 17},
      {"{\"nodes\":\xff}", "invalid UTF-8", 1, 10},
  };
  for (const Case& c : cases) {
    Result<Schema> schema = schema_from_json(c.json);
    if (c.line == 0) {
      EXPECT_TRUE(schema) << c.json;
      continue;
    }
    ASSERT_FALSE(schema) << c.json;
    EXPECT_EQ(schema.error().message, c.description + " at line " + std::to_string(c.line) +
                                          " column " + std::to_string(c.column))
        << c.json;
  }
}

TEST(SchemaJson, ColumnsCountCharactersNotBytes) {
  Result<Schema> schema = schema_from_json(R"({"nodes":{"éé":"x"},"relationships":{}})");
  ASSERT_FALSE(schema);
  EXPECT_EQ(schema.error().message, "invalid type: string \"x\", expected a sequence at line 1 column 18");
}

TEST(SchemaJson, DeepNestingIsBoundedNotRecursedInto) {
  for (char open : {'[', '{'}) {
    std::string json = "{\"x\":";
    for (int i = 0; i < 200000; ++i) json += open == '[' ? "[" : "{\"k\":";
    Result<Schema> schema = schema_from_json(json);
    ASSERT_FALSE(schema);
    EXPECT_EQ(schema.error().message.rfind("recursion limit exceeded at line 1 column ", 0), 0u)
        << schema.error().message;
  }
  std::string ok = "{\"nodes\":{},\"relationships\":{},\"x\":";  // top level counts as one
  ok += std::string(127, '[') + std::string(127, ']') + "}";
  EXPECT_TRUE(schema_from_json(ok));
  std::string too_deep = "{\"nodes\":{},\"relationships\":{},\"x\":";
  too_deep += std::string(128, '[') + std::string(128, ']') + "}";
  EXPECT_FALSE(schema_from_json(too_deep));
}

TEST(SchemaJson, MutatedInputNeverCrashesAndRoundTripsWhenAccepted) {
  Schema schema = movie_schema();
  schema.set_node("Ω\"\\", {"\x01", "é"});
  const std::string valid = schema_to_json(schema);
  const std::string alphabet = "{}[]\",:\\u0123456789eE+-.truefalsnl \n\tx\xc3\xa9";
  std::mt19937 random(20261211);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string json = valid;
    int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !json.empty(); ++e) {
      std::size_t at = random() % json.size();
      char ch = alphabet[random() % alphabet.size()];
      switch (random() % 3) {
        case 0: json[at] = ch; break;
        case 1: json.insert(json.begin() + static_cast<long>(at), ch); break;
        default: json.erase(at, 1 + random() % 3); break;
      }
    }
    Result<Schema> parsed = schema_from_json(json);
    if (!parsed) {
      EXPECT_NE(parsed.error().message.find(" at line "), std::string::npos) << json;
      continue;
    }
    ++accepted;
    Result<Schema> again = schema_from_json(schema_to_json(*parsed));
    ASSERT_TRUE(again) << json;
    expect_same_contents(*parsed, *again);
  }
  EXPECT_GT(accepted, 0);
}

// --- debug text form ------------------------------------------------------------------------

TEST(DebugForm, QuotesAndEscapes) {
  struct Case {
    std::string text;
    std::string quoted;
  };
  const Case cases[] = {
      {"Person", "\"Person\""},
      {"", "\"\""},
      {"a\\b\"c", "\"a\\\\b\\\"c\""},
      {"\t\r\n", "\"\\t\\r\\n\""},
      {std::string("\0", 1), "\"\\0\""},
      {"\x01\x1b\x7f", "\"\\u{1}\\u{1b}\\u{7f}\""},
      {"\xc2\x85\xc2\xa0", "\"\\u{85}\xc2\xa0\""},  // U+0085 is a control, U+00A0 is not
      {"it's Ünïcode 😀", "\"it's Ünïcode 😀\""},
  };
  for (const Case& c : cases) EXPECT_EQ(debug_quoted(c.text), c.quoted) << c.text;
  EXPECT_EQ(debug_list(Names{}), "[]");
  EXPECT_EQ(debug_list(Names{"A", "b\""}), "[\"A\", \"b\\\"\"]");
  EXPECT_STREQ(debug_bool(true), "true");
  EXPECT_STREQ(debug_bool(false), "false");
}

}  // namespace
}  // namespace tessark
