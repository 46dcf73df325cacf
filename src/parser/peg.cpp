// Rule entry and exit of the PEG runtime: match recording and the furthest-failure bookkeeping.
#include "parser/peg.hpp"

namespace tessark::peg {
namespace {

std::size_t total_at(const State& s, std::size_t pos) {
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
    s.expected.resize(entry.e0);
    s.unexpected.resize(entry.u0);
  } else if (p > s.furthest) {
    s.expected.clear();
    s.unexpected.clear();
    s.furthest = p;
  }
  if (p == s.furthest) (failed ? s.expected : s.unexpected).push_back(entry.rule);
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
                        static_cast<std::uint32_t>(at_furthest ? s.expected.size() : 0),
                        static_cast<std::uint32_t>(at_furthest ? s.unexpected.size() : 0),
                        static_cast<std::uint32_t>(total_at(s, s.pos))};
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

}  // namespace tessark::peg
