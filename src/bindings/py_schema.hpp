// Access to the Schema record inside a Python `Schema` object, for the other classes' bindings.
#pragma once

#include <Python.h>

#include "schema.hpp"

namespace tessark::py {

// The record of a `Schema` argument; TypeError "argument 'PARAM': expected Schema, got T"
// (thrown as PyErrOccurred) for anything else. Valid while `object` lives.
const Schema& arg_schema(PyObject* object, const char* param);

}  // namespace tessark::py
