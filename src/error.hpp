// The core's one error value and the Result type every fallible core operation returns.
// Nothing in the core throws for bad input: failures travel as values up to the caller.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace tessark {

struct CypherError {
  enum class Kind { Parse, Semantic, Generator };

  Kind kind;
  std::string message;  // without the kind's prefix

  static CypherError parse(std::string message) { return {Kind::Parse, std::move(message)}; }
  static CypherError generator(std::string message) {
    return {Kind::Generator, std::move(message)};
  }

  // "Parse error: ", "Semantic error: " or "Generator error: " followed by the message.
  std::string text() const {
    std::string_view prefix = kind == Kind::Parse      ? "Parse error: "
                              : kind == Kind::Semantic ? "Semantic error: "
                                                       : "Generator error: ";
    std::string out(prefix);
    out += message;
    return out;
  }
};

// Holds a T or a CypherError; false only on error.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(CypherError error) : state_(std::in_place_index<1>, std::move(error)) {}

  explicit operator bool() const { return state_.index() == 0; }
  bool ok() const { return state_.index() == 0; }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  CypherError& error() & { return std::get<1>(state_); }
  const CypherError& error() const& { return std::get<1>(state_); }
  CypherError&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, CypherError> state_;
};

}  // namespace tessark

#define TESSARK_CONCAT_INNER(a, b) a##b
#define TESSARK_CONCAT(a, b) TESSARK_CONCAT_INNER(a, b)

// TRY_ASSIGN(auto x, expr): evaluates expr (a Result); on error returns the CypherError as is,
// otherwise declares x with the value.
#define TRY_ASSIGN(decl, expr) TRY_ASSIGN_IMPL(TESSARK_CONCAT(try_result_, __LINE__), decl, expr)
#define TRY_ASSIGN_IMPL(tmp, decl, expr)          \
  auto tmp = (expr);                              \
  if (!tmp) return std::move(tmp).error();        \
  decl = std::move(tmp).value()
