// The validation driver: one query text in, one ValidationResult out, syntax problems and
// schema problems kept apart. Batches run the same on the process-wide pool (thread_pool.hpp).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "schema.hpp"
#include "validator/thread_pool.hpp"

namespace tessark {

struct ValidationResult {
  bool is_valid = true;                      // exactly when errors is empty
  std::vector<std::string> errors;           // syntax and semantic together
  std::vector<std::string> syntax_errors;    // the report of a failed parse, else empty
  std::vector<std::string> semantic_errors;  // the validator's messages, else empty

  bool operator==(const ValidationResult&) const = default;
};

// A schema-aware validator. Immutable after construction; any number of threads may call
// validate on one instance at once.
class Tessark {
 public:
  explicit Tessark(Schema schema) : schema_(std::move(schema)) {}

  // Parses and checks `query`. Never fails: a parse failure becomes the one syntax error (the
  // report without its "Parse error: " prefix), schema problems become semantic errors.
  ValidationResult validate(std::string_view query) const;

  // validate() for every query, in parallel, results in input order. On an internal failure
  // (out of memory) `failure` is set and the results must be discarded.
  MapResult<ValidationResult> validate_batch(std::span<const std::string> queries) const;

  const Schema& schema() const { return schema_; }

 private:
  Schema schema_;
};

}  // namespace tessark
