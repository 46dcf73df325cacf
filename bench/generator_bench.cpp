// Throughput of the query generator: raw draws, and whole queries of each shape over the
// benchmark corpus's schema shape (a handful of labels with properties, a few relationship types).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "generator/generator.hpp"
#include "generator/random.hpp"
#include "schema.hpp"

namespace tessark {
namespace {

Schema bench_schema() {
  Schema schema;
  schema.set_node("Person", {"name", "age", "email", "city", "born"});
  schema.set_node("Movie", {"title", "released", "tagline"});
  schema.set_node("Genre", {"name"});
  schema.set_node("Tag", {});
  schema.set_relationship("ACTED_IN", "Person", "Movie", {"roles"});
  schema.set_relationship("DIRECTED", "Person", "Movie", {});
  schema.set_relationship("KNOWS", "Person", "Person", {"since"});
  return schema;
}

void BM_Draw32(benchmark::State& state) {
  RandomGenerator rng = RandomGenerator::from_seed(1);
  for (auto _ : state) benchmark::DoNotOptimize(rng.draw32());
}
BENCHMARK(BM_Draw32);

void BM_Below100(benchmark::State& state) {
  RandomGenerator rng = RandomGenerator::from_seed(1);
  for (auto _ : state) benchmark::DoNotOptimize(rng.below(100));
}
BENCHMARK(BM_Below100);

void BM_Generate(benchmark::State& state) {
  const std::string_view type =
      CypherGenerator::kQueryTypes[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::string(type));
  CypherGenerator generator(bench_schema(), 42);
  for (auto _ : state) {
    Result<std::string> query = generator.generate(type);
    benchmark::DoNotOptimize(query);
  }
}
BENCHMARK(BM_Generate)->DenseRange(0, 12);

}  // namespace
}  // namespace tessark
BENCHMARK_MAIN();
