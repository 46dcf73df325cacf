// Rule: the grammar's 101 rules in their fixed ordinal order, and their user-visible names.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessark {

enum class Rule : std::uint8_t {
#define TESSARK_RULE(id, name) id,
#include "parser/rules.def"
#undef TESSARK_RULE
};

inline constexpr std::size_t kRuleCount = 0
#define TESSARK_RULE(id, name) +1
#include "parser/rules.def"
#undef TESSARK_RULE
    ;
static_assert(kRuleCount == 101);

// The rule's name exactly as users see it in syntax-error messages.
constexpr std::string_view rule_name(Rule rule) {
  constexpr std::string_view names[] = {
#define TESSARK_RULE(id, name) name,
#include "parser/rules.def"
#undef TESSARK_RULE
  };
  return names[static_cast<std::size_t>(rule)];
}

}  // namespace tessark
