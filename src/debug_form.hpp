// The debug text form of strings, lists and booleans used by the classes' text forms (__repr__)
// and by messages that quote a value: strings in double quotes with \\ \" \t \r \n \0 escaped,
// other control characters (U+0000-U+001F, U+007F-U+009F) as \u{hex}, everything else as is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessark {

// Appends `text` (UTF-8) in double quotes, escaped as above.
inline void append_debug_quoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    switch (byte) {
      case '\\': out += "\\\\"; continue;
      case '"': out += "\\\""; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    std::uint32_t code = 0;
    if (byte < 0x20 || byte == 0x7f) {
      code = byte;
    } else if (byte == 0xc2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) < 0xa0) {
      code = (static_cast<unsigned char>(text[i + 1]) & 0x3f) | 0x80;  // U+0080-U+009F
      ++i;
    } else {
      out += static_cast<char>(byte);
      continue;
    }
    out += "\\u{";
    if (code >= 0x10) out += kHex[code >> 4];
    out += kHex[code & 0xf];
    out += '}';
  }
  out += '"';
}

inline std::string debug_quoted(std::string_view text) {
  std::string out;
  append_debug_quoted(out, text);
  return out;
}

// "[" + the quoted entries joined by ", " + "]".
template <typename Strings>
std::string debug_list(const Strings& items) {
  std::string out = "[";
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ", ";
    first = false;
    append_debug_quoted(out, item);
  }
  out += ']';
  return out;
}

inline const char* debug_bool(bool value) { return value ? "true" : "false"; }

}  // namespace tessark
