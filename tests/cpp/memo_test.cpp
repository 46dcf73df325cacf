// The memoised grammar run against the plain one: identical results on a large corpus, and a
// rule-invocation count that grows linearly on the nestings that make the plain run exponential.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "parser/grammar.hpp"

namespace tessark {
namespace {

// Everything a run yields, as one comparable text.
std::string outcome_text(const std::variant<MatchTree, SyntaxError, ParseLimitError>& outcome) {
  if (const auto* tree = std::get_if<MatchTree>(&outcome)) {
    std::string out = "tree ";
    for (const MatchNode& node : tree->nodes) {
      out += std::to_string(static_cast<int>(node.rule)) + ":" + std::to_string(node.start) + "-" +
             std::to_string(node.end) + "/" + std::to_string(node.subtree_end) + " ";
    }
    return out;
  }
  if (const auto* error = std::get_if<SyntaxError>(&outcome)) return "error " + error->report();
  return "limit " + std::get<ParseLimitError>(outcome).message;
}

std::vector<std::string> load_corpus() {
  std::vector<std::string> texts = {
      "", "RETURN", "RETURN 1 ;;", "MATCH (n RETURN n", "MATCH (n)\nRETURN n.",
      "MATCH (n)\r\nWHERE\tn.x = \nRETURN n", "MATCH (n) WHERE n.x IS NULL RETURN n",
      "RETURN *, n", "MATCH (a)-[*..5]->(b)", "RETURN [x IN [1,2] | x]", "RETURN [x IN [1,2]]",
      "RETURN any(x IN [1] WHERE x > 0), all(a, b)", "RETURN a[1..3], a[..], a[1], a[b[c]..]",
      "MATCH (a) WITH a RETURN a UNION ALL MATCH (b) RETURN b",
      "MATCH (n) WHERE EXISTS { (n)-[:R]->(:M {x: 1}) } RETURN n",
      "RETURN CASE n WHEN 1 THEN 'a' ELSE 'b' END", "RETURN {a: [1, {b: [2]}]}",
      "RETURN 0x1F, 1e5, .5, 'it''s', \"q\\\"\", `odd name`",
  };
  std::ifstream corpus(TESSARK_TEST_CORPUS "/queries.txt");
  for (std::string line; std::getline(corpus, line);) {
    if (!line.empty()) texts.push_back(line);
  }
  return texts;
}

// Random edits: deletions, duplications, insertions of grammar-significant characters and
// truncations, so that most mutants fail at some interesting place.
std::string mutate(const std::string& text, std::mt19937& rng) {
  static const std::string alphabet = "()[]{}<>-:,.|*'\"`$;=+ \n/aINWHEREx0123";
  std::string out = text;
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits; ++i) {
    const std::size_t at = out.empty() ? 0 : rng() % (out.size() + 1);
    switch (rng() % 4) {
      case 0:
        if (at < out.size()) out.erase(at, 1 + rng() % 3);
        break;
      case 1:
        out.insert(at, 1, alphabet[rng() % alphabet.size()]);
        break;
      case 2:
        if (at < out.size()) out.insert(at, out.substr(at, 1 + rng() % 8));
        break;
      default:
        out.resize(at);
        break;
    }
  }
  return out;
}

TEST(Memo, MatchesPlainRunOnCorpusAndMutations) {
  const std::vector<std::string> corpus = load_corpus();
  ASSERT_GT(corpus.size(), 100u);
  std::mt19937 rng(20261211);
  std::size_t compared = 0;
  auto compare = [&](const std::string& text) {
    const auto memoised = CypherParser::run(Rule::cypher, text, ParseMode::memoised);
    const auto plain = CypherParser::run(Rule::cypher, text, ParseMode::plain);
    ASSERT_EQ(outcome_text(memoised), outcome_text(plain)) << "text: " << text;
    ++compared;
  };
  for (const std::string& text : corpus) compare(text);
  while (compared < 100000) {
    const std::string& base = corpus[rng() % corpus.size()];
    compare(mutate(base, rng));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

std::uint64_t invocations(const std::string& text) {
  ParseStats stats;
  (void)CypherParser::run(Rule::cypher, text, ParseMode::memoised, &stats);
  return stats.rule_invocations;
}

std::string nest(const std::string& open, const std::string& core, const std::string& close,
                 int depth) {
  std::string out;
  for (int i = 0; i < depth; ++i) out += open;
  out += core;
  for (int i = 0; i < depth; ++i) out += close;
  return out;
}

// Each family is parsed at two depths; the cost per extra level must stay constant, so the
// count at depth 2d is at most a little over twice the count at depth d.
TEST(Memo, RuleInvocationsGrowLinearlyWithNesting) {
  struct Family {
    const char* name;
    std::string (*text)(int depth);
  };
  const Family families[] = {
      {"comprehension", [](int d) { return "RETURN " + nest("[x IN ", "[1]", " | x]", d); }},
      {"quantifier",
       [](int d) { return "RETURN " + nest("any(x IN ", "[1]", " WHERE x > 0)", d); }},
      {"slice", [](int d) { return "RETURN " + nest("a[", "1", "..]", d); }},
      {"list in comprehension fails late",
       [](int d) { return "RETURN " + nest("[x IN [", "1", "] | x", d); }},
      {"no WITH",
       [](int d) { return "MATCH (n) WHERE " + nest("(", "n.x = 1", ")", d) + " RETURN n"; }},
  };
  for (const Family& family : families) {
    const std::uint64_t shallow = invocations(family.text(20));
    const std::uint64_t deep = invocations(family.text(40));
    const std::uint64_t deeper = invocations(family.text(60));
    EXPECT_LE(deeper - deep, (deep - shallow) * 11 / 10 + 8) << family.name;
    EXPECT_LE(deep, 2 * shallow + shallow / 5) << family.name;
  }
}

// The documented bound: at most kRuleInvocationsPerByte invocations per byte of text (plus a
// constant), whatever the text.
TEST(Memo, RuleInvocationsStayWithinBoundPerByte) {
  std::mt19937 rng(7);
  const std::vector<std::string> corpus = load_corpus();
  for (int i = 0; i < 20000; ++i) {
    const std::string text = mutate(corpus[rng() % corpus.size()], rng);
    EXPECT_LE(invocations(text), kRuleInvocationsPerByte * text.size() + kRuleInvocationsBase)
        << text;
  }
  for (const char* open : {"[", "(", "{a:", "a[", "[x IN "}) {
    std::string text = "RETURN ";
    for (int i = 0; i < 60; ++i) text += open;
    EXPECT_LE(invocations(text), kRuleInvocationsPerByte * text.size() + kRuleInvocationsBase)
        << text;
  }
}

}  // namespace
}  // namespace tessark
