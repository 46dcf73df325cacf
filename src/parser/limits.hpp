// Limits of the grammar run that callers rely on.
#pragma once

#include <cstddef>

namespace tessark {

// Deepest nesting of expressions a query may have: parentheses, list and map literals, CASE,
// subscripts, function arguments, comprehensions and EXISTS patterns each enter one more level.
// The grammar recurses once per level, so the bound keeps the stack safe; deeper input is a
// Parse error "Query nested too deeply (more than N levels)".
inline constexpr std::size_t kMaxNestingDepth = 200;

// Longest query text in bytes: match offsets are 32-bit.
inline constexpr std::size_t kMaxQueryBytes = 0xFFFFFFF0u;

}  // namespace tessark
