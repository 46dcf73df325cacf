// The match tree: the result of a successful grammar run, read by the tree builder.
//
// Matches are stored in one flat vector in pre-order (a match before its inner matches); each
// entry knows the index just past its own subtree, so a match's inner matches are the entries
// between it and that index, stepping from sibling to sibling. `Match` is a cheap view of one
// entry; it borrows both the tree and the query text, which must outlive it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "parser/rule.hpp"

namespace tessark {

struct MatchNode {
  Rule rule;
  std::uint32_t start;          // byte offset, inclusive
  std::uint32_t end;            // byte offset, exclusive
  std::uint32_t subtree_end;    // index in MatchTree::nodes just past this match's inner matches
};

struct MatchTree;

class Match {
 public:
  Match(const MatchTree* tree, std::uint32_t index) : tree_(tree), index_(index) {}

  Rule rule() const;
  std::string_view rule_name() const { return tessark::rule_name(rule()); }
  std::uint32_t start() const;
  std::uint32_t end() const;
  std::string_view text() const;

  class Iterator;
  class Range;
  Range inner() const;  // direct inner matches, in source order
  std::vector<Match> inner_list() const;

 private:
  friend struct MatchTree;
  const MatchTree* tree_;
  std::uint32_t index_;
};

struct MatchTree {
  std::string_view input;
  std::vector<MatchNode> nodes;

  Match::Range top() const;  // the top-level matches
};

class Match::Iterator {
 public:
  Iterator(const MatchTree* tree, std::uint32_t index) : tree_(tree), index_(index) {}
  Match operator*() const { return Match(tree_, index_); }
  Iterator& operator++() {
    index_ = tree_->nodes[index_].subtree_end;
    return *this;
  }
  bool operator!=(const Iterator& other) const { return index_ != other.index_; }
  bool operator==(const Iterator& other) const { return index_ == other.index_; }

 private:
  const MatchTree* tree_;
  std::uint32_t index_;
};

class Match::Range {
 public:
  Range(const MatchTree* tree, std::uint32_t first, std::uint32_t last)
      : tree_(tree), first_(first), last_(last) {}
  Iterator begin() const { return Iterator(tree_, first_); }
  Iterator end() const { return Iterator(tree_, last_); }
  bool empty() const { return first_ == last_; }

 private:
  const MatchTree* tree_;
  std::uint32_t first_, last_;
};

inline Rule Match::rule() const { return tree_->nodes[index_].rule; }
inline std::uint32_t Match::start() const { return tree_->nodes[index_].start; }
inline std::uint32_t Match::end() const { return tree_->nodes[index_].end; }
inline std::string_view Match::text() const {
  const MatchNode& node = tree_->nodes[index_];
  return tree_->input.substr(node.start, node.end - node.start);
}
inline Match::Range Match::inner() const {
  return Range(tree_, index_ + 1, tree_->nodes[index_].subtree_end);
}
inline std::vector<Match> Match::inner_list() const {
  std::vector<Match> out;
  for (Match m : inner()) out.push_back(m);
  return out;
}
inline Match::Range MatchTree::top() const {
  return Match::Range(this, 0, static_cast<std::uint32_t>(nodes.size()));
}

}  // namespace tessark
