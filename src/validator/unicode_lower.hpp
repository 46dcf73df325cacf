// Full Unicode lower-casing of UTF-8 text, for case-insensitive suggestion matching.
#pragma once

#include <string>
#include <string_view>

namespace tessark {

// The lower case of `text`: every code point replaced by its full lower-case mapping (which may
// be longer in bytes, as U+0130 becoming "i" + U+0307), and a capital sigma that ends a word
// becoming the final form U+03C2. Bytes that are not valid UTF-8 are copied unchanged.
std::string unicode_lower(std::string_view text);

}  // namespace tessark
