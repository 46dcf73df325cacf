// Heap types for the module's classes and the C++ value each instance carries.
// Use through bindings/binding.hpp.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "bindings/py_guard.hpp"
#include "bindings/py_ref.hpp"

namespace tessark::py {

// Flags every class shares: not subclassable (no BASETYPE), immutable type, no __dict__ and no
// weak references (the specs set neither offset), not a GC container.
inline constexpr unsigned long kClassFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
// Added for classes whose instances come only from other calls.
inline constexpr unsigned long kNoConstructor = Py_TPFLAGS_DISALLOW_INSTANTIATION;

// A type created from its PyType_Spec on first need and kept for the process. Its name must be
// "builtins.X", so X.__module__ is "builtins" and X.__qualname__ is the bare class name.
class LazyType {
 public:
  explicit constexpr LazyType(PyType_Spec* spec) : spec_(spec) {}
  // Borrowed type object; throws PyErrOccurred when creation fails.
  PyTypeObject* get();

 private:
  PyType_Spec* spec_;
  PyObject* type_ = nullptr;  // owned forever once created
};

// The layout of an instance: the object header, its borrow flag and the C++ value it owns.
template <typename T>
struct Instance {
  PyObject_HEAD
  BorrowFlag borrow;
  T value;
};

template <typename T>
Instance<T>* as_instance(PyObject* self) {
  return reinterpret_cast<Instance<T>*>(self);
}

// A new instance of `type` owning `value`.
template <typename T>
PyRef new_instance(PyTypeObject* type, T value) {
  PyRef object = require(type->tp_alloc(type, 0));
  auto* instance = as_instance<T>(object.get());
  new (&instance->borrow) BorrowFlag{};
  new (&instance->value) T(std::move(value));
  return object;
}

// The tp_dealloc of an Instance<T>: destroys the value, frees the memory and drops the
// instance's reference to its heap type.
template <typename T>
void dealloc_instance(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  as_instance<T>(self)->value.~T();
  type->tp_free(self);
  Py_DECREF(type);
}

}  // namespace tessark::py
