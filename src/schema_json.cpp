// The JSON form of a Schema: a compact writer, and a position-tracking recursive-descent reader
// for exactly this shape. Reader errors say what was wrong and end with " at line L column C";
// the column counts characters, and names the last character read, or, for faults found by
// looking ahead, the character looked at.
#include "schema_json.hpp"

#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "debug_form.hpp"

namespace tessark {
namespace {

// Deepest nesting of arrays and objects accepted, counting the top level; the values of
// unknown members are skipped recursively, one frame per level.
constexpr int kMaxDepth = 128;

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char ch : text) {
    auto byte = static_cast<unsigned char>(ch);
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xf];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void append_json_names(std::string& out, const NameSet& names) {
  out += '[';
  bool first = true;
  for (const std::string& name : names) {
    if (!first) out += ',';
    first = false;
    append_json_string(out, name);
  }
  out += ']';
}

// Length of a valid UTF-8 sequence starting at text[i], or 0 when it is not valid.
std::size_t utf8_sequence_length(std::string_view text, std::size_t i) {
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = at(i);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
  if (length == 0 || lead > 0xf4 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((at(i + k) & 0xc0) != 0x80) return 0;
  }
  unsigned char second = at(i + 1);
  if (lead == 0xe0 && second < 0xa0) return 0;   // overlong
  if (lead == 0xed && second >= 0xa0) return 0;  // surrogate
  if (lead == 0xf0 && second < 0x90) return 0;   // overlong
  if (lead == 0xf4 && second >= 0x90) return 0;  // beyond U+10FFFF
  return length;
}

void append_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xc0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xe0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (code & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (code & 0x3f));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  Result<Schema> read() {
    for (std::size_t i = 0; i < text_.size();) {
      std::size_t length = utf8_sequence_length(text_, i);
      if (length == 0) {
        pos_ = i;
        return fail_ahead("invalid UTF-8");
      }
      i += length;
    }
    Schema schema;
    if (!read_schema(schema)) return std::move(*error_);
    skip_whitespace();
    if (pos_ < text_.size()) return fail_ahead("trailing characters");
    return schema;
  }

 private:
  // --- positions and errors -------------------------------------------------------------

  std::string position_of(std::size_t end) const {
    std::size_t line = 1, line_start = 0;
    for (std::size_t i = 0; i < end; ++i) {
      if (text_[i] == '\n') {
        ++line;
        line_start = i + 1;
      }
    }
    std::size_t column = 0;
    for (std::size_t i = line_start; i < end; ++i) {
      if ((static_cast<unsigned char>(text_[i]) & 0xc0) != 0x80) ++column;
    }
    return " at line " + std::to_string(line) + " column " + std::to_string(column);
  }

  // A fault at the last character read.
  CypherError fail(const std::string& message) {
    if (!error_) error_ = CypherError::parse(message + position_of(pos_));
    return *error_;
  }
  // A fault at the character looked at (not yet read).
  CypherError fail_ahead(const std::string& message) {
    std::size_t end = pos_;
    if (end < text_.size()) end += std::max<std::size_t>(1, utf8_sequence_length(text_, end));
    if (!error_) error_ = CypherError::parse(message + position_of(end));
    return *error_;
  }

  // --- lexical layer --------------------------------------------------------------------

  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }

  void skip_whitespace() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  // After the opening quote: reads up to and including the closing quote.
  bool read_string_body(std::string& out) {
    while (true) {
      if (at_end()) return fail("EOF while parsing a string"), false;
      auto byte = static_cast<unsigned char>(text_[pos_++]);
      if (byte == '"') return true;
      if (byte < 0x20) return fail("control character (\\u0000-\\u001F) found while parsing a string"), false;
      if (byte != '\\') {
        out += static_cast<char>(byte);
        continue;
      }
      if (at_end()) return fail("EOF while parsing a string"), false;
      char escape = text_[pos_++];
      switch (escape) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t code = 0;
          if (!read_hex4(code)) return false;
          if (code >= 0xdc00 && code <= 0xdfff) return fail("lone surrogate in \\u escape"), false;
          if (code >= 0xd800 && code <= 0xdbff) {
            std::uint32_t low = 0;
            if (text_.substr(pos_, 2) != "\\u") return fail("lone surrogate in \\u escape"), false;
            pos_ += 2;
            if (!read_hex4(low)) return false;
            if (low < 0xdc00 || low > 0xdfff) return fail("lone surrogate in \\u escape"), false;
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
          }
          append_utf8(out, code);
          break;
        }
        default:
          return fail("invalid escape"), false;
      }
    }
  }

  bool read_hex4(std::uint32_t& code) {
    for (int i = 0; i < 4; ++i) {
      if (at_end()) return fail("EOF while parsing a string"), false;
      char digit = text_[pos_++];
      std::uint32_t value = digit >= '0' && digit <= '9'   ? digit - '0'
                            : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                            : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                           : 16;
      if (value == 16) return fail("invalid escape"), false;
      code = code * 16 + value;
    }
    return true;
  }

  bool is_digit_at(std::size_t i) const { return i < text_.size() && text_[i] >= '0' && text_[i] <= '9'; }

  // A number per the JSON grammar; `description` (if given) receives how it is shown in a
  // type error ("integer `5`", "floating point `1.5`").
  bool read_number(std::string* description) {
    std::size_t start = pos_;
    bool negative = false;
    if (peek() == '-') {
      negative = true;
      ++pos_;
    }
    if (!is_digit_at(pos_)) return fail_ahead("invalid number"), false;
    if (text_[pos_] == '0') {
      ++pos_;
      if (is_digit_at(pos_)) return fail_ahead("invalid number"), false;
    } else {
      while (is_digit_at(pos_)) ++pos_;
    }
    bool integral = true;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      integral = false;
      ++pos_;
      if (!is_digit_at(pos_)) return fail_ahead("invalid number"), false;
      while (is_digit_at(pos_)) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      integral = false;
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!is_digit_at(pos_)) return fail_ahead("invalid number"), false;
      while (is_digit_at(pos_)) ++pos_;
    }
    if (description == nullptr) return true;
    std::string_view literal = text_.substr(start, pos_ - start);
    if (integral) {
      std::uint64_t magnitude = 0;
      std::string_view digits = literal.substr(negative ? 1 : 0);
      auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
      if (parsed.ec == std::errc() &&
          (!negative || magnitude <= std::uint64_t{1} << 63)) {
        *description = "integer `" + std::string(negative && magnitude != 0 ? "-" : "") +
                       std::to_string(magnitude) + "`";
        return true;
      }
    }
    double value = 0;
    auto parsed = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (parsed.ec != std::errc()) return fail("number out of range"), false;
    char buffer[400];
    auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string shown = written.ec == std::errc() ? std::string(buffer, written.ptr) : std::string(literal);
    if (shown.find_first_of(".e") == std::string::npos) shown += ".0";
    *description = "floating point `" + shown + "`";
    return true;
  }

  bool read_literal(std::string_view word) {
    for (char expected : word) {
      if (at_end()) return fail("EOF while parsing a value"), false;
      if (text_[pos_++] != expected) return fail("invalid literal"), false;
    }
    return true;
  }

  // --- structure ------------------------------------------------------------------------

  // The type error for the value ahead, which does not have the `expected` shape. Scalars are
  // read first, so the message can show them.
  bool fail_type(const char* expected) {
    std::string found;
    char ch = peek();
    if (ch == '[') {
      found = "sequence";
    } else if (ch == '{') {
      found = "map";
    } else if (ch == '"') {
      ++pos_;
      std::string text;
      if (!read_string_body(text)) return false;
      found = "string " + debug_quoted(text);
    } else if (ch == 'n') {
      if (!read_literal("null")) return false;
      found = "null";
    } else if (ch == 't' || ch == 'f') {
      if (!read_literal(ch == 't' ? "true" : "false")) return false;
      found = ch == 't' ? "boolean `true`" : "boolean `false`";
    } else if (ch == '-' || (ch >= '0' && ch <= '9')) {
      if (!read_number(&found)) return false;
    } else {
      return fail_ahead("expected value"), false;
    }
    return fail(std::string("invalid type: ") + found + ", expected " + expected), false;
  }

  // Skips whitespace; false (with an error) at the end of the text.
  bool expect_value() {
    skip_whitespace();
    if (at_end()) return fail_ahead("EOF while parsing a value"), false;
    return true;
  }

  // Steps to the next element of an array whose '[' was read: true with `more` set when an
  // element follows, true with `more` false at the ']' (left unread).
  bool next_element(bool& first, bool& more) {
    skip_whitespace();
    if (at_end()) return fail_ahead("EOF while parsing a list"), false;
    if (peek() == ']') {
      more = false;
      return true;
    }
    if (!first) {
      if (peek() != ',') return fail_ahead("expected `,` or `]`"), false;
      ++pos_;
      skip_whitespace();
      if (at_end()) return fail_ahead("EOF while parsing a value"), false;
      if (peek() == ']') return fail_ahead("trailing comma"), false;
    }
    first = false;
    more = true;
    return true;
  }

  // Closes an array whose elements were all read.
  bool end_array() {
    skip_whitespace();
    if (at_end()) return fail_ahead("EOF while parsing a list"), false;
    if (peek() == ']') {
      ++pos_;
      return true;
    }
    if (peek() == ',') {
      ++pos_;
      skip_whitespace();
      if (!at_end() && peek() == ']') return fail_ahead("trailing comma"), false;
    }
    return fail_ahead("trailing characters"), false;
  }

  // Steps to the next member of an object whose '{' was read and reads its key; `more` false
  // at the '}' (left unread).
  bool next_key(bool& first, bool& more, std::string& key) {
    skip_whitespace();
    if (at_end()) return fail_ahead("EOF while parsing an object"), false;
    if (peek() == '}') {
      more = false;
      return true;
    }
    if (!first) {
      if (peek() != ',') return fail_ahead("expected `,` or `}`"), false;
      ++pos_;
      skip_whitespace();
      if (at_end()) return fail_ahead("EOF while parsing a value"), false;
      if (peek() == '}') return fail_ahead("trailing comma"), false;
    }
    first = false;
    if (peek() != '"') return fail_ahead("key must be a string"), false;
    ++pos_;
    key.clear();
    if (!read_string_body(key)) return false;
    more = true;
    return true;
  }

  bool read_colon() {
    skip_whitespace();
    if (at_end()) return fail_ahead("EOF while parsing an object"), false;
    if (peek() != ':') return fail_ahead("expected `:`"), false;
    ++pos_;
    return true;
  }

  bool end_object() {
    skip_whitespace();
    if (at_end()) return fail_ahead("EOF while parsing an object"), false;
    if (peek() == '}') {
      ++pos_;
      return true;
    }
    return fail_ahead("trailing characters"), false;
  }

  bool enter(int depth) {
    if (depth > kMaxDepth) return fail("recursion limit exceeded"), false;
    return true;
  }

  // Any JSON value, checked and dropped (the values of unknown members).
  bool skip_value(int depth) {
    if (!expect_value()) return false;
    char ch = peek();
    if (ch == '"') {
      ++pos_;
      std::string ignored;
      return read_string_body(ignored);
    }
    if (ch == '-' || (ch >= '0' && ch <= '9')) return read_number(nullptr);
    if (ch == 'n') return read_literal("null");
    if (ch == 't') return read_literal("true");
    if (ch == 'f') return read_literal("false");
    if (ch == '[') {
      ++pos_;
      if (!enter(depth + 1)) return false;
      bool first = true, more = true;
      while (true) {
        if (!next_element(first, more)) return false;
        if (!more) break;
        if (!skip_value(depth + 1)) return false;
      }
      ++pos_;  // the ']'
      return true;
    }
    if (ch == '{') {
      ++pos_;
      if (!enter(depth + 1)) return false;
      bool first = true, more = true;
      std::string key;
      while (true) {
        if (!next_key(first, more, key)) return false;
        if (!more) break;
        if (!read_colon() || !skip_value(depth + 1)) return false;
      }
      ++pos_;  // the '}'
      return true;
    }
    return fail_ahead("expected value"), false;
  }

  bool read_name(std::string& out) {
    if (!expect_value()) return false;
    if (peek() != '"') return fail_type("a string");
    ++pos_;
    return read_string_body(out);
  }

  bool read_names(std::vector<std::string>& out) {
    if (!expect_value()) return false;
    if (peek() != '[') return fail_type("a sequence");
    ++pos_;
    bool first = true, more = true;
    while (true) {
      if (!next_element(first, more)) return false;
      if (!more) break;
      out.emplace_back();
      if (!read_name(out.back())) return false;
    }
    ++pos_;  // the ']'
    return true;
  }

  // An object of name -> value; `read_entry` reads one value for the key just read.
  template <typename ReadEntry>
  bool read_map(ReadEntry read_entry) {
    if (!expect_value()) return false;
    if (peek() != '{') return fail_type("a map");
    ++pos_;
    bool first = true, more = true;
    std::string key;
    while (true) {
      if (!next_key(first, more, key)) return false;
      if (!more) break;
      if (!read_colon() || !read_entry(key)) return false;
    }
    ++pos_;  // the '}'
    return true;
  }

  bool read_nodes(Schema& schema) {
    schema.nodes.clear();
    return read_map([&](const std::string& label) {
      std::vector<std::string> properties;
      if (!read_names(properties)) return false;
      schema.set_node(label, properties);
      return true;
    });
  }

  bool read_relationships(Schema& schema) {
    schema.relationships.clear();
    return read_map([&](const std::string& type) {
      if (!expect_value()) return false;
      if (peek() != '[') return fail_type("a tuple of size 3");
      ++pos_;
      std::string source, target;
      std::vector<std::string> properties;
      bool first = true, more = true;
      int count = 0;
      for (; count < 3; ++count) {
        if (!next_element(first, more)) return false;
        if (!more) break;
        bool ok = count == 0 ? read_name(source) : count == 1 ? read_name(target) : read_names(properties);
        if (!ok) return false;
      }
      if (!end_array()) return false;
      if (count < 3) return fail("invalid length " + std::to_string(count) + ", expected a tuple of size 3"), false;
      schema.set_relationship(type, std::move(source), std::move(target), properties);
      return true;
    });
  }

  bool read_schema(Schema& schema) {
    if (!expect_value()) return false;
    if (peek() == '[') {
      ++pos_;
      bool first = true, more = true;
      int count = 0;
      for (; count < 2; ++count) {
        if (!next_element(first, more)) return false;
        if (!more) break;
        if (!(count == 0 ? read_nodes(schema) : read_relationships(schema))) return false;
      }
      if (!end_array()) return false;
      if (count < 2) {
        return fail("invalid length " + std::to_string(count) + ", expected struct Schema with 2 elements"), false;
      }
      return true;
    }
    if (peek() != '{') return fail_type("struct Schema");
    ++pos_;
    bool first = true, more = true, seen_nodes = false, seen_relationships = false;
    std::string key;
    while (true) {
      if (!next_key(first, more, key)) return false;
      if (!more) break;
      bool is_nodes = key == "nodes";
      if (is_nodes || key == "relationships") {
        bool& seen = is_nodes ? seen_nodes : seen_relationships;
        if (seen) {
          skip_whitespace();
          return fail("duplicate field `" + key + "`"), false;
        }
        seen = true;
        if (!read_colon() || !(is_nodes ? read_nodes(schema) : read_relationships(schema))) return false;
      } else if (!read_colon() || !skip_value(1)) {
        return false;
      }
    }
    if (!end_object()) return false;
    if (!seen_nodes) return fail("missing field `nodes`"), false;
    if (!seen_relationships) return fail("missing field `relationships`"), false;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;                // next byte to read
  std::optional<CypherError> error_;   // the first fault found
};

}  // namespace

std::string schema_to_json(const Schema& schema) {
  std::string out;
  out.reserve(128);
  out += "{\"nodes\":{";
  bool first = true;
  for (const auto& [label, properties] : schema.nodes) {
    if (!first) out += ',';
    first = false;
    append_json_string(out, label);
    out += ':';
    append_json_names(out, properties);
  }
  out += "},\"relationships\":{";
  first = true;
  for (const auto& [type, rel] : schema.relationships) {
    if (!first) out += ',';
    first = false;
    append_json_string(out, type);
    out += ":[";
    append_json_string(out, rel.source);
    out += ',';
    append_json_string(out, rel.target);
    out += ',';
    append_json_names(out, rel.properties);
    out += ']';
  }
  out += "}}";
  return out;
}

Result<Schema> schema_from_json(std::string_view text) { return Reader(text).read(); }

}  // namespace tessark
