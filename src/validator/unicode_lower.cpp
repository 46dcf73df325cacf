// Lower-casing over the tables that tools/gen_lowercase_table.py generates from Unicode data.
#include "validator/unicode_lower.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tessark {
namespace {

struct LowerRun {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint32_t stride;  // 1 or 2
};
struct MultiLower {
  char32_t from;
  char32_t to[3];
  std::size_t length;
};
struct CodeRange {
  char32_t first;
  char32_t last;
};

#include "validator/lowercase_table.inc"

constexpr char32_t kCapitalSigma = 0x03A3;
constexpr char32_t kSmallSigma = 0x03C3;
constexpr char32_t kFinalSigma = 0x03C2;

bool in_ranges(std::span<const CodeRange> ranges, char32_t cp) {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), cp,
                             [](char32_t c, const CodeRange& r) { return c < r.first; });
  return it != ranges.begin() && cp <= std::prev(it)->last;
}

bool is_cased(char32_t cp) { return in_ranges(kCasedRanges, cp); }
bool is_case_ignorable(char32_t cp) { return in_ranges(kCaseIgnorableRanges, cp); }

char32_t simple_lower(char32_t cp) {
  std::span<const LowerRun> runs(kLowerRuns);
  auto it = std::upper_bound(runs.begin(), runs.end(), cp,
                             [](char32_t c, const LowerRun& r) { return c < r.first; });
  if (it == runs.begin()) return cp;
  const LowerRun& run = *std::prev(it);
  if (cp > run.last || (cp - run.first) % run.stride != 0) return cp;
  return static_cast<char32_t>(static_cast<std::int64_t>(cp) + run.delta);
}

// One decoded code point and its byte length; nullopt-free: invalid bytes decode as themselves
// with `valid` false and length 1.
struct Decoded {
  char32_t cp;
  std::size_t length;
  bool valid;
};

Decoded decode_at(std::string_view text, std::size_t pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || pos + length > text.size()) return {lead, 1, false};
  char32_t cp = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return {lead, 1, false};
    cp = (cp << 6) | (next & 0x3F);
  }
  bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
  bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
  if (overlong || surrogate || cp > 0x10FFFF) return {lead, 1, false};
  return {cp, length, true};
}

// The start of the valid code point that ends just before `end`, or nullopt for an invalid byte.
std::optional<Decoded> decode_before(std::string_view text, std::size_t end) {
  std::size_t start = end - 1;
  while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
    --start;
  Decoded d = decode_at(text, start);
  if (!d.valid || start + d.length != end) return std::nullopt;
  return d;
}

// Skipping case-ignorable code points from `pos` forwards (or backwards from `pos`), is the
// first other code point cased?
bool cased_after(std::string_view text, std::size_t pos) {
  while (pos < text.size()) {
    Decoded d = decode_at(text, pos);
    if (!d.valid) return false;
    if (!is_case_ignorable(d.cp)) return is_cased(d.cp);
    pos += d.length;
  }
  return false;
}

bool cased_before(std::string_view text, std::size_t end) {
  while (end > 0) {
    std::optional<Decoded> d = decode_before(text, end);
    if (!d) return false;
    if (!is_case_ignorable(d->cp)) return is_cased(d->cp);
    end -= d->length;
  }
  return false;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string unicode_lower(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    Decoded d = decode_at(text, pos);
    if (!d.valid) {
      out += text[pos];
    } else if (d.cp < 0x80) {
      char c = text[pos];
      out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    } else if (d.cp == kCapitalSigma) {
      bool word_final = cased_before(text, pos) && !cased_after(text, pos + d.length);
      append_utf8(out, word_final ? kFinalSigma : kSmallSigma);
    } else {
      auto multi = std::find_if(std::begin(kMultiLower), std::end(kMultiLower),
                                [&](const MultiLower& m) { return m.from == d.cp; });
      if (multi != std::end(kMultiLower)) {
        for (std::size_t i = 0; i < multi->length; ++i) append_utf8(out, multi->to[i]);
      } else {
        append_utf8(out, simple_lower(d.cp));
      }
    }
    pos += d.length;
  }
  return out;
}

}  // namespace tessark
