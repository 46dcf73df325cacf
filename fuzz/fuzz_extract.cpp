// Fuzz target: arbitrary bytes through name extraction (parse, build, collectors).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "parser/collect.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tessark::QueryInfo info = tessark::extract_query_info(text);
  if (info.is_valid != info.errors.empty()) __builtin_trap();
  for (const auto* list : {&info.names.labels, &info.names.rel_types, &info.names.properties})
    if (!std::is_sorted(list->begin(), list->end())) __builtin_trap();
  return 0;
}
