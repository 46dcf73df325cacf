// The extension module `_tessark`: PyInit__tessark and the registration of its classes and its
// function. Single-phase initialisation for one interpreter per process; the module object is
// created once and cached, so a repeated import returns the same object.
#include <Python.h>

#include <atomic>
#include <cstdint>

#include "bindings/binding.hpp"
#include "bindings/registry.hpp"

namespace tessark::py {
namespace {

// What the module exports, in this fixed order: Schema, Tessark, ValidationResult,
// CypherGenerator, QueryInfo, parse_query. Each entry lands in __all__ and as an attribute.
struct Registration {
  const char* name;
  PyObject* (*create)();  // new reference, or null with a Python error set
};

constexpr Registration kRegistrations[] = {
    {"Schema", create_schema_type},
    {"Tessark", create_tessark_type},
    {"ValidationResult", create_validation_result_type},
    {"CypherGenerator", create_cypher_generator_type},
    {"QueryInfo", create_query_info_type},
    {"parse_query", create_parse_query_function},
};

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "_tessark",  // name
    "",          // docstring: __doc__ == ''
    0,           // no per-module state: the type objects are process-wide
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

std::atomic<std::int64_t> g_interpreter_id{-1};  // the interpreter that first initialised us
PyObject* g_module = nullptr;                     // the cached module, once initialised

// Appends `name` to __all__ (creating it on first use), then sets the attribute.
void add_export(PyObject* module, const Registration& entry) {
  PyRef object = require(entry.create());
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  PyRef all_ref = PyRef::steal(all);
  if (!all_ref) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PyErrOccurred{};
    PyErr_Clear();
    all_ref = require(PyList_New(0));
    require(PyObject_SetAttrString(module, "__all__", all_ref.get()));
  }
  PyRef name = to_str(entry.name);
  require(PyList_Append(all_ref.get(), name.get()));
  require(PyObject_SetAttrString(module, entry.name, object.get()));
}

PyObject* init_module() {
  std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (current == -1) return nullptr;
  std::int64_t expected = -1;
  if (!g_interpreter_id.compare_exchange_strong(expected, current) && expected != current) {
    raise(PyExc_ImportError,
          "_tessark does not support sub-interpreters: it is already loaded in another "
          "interpreter of this process");
  }
  if (g_module != nullptr) return PyRef::borrow(g_module).release();

  PyRef module = require(PyModule_Create(&g_module_def));
  for (const Registration& entry : kRegistrations) add_export(module.get(), entry);
  g_module = PyRef::borrow(module.get()).release();  // kept for the process
  return module.release();
}

}  // namespace
}  // namespace tessark::py

PyMODINIT_FUNC PyInit__tessark() {
  return tessark::py::guarded([] { return tessark::py::init_module(); });
}
