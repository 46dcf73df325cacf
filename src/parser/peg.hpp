// The PEG runtime: parse state, compile-time combinators, rule kinds and failure bookkeeping.
//
// A combinator is an empty type with one static `match(State&)`. Every `match` that fails leaves
// the position and the recorded matches exactly as it found them, so the combinators compose
// without extra bookkeeping. Inside non-atomic rules `seq` runs the implicit skip (whitespace,
// then comments each followed by whitespace) between its elements, and `star` runs it between
// repetitions as part of the step. Named rules (`normal`, `atomic`) record one match in a
// recording context and take part in the furthest-failure bookkeeping; `silent` rules do
// neither. The grammar itself lives in grammar.cpp; callers use grammar.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "parser/limits.hpp"
#include "parser/match.hpp"
#include "parser/rule.hpp"

namespace tessark::peg {

enum class Lookahead : std::uint8_t { none, positive, negative };

// What a rule notes on entry for recording and for the failure bookkeeping. Kept on a stack in
// the state rather than in the rule's frame, so that deep nesting costs little machine stack.
struct RuleEntry {
  Rule rule;
  bool recording;            // lookahead none and non-atomic on entry
  bool atomic_before;        // the atomicity to restore on leaving
  std::uint32_t start;       // P, the position the rule starts at
  std::uint32_t node_index;  // where its match goes, or the length to truncate to on failure
  std::uint32_t e0, u0, a0;  // list lengths at P on entry (0 when P is not the furthest position)
};

// Everything one run of the grammar reads and writes; created per run, never shared.
struct State {
  std::string_view input;
  std::size_t pos = 0;                 // current byte offset
  std::vector<MatchNode> nodes;        // recorded matches, pre-order, truncated on failure
  Lookahead lookahead = Lookahead::none;
  bool atomic = false;                 // no implicit skip and no recording while set
  std::vector<Rule> expected;          // rules that failed at `furthest`
  std::vector<Rule> unexpected;        // rules that succeeded under negative lookahead there
  std::size_t furthest = 0;            // the position the two lists apply to
  std::size_t nesting = 0;             // current depth of nested `nested<>` bodies
  bool too_deep = false;               // set once nesting passed kMaxNestingDepth; ends the run
  std::uint64_t rule_invocations = 0;  // entries into normal and atomic rules
  std::vector<RuleEntry> rules;         // the rules being run, innermost last

  std::size_t remaining() const { return input.size() - pos; }
};

// ---- Characters ----

// Byte length of the UTF-8 character starting at `pos` (pos < input.size()). A byte that does
// not start a well-formed sequence counts as one character, so ASCII bytes are always
// characters of their own and a direct search for an ASCII text agrees with a character walk.
inline std::size_t char_length(std::string_view input, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(input[pos]);
  std::size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
  if (length == 1 || pos + length > input.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(input[pos + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

inline bool is_continuation_byte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

inline char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// A string literal usable as a template argument: lit<"MATCH">.
template <std::size_t N>
struct Text {
  char chars[N - 1];
  constexpr Text(const char (&s)[N]) {  // NOLINT: implicit by design
    for (std::size_t i = 0; i + 1 < N; ++i) chars[i] = s[i];
  }
  static constexpr std::size_t size = N - 1;
  constexpr std::string_view view() const { return {chars, size}; }
};

// ---- Terminals (never recorded, never in error lists) ----

// Exact literal, byte-wise.
template <Text T>
struct lit {
  static bool match(State& s) {
    if (s.input.substr(s.pos, T.size) != T.view()) return false;
    s.pos += T.size;
    return true;
  }
};

// Case-insensitive literal: ASCII letters fold to lower case on both sides, nothing else folds;
// the match must end on a character boundary.
template <Text T>
struct ilit {
  static bool match(State& s) {
    if (s.remaining() < T.size) return false;
    for (std::size_t i = 0; i < T.size; ++i) {
      if (fold_ascii(s.input[s.pos + i]) != fold_ascii(T.chars[i])) return false;
    }
    const std::size_t end = s.pos + T.size;
    if (end < s.input.size() && is_continuation_byte(s.input[end])) return false;
    s.pos = end;
    return true;
  }
};

// One ASCII character in [Low, High].
template <char Low, char High>
struct range {
  static bool match(State& s) {
    if (s.pos >= s.input.size()) return false;
    const char c = s.input[s.pos];
    if (c < Low || c > High) return false;
    ++s.pos;
    return true;
  }
};

// ANY_CHAR: one UTF-8 character; fails only at the end of the text.
struct any_char {
  static bool match(State& s) {
    if (s.pos >= s.input.size()) return false;
    s.pos += char_length(s.input, s.pos);
    return true;
  }
};

// ( !T ~ ANY_CHAR )* inside atomic mode, done as a direct search for T: stops in front of the
// next T, or at the end of the text. Never fails.
template <Text T>
struct any_until {
  static bool match(State& s) {
    const std::size_t found = s.input.find(T.view(), s.pos);
    s.pos = found == std::string_view::npos ? s.input.size() : found;
    return true;
  }
};

struct start_of_input {
  static bool match(State& s) { return s.pos == 0; }
};

struct end_of_input {
  static bool match(State& s) { return s.pos == s.input.size(); }
};

// ---- Combinators ----

// The implicit skip; defined with the grammar, where WHITESPACE and COMMENT are.
void skip(State& s);

inline void skip_if_non_atomic(State& s) {
  if (!s.atomic) skip(s);
}

// Marks to undo a failed sequence: the position and the number of recorded matches.
struct Rewind {
  State& s;
  std::uint32_t pos = static_cast<std::uint32_t>(s.pos);
  std::uint32_t nodes = static_cast<std::uint32_t>(s.nodes.size());
  bool undo() const {
    s.pos = pos;
    s.nodes.resize(nodes);
    return false;
  }
};

// e1 ~ e2 ~ ...: the elements in order, with the implicit skip between them.
template <typename First, typename... Rest>
struct seq {
  static bool match(State& s) {
    Rewind rewind{s};
    if (!First::match(s)) return false;
    if (!((skip_if_non_atomic(s), Rest::match(s)) && ...)) return rewind.undo();
    return true;
  }
};

// e1 | e2 | ...: the first alternative that succeeds, never revisited.
template <typename... Alternatives>
struct choice {
  static bool match(State& s) { return (Alternatives::match(s) || ...); }
};

// e?
template <typename E>
struct opt {
  static bool match(State& s) {
    E::match(s);
    return true;
  }
};

// e*: greedy; each repetition after the first is the skip and e, undone together on failure.
// A repetition that consumes nothing ends the loop (no body of this grammar does so).
template <typename E>
struct star {
  static bool match(State& s) {
    if (!E::match(s)) return true;
    for (;;) {
      Rewind rewind{s};
      skip_if_non_atomic(s);
      if (!E::match(s) || s.pos == rewind.pos) {
        rewind.undo();
        return true;
      }
    }
  }
};

// e+ is e ~ e*: the skip after the first e stands even when no second e follows.
template <typename E>
struct plus : seq<E, star<E>> {};

// Lookahead: runs the operand in the given mode, then restores position, matches and mode.
template <typename E, bool Positive>
struct lookahead {
  static bool match(State& s) {
    const Lookahead saved = s.lookahead;
    if (Positive) {
      s.lookahead = saved == Lookahead::negative ? Lookahead::negative : Lookahead::positive;
    } else {
      s.lookahead = saved == Lookahead::negative ? Lookahead::positive : Lookahead::negative;
    }
    Rewind rewind{s};
    const bool matched = E::match(s);
    rewind.undo();
    s.lookahead = saved;
    return matched == Positive;
  }
};

template <typename E>
struct at : lookahead<E, true> {};

template <typename E>
struct not_at : lookahead<E, false> {};

// The body of a rule that nests (expressions): counts the depth and ends the whole run with
// the nesting error once it passes kMaxNestingDepth, before the stack could run out.
template <typename E>
struct nested {
  static bool match(State& s) {
    if (s.nesting >= kMaxNestingDepth) {
      s.too_deep = true;
      return false;
    }
    ++s.nesting;
    const bool matched = E::match(s);
    --s.nesting;
    return matched;
  }
};

// ---- Rules ----

// Entry and exit of every normal and atomic rule; the single place a per-rule hook belongs.
void enter_rule(State& s, Rule rule, bool atomic_body);
bool leave_rule(State& s, bool matched);

template <Rule R, bool AtomicBody, typename Body>
struct rule_of_kind {
  static constexpr Rule id = R;
  static bool match(State& s) {
    if (s.too_deep) return false;
    enter_rule(s, R, AtomicBody);
    return leave_rule(s, Body::match(s));
  }
};

// Runs its body in the current atomicity; records one match with the matches of the rules it
// invoked as inner matches.
template <Rule R, typename Body>
struct normal : rule_of_kind<R, false, Body> {};

// Runs its body in atomic mode: no skip inside and no inner matches; the rule itself records.
template <Rule R, typename Body>
struct atomic : rule_of_kind<R, true, Body> {};

// Runs its body in atomic mode; never records and never appears in error lists.
template <typename Body>
struct silent {
  static bool match(State& s) {
    const bool atomic_before = s.atomic;
    s.atomic = true;
    const bool matched = Body::match(s);
    s.atomic = atomic_before;
    return matched;
  }
};

}  // namespace tessark::peg
