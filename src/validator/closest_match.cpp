// Suggestion search: a linear scan with a length filter and a two-row edit distance that gives
// up as soon as a whole row exceeds the bound.
#include "validator/closest_match.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "validator/unicode_lower.hpp"

namespace tessark {
namespace {

// Levenshtein distance of a and b over bytes, or nullopt once it must exceed `bound`. Two rows,
// each abandoned when its smallest entry exceeds the bound. Only the cells within `bound` of the
// diagonal are computed: any other cell is more than `bound` (it needs that many insertions or
// deletions) and is held at bound + 1, so the row minima, and the result, are those of the full
// table while a long name costs O(length) instead of O(length^2).
std::optional<std::size_t> bounded_distance(std::string_view a, std::string_view b,
                                            std::size_t bound, std::vector<std::size_t>& previous,
                                            std::vector<std::size_t>& current) {
  const std::size_t cap = bound + 1;
  previous.assign(b.size() + 1, cap);
  current.assign(b.size() + 1, cap);
  for (std::size_t j = 0; j <= std::min(b.size(), bound); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    const std::size_t lo = i > bound ? i - bound : 1;
    const std::size_t hi = std::min(b.size(), i + bound);
    current[0] = std::min(i, cap);
    if (lo > 1) current[lo - 1] = cap;
    std::size_t row_min = current[0];
    for (std::size_t j = lo; j <= hi; ++j) {
      std::size_t diagonal = previous[j - 1];
      std::size_t value = a[i - 1] == b[j - 1]
                              ? diagonal
                              : 1 + std::min({diagonal, previous[j], current[j - 1]});
      current[j] = std::min(value, cap);
      row_min = std::min(row_min, current[j]);
    }
    if (hi < b.size()) current[hi + 1] = cap;
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
