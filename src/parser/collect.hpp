// Name collectors over a syntax tree: the node labels, relationship types and property keys a
// query mentions, for extraction without a schema.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "parser/ast.hpp"

namespace tessark {

// Each list is sorted in ascending byte order, without duplicates; names are as written.
struct QueryNames {
  std::vector<std::string> labels;
  std::vector<std::string> rel_types;
  std::vector<std::string> properties;
};

// What is walked: MATCH patterns and WHERE, CREATE patterns, MERGE pattern parts, and the
// explicit RETURN items, in every single query and UNION part (for multi-part queries, the
// clauses of each stage but not its WITH). A pattern contributes its node labels, its
// relationship types and the keys and values of its node property maps (not those of
// relationships); an expression contributes the keys of its property accesses. Not walked:
// UNWIND, CALL, SET, REMOVE, DELETE, MERGE actions, WITH clauses, ORDER BY, SKIP, LIMIT, the keys
// of map literals, and EXISTS patterns; an EXISTS query body gives only its property keys.
// A standalone CALL gives nothing.
QueryNames collect_query_names(const CypherQuery& query);

// What extraction reports for one query text: the names on success; on a parse or build
// failure no names and one error, the error's text form ("Parse error: " and the message).
struct QueryInfo {
  bool is_valid = false;
  QueryNames names;
  std::vector<std::string> errors;
};
QueryInfo extract_query_info(std::string_view text);

}  // namespace tessark
