// Inputs that once made a fuzzer fail (crash, hang, sanitizer report), replayed through the
// same entry points as the fuzz targets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "parser/collect.hpp"
#include "parser/grammar.hpp"
#include "schema_json.hpp"
#include "validator/driver.hpp"

namespace tessark {
namespace {

std::vector<std::string> inputs_of(const std::string& target) {
  std::vector<std::string> out;
  const std::filesystem::path dir = std::filesystem::path(TESSARK_FUZZ_REGRESSIONS) / target;
  if (!std::filesystem::exists(dir)) return out;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return out;
}

TEST(FuzzRegressions, ValidateAndExtract) {
  Schema schema;
  schema.set_node("Person", {"name"});
  const Tessark validator(std::move(schema));
  for (const std::string& text : inputs_of("fuzz_validate")) {
    ParseStats stats;
    (void)CypherParser::run(Rule::cypher, text, ParseMode::memoised, &stats);
    EXPECT_LE(stats.rule_invocations, kRuleInvocationsPerByte * text.size() + kRuleInvocationsBase);
    const ValidationResult result = validator.validate(text);
    EXPECT_EQ(result.is_valid, result.errors.empty());
    const QueryInfo info = extract_query_info(text);
    EXPECT_EQ(info.is_valid, info.errors.empty());
  }
  for (const std::string& text : inputs_of("fuzz_extract")) {
    const QueryInfo info = extract_query_info(text);
    EXPECT_EQ(info.is_valid, info.errors.empty());
  }
}

TEST(FuzzRegressions, SchemaJson) {
  for (const std::string& text : inputs_of("fuzz_schema_json")) {
    auto schema = schema_from_json(text);
    if (schema) {
      EXPECT_TRUE(schema_from_json(schema_to_json(*schema)).ok());
    }
  }
}

}  // namespace
}  // namespace tessark
