// Tessark::validate: the parse entry, then a fresh semantic validator over the tree.
#include "validator/driver.hpp"

#include "parser/builder.hpp"
#include "validator/semantic.hpp"

namespace tessark {

ValidationResult Tessark::validate(std::string_view query) const {
  ValidationResult result;
  Result<CypherQuery> tree = parse(query);
  if (!tree) {
    const CypherError& error = tree.error();
    std::string message = error.kind == CypherError::Kind::Parse ? error.message : error.text();
    result.is_valid = false;
    result.errors.push_back(message);
    result.syntax_errors.push_back(std::move(message));
    return result;
  }
  SemanticValidator validator(schema_);
  validator.validate_query(*tree);
  result.semantic_errors = validator.take_errors();
  result.errors = result.semantic_errors;
  result.is_valid = result.errors.empty();
  return result;
}

MapResult<ValidationResult> Tessark::validate_batch(std::span<const std::string> queries) const {
  return parallel_map<ValidationResult>(queries.size(),
                                        [&](std::size_t i) { return validate(queries[i]); });
}

}  // namespace tessark
