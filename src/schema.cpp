// Schema lookups and the seeded string hash of its containers.
#include "schema.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>

namespace tessark {
namespace {

std::uint64_t rotl(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

std::uint64_t splitmix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// Each container's key: a process-wide random base from the platform's entropy source, stepped
// for every new container, so two containers never share a seed.
std::pair<std::uint64_t, std::uint64_t> next_seed() {
  static const std::uint64_t base = [] {
    std::random_device entropy;
    return (std::uint64_t{entropy()} << 32) ^ entropy();
  }();
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t state = base ^ (counter.fetch_add(1, std::memory_order_relaxed) * 0xd1b54a32d192ed03ULL);
  std::uint64_t k0 = splitmix64(state);
  return {k0, splitmix64(state)};
}

// SipHash-1-3 keyed by (k0, k1): flooding-resistant for keys chosen by the caller.
std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, std::string_view text) {
  std::uint64_t v0 = 0x736f6d6570736575ULL ^ k0, v1 = 0x646f72616e646f6dULL ^ k1;
  std::uint64_t v2 = 0x6c7967656e657261ULL ^ k0, v3 = 0x7465646279746573ULL ^ k1;
  auto round = [&] {
    v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
    v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
  };
  const std::size_t size = text.size();
  std::size_t offset = 0;
  for (; offset + 8 <= size; offset += 8) {
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(text[offset + i]);
    v3 ^= word;
    round();
    v0 ^= word;
  }
  std::uint64_t last = static_cast<std::uint64_t>(size & 0xff) << 56;
  for (std::size_t i = 0; offset + i < size; ++i) {
    last |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[offset + i])) << (8 * i);
  }
  v3 ^= last;
  round();
  v0 ^= last;
  v2 ^= 0xff;
  round(); round(); round();
  return v0 ^ v1 ^ v2 ^ v3;
}

template <typename Container>
std::vector<std::string_view> sorted_keys(const Container& container) {
  std::vector<std::string_view> out;
  out.reserve(container.size());
  for (const auto& entry : container) {
    if constexpr (requires { entry.first; }) {
      out.emplace_back(entry.first);
    } else {
      out.emplace_back(entry);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

SeededHash::SeededHash() {
  auto [k0, k1] = next_seed();
  seed = k0;
  seed2 = k1;
}

std::size_t SeededHash::operator()(std::string_view text) const {
  return static_cast<std::size_t>(siphash13(seed, seed2, text));
}

NameSet make_name_set(const std::vector<std::string>& names) {
  NameSet set;
  set.reserve(names.size());
  for (const std::string& name : names) set.insert(name);
  return set;
}

void Schema::set_node(std::string label, const std::vector<std::string>& properties) {
  nodes.insert_or_assign(std::move(label), make_name_set(properties));
}

void Schema::set_relationship(std::string type, std::string source, std::string target,
                              const std::vector<std::string>& properties) {
  relationships.insert_or_assign(
      std::move(type), RelationshipType{std::move(source), std::move(target), make_name_set(properties)});
}

std::vector<std::string_view> Schema::node_labels() const { return sorted_keys(nodes); }

std::vector<std::string_view> Schema::rel_types() const { return sorted_keys(relationships); }

std::vector<std::string_view> Schema::node_properties(std::string_view label) const {
  auto found = nodes.find(label);
  if (found == nodes.end()) return {};
  return sorted_keys(found->second);
}

std::vector<std::string_view> Schema::rel_properties(std::string_view type) const {
  auto found = relationships.find(type);
  if (found == relationships.end()) return {};
  return sorted_keys(found->second.properties);
}

std::optional<std::pair<std::string_view, std::string_view>> Schema::rel_src_tgt(
    std::string_view type) const {
  auto found = relationships.find(type);
  if (found == relationships.end()) return std::nullopt;
  return std::pair<std::string_view, std::string_view>(found->second.source, found->second.target);
}

bool Schema::label_has_property(std::string_view label, std::string_view property) const {
  auto found = nodes.find(label);
  return found != nodes.end() && found->second.find(property) != found->second.end();
}

bool Schema::rel_has_property(std::string_view type, std::string_view property) const {
  auto found = relationships.find(type);
  return found != relationships.end() &&
         found->second.properties.find(property) != found->second.properties.end();
}

Schema Schema::merge(const Schema& other) const {
  Schema merged = *this;
  for (const auto& [label, properties] : other.nodes) {
    auto found = merged.nodes.find(label);
    if (found == merged.nodes.end()) {
      merged.nodes.emplace(label, properties);
    } else {
      found->second.insert(properties.begin(), properties.end());
    }
  }
  for (const auto& [type, rel] : other.relationships) {
    auto found = merged.relationships.find(type);
    if (found == merged.relationships.end()) {
      merged.relationships.emplace(type, rel);
    } else {
      found->second.properties.insert(rel.properties.begin(), rel.properties.end());
    }
  }
  return merged;
}

}  // namespace tessark
