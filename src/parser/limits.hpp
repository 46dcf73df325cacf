// Limits of the grammar run that the tree builder and the validator rely on.
#pragma once

#include <cstddef>

namespace tessark {

// Deepest nesting of expressions a query may have: parentheses, list and map literals, CASE,
// subscripts and slices, function arguments, comprehensions, quantifiers and EXISTS patterns
// each enter one more level (every such level runs the `expression` rule once more). The
// grammar recurses once per level; deeper input is a Parse error "Query nested too deeply (more
// than N levels)" instead of a stack overflow.
//
// Measured machine stack per level, worst form (an EXISTS pattern with a property map), lightest
// form (subscripts) in brackets: about 1.0 KiB (0.6 KiB) in the -O3 release build and 3.7 KiB
// (2.5 KiB) in the debugoptimized AddressSanitizer build. At 64 levels the grammar run thus
// needs at most about 64 KiB, or 240 KiB under the sanitizer, of a 512 KiB thread stack,
// leaving the rest to the tree builder and the validator, which recurse after the parse.
inline constexpr std::size_t kMaxNestingDepth = 64;

// Cost bound of one grammar run: rule invocations <= kRuleInvocationsPerByte * bytes +
// kRuleInvocationsBase. Memoising `expression` and `atom` keeps re-parses after a failed
// alternative from multiplying with the nesting depth; the constants are measured over mutated
// corpora and hostile nestings (worst seen: 42 per byte) in the tests.
inline constexpr std::size_t kRuleInvocationsPerByte = 64;
inline constexpr std::size_t kRuleInvocationsBase = 256;

// Longest query text in bytes: match offsets are 32-bit.
inline constexpr std::size_t kMaxQueryBytes = 0xFFFFFFF0u;

}  // namespace tessark
