// Fuzz target: arbitrary bytes through the schema JSON reader; whatever loads must round-trip.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "schema_json.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto schema = tessark::schema_from_json(text);
  if (!schema) return 0;
  auto again = tessark::schema_from_json(tessark::schema_to_json(*schema));
  if (!again) __builtin_trap();
  if (again->node_labels() != schema->node_labels() || again->rel_types() != schema->rel_types())
    __builtin_trap();
  return 0;
}
