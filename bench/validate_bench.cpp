// Validation throughput on the benchmark corpus: single validate calls (parse and semantic
// check, one query at a time) and whole batches on the worker pool. Arguments: the corpus's
// query file (one query per line) and its schema in JSON form; without them a small built-in
// corpus is used. The pool's size follows TESSARK_NUM_THREADS as in the module.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "schema_json.hpp"
#include "validator/driver.hpp"

namespace tessark {
namespace {

struct Corpus {
  Schema schema;
  std::vector<std::string> queries;
};

Corpus builtin_corpus() {
  Corpus corpus;
  corpus.schema.set_node("Person", {"name", "age"});
  corpus.schema.set_node("Movie", {"title", "released"});
  corpus.schema.set_relationship("ACTED_IN", "Person", "Movie", {"roles"});
  corpus.queries = {
      "MATCH (p:Person)-[r:ACTED_IN]->(m:Movie) WHERE m.released > 2000 RETURN p.name, r.roles",
      "MATCH (p:Persn) RETURN q",
      "MATCH (n:Person) WITH n AS m, count(*) AS c WHERE c > 1 RETURN m.name ORDER BY m.age",
      "MATCH (a:Person {name: $name}) SET a.age = 3 RETURN a",
      "MATCH (n RETURN n",
  };
  return corpus;
}

Corpus load_corpus(int argc, char** argv) {
  if (argc < 3) return builtin_corpus();
  std::ifstream queries_file(argv[1]);
  std::ifstream schema_file(argv[2]);
  if (!queries_file || !schema_file) {
    std::cerr << "cannot read " << argv[1] << " or " << argv[2] << "; using the built-in corpus\n";
    return builtin_corpus();
  }
  std::stringstream schema_text;
  schema_text << schema_file.rdbuf();
  Result<Schema> schema = schema_from_json(schema_text.str());
  if (!schema) {
    std::cerr << "bad schema: " << schema.error().message << "; using the built-in corpus\n";
    return builtin_corpus();
  }
  Corpus corpus{std::move(schema).value(), {}};
  for (std::string line; std::getline(queries_file, line);)
    if (!line.empty()) corpus.queries.push_back(line);
  return corpus;
}

Corpus* g_corpus = nullptr;

void BM_Validate(benchmark::State& state) {
  Tessark tessark(g_corpus->schema);
  const std::vector<std::string>& queries = g_corpus->queries;
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tessark.validate(queries[next]));
    next = next + 1 == queries.size() ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Validate);

// One batch of the corpus repeated to about 10,000 queries.
void BM_ValidateBatch(benchmark::State& state) {
  Tessark tessark(g_corpus->schema);
  std::vector<std::string> batch;
  while (batch.size() < 10000)
    batch.insert(batch.end(), g_corpus->queries.begin(), g_corpus->queries.end());
  state.SetLabel(std::to_string(pool_thread_count()) + " threads");
  for (auto _ : state) benchmark::DoNotOptimize(tessark.validate_batch(batch));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(batch.size()));
}
BENCHMARK(BM_ValidateBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tessark

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tessark::Corpus corpus = tessark::load_corpus(argc, argv);
  tessark::g_corpus = &corpus;
  std::cout << corpus.queries.size() << " queries in the corpus\n";
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
