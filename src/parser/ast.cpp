// Iterative destruction of expression trees (see the depth note in ast.hpp).
#include "parser/ast.hpp"

namespace tessark {
namespace {

bool is_leaf(const Expr& expr) {
  return expr.is<IntegerLiteral>() || expr.is<FloatLiteral>() || expr.is<StringLiteral>() ||
         expr.is<BooleanLiteral>() || expr.is<NullLiteral>() || expr.is<Variable>() ||
         expr.is<Parameter>() || expr.is<CountStar>() || expr.is<Exists>();
}

}  // namespace

// Children are moved out onto a work list before their parent dies, so every Expr destroyed
// along the way is already childless and nothing recurses. The moved-from children left in the
// parent are childless too. An EXISTS body is freed by its own destructors (its depth is that
// of the braces written, which the grammar bounds).
Expr::~Expr() {
  if (is_leaf(*this)) return;
  std::vector<Expr> pending;
  auto take = [&pending](Expr& child) { pending.push_back(std::move(child)); };
  for_each_subexpression(*this, take);
  while (!pending.empty()) {
    Expr next = std::move(pending.back());
    pending.pop_back();
    if (!is_leaf(next)) for_each_subexpression(next, take);
  }
}

}  // namespace tessark
