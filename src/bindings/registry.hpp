// The objects the module registers, one creator per name. Each creator returns a new reference
// to a type object (or function object), or null with a Python error set. module.cpp lists them
// in the fixed order: Schema, Tessark, ValidationResult, CypherGenerator, QueryInfo, parse_query.
#pragma once

#include <Python.h>

namespace tessark::py {

PyObject* create_schema_type();             // bindings/py_schema.cpp
PyObject* create_tessark_type();            // bindings/py_validator.cpp
PyObject* create_validation_result_type();  // bindings/py_validator.cpp
PyObject* create_cypher_generator_type();   // bindings/py_generator.cpp
PyObject* create_query_info_type();         // bindings/py_parser.cpp
PyObject* create_parse_query_function();    // bindings/py_parser.cpp

}  // namespace tessark::py
