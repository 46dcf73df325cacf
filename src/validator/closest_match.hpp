// The candidate behind a "did you mean" suggestion for a misspelt label or relationship type.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace tessark {

// Largest edit distance, and largest difference in byte length, that still gives a suggestion.
inline constexpr std::size_t kMaxSuggestionDistance = 3;

// The candidate closest to `name` by byte-wise Levenshtein distance between the full Unicode
// lower cases of both, if that distance is at most kMaxSuggestionDistance; ties go to the earlier
// candidate. Returns the candidate as stored (its own letter case), or nullopt.
std::optional<std::string_view> closest_match(std::string_view name,
                                              std::span<const std::string_view> candidates);

}  // namespace tessark
