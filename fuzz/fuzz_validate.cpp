// Fuzz target: arbitrary bytes through parse, build and validation against a small schema.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "validator/driver.hpp"

namespace {

tessark::Schema make_schema() {
  tessark::Schema schema;
  schema.set_node("Person", {"name", "born"});
  schema.set_node("Movie", {"title", "released"});
  schema.set_relationship("ACTED_IN", "Person", "Movie", {"roles"});
  schema.set_relationship("KNOWS", "Person", "Person", {});
  return schema;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tessark::Tessark validator(make_schema());
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tessark::ValidationResult result = validator.validate(text);
  // The split must stay consistent whatever the input.
  if (result.is_valid != result.errors.empty()) __builtin_trap();
  if (result.errors.size() != result.syntax_errors.size() + result.semantic_errors.size())
    __builtin_trap();
  return 0;
}
