// Schema: node labels with their property names, and relationship types with their source
// label, target label and property names. Built once, then only read (safe to share between
// threads). Every listing is sorted in ascending byte order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tessark {

// String hash with a per-container random seed, so crafted keys cannot make lookups quadratic.
// Transparent: containers can be searched with a std::string_view.
struct SeededHash {
  using is_transparent = void;
  std::uint64_t seed;   // the two halves of the 128-bit SipHash key
  std::uint64_t seed2;
  SeededHash();  // draws a fresh seed (copies of a container keep theirs)
  std::size_t operator()(std::string_view text) const;
};

struct StringEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

using NameSet = std::unordered_set<std::string, SeededHash, StringEqual>;

// A set holding `names`; duplicates collapse.
NameSet make_name_set(const std::vector<std::string>& names);

struct RelationshipType {
  std::string source;
  std::string target;
  NameSet properties;
};

class Schema {
 public:
  using NodeMap = std::unordered_map<std::string, NameSet, SeededHash, StringEqual>;
  using RelationshipMap = std::unordered_map<std::string, RelationshipType, SeededHash, StringEqual>;

  NodeMap nodes;
  RelationshipMap relationships;

  // Construction helpers: a later entry for the same key replaces the earlier one.
  void set_node(std::string label, const std::vector<std::string>& properties);
  void set_relationship(std::string type, std::string source, std::string target,
                        const std::vector<std::string>& properties);

  std::vector<std::string_view> node_labels() const;
  std::vector<std::string_view> rel_types() const;
  std::vector<std::string_view> node_properties(std::string_view label) const;  // [] if unknown
  std::vector<std::string_view> rel_properties(std::string_view type) const;    // [] if unknown
  std::optional<std::pair<std::string_view, std::string_view>> rel_src_tgt(
      std::string_view type) const;

  bool has_label(std::string_view label) const { return nodes.find(label) != nodes.end(); }
  bool has_rel_type(std::string_view type) const {
    return relationships.find(type) != relationships.end();
  }
  bool label_has_property(std::string_view label, std::string_view property) const;
  bool rel_has_property(std::string_view type, std::string_view property) const;

  // A new schema with both inputs' labels and types; property sets of shared keys are united,
  // and a type in both keeps this schema's source and target labels.
  Schema merge(const Schema& other) const;
};

}  // namespace tessark
