// Suggestions: full Unicode lower-casing and the bounded edit-distance search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "validator/closest_match.hpp"
#include "validator/unicode_lower.hpp"

namespace tessark {
namespace {

TEST(UnicodeLower, MapsFullCaseIncludingFinalSigma) {
  struct Case {
    std::string_view text;
    std::string_view lower;
  };
  const Case cases[] = {
      {"", ""},
      {"Person", "person"},
      {"ACTED_IN", "acted_in"},
      {"ÄÖÜ Ærø", "äöü ærø"},
      {"Ǆ ǅ", "ǆ ǆ"},                 // title case and upper case digraphs
      {"ẞ", "ß"},                      // three bytes become two
      {"İstanbul", "i̇stanbul"},       // U+0130 becomes i + U+0307: two bytes become three
      {"ΟΔΟΣ", "οδος"},                // capital sigma at the end of a word: final form
      {"Σ", "σ"},                      // alone, no cased letter before it: not final
      {"ΣΑ", "σα"},                    // at the start of a word
      {"ΑΣ ΒΣ", "ας βς"},              // each word ends in a final sigma
      {"ΑΣ.Β", "ασ.β"},                // '.' is case-ignorable: a cased letter follows
      {"Α.Σ", "α.ς"},                  // and precedes
      {"ΑΣ1", "ας1"},                  // a digit is neither cased nor ignorable
      {"ДОМ", "дом"},
      {"𐐀", "𐐨"},                      // outside the basic plane
      {"日本", "日本"},
      {"a\xFF" "B\xC3", "a\xFF" "b\xC3"},  // invalid UTF-8 bytes pass through unchanged
  };
  for (const Case& c : cases) EXPECT_EQ(unicode_lower(c.text), c.lower) << c.text;
}

std::optional<std::string> suggest(std::string_view name, std::vector<std::string_view> candidates) {
  std::optional<std::string_view> match = closest_match(name, candidates);
  if (!match) return std::nullopt;
  return std::string(*match);
}

TEST(ClosestMatch, PicksTheNearestCandidateWithinThreeEdits) {
  struct Case {
    std::string_view name;
    std::vector<std::string_view> candidates;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"Persn", {"Movie", "Person"}, "Person"},
      {"person", {"Person"}, "Person"},            // distance 0 after lower-casing
      {"PERSON", {"person"}, "person"},            // the candidate comes back as stored
      {"Xyzzy", {"Movie", "Person"}, std::nullopt},
      {"ab", {"ABC", "ABD"}, "ABC"},               // a tie goes to the earlier candidate
      {"ab", {"ABD", "ABC"}, "ABD"},
      {"abcdef", {"abcxyz"}, "abcxyz"},            // distance exactly 3
      {"abcdefg", {"abcwxyz"}, std::nullopt},      // distance 4
      {"kitten", {"sitting"}, "sitting"},          // 3, with different lengths
      {"kitten", {"sittingx"}, std::nullopt},      // 4
      {"abcd", {"wxyz", "abxy", "abcx"}, "abcx"},  // a strictly closer later candidate wins
      {"ab", {"abcdef"}, std::nullopt},            // four bytes longer: filtered out
      {"abcdef", {"ab"}, std::nullopt},            // four bytes shorter
      {"abc", {""}, "",},                          // empty candidate at distance 3
      {"abcd", {""}, std::nullopt},
      {"", {"abc"}, "abc"},
      {"x", {}, std::nullopt},
      {"mövie", {"Movie"}, "Movie"},               // ö is two bytes: distance 2
      {"MÖVIE", {"möbie"}, "möbie"},               // non-ASCII letters compare case-insensitively
      {"ΟΔΟΣ", {"οδος"}, "οδος"},                  // final sigma matches the final form
      {"ΟΔΟΣ", {"οδοσx"}, "οδοσx"},                // ς vs σ differ in one byte, plus one insertion
      {"İ", {"i"}, "i"},                           // lower case i + U+0307: two bytes more
      {"İİ", {"ii"}, std::nullopt},                // four bytes more after lower-casing
      {"日本語", {"日本人"}, "日本人"},            // one character differs: up to 3 bytes
      {"日本", {"中国"}, std::nullopt},            // six bytes differ
  };
  for (const Case& c : cases) EXPECT_EQ(suggest(c.name, c.candidates), c.expected) << c.name;
}

// Long names of nearly equal length: a near candidate is still found, and the search stays
// linear in the length (a full quadratic table would take minutes here).
TEST(ClosestMatch, LongNamesStayCheap) {
  std::string name(1000000, 'a');
  std::string far(1000000, 'b');
  std::string near = name;
  near[500000] = 'c';
  near.insert(0, "xy");
  EXPECT_EQ(suggest(name, {far, near}), near);
}

// The textbook full-table distance, as a reference for the bounded search on ASCII names.
std::size_t full_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j)
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
  return d[a.size()][b.size()];
}

TEST(ClosestMatch, AgreesWithTheFullTableOnRandomNames) {
  std::mt19937 random(20261211);
  auto word = [&] {
    std::string w(random() % 9, ' ');
    for (char& c : w) c = "abcA"[random() % 4];
    return w;
  };
  auto lower = [](std::string w) {
    for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return w;
  };
  for (int round = 0; round < 5000; ++round) {
    std::string name = word();
    std::vector<std::string> owned(1 + random() % 4);
    for (std::string& c : owned) c = word();
    std::optional<std::string> expected;
    std::size_t best = 0;
    for (const std::string& c : owned) {
      std::size_t gap = name.size() > c.size() ? name.size() - c.size() : c.size() - name.size();
      std::size_t distance = full_distance(lower(name), lower(c));
      if (gap > 3 || distance > 3) continue;
      if (!expected || distance < best) expected = c, best = distance;
    }
    std::vector<std::string_view> candidates(owned.begin(), owned.end());
    EXPECT_EQ(suggest(name, candidates), expected) << name << " round " << round;
  }
}

}  // namespace
}  // namespace tessark
