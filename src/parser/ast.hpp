// The typed syntax tree of one query: plain value types built by the tree builder (builder.hpp)
// and only read by its consumers (the validator, the name collectors of collect.hpp).
//
// Ownership. Every node owns its children: fields and lists hold them by value, sub-expressions
// sit behind a `Box` (an owning pointer whose copy is a deep copy). Nothing is shared, nothing
// points back, nothing refers to the query text; copying any node copies its whole subtree.
//
// Tagged unions. Each type with alternatives wraps a `std::variant` named `value`, whose
// alternatives are nested types named after them (`ReadingClause::Match`), or, where the payload
// is itself a tree type, an alias of it (`CypherQuery::Regular` is `RegularQuery`). Read with
// `node.as<T>()` (null when another alternative is held) or `std::visit` on `value`.
// `Expr`'s 45 alternatives are namespace-level types (`Or`, `Variable`, ...) in declared order.
//
// Depth. A chain of operators folds into a left-deep tree without any brackets, so an
// expression can be as deep as the query is long. Two mechanisms keep that safe:
//  - destroying an `Expr` is iterative (an explicit work list), so a tree of any depth is
//    freed without deep recursion while it is being built or rejected;
//  - `parse` (builder.hpp) rejects a query whose expressions nest deeper than
//    `kMaxExpressionDepth` with a Parse error. Copying and the consumers' walks recurse once per
//    level, and within that bound they are safe on a 512 KiB thread stack.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace tessark {

// Owning pointer with value semantics: copying copies the pointee. Empty only after being moved
// from, or where a field documents that empty means "absent".
template <typename T>
class Box {
 public:
  Box() = default;
  Box(T value) : ptr_(new T(std::move(value))) {}
  Box(const Box& other) : ptr_(other.ptr_ ? new T(*other.ptr_) : nullptr) {}
  Box(Box&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  Box& operator=(Box other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~Box() { delete ptr_; }

  explicit operator bool() const { return ptr_ != nullptr; }
  T& operator*() { return *ptr_; }
  const T& operator*() const { return *ptr_; }
  T* operator->() { return ptr_; }
  const T* operator->() const { return ptr_; }
  T* get() { return ptr_; }
  const T* get() const { return ptr_; }

 private:
  T* ptr_ = nullptr;
};

// Shared accessors of the tagged unions below.
template <typename Derived>
struct TaggedUnion {
  template <typename T>
  const T* as() const {
    return std::get_if<T>(&static_cast<const Derived&>(*this).value);
  }
  template <typename T>
  bool is() const {
    return as<T>() != nullptr;
  }
};

struct Expr;
struct ExistsSubquery;
struct CaseAlternative;

// Property key to value. Keys are unique; iteration follows the keys' byte order (callers must
// not rely on any order: the written order of the entries is not kept).
using PropertyMap = std::map<std::string, Expr, std::less<>>;

// ---- Expr alternatives, in declared order. An optional sub-expression is an empty Box. ----

struct IntegerLiteral { std::int64_t value = 0; };
struct FloatLiteral { double value = 0.0; };
struct StringLiteral { std::string value; };  // between the quotes, escapes not interpreted
struct BooleanLiteral { bool value = false; };
struct NullLiteral {};
struct ListLiteral { std::vector<Expr> elements; };
struct MapLiteral { PropertyMap entries; };
struct Variable { std::string name; };  // as written, backticks kept
struct PropertyAccess { Box<Expr> expression; std::string key; };
struct Subscript { Box<Expr> expression; Box<Expr> index; };
struct Slice { Box<Expr> expression; Box<Expr> from; Box<Expr> to; };  // from, to optional
struct Parameter { std::string name; };  // without its leading '$'
struct Or { Box<Expr> left; Box<Expr> right; };
struct Xor { Box<Expr> left; Box<Expr> right; };
struct And { Box<Expr> left; Box<Expr> right; };
struct Not { Box<Expr> operand; };
struct Equal { Box<Expr> left; Box<Expr> right; };
struct NotEqual { Box<Expr> left; Box<Expr> right; };
struct LessThan { Box<Expr> left; Box<Expr> right; };
struct LessThanOrEqual { Box<Expr> left; Box<Expr> right; };
struct GreaterThan { Box<Expr> left; Box<Expr> right; };
struct GreaterThanOrEqual { Box<Expr> left; Box<Expr> right; };
struct RegexMatch { Box<Expr> left; Box<Expr> right; };
struct IsNull { Box<Expr> operand; };
struct IsNotNull { Box<Expr> operand; };
struct In { Box<Expr> left; Box<Expr> right; };
struct StartsWith { Box<Expr> left; Box<Expr> right; };
struct EndsWith { Box<Expr> left; Box<Expr> right; };
struct Contains { Box<Expr> left; Box<Expr> right; };
struct Add { Box<Expr> left; Box<Expr> right; };
struct Subtract { Box<Expr> left; Box<Expr> right; };
struct Multiply { Box<Expr> left; Box<Expr> right; };
struct Divide { Box<Expr> left; Box<Expr> right; };
struct Modulo { Box<Expr> left; Box<Expr> right; };
struct Power { Box<Expr> left; Box<Expr> right; };
struct Negate { Box<Expr> operand; };
struct FunctionCall {
  std::string name;  // as written, namespace included
  std::vector<Expr> arguments;
  bool distinct = false;
};
struct CountStar {};
struct Case {
  Box<Expr> subject;  // optional
  std::vector<CaseAlternative> alternatives;
  Box<Expr> else_expression;  // optional
};
// `list` is always present (NullLiteral, with an empty variable, when the source gives none).
struct ListComprehension {
  std::string variable;
  Box<Expr> list;
  Box<Expr> predicate;   // optional
  Box<Expr> projection;  // optional
};
struct QuantifierAll { std::string variable; Box<Expr> list; Box<Expr> predicate; };
struct QuantifierAny { std::string variable; Box<Expr> list; Box<Expr> predicate; };
struct QuantifierNone { std::string variable; Box<Expr> list; Box<Expr> predicate; };
struct QuantifierSingle { std::string variable; Box<Expr> list; Box<Expr> predicate; };
struct Exists { Box<ExistsSubquery> subquery; };

struct Expr : TaggedUnion<Expr> {
  using Value = std::variant<
      IntegerLiteral, FloatLiteral, StringLiteral, BooleanLiteral, NullLiteral, ListLiteral,
      MapLiteral, Variable, PropertyAccess, Subscript, Slice, Parameter, Or, Xor, And, Not, Equal,
      NotEqual, LessThan, LessThanOrEqual, GreaterThan, GreaterThanOrEqual, RegexMatch, IsNull,
      IsNotNull, In, StartsWith, EndsWith, Contains, Add, Subtract, Multiply, Divide, Modulo,
      Power, Negate, FunctionCall, CountStar, Case, ListComprehension, QuantifierAll,
      QuantifierAny, QuantifierNone, QuantifierSingle, Exists>;
  Value value;

  template <typename T>
  static constexpr bool kIsAlternative = []<typename... Ts>(std::variant<Ts...>*) {
    return (std::is_same_v<T, Ts> || ...);
  }(static_cast<Value*>(nullptr));

  Expr() = default;  // holds IntegerLiteral 0 until assigned
  template <typename T>
    requires kIsAlternative<std::decay_t<T>>
  Expr(T&& alternative) : value(std::forward<T>(alternative)) {}
  Expr(const Expr&) = default;
  Expr(Expr&&) noexcept = default;
  Expr& operator=(const Expr&) = default;
  Expr& operator=(Expr&&) noexcept = default;
  ~Expr();  // iterative: frees a subtree of any depth without deep recursion
};

static_assert(std::variant_size_v<Expr::Value> == 45);

struct CaseAlternative {
  Expr condition;
  Expr result;
};

// ---- Queries, clauses and patterns ----

// The target of SET and REMOVE items: `n.a.b` is variable n, keys [a, b].
struct PropertyExpr {
  std::string variable;  // empty when the written target has no variable
  std::vector<std::string> keys;
};

struct MapOrParam : TaggedUnion<MapOrParam> {
  using Map = PropertyMap;
  struct Param { std::string name; };  // without its leading '$'
  std::variant<Map, Param> value;
};

struct NodePattern {
  std::optional<std::string> variable;
  std::vector<std::string> labels;  // written order
  std::optional<MapOrParam> properties;
};

// Outgoing: (a)-->(b), from the left node to the right one; Incoming: (a)<--(b), and also
// (a)<-->(b); Undirected: (a)--(b).
enum class Direction { Outgoing, Incoming, Undirected };

// `*` gives both bounds absent, `*3` both 3, `*1..3` 1 and 3, `*2..` 2 and absent. A bound that
// is not a valid decimal 64-bit integer is absent as well.
struct LengthRange {
  std::optional<std::int64_t> min;
  std::optional<std::int64_t> max;
};

struct RelationshipPattern {
  std::optional<std::string> variable;
  std::vector<std::string> rel_types;  // the alternatives of :A|B, written order
  std::optional<LengthRange> length;   // present exactly when a `*` range is written
  std::optional<MapOrParam> properties;
  Direction direction = Direction::Undirected;
};

// One relationship of a path and the node it leads to (the "right" node).
struct PatternStep {
  RelationshipPattern relationship;
  NodePattern node;
};

struct PatternPart {
  std::optional<std::string> variable;  // the path name of `p = (...)`
  NodePattern start;
  std::vector<PatternStep> chain;  // empty for a path of one node
};

struct Pattern {
  std::vector<PatternPart> parts;  // the comma-separated paths, source order
};

struct SetItem : TaggedUnion<SetItem> {
  struct Property { PropertyExpr target; Expr value; };        // SET n.key = value
  struct Replace { std::string variable; Expr value; };        // SET n = value
  struct Append { std::string variable; Expr value; };         // SET n += value
  struct Labels { std::string variable; std::vector<std::string> labels; };  // SET n:A:B
  std::variant<Property, Replace, Append, Labels> value;
};

struct RemoveItem : TaggedUnion<RemoveItem> {
  struct Labels { std::string variable; std::vector<std::string> labels; };  // REMOVE n:A
  using Property = PropertyExpr;                                            // REMOVE n.key
  std::variant<Labels, Property> value;
};

// `YIELD a` is field absent, variable a; `YIELD a AS b` is field a, variable b.
struct YieldItem {
  std::optional<std::string> field;
  std::string variable;  // empty if the item has no variable
};

struct CallClause {
  std::string procedure;  // as written, dotted namespace included
  std::vector<Expr> arguments;
  std::vector<YieldItem> yield_items;
};

struct ReturnItem {
  Expr expression;
  std::optional<std::string> alias;
};

struct SortItem {
  Expr expression;
  bool descending = false;
};

// `RETURN *` is `Items` with an empty list; consumers treat `All` and empty `Items` alike.
struct ReturnItems : TaggedUnion<ReturnItems> {
  struct All {};
  struct Items { std::vector<ReturnItem> items; };
  std::variant<All, Items> value;
};

struct ReturnClause {
  bool distinct = false;
  ReturnItems items;
  std::optional<std::vector<SortItem>> order_by;
  std::optional<Expr> skip;
  std::optional<Expr> limit;
};

struct WithClause {
  bool distinct = false;
  std::vector<ReturnItem> items;  // empty for WITH *
  std::optional<std::vector<SortItem>> order_by;
  std::optional<Expr> skip;
  std::optional<Expr> limit;
  std::optional<Expr> where_clause;
};

struct ReadingClause : TaggedUnion<ReadingClause> {
  struct Match {
    Pattern pattern;
    std::optional<Expr> where_clause;
    bool optional;  // no initializer: it would make the enclosing variant non-default-constructible
  };
  struct Unwind {
    Expr expression;
    std::string variable;
  };
  using Call = CallClause;
  std::variant<Match, Unwind, Call> value;
};

struct UpdatingClause : TaggedUnion<UpdatingClause> {
  using Create = Pattern;
  struct Merge {
    PatternPart pattern;
    std::vector<std::vector<SetItem>> on_match;   // one inner list per ON MATCH action
    std::vector<std::vector<SetItem>> on_create;  // one inner list per ON CREATE action
  };
  struct Set { std::vector<SetItem> items; };
  struct Remove { std::vector<RemoveItem> items; };
  struct Delete {
    std::vector<Expr> expressions;
    bool detach;  // no initializer, as ReadingClause::Match::optional
  };
  std::variant<Create, Merge, Set, Remove, Delete> value;
};

// The clauses written since the previous WITH (or the start) and the WITH closing them.
struct QueryStage {
  std::vector<ReadingClause> reading_clauses;
  std::vector<UpdatingClause> updating_clauses;
  WithClause with_clause;
};

struct MultiPartQuery {
  std::vector<QueryStage> parts;
  std::vector<ReadingClause> reading_clauses;    // after the last WITH
  std::vector<UpdatingClause> updating_clauses;  // after the last WITH
  std::optional<ReturnClause> return_clause;
};

struct SingleQuery : TaggedUnion<SingleQuery> {
  struct SinglePart {
    std::vector<ReadingClause> reading_clauses;
    std::vector<UpdatingClause> updating_clauses;
    std::optional<ReturnClause> return_clause;
  };
  using MultiPart = MultiPartQuery;
  std::variant<SinglePart, MultiPart> value;
};

struct UnionPart {
  bool all = false;  // UNION ALL
  SingleQuery query;
};

struct RegularQuery {
  SingleQuery first;
  std::vector<UnionPart> unions;  // source order; empty without UNION
};

struct CypherQuery : TaggedUnion<CypherQuery> {
  using Regular = RegularQuery;
  using StandaloneCall = CallClause;  // never produced by parsing (a lone CALL is Regular)
  std::variant<Regular, StandaloneCall> value;
};

// The body of EXISTS { ... }; parsing produces only the Pattern form.
struct ExistsSubquery : TaggedUnion<ExistsSubquery> {
  using Query = RegularQuery;
  using Pattern = tessark::Pattern;
  std::variant<Query, Pattern> value;
};

// Calls `visit(child)` for each direct sub-expression of `expr` (an `Expr` or `const Expr`),
// in the field order of its alternative; absent optional children are skipped. The body of an
// EXISTS is not entered: it is a pattern or a query, walked by whoever needs it.
template <typename E, typename Visit>
  requires std::is_same_v<std::remove_const_t<E>, Expr>
void for_each_subexpression(E& expr, Visit&& visit) {
  auto one = [&visit](auto& child) {
    if (child) visit(*child);
  };
  std::visit(
      [&](auto& node) {
        using T = std::remove_cvref_t<decltype(node)>;
        if constexpr (requires { node.left; node.right; }) {
          one(node.left);
          one(node.right);
        } else if constexpr (requires { node.operand; }) {
          one(node.operand);
        } else if constexpr (std::is_same_v<T, ListLiteral>) {
          for (auto& element : node.elements) visit(element);
        } else if constexpr (std::is_same_v<T, MapLiteral>) {
          for (auto& entry : node.entries) visit(entry.second);
        } else if constexpr (std::is_same_v<T, PropertyAccess>) {
          one(node.expression);
        } else if constexpr (std::is_same_v<T, Subscript>) {
          one(node.expression);
          one(node.index);
        } else if constexpr (std::is_same_v<T, Slice>) {
          one(node.expression);
          one(node.from);
          one(node.to);
        } else if constexpr (std::is_same_v<T, FunctionCall>) {
          for (auto& argument : node.arguments) visit(argument);
        } else if constexpr (std::is_same_v<T, Case>) {
          one(node.subject);
          for (auto& alternative : node.alternatives) {
            visit(alternative.condition);
            visit(alternative.result);
          }
          one(node.else_expression);
        } else if constexpr (std::is_same_v<T, ListComprehension>) {
          one(node.list);
          one(node.predicate);
          one(node.projection);
        } else if constexpr (requires { node.list; node.predicate; }) {
          one(node.list);
          one(node.predicate);
        }
      },
      expr.value);
}

}  // namespace tessark
