// Text scanning for the tree builder: skipping whitespace and comments the way the grammar's
// implicit skip does, and reading keywords and operators at a given offset of a match's text.
// Private to the builder (builder.cpp, builder_expr.cpp), with the small helpers both share.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "error.hpp"
#include "parser/match.hpp"

namespace tessark::builder_text {

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Offset of the first character at or after `pos` that is neither whitespace nor inside a
// comment. A line comment runs up to and including its line feed (or the end); a block comment
// to its first "*/"; an unclosed "/*" is not a comment, so the scan stops in front of it.
inline std::size_t skip_trivia(std::string_view text, std::size_t pos) {
  while (pos < text.size()) {
    if (is_space(text[pos])) {
      ++pos;
    } else if (text.compare(pos, 2, "//") == 0) {
      std::size_t newline = text.find('\n', pos + 2);
      pos = newline == std::string_view::npos ? text.size() : newline + 1;
    } else if (text.compare(pos, 2, "/*") == 0) {
      std::size_t close = text.find("*/", pos + 2);
      if (close == std::string_view::npos) return pos;
      pos = close + 2;
    } else {
      return pos;
    }
  }
  return pos;
}

// True when `word` (upper case) is written at `pos`, ignoring ASCII case.
inline bool word_at(std::string_view text, std::size_t pos, std::string_view word) {
  if (pos > text.size() || text.size() - pos < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (to_upper(text[pos + i]) != word[i]) return false;
  }
  return true;
}

// True when `word` is the first thing after `pos` (whitespace and comments skipped) and ends
// no later than `limit`.
inline bool keyword_after(std::string_view text, std::size_t pos, std::string_view word,
                          std::size_t limit) {
  pos = skip_trivia(text, pos);
  return pos + word.size() <= limit && word_at(text, pos, word);
}

// Offset just past the leading keyword `word` of a clause text (after any leading trivia).
inline std::size_t past_keyword(std::string_view text, std::string_view word) {
  std::size_t pos = skip_trivia(text, 0);
  return word_at(text, pos, word) ? pos + word.size() : pos;
}

inline std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = to_upper(c);
  return out;
}

inline std::string_view trim_space(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

// Offsets of an inner match relative to the start of its enclosing match's text.
inline std::size_t start_in(Match outer, Match inner) { return inner.start() - outer.start(); }
inline std::size_t end_in(Match outer, Match inner) { return inner.end() - outer.start(); }

// A builder error with a fixed message, or the message followed by the offending rule's name.
inline CypherError fail(std::string_view message) {
  return CypherError::parse(std::string(message));
}

inline CypherError fail(std::string_view message, Match offending) {
  std::string text(message);
  text += offending.rule_name();
  return CypherError::parse(std::move(text));
}

inline std::optional<Match> first_inner(Match match) {
  auto inner = match.inner();
  if (inner.empty()) return std::nullopt;
  return *inner.begin();
}

}  // namespace tessark::builder_text
