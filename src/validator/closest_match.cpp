// Suggestion search: a linear scan with a length filter and a two-row edit distance that gives
// up as soon as a whole row exceeds the bound.
#include "validator/closest_match.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "validator/unicode_lower.hpp"

namespace tessark {
namespace {

// Levenshtein distance of a and b over bytes, or nullopt once it must exceed `bound`.
std::optional<std::size_t> bounded_distance(std::string_view a, std::string_view b,
                                            std::size_t bound, std::vector<std::size_t>& previous,
                                            std::vector<std::size_t>& current) {
  previous.resize(b.size() + 1);
  current.resize(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    std::size_t row_min = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t diagonal = previous[j - 1];
      current[j] = a[i - 1] == b[j - 1]
                       ? diagonal
                       : 1 + std::min({diagonal, previous[j], current[j - 1]});
      row_min = std::min(row_min, current[j]);
    }
    if (row_min > bound) return std::nullopt;
    std::swap(previous, current);
  }
  std::size_t distance = previous[b.size()];
  if (distance > bound) return std::nullopt;
  return distance;
}

}  // namespace

std::optional<std::string_view> closest_match(std::string_view name,
                                              std::span<const std::string_view> candidates) {
  const std::string a = unicode_lower(name);
  std::optional<std::string_view> best;
  std::size_t best_distance = 0;
  std::vector<std::size_t> previous, current;
  for (std::string_view candidate : candidates) {
    const std::string b = unicode_lower(candidate);
    std::size_t length_gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    if (length_gap > kMaxSuggestionDistance) continue;
    std::optional<std::size_t> distance =
        bounded_distance(a, b, kMaxSuggestionDistance, previous, current);
    if (!distance) continue;
    if (!best || *distance < best_distance) {
      best = candidate;
      best_distance = *distance;
    }
  }
  return best;
}

}  // namespace tessark
