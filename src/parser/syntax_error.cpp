// The syntax error of a failed run and its six-line report.
#include <algorithm>
#include <string>
#include <utility>

#include "parser/grammar.hpp"
#include "parser/peg.hpp"

namespace tessark {
namespace {

void sort_unique(std::vector<Rule>& rules) {
  std::sort(rules.begin(), rules.end());
  rules.erase(std::unique(rules.begin(), rules.end()), rules.end());
}

// One name; "a or b"; "a, b, or c".
std::string list_rules(const std::vector<Rule>& rules) {
  std::string out;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (i > 0) {
      if (rules.size() == 2) {
        out += " or ";
      } else {
        out += i + 1 == rules.size() ? ", or " : ", ";
      }
    }
    out += rule_name(rules[i]);
  }
  return out;
}

// The line of `position`, from after the previous "\n" up to and including the next one.
// Line breaks are made visible when the position itself is on one, and dropped otherwise.
std::string line_text_at(std::string_view text, std::size_t position) {
  const std::size_t previous_break =
      position == 0 ? std::string_view::npos : text.rfind('\n', position - 1);
  const std::size_t begin = previous_break == std::string_view::npos ? 0 : previous_break + 1;
  const std::size_t next_break = position < text.size() ? text.find('\n', position)
                                                        : std::string_view::npos;
  const std::size_t end = next_break == std::string_view::npos ? text.size() : next_break + 1;
  const bool on_break = position < text.size() && (text[position] == '\n' || text[position] == '\r');
  std::string out;
  for (char c : text.substr(begin, end - begin)) {
    if (c == '\r') {
      if (on_break) out += "\u240D";
    } else if (c == '\n') {
      if (on_break) out += "\u240A";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

SyntaxError syntax_error_at(std::string_view text, std::size_t position, std::vector<Rule> expected,
                            std::vector<Rule> unexpected) {
  sort_unique(expected);
  sort_unique(unexpected);
  position = std::min(position, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < position;) {
    if (text[i] == '\n') {
      ++line, column = 1, ++i;
    } else if (text[i] == '\r' && i + 1 < position && text[i + 1] == '\n') {
      ++line, column = 1, i += 2;
    } else {
      ++column, i += peg::char_length(text, i);
    }
  }
  return SyntaxError{std::move(expected), std::move(unexpected), position, line, column,
                     line_text_at(text, position)};
}

std::string SyntaxError::message() const {
  if (!unexpected.empty() && !expected.empty()) {
    return "unexpected " + list_rules(unexpected) + "; expected " + list_rules(expected);
  }
  if (!unexpected.empty()) return "unexpected " + list_rules(unexpected);
  if (!expected.empty()) return "expected " + list_rules(expected);
  return "unknown parsing error";
}

std::string SyntaxError::report() const {
  const std::string number = std::to_string(line);
  const std::string gutter(number.size(), ' ');
  std::string underline;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < line_text.size() && copied + 1 < column;
       i += peg::char_length(line_text, i), ++copied) {
    underline += line_text[i] == '\t' ? '\t' : ' ';
  }
  underline += "^---";
  std::string out;
  out += gutter + "--> " + number + ":" + std::to_string(column) + "\n";
  out += gutter + " |\n";
  out += number + " | " + line_text + "\n";
  out += gutter + " | " + underline + "\n";
  out += gutter + " |\n";
  out += gutter + " = " + message();
  return out;
}

}  // namespace tessark
