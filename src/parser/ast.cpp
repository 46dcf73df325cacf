// Iterative destruction of expression trees (see the depth note in ast.hpp).
#include "parser/ast.hpp"

namespace tessark {
namespace {

// Moves the direct sub-expressions of `expr` into `out`, leaving `expr` without children, so
// destroying it afterwards recurses no further. The body of an EXISTS is left in place: it is a
// pattern or query whose own expressions are freed by their own iterative destructors.
void take_children(Expr& expr, std::vector<Expr>& out) {
  auto take = [&out](Box<Expr>& child) {
    if (child) out.push_back(std::move(*child));
  };
  auto take_all = [&out](std::vector<Expr>& children) {
    for (Expr& child : children) out.push_back(std::move(child));
    children.clear();
  };
  std::visit(
      [&](auto& node) {
        using T = std::decay_t<decltype(node)>;
        if constexpr (requires { node.left; node.right; }) {
          take(node.left);
          take(node.right);
        } else if constexpr (requires { node.operand; }) {
          take(node.operand);
        } else if constexpr (std::is_same_v<T, ListLiteral>) {
          take_all(node.elements);
        } else if constexpr (std::is_same_v<T, MapLiteral>) {
          for (auto& entry : node.entries) out.push_back(std::move(entry.second));
          node.entries.clear();
        } else if constexpr (std::is_same_v<T, PropertyAccess>) {
          take(node.expression);
        } else if constexpr (std::is_same_v<T, Subscript>) {
          take(node.expression);
          take(node.index);
        } else if constexpr (std::is_same_v<T, Slice>) {
          take(node.expression);
          take(node.from);
          take(node.to);
        } else if constexpr (std::is_same_v<T, FunctionCall>) {
          take_all(node.arguments);
        } else if constexpr (std::is_same_v<T, Case>) {
          take(node.subject);
          for (CaseAlternative& alternative : node.alternatives) {
            out.push_back(std::move(alternative.condition));
            out.push_back(std::move(alternative.result));
          }
          node.alternatives.clear();
          take(node.else_expression);
        } else if constexpr (requires { node.list; node.predicate; }) {
          take(node.list);
          take(node.predicate);
          if constexpr (requires { node.projection; }) take(node.projection);
        }
      },
      expr.value);
}

bool is_leaf(const Expr& expr) {
  return expr.is<IntegerLiteral>() || expr.is<FloatLiteral>() || expr.is<StringLiteral>() ||
         expr.is<BooleanLiteral>() || expr.is<NullLiteral>() || expr.is<Variable>() ||
         expr.is<Parameter>() || expr.is<CountStar>() || expr.is<Exists>();
}

}  // namespace

Expr::~Expr() {
  if (is_leaf(*this)) return;
  std::vector<Expr> pending;
  take_children(*this, pending);
  while (!pending.empty()) {
    Expr next = std::move(pending.back());
    pending.pop_back();
    take_children(next, pending);
  }  // `next` dies here, childless
}

}  // namespace tessark
