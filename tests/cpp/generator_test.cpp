// Tests of the generator's random source and of CypherGenerator. The expected random values
// were computed by tests/python/generator_reference.py (run it as a script to print them), an
// independent model written from the published definitions of SplitMix64 and xoshiro128++.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "generator/generator.hpp"
#include "generator/random.hpp"
#include "schema.hpp"

namespace tessark {
namespace {

constexpr std::uint64_t kMaxSeed = 0xffffffffffffffffULL;

std::array<std::uint8_t, 16> little_endian_bytes(const RandomGenerator::State& words) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < 16; ++i) {
    bytes[i] = static_cast<std::uint8_t>(words[i / 4] >> (8 * (i % 4)));
  }
  return bytes;
}

struct SeedCase {
  std::uint64_t seed;
  RandomGenerator::State state;
  std::array<std::uint32_t, 6> draws;
  std::array<std::uint64_t, 3> draws64;
};

const SeedCase kSeedCases[] = {
    {0,
     {0x7b1dcdaf, 0xe220a839, 0xa1b965f4, 0x6e789e6a},
     {0x4653daa3, 0x73922b58, 0xb82b4add, 0xd9fabd3b, 0x3c8698c3, 0x1c9b58ff},
     {0x73922b584653daa3, 0xd9fabd3bb82b4add, 0x1c9b58ff3c8698c3}},
    {1,
     {0x89025cc1, 0x910a2dec, 0x658eec67, 0xbeeb8da1},
     {0x7ff78de4, 0x9a170265, 0xdac127b8, 0x9859e914, 0x4d4b41b3, 0xba2afb67},
     {0x9a1702657ff78de4, 0x9859e914dac127b8, 0xba2afb674d4b41b3}},
    {42,
     {0x2feb6e95, 0xbdd73226, 0xb266f103, 0x28efe333},
     {0x9d9452c1, 0x6909d440, 0x6148a68f, 0x54829a5b, 0xc648de34, 0xedc89aa6},
     {0x6909d4409d9452c1, 0x54829a5b6148a68f, 0xedc89aa6c648de34}},
    {kMaxSeed,
     {0x1b652c20, 0xe4d97177, 0xdbf682c9, 0xe99ff867},
     {0x9df76fa2, 0x4c367255, 0x96ef9cd0, 0x2313ad4b, 0x511c5746, 0x035fbb9a},
     {0x4c3672559df76fa2, 0x2313ad4b96ef9cd0, 0x035fbb9a511c5746}},
};

TEST(RandomGenerator, SeedingAndRawDraws) {
  for (const SeedCase& c : kSeedCases) {
    SCOPED_TRACE(c.seed);
    RandomGenerator rng = RandomGenerator::from_seed(c.seed);
    EXPECT_EQ(rng.state(), c.state);
    for (std::uint32_t expected : c.draws) EXPECT_EQ(rng.draw32(), expected);
    RandomGenerator wide = RandomGenerator::from_seed(c.seed);
    for (std::uint64_t expected : c.draws64) EXPECT_EQ(wide.draw64(), expected);
  }
}

TEST(RandomGenerator, StateFromBytes) {
  // Little-endian words, taken as they are.
  const RandomGenerator::State words{0x01020304, 0xa0b0c0d0, 0, 0xffffffff};
  EXPECT_EQ(RandomGenerator::from_bytes(little_endian_bytes(words)).state(), words);
  // All-zero bytes would stall the generator forever; they give the seed-0 state instead.
  EXPECT_EQ(RandomGenerator::from_bytes({}).state(), RandomGenerator::from_seed(0).state());
  // A single non-zero byte is a legitimate state.
  std::array<std::uint8_t, 16> one{};
  one[15] = 1;
  EXPECT_EQ(RandomGenerator::from_bytes(one).state(),
            (RandomGenerator::State{0, 0, 0, 0x01000000}));
}

TEST(RandomGenerator, EntropyStatesDiffer) {
  const RandomGenerator a = RandomGenerator::from_entropy();
  const RandomGenerator b = RandomGenerator::from_entropy();
  EXPECT_NE(a.state(), b.state());
  EXPECT_NE(a.state(), (RandomGenerator::State{0, 0, 0, 0}));
}

// Eight below(n) results from a seed, then the next raw draw, which shows how many draws the
// eight calls consumed.
struct BelowCase {
  std::uint64_t seed;
  std::uint32_t n;
  std::array<std::uint32_t, 8> results;
  std::uint32_t next_draw;
};

const BelowCase kBelowCases[] = {
    {0, 1, {0, 0, 0, 0, 0, 0, 0, 0}, 0xed908642},
    {0, 2, {0, 0, 1, 1, 0, 0, 1, 0}, 0xed908642},
    {0, 3, {0, 1, 2, 2, 0, 0, 2, 0}, 0xed908642},
    {0, 4, {1, 1, 2, 3, 0, 0, 3, 0}, 0xed908642},
    {0, 5, {1, 2, 3, 4, 1, 0, 3, 0}, 0xed908642},
    {0, 100, {27, 45, 71, 85, 23, 11, 79, 15}, 0xed908642},
    {1, 2, {0, 1, 1, 1, 0, 1, 1, 1}, 0xa7b6cf05},
    {1, 3, {1, 1, 2, 1, 0, 2, 2, 1}, 0xa7b6cf05},
    {1, 4, {1, 2, 3, 2, 1, 2, 3, 2}, 0xa7b6cf05},
    {1, 5, {2, 3, 4, 2, 1, 3, 4, 2}, 0xa7b6cf05},
    {1, 100, {49, 60, 85, 59, 30, 72, 92, 54}, 0xa7b6cf05},
    {42, 1, {0, 0, 0, 0, 0, 0, 0, 0}, 0xa080a165},
    {42, 3, {1, 1, 1, 0, 2, 2, 2, 2}, 0xa080a165},
    {42, 5, {3, 2, 1, 1, 3, 4, 4, 3}, 0xa080a165},
    {42, 100, {61, 41, 38, 33, 77, 92, 99, 66}, 0xa080a165},
    {kMaxSeed, 2, {1, 0, 1, 0, 0, 0, 1, 0}, 0x16e1e543},
    {kMaxSeed, 4, {2, 1, 2, 0, 1, 0, 2, 0}, 0x16e1e543},
    {kMaxSeed, 100, {61, 29, 58, 13, 31, 1, 58, 1}, 0x16e1e543},
    // Large ranges take the correction branch often, with and without the carry.
    {0, 0x80000001,
     {589950290, 1544922479, 1828544158, 507726945, 1716921123, 1992835874, 361488586, 997962572},
     0x0c31cfcf},
    {0, 0xffffffff,
     {1179900579, 3089844957, 1015453890, 3433842245, 3985671745, 722977172, 1999860260,
      880120588},
     0x494a92b0},
    {42, 0xffffffff,
     {2643743424, 1632151182, 3326664244, 4279643826, 2692784485, 2497721457, 1006507094,
      1433159911},
     0x9eccb0d4},
};

TEST(RandomGenerator, BelowFromSeeds) {
  for (const BelowCase& c : kBelowCases) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed << " n " << c.n);
    RandomGenerator rng = RandomGenerator::from_seed(c.seed);
    for (std::uint32_t expected : c.results) EXPECT_EQ(rng.below(c.n), expected);
    EXPECT_EQ(rng.draw32(), c.next_draw);
  }
}

// States whose first output x makes x * n mod 2^32 exceed 2^32 - n, so below(n) draws a second
// time even for small n; s1 and s2 decide whether that draw carries into the result.
struct CorrectionCase {
  RandomGenerator::State state;
  std::uint32_t n;
  std::uint32_t result;
  std::uint32_t next_draw;
};

const CorrectionCase kCorrectionCases[] = {
    {{0, 0, 0, 0xaaaaaaaa}, 3, 1, 0x555554d4},
    {{0, 0xffffffff, 0xffffffff, 0xaaaaaaaa}, 3, 0, 0xaaaaaa29},
    {{0, 0, 0, 0x66666666}, 5, 0, 0xcccccccc},
    {{0, 0x12345678, 0x9abcdef0, 0x66666666}, 5, 1, 0x0728498c},
    {{0, 0, 0, 0x50051eb8}, 100, 0, 0xfb5f9bcb},
    {{0, 0x28003ef8, 0, 0x50051eb8}, 100, 1, 0xf175ddbd},
};

TEST(RandomGenerator, BelowCorrectionBranch) {
  for (const CorrectionCase& c : kCorrectionCases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " s1 " << c.state[1]);
    RandomGenerator rng = RandomGenerator::from_bytes(little_endian_bytes(c.state));
    EXPECT_EQ(rng.below(c.n), c.result);
    EXPECT_EQ(rng.draw32(), c.next_draw);
  }
}

TEST(RandomGenerator, BelowPowersOfTwoUseOneDrawAndTopBits) {
  for (std::uint32_t shift = 0; shift < 32; ++shift) {
    const std::uint32_t n = std::uint32_t{1} << shift;
    RandomGenerator rng = RandomGenerator::from_seed(shift);
    RandomGenerator raw = RandomGenerator::from_seed(shift);
    for (int i = 0; i < 50; ++i) {
      const std::uint32_t x = raw.draw32();
      ASSERT_EQ(rng.below(n), shift == 0 ? 0 : x >> (32 - shift)) << "n " << n;
    }
  }
}

struct BetweenCase {
  std::uint64_t seed;
  std::int64_t low;
  std::int64_t high;
  std::array<std::int64_t, 6> results;
  std::uint32_t next_draw;
};

const BetweenCase kBetweenCases[] = {
    {0, 1, 50, {23, 43, 6, 8, 32, 24}, 0x77337225},
    {0, 1, 100, {46, 86, 12, 16, 64, 47}, 0x77337225},
    {0, 0, 0, {0, 0, 0, 0, 0, 0}, 0x77337225},
    {1, 1, 50, {31, 30, 37, 28, 13, 22}, 0x8fddf90a},
    {1, 1, 100, {61, 60, 73, 55, 25, 43}, 0x8fddf90a},
    {42, 1, 50, {21, 17, 47, 34, 43, 8}, 0x3bfe1456},
    {42, 1, 100, {42, 34, 93, 67, 86, 15}, 0x3bfe1456},
    {kMaxSeed, 1, 50, {15, 7, 1, 1, 22, 45}, 0x8da0882b},
    {kMaxSeed, 1, 100, {30, 14, 2, 2, 44, 90}, 0x8da0882b},
    // A range of 2^63 + 1 values around zero takes the correction branch about half the time.
    {0, -(std::int64_t{1} << 62), std::int64_t{1} << 62,
     {-447802858878145198, -3581016464573641631, 1266418171322581793, -4172330072287889134,
      964008197635787096, 1743015130600145325},
     0x999bc5fe},
    {42, -(std::int64_t{1} << 62), std::int64_t{1} << 62,
     {-827279007047603871, 3955371393279094555, 3263347375111950515, -3310452718393353671,
      -207978785021162965, 329769853151224948},
     0x9eccb0d4},
};

TEST(RandomGenerator, Between) {
  for (const BetweenCase& c : kBetweenCases) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed << " [" << c.low << ", " << c.high << "]");
    RandomGenerator rng = RandomGenerator::from_seed(c.seed);
    for (std::int64_t expected : c.results) EXPECT_EQ(rng.between(c.low, c.high), expected);
    EXPECT_EQ(rng.draw32(), c.next_draw);
  }
}

TEST(RandomGenerator, BetweenWholeRangeDoesNotOverflow) {
  RandomGenerator rng = RandomGenerator::from_seed(0);
  EXPECT_EQ(rng.between(INT64_MIN, INT64_MAX), static_cast<std::int64_t>(0x73922b584653daa3));
}

TEST(RandomGenerator, Pick) {
  RandomGenerator rng = RandomGenerator::from_seed(0);
  EXPECT_EQ(rng.pick(0), std::nullopt);
  EXPECT_EQ(rng.state(), RandomGenerator::from_seed(0).state());  // no draw for an empty list
  EXPECT_EQ(rng.pick(5), 1U);  // below(5) of seed 0
}

struct DistinctCase {
  std::uint64_t seed;
  std::uint32_t length;
  std::uint32_t amount;
  std::vector<std::vector<std::uint32_t>> results;  // four calls in a row
};

const DistinctCase kDistinctCases[] = {
    {0, 1, 1, {{0}, {0}, {0}, {0}}},
    {0, 3, 3, {{1, 0, 2}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}}},
    {0, 5, 3, {{0, 1, 3}, {2, 4, 0}, {2, 0, 4}, {1, 0, 2}}},
    {0, 10, 2, {{2, 4}, {6, 8}, {2, 1}, {7, 1}}},
    {1, 3, 3, {{0, 1, 2}, {1, 0, 2}, {0, 2, 1}, {2, 0, 1}}},
    {1, 5, 3, {{1, 2, 4}, {4, 1, 3}, {4, 2, 3}, {0, 1, 2}}},
    {1, 4, 1, {{1}, {2}, {3}, {2}}},
    {42, 3, 3, {{2, 0, 1}, {0, 1, 2}, {0, 2, 1}, {2, 1, 0}}},
    {42, 5, 3, {{3, 4, 1}, {0, 3, 4}, {4, 2, 3}, {3, 2, 0}}},
    {42, 10, 2, {{5, 4}, {9, 3}, {6, 9}, {8, 6}}},
    {kMaxSeed, 5, 3, {{3, 1, 2}, {4, 1, 0}, {1, 4, 0}, {3, 1, 4}}},
    {kMaxSeed, 10, 2, {{5, 2}, {5, 1}, {2, 0}, {5, 0}}},
};

TEST(RandomGenerator, DistinctInFloydOrder) {
  for (const DistinctCase& c : kDistinctCases) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed << " distinct(" << c.length << ", "
                                    << c.amount << ")");
    RandomGenerator rng = RandomGenerator::from_seed(c.seed);
    for (const auto& expected : c.results) EXPECT_EQ(rng.distinct(c.length, c.amount), expected);
  }
}

// ---------------------------------------------------------------------------------------------
// CypherGenerator

Schema rich_schema() {
  Schema schema;
  schema.set_node("Person", {"name", "age", "email", "city", "born"});
  schema.set_node("Movie", {"title"});
  schema.set_node("Tag", {});
  schema.set_relationship("ACTED_IN", "Person", "Movie", {"role"});
  schema.set_relationship("TAGGED", "Movie", "Tag", {});
  return schema;
}

std::vector<std::string> generate_all(CypherGenerator& generator, std::string_view type, int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    Result<std::string> query = generator.generate(type);
    EXPECT_TRUE(query.ok()) << type;
    if (query) out.push_back(*query);
  }
  return out;
}

TEST(CypherGenerator, UnknownTypeFailsWithoutDrawing) {
  CypherGenerator generator(rich_schema(), 7);
  const RandomGenerator::State before = generator.rng().state();
  for (std::string_view bad : {"MATCH_RETURN", "", "match_return ", "bogus"}) {
    Result<std::string> query = generator.generate(bad);
    ASSERT_FALSE(query.ok()) << bad;
    EXPECT_EQ(query.error().kind, CypherError::Kind::Generator);
    EXPECT_EQ(query.error().message, "Unknown query type: " + std::string(bad));
    EXPECT_EQ(generator.rng().state(), before);
  }
}

TEST(CypherGenerator, EmptySchemaFallsBackToNodeShapes) {
  const Schema empty;
  for (std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{42}, kMaxSeed}) {
    CypherGenerator generator(empty, seed);
    for (int i = 0; i < 20; ++i) {
      const std::string match = *generator.generate("match_return");
      EXPECT_TRUE(match == "MATCH (n:Node) RETURN n" || match.starts_with("MATCH (n:Node) RETURN n LIMIT "))
          << match;
      EXPECT_EQ(*generator.generate("create"), "CREATE (n:Node) RETURN n");
      EXPECT_EQ(*generator.generate("match_relationship"), "MATCH (n:Node) RETURN n");
      EXPECT_EQ(*generator.generate("create_relationship"), "CREATE (n:Node) RETURN n");
      EXPECT_EQ(*generator.generate("match_set"), "MATCH (n:Node) RETURN n");
      EXPECT_TRUE(generator.generate("order_by")->starts_with("MATCH (n:Node) RETURN n ORDER BY n"));
      const std::string unwind = *generator.generate("unwind");
      EXPECT_TRUE(unwind.starts_with("UNWIND [") && unwind.ends_with("] AS item RETURN item"))
          << unwind;
    }
  }
}

TEST(CypherGenerator, LabelWithoutPropertiesNeverGetsProperties) {
  Schema schema;
  schema.set_node("X", {});
  CypherGenerator generator(schema, 3);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(*generator.generate("match_set"), "MATCH (n:X) RETURN n");
    EXPECT_EQ(*generator.generate("create"), "CREATE (n:X) RETURN n");
    EXPECT_EQ(*generator.generate("merge"), "MERGE (n:X) RETURN n");
    EXPECT_EQ(*generator.generate("aggregation"), "MATCH (n:X) RETURN count(n) AS result");
    EXPECT_EQ(*generator.generate("with_chain"), "MATCH (n:X) WITH n AS val RETURN count(*)");
  }
}

// Counts the map entries of a generated "CREATE (n:L {k: v, ...}) RETURN n" and checks that the
// keys are distinct.
std::size_t map_entry_count(const std::string& query) {
  const std::size_t open = query.find('{');
  if (open == std::string::npos) return 0;
  const std::string body = query.substr(open + 1, query.find('}') - open - 1);
  std::set<std::string> keys;
  std::size_t count = 0;
  for (std::size_t start = 0; start <= body.size(); ++count) {
    std::size_t comma = body.find(", ", start);
    if (comma == std::string::npos) comma = body.size();
    const std::string entry = body.substr(start, comma - start);
    EXPECT_TRUE(keys.insert(entry.substr(0, entry.find(':'))).second) << query;
    start = comma + 2;
  }
  return count;
}

TEST(CypherGenerator, PropertyMapsHaveOneToThreeDistinctEntries) {
  Schema one;
  one.set_node("Solo", {"only"});
  CypherGenerator single(one, 5);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(map_entry_count(*single.generate("create")), 1U);

  Schema five;
  five.set_node("Wide", {"a", "b", "c", "d", "e"});
  CypherGenerator wide(five, 5);
  std::set<std::size_t> sizes;
  for (int i = 0; i < 200; ++i) sizes.insert(map_entry_count(*wide.generate("merge")));
  EXPECT_EQ(sizes, (std::set<std::size_t>{1, 2, 3}));
}

TEST(CypherGenerator, ValuesStayInTheirRanges) {
  Schema schema;
  schema.set_node("Item", {"p"});
  CypherGenerator generator(schema, 11);
  std::set<std::string> limits, strings;
  for (int i = 0; i < 400; ++i) {
    const std::string query = *generator.generate("distinct_return");
    const std::size_t at = query.find(" LIMIT ");
    if (at != std::string::npos) {
      const int limit = std::stoi(query.substr(at + 7));
      EXPECT_TRUE(limit >= 1 && limit <= 50) << query;
      limits.insert(query.substr(at + 7));
    }
    const std::string set = *generator.generate("match_set");  // SET n.p = <string value>
    strings.insert(set.substr(set.find(" = ") + 3, set.find(" RETURN") - set.find(" = ") - 3));
  }
  EXPECT_GT(limits.size(), 30U);
  EXPECT_EQ(strings, (std::set<std::string>{"\"Alice\"", "\"Bob\"", "\"Carol\"", "\"Neo4j\"",
                                            "$name", "$id", "$value"}));
}

TEST(CypherGenerator, SameSeedSameSequenceAndOrderMatters) {
  const Schema schema = rich_schema();
  CypherGenerator a(schema, 42), b(schema, 42), c(schema, 42);
  std::vector<std::string> from_a, from_b;
  for (std::string_view type : CypherGenerator::kQueryTypes) {
    from_a.push_back(*a.generate(type));
    from_b.push_back(*b.generate(type));
  }
  EXPECT_EQ(from_a, from_b);
  // Another call order leaves the state elsewhere, so the continuation differs.
  (void)c.generate("unwind");
  (void)c.generate("match_return");
  EXPECT_NE(generate_all(a, "create", 10), generate_all(c, "create", 10));
}

TEST(CypherGenerator, DrawsHappenInBothBranches) {
  // Label without properties: order_by still draws for DESC and unwind still draws its values,
  // so the random state ends where the reference model puts it.
  Schema schema;
  schema.set_node("X", {});
  CypherGenerator generator(schema, 0);
  RandomGenerator model = RandomGenerator::from_seed(0);
  EXPECT_TRUE(generator.generate("order_by")->starts_with("MATCH (n:X) RETURN n ORDER BY n"));
  (void)model.below(1);          // label
  (void)model.draw32();          // DESC
  if (model.below(3) == 0) (void)model.between(1, 50);  // LIMIT
  EXPECT_EQ(generator.rng().state(), model.state());

  EXPECT_TRUE(generator.generate("unwind")->starts_with("UNWIND ["));
  (void)model.below(1);
  const std::uint32_t count = 2 + model.below(3);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t kind = model.draw32() >> 30;
    if (kind == 0) (void)model.below(5);
    if (kind == 1) (void)model.between(1, 100);
    if (kind >= 2) (void)model.draw32();
  }
  EXPECT_EQ(generator.rng().state(), model.state());
}

TEST(CypherGenerator, RelationshipShapesUseSchemaEndpoints) {
  Schema schema;
  schema.set_relationship("LINKS", "Src", "Dst", {});
  CypherGenerator generator(schema, 9);
  std::set<std::string> seen;
  for (int i = 0; i < 40; ++i) seen.insert(*generator.generate("match_relationship"));
  EXPECT_EQ(seen, (std::set<std::string>{
                      "MATCH (a:Src)-[r:LINKS]->(b:Dst) RETURN a, r, b",
                      "OPTIONAL MATCH (a:Src)-[r:LINKS]->(b:Dst) RETURN a, r, b"}));
  EXPECT_EQ(*generator.generate("create_relationship"),
            "MATCH (a:Src),(b:Dst) CREATE (a)-[r:LINKS]->(b) RETURN r");
}

TEST(CypherGenerator, OwnsItsSchemaCopy) {
  auto schema = std::make_unique<Schema>(rich_schema());
  CypherGenerator generator(*schema, 1);
  CypherGenerator twin(rich_schema(), 1);
  schema.reset();
  for (std::string_view type : CypherGenerator::kQueryTypes) {
    EXPECT_EQ(*generator.generate(type), *twin.generate(type)) << type;
  }
}

}  // namespace
}  // namespace tessark
