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
#include <unordered_map>
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
  std::uint64_t e0, u0, a0;  // list lengths at P on entry (0 when P is not the furthest position)
};

// One failure list (expected or unexpected rules at the furthest position). The bookkeeping
// reads a list only through its length (truncating back to an earlier length, comparing growth)
// and, at the end, through the set of rules in it. So the list keeps its length and each
// distinct rule once, with the length at which it first entered: a rule listed again only adds
// to the length. The set and every length are exactly those of the full list, while a text that
// fails at one place in many ways keeps the list at most one entry per rule.
class FailureList {
 public:
  std::uint64_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  void push(Rule rule);
  void truncate(std::uint64_t length);
  void clear() { truncate(0); }
  void append(const FailureList& other);  // as if other's entries were pushed one by one
  std::vector<Rule> rules() const;        // the distinct rules, in order of first entry

 private:
  struct First {
    Rule rule;
    std::uint64_t at;  // the list's length when the rule entered
  };
  std::vector<First> firsts_;
  std::uint64_t length_ = 0;
  std::uint64_t present_[2] = {0, 0};  // bit per rule ordinal

  bool present(Rule rule) const {
    const auto i = static_cast<unsigned>(rule);
    return (present_[i / 64] >> (i % 64)) & 1;
  }
  void set_present(Rule rule, bool on) {
    const auto i = static_cast<unsigned>(rule);
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    present_[i / 64] = on ? present_[i / 64] | bit : present_[i / 64] & ~bit;
  }
};
static_assert(kRuleCount <= 128);

// What one memoised rule run left behind, to be replayed when the same rule runs again at the
// same position in the same mode: its outcome, the matches it recorded and its effect on the
// failure lists (see `memoised`).
struct MemoEntry {
  bool matched;
  std::uint32_t end;                        // position after a match
  std::uint32_t nodes_begin, nodes_count;   // its recorded matches in Memo::nodes
  std::uint32_t furthest;                   // furthest position after the run
  std::uint32_t nesting_used;               // nesting levels the run entered below its start
  FailureList expected, unexpected;         // what the run added at `furthest`
};

struct Memo {
  std::unordered_map<std::uint64_t, std::uint32_t> index;  // key -> entries index
  std::vector<MemoEntry> entries;
  std::vector<MatchNode> nodes;  // subtree_end relative to the entry's first match
};

// Everything one run of the grammar reads and writes; created per run, never shared.
struct State {
  std::string_view input;
  std::size_t pos = 0;                 // current byte offset
  std::vector<MatchNode> nodes;        // recorded matches, pre-order, truncated on failure
  Lookahead lookahead = Lookahead::none;
  bool atomic = false;                 // no implicit skip and no recording while set
  FailureList expected;                // rules that failed at `furthest`
  FailureList unexpected;              // rules that succeeded under negative lookahead there
  std::size_t furthest = 0;            // the position the two lists apply to
  std::size_t nesting = 0;             // current depth of nested `nested<>` bodies
  std::size_t peak_nesting = 0;        // deepest nesting reached so far
  bool too_deep = false;               // set once nesting passed kMaxNestingDepth; ends the run
  std::uint64_t rule_invocations = 0;  // entries into normal and atomic rules
  std::vector<RuleEntry> rules;         // the rules being run, innermost last
  Memo* memo = nullptr;                // rule results by (rule, position, mode); null: plain run

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
    if (s.remaining() < T.size) return false;
    for (std::size_t i = 0; i < T.size; ++i) {  // literals are short: no call to memcmp
      if (s.input[s.pos + i] != T.chars[i]) return false;
    }
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
    if (s.nesting > s.peak_nesting) s.peak_nesting = s.nesting;
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

// Memoisation of a rule by (rule, position, lookahead mode, atomicity): a repeated run at the
// same place replays the first run's outcome instead of parsing again, which keeps the cost of
// ordered choices that re-parse a shared prefix linear in the text.
//
// The replay is exact, failure lists included. The bookkeeping inside a run depends on the lists
// it finds only through their lengths, relative to what they were when each rule was entered,
// and a rule invoked below the furthest position leaves them alone. So the run starts on empty
// lists, and its effect is fixed by the furthest position F it ended with and the lists it built
// there: if it moved the furthest position they replace the lists it found, else they are
// appended to them. A replay where the furthest position is now F' > F changes nothing, F' == F
// appends the stored lists, F' < F moves to F with the stored lists. A run stopped by the
// nesting bound ends the parse and is not stored; a stored run is replayed only where it stays
// within the bound.
bool replay_memo(State& s, const MemoEntry& entry);
void store_memo(State& s, std::uint64_t key, bool matched, std::size_t nodes_before,
                std::size_t nesting_used);

template <typename R>
struct memoised {
  static bool match(State& s) {
    if (s.memo == nullptr || s.too_deep) return R::match(s);
    const std::uint64_t key = (std::uint64_t{s.pos} << 16) |
                              (static_cast<std::uint64_t>(R::id) << 3) |
                              (static_cast<std::uint64_t>(s.lookahead) << 1) | (s.atomic ? 1 : 0);
    if (auto found = s.memo->index.find(key); found != s.memo->index.end()) {
      const MemoEntry& entry = s.memo->entries[found->second];
      if (s.nesting + entry.nesting_used <= kMaxNestingDepth) return replay_memo(s, entry);
    }
    const std::size_t nodes_before = s.nodes.size(), furthest_before = s.furthest;
    FailureList expected_before = std::move(s.expected), unexpected_before = std::move(s.unexpected);
    s.expected = FailureList();
    s.unexpected = FailureList();
    const std::size_t peak_before = s.peak_nesting, nesting_before = s.nesting;
    s.peak_nesting = s.nesting;
    const bool matched = R::match(s);
    const std::size_t nesting_used = s.peak_nesting - nesting_before;
    if (peak_before > s.peak_nesting) s.peak_nesting = peak_before;
    if (s.too_deep) return matched;  // the run ends with the nesting error
    store_memo(s, key, matched, nodes_before, nesting_used);
    if (s.furthest == furthest_before) {
      expected_before.append(s.expected);
      unexpected_before.append(s.unexpected);
      s.expected = std::move(expected_before);
      s.unexpected = std::move(unexpected_before);
    }
    return matched;
  }
};

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
