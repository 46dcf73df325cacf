// TEST ONLY: a compact text form of syntax trees, so tests can assert whole trees in one
// string. Expressions print as constructor calls named after their alternatives
// (`Or(Or(a, b), c)`, `Prop(n, name)`), patterns and clauses in a Cypher-like shape
// (`MATCH (a:A)-[r:R *1..3]->(b) WHERE ...`). Absent optional parts print as `_`.
#pragma once

#include <string>

#include "parser/ast.hpp"

namespace tessark::testing {

std::string dump(const Expr& expr);
std::string dump(const Pattern& pattern);
std::string dump(const PatternPart& part);
std::string dump(const ReadingClause& clause);
std::string dump(const UpdatingClause& clause);
std::string dump(const SingleQuery& query);
std::string dump(const RegularQuery& query);
std::string dump(const CypherQuery& query);

}  // namespace tessark::testing
