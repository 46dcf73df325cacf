// Grammar run over a corpus of realistic queries: reports bytes/s (MB/s) and queries/s.
// Usage: parse_bench [queries.txt] [benchmark flags]; the corpus may also be named by the
// environment variable TESSARK_BENCH_QUERIES. Without one, a few built-in queries are used.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "parser/grammar.hpp"

namespace {

std::vector<std::string> corpus;

std::vector<std::string> read_lines(const char* path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

const std::vector<std::string> kFallback = {
    "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) WHERE m.released > 2000 RETURN p.name, m.title",
    "MATCH (a:Person {name: $name})-[:KNOWS*1..3]-(b) RETURN DISTINCT b ORDER BY b.name LIMIT 10",
    "MERGE (u:User {id: $id}) ON CREATE SET u.created = timestamp() ON MATCH SET u.seen = 1",
    "MATCH (n) WITH n, count(*) AS c WHERE c > 1 RETURN n, CASE WHEN c > 5 THEN 'many' END",
    "UNWIND [1, 2, 3] AS x RETURN [y IN range(0, x) WHERE y % 2 = 0 | y * y] AS squares",
};

void BM_ParseCorpus(benchmark::State& state) {
  std::size_t bytes = 0;
  for (const std::string& query : corpus) bytes += query.size();
  std::size_t failures = 0;
  for (auto _ : state) {
    for (const std::string& query : corpus) {
      auto tree = tessark::CypherParser::parse(tessark::Rule::cypher, query);
      failures += tree ? 0 : 1;
      benchmark::DoNotOptimize(tree);
    }
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["queries/s"] =
      benchmark::Counter(iterations * static_cast<double>(corpus.size()), benchmark::Counter::kIsRate);
  state.counters["queries"] = static_cast<double>(corpus.size());
  state.counters["rejected"] = static_cast<double>(failures) / iterations;
}
BENCHMARK(BM_ParseCorpus)->Unit(benchmark::kMillisecond);

// One deeply nested query at the nesting bound, the worst case for stack and recursion.
void BM_ParseNestedAtBound(benchmark::State& state) {
  std::string query = "RETURN ";
  for (std::size_t i = 1; i < tessark::kMaxNestingDepth; ++i) query += "[";
  query += "1";
  for (std::size_t i = 1; i < tessark::kMaxNestingDepth; ++i) query += "]";
  for (auto _ : state) {
    auto tree = tessark::CypherParser::parse(tessark::Rule::cypher, query);
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(query.size()) * state.iterations());
}
BENCHMARK(BM_ParseNestedAtBound);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* path = argc > 1 ? argv[1] : std::getenv("TESSARK_BENCH_QUERIES");
  if (path != nullptr) corpus = read_lines(path);
  if (corpus.empty()) corpus = kFallback;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
