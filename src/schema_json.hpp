// The JSON form of a Schema: {"nodes":{label:[prop,...]},"relationships":{type:[src,tgt,[prop,...]]}}.
#pragma once

#include <string>
#include <string_view>

#include "error.hpp"
#include "schema.hpp"

namespace tessark {

// Compact JSON (no whitespace), members in the containers' iteration order, standard escaping.
std::string schema_to_json(const Schema& schema);

// Reads the JSON form (or the two-element array form [nodes, relationships]). On failure the
// error's message (its kind is Parse; only the message is meant for users) describes the
// fault and ends with " at line L column C".
Result<Schema> schema_from_json(std::string_view text);

}  // namespace tessark
