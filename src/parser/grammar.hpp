// The query grammar run: one rule of the grammar over a query text, giving the match tree or a
// syntax error with its six-line report. The rules themselves are in grammar.cpp, the runtime
// that runs them in peg.hpp. Every run keeps its state to itself; any number may run at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error.hpp"
#include "parser/limits.hpp"
#include "parser/match.hpp"
#include "parser/rule.hpp"

namespace tessark {

// A failed run: the rules expected (and, under negative lookahead, unexpected) at the furthest
// position any rule failed at, each list sorted by ordinal without duplicates.
struct SyntaxError {
  std::vector<Rule> expected, unexpected;
  std::size_t position;   // byte offset into the text, at most its length
  std::size_t line;       // from 1; "\n" and "\r\n" break lines
  std::size_t column;     // from 1, in characters
  std::string line_text;  // the line holding the position, line breaks removed or made visible

  // "expected a, b, or c" and the other message forms.
  std::string message() const;
  // The six lines users see: position header, the line, a caret under the position, message.
  std::string report() const;
};

// The syntax error for a failure at `position` of `text` with the given lists: sorts and
// de-duplicates them and finds the line, column and line text.
SyntaxError syntax_error_at(std::string_view text, std::size_t position, std::vector<Rule> expected,
                            std::vector<Rule> unexpected);

// A run stopped by a limit of our own rather than by the grammar (nesting, text size).
struct ParseLimitError {
  std::string message;
};

// How a run treats a rule that runs again at a position it already ran at: `memoised` replays
// the first run's outcome (linear cost), `plain` parses again (exponential on some nestings;
// kept for differential tests). Both give identical results.
enum class ParseMode { memoised, plain };

// What a run cost: entries into normal and atomic rules (memo replays are not entries).
struct ParseStats {
  std::uint64_t rule_invocations = 0;
};

class CypherParser {
 public:
  // Match tree (borrowing `text`) or the syntax error (kind Parse, message = report text, or the
  // message of a limit error).
  static Result<MatchTree> parse(Rule rule, std::string_view text);
  // Same run, with the structured error for tests.
  static std::variant<MatchTree, SyntaxError, ParseLimitError> run(
      Rule rule, std::string_view text, ParseMode mode = ParseMode::memoised,
      ParseStats* stats = nullptr);
};

// "Query nested too deeply (more than N levels)".
std::string nesting_limit_message();
// "Query text too long (more than N bytes)".
std::string text_size_limit_message();

// Compact one-line form of a match tree: rule names, inner matches in brackets, siblings
// separated by spaces, e.g. cypher[statement[...] EOI].
std::string print_match_tree(const MatchTree& tree);

}  // namespace tessark
