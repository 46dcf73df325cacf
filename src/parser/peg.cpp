// Rule entry and exit of the PEG runtime: match recording and the furthest-failure bookkeeping.
#include "parser/peg.hpp"

namespace tessark::peg {
namespace {

std::uint64_t total_at(const State& s, std::size_t pos) {
  return s.furthest == pos ? s.expected.size() + s.unexpected.size() : 0;
}

// Notes rule R at position P in the error lists. The furthest position only moves forward; at
// it, a rule whose inner rules left exactly one new entry is represented by that entry, and
// otherwise replaces what its inner rules added.
void track(State& s, const RuleEntry& entry, bool failed) {
  if (s.atomic) return;  // invoked from inside an atomic rule
  const std::size_t p = entry.start;
  if (total_at(s, p) == entry.a0 + 1) return;
  if (s.furthest == p) {
    s.expected.truncate(entry.e0);
    s.unexpected.truncate(entry.u0);
  } else if (p > s.furthest) {
    s.expected.clear();
    s.unexpected.clear();
    s.furthest = p;
  }
  if (p == s.furthest) (failed ? s.expected : s.unexpected).push(entry.rule);
}

}  // namespace

void enter_rule(State& s, Rule rule, bool atomic_body) {
  ++s.rule_invocations;
  const bool at_furthest = s.furthest == s.pos;
  const RuleEntry entry{rule,
                        s.lookahead == Lookahead::none && !s.atomic,
                        s.atomic,
                        static_cast<std::uint32_t>(s.pos),
                        static_cast<std::uint32_t>(s.nodes.size()),
                        at_furthest ? s.expected.size() : 0,
                        at_furthest ? s.unexpected.size() : 0,
                        total_at(s, s.pos)};
  if (entry.recording) s.nodes.push_back(MatchNode{rule, entry.start, 0, 0});
  if (atomic_body) s.atomic = true;
  s.rules.push_back(entry);
}

bool leave_rule(State& s, bool matched) {
  const RuleEntry entry = s.rules.back();
  s.rules.pop_back();
  s.atomic = entry.atomic_before;
  if (matched) {
    if (entry.recording) {
      MatchNode& node = s.nodes[entry.node_index];
      node.end = static_cast<std::uint32_t>(s.pos);
      node.subtree_end = static_cast<std::uint32_t>(s.nodes.size());
    }
  } else {
    s.pos = entry.start;
    s.nodes.resize(entry.node_index);
  }
  if (s.too_deep) return matched;  // the run ends with the nesting error; lists no longer matter
  const bool negative = s.lookahead == Lookahead::negative;
  if (matched == negative) track(s, entry, !matched);
  return matched;
}

void store_memo(State& s, std::uint64_t key, bool matched, std::size_t nodes_before,
                std::size_t nesting_used) {
  Memo& memo = *s.memo;
  MemoEntry entry{};
  entry.matched = matched;
  entry.end = static_cast<std::uint32_t>(s.pos);
  entry.nodes_begin = static_cast<std::uint32_t>(memo.nodes.size());
  entry.nodes_count = static_cast<std::uint32_t>(s.nodes.size() - nodes_before);
  for (std::size_t i = nodes_before; i < s.nodes.size(); ++i) {
    MatchNode node = s.nodes[i];
    node.subtree_end -= static_cast<std::uint32_t>(nodes_before);
    memo.nodes.push_back(node);
  }
  entry.furthest = static_cast<std::uint32_t>(s.furthest);
  entry.nesting_used = static_cast<std::uint32_t>(nesting_used);
  entry.expected = s.expected;
  entry.unexpected = s.unexpected;
  memo.index.emplace(key, static_cast<std::uint32_t>(memo.entries.size()));
  memo.entries.push_back(std::move(entry));
}

bool replay_memo(State& s, const MemoEntry& entry) {
  const Memo& memo = *s.memo;
  if (entry.matched) {
    const auto base = static_cast<std::uint32_t>(s.nodes.size());
    for (std::uint32_t i = 0; i < entry.nodes_count; ++i) {
      MatchNode node = memo.nodes[entry.nodes_begin + i];
      node.subtree_end += base;
      s.nodes.push_back(node);
    }
    s.pos = entry.end;
  }
  if (s.furthest < entry.furthest) {
    s.furthest = entry.furthest;
    s.expected = entry.expected;
    s.unexpected = entry.unexpected;
  } else if (s.furthest == entry.furthest) {
    s.expected.append(entry.expected);
    s.unexpected.append(entry.unexpected);
  }
  return entry.matched;
}

void FailureList::push(Rule rule) {
  if (!present(rule)) {
    firsts_.push_back({rule, length_});
    set_present(rule, true);
  }
  ++length_;
}

void FailureList::truncate(std::uint64_t length) {
  if (length >= length_) return;
  while (!firsts_.empty() && firsts_.back().at >= length) {
    set_present(firsts_.back().rule, false);
    firsts_.pop_back();
  }
  length_ = length;
}

void FailureList::append(const FailureList& other) {
  for (const First& first : other.firsts_) {
    if (!present(first.rule)) {
      firsts_.push_back({first.rule, length_ + first.at});
      set_present(first.rule, true);
    }
  }
  length_ += other.length_;
}

std::vector<Rule> FailureList::rules() const {
  std::vector<Rule> out;
  out.reserve(firsts_.size());
  for (const First& first : firsts_) out.push_back(first.rule);
  return out;
}

}  // namespace tessark::peg
