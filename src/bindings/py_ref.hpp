// PyRef: an owning reference to a Python object, and `require`, which turns the C API's failure
// values (NULL, -1) into the PyErrOccurred exception. Use through bindings/binding.hpp.
//
// Rules of use:
//   * PyRef::steal(p) takes over a new reference (the result of most C API calls);
//     PyRef::borrow(p) adds a reference to a borrowed one.
//   * get() lends the pointer; release() hands the reference to the caller (return values).
//   * There is no implicit conversion to PyObject*, so ownership is always visible.
#pragma once

#include <Python.h>

#include <utility>

namespace tessark::py {

// Thrown inside an entry point when a Python exception is already set; the boundary guard
// (py_guard.hpp) catches it and returns the slot's error value.
struct PyErrOccurred {};

class PyRef {
 public:
  PyRef() = default;
  static PyRef steal(PyObject* object) { return PyRef(object); }
  static PyRef borrow(PyObject* object) {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  PyRef& operator=(PyRef&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit PyRef(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;  // owned; null when empty
};

// A new reference, or PyErrOccurred when the call failed (returned NULL with an error set).
inline PyRef require(PyObject* new_reference) {
  if (new_reference == nullptr) throw PyErrOccurred{};
  return PyRef::steal(new_reference);
}

// A status of a C API call; throws PyErrOccurred for a negative status.
inline int require(int status) {
  if (status < 0) throw PyErrOccurred{};
  return status;
}

}  // namespace tessark::py
