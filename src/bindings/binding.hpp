// The binding layer: everything a class file under bindings/ needs to expose core values to
// Python. Include this header only.
//
//   PyRef, require()          owning references; NULL/-1 from the C API -> PyErrOccurred
//   guarded(body)             the boundary guard every entry point runs inside
//   Signature, parse_args()   one argument parser with CPython's own TypeError wording
//   arg_str(), to_str(), str_list()      conversions both ways
//   unwrap(), raise_cypher_error()       CypherError -> ValueError with its text form
//   SharedBorrow, ExclusiveBorrow        borrow flags of instances
//   LazyType, Instance<T>, new_instance(), dealloc_instance<T>   heap types from specs
//   debug_quoted(), debug_list(), debug_bool()                   text forms for __repr__
//
// A class file, in outline (see bindings/py_schema.cpp for a complete one):
//
//   using PyThing = Instance<Thing>;               // object header + borrow flag + C++ value
//
//   // A method: METH_FASTCALL | METH_KEYWORDS, body inside the guard.
//   PyObject* thing_lookup(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
//                          PyObject* kwnames) {
//     return guarded([&] {
//       static constexpr Signature kSig{"Thing.lookup", 1, "name"};
//       Args a = parse_args(kSig, args, nargs, kwnames);
//       std::string_view name = arg_str(a[0], "name");
//       SharedBorrow borrow(as_instance<Thing>(self)->borrow);
//       return to_bool(as_instance<Thing>(self)->value.has(name)).release();
//     });
//   }
//
//   // A getter (PyGetSetDef): a fresh Python object on every read.
//   PyObject* thing_names(PyObject* self, void*) {
//     return guarded([&] { return str_list(as_instance<Thing>(self)->value.names).release(); });
//   }
//
//   // A constructor (Py_tp_new); tp_new receives a tuple and a dict.
//   PyObject* thing_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
//     return guarded([&] {
//       static constexpr Signature kSig{"Thing", 1, "name"};
//       Args a = parse_args(kSig, args, kwargs);
//       return new_instance(type, Thing(arg_str(a[0], "name"))).release();
//     });
//   }
//
//   PyMethodDef thing_methods[] = {
//     {"lookup", as_cfunction(thing_lookup), METH_FASTCALL | METH_KEYWORDS,
//      "lookup($self, name)\n--\n\n"},
//     {nullptr, nullptr, 0, nullptr}};
//   PyType_Slot thing_slots[] = {
//     {Py_tp_doc, const_cast<char*>("Thing(name)\n--\n\n")}, {Py_tp_new, (void*)thing_new},
//     {Py_tp_dealloc, (void*)dealloc_instance<Thing>}, {Py_tp_methods, thing_methods}, {0, nullptr}};
//   PyType_Spec thing_spec = {"builtins.Thing", sizeof(PyThing), 0, kClassFlags, thing_slots};
//   LazyType thing_type(&thing_spec);              // add kNoConstructor to the flags if needed
//
//   // Registration: a creator declared in registry.hpp and listed in module.cpp's table.
//   PyObject* create_thing_type() {
//     return guarded([] { return PyRef::borrow((PyObject*)thing_type.get()).release(); });
//   }
#pragma once

#include "bindings/py_args.hpp"
#include "bindings/py_guard.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/py_type.hpp"
#include "debug_form.hpp"

namespace tessark::py {

// A method table entry's function pointer for a METH_FASTCALL | METH_KEYWORDS function.
using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
inline PyCFunction as_cfunction(FastMethod method) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(method));
}

}  // namespace tessark::py
