// The boundary guard's exception translation, the internal-fault type, CypherError conversion,
// borrow flags and lazily created heap types.
#include "bindings/py_guard.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "bindings/py_type.hpp"

namespace tessark::py {
namespace {

constexpr const char* kGenericFault = "internal fault in _tessark";
constexpr const char* kAbortMessage = "_tessark: fatal: fault while reporting an internal fault\n";

PyObject* g_internal_fault = nullptr;  // owned for the process once created

void set_internal_fault(const char* message) {
  PyObject* type = internal_fault_type();
  if (type == nullptr) return;  // creating the type failed; its error stays set
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

}  // namespace

PyObject* internal_fault_type() {
  if (g_internal_fault == nullptr) {
    PyObject* created = PyErr_NewExceptionWithDoc(
        "_tessark.InternalFault", "A broken internal invariant of _tessark (a bug, not bad input).",
        PyExc_BaseException, nullptr);
    if (created == nullptr) return nullptr;
    if (g_internal_fault != nullptr) {
      Py_DECREF(created);
    } else {
      g_internal_fault = created;
    }
  }
  return g_internal_fault;
}

void set_python_error_from_current_exception() noexcept {
  try {
    try {
      throw;
    } catch (const PyErrOccurred&) {
      if (!PyErr_Occurred()) set_internal_fault("error signalled without a Python exception");
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
    } catch (const std::exception& fault) {
      const char* what = fault.what();
      set_internal_fault(what != nullptr ? what : kGenericFault);
    } catch (...) {
      set_internal_fault(kGenericFault);
    }
  } catch (...) {
    std::fputs(kAbortMessage, stderr);
    std::abort();
  }
}

void raise_cypher_error(const CypherError& error) {
  std::string text = error.text();
  PyRef value = require(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  PyErr_SetObject(PyExc_ValueError, value.get());
  throw PyErrOccurred{};
}

void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw PyErrOccurred{};
}

SharedBorrow::SharedBorrow(BorrowFlag& flag) : flag_(flag) {
  if (flag_.state < 0) raise(PyExc_RuntimeError, "Already mutably borrowed");
  ++flag_.state;
}

ExclusiveBorrow::ExclusiveBorrow(BorrowFlag& flag) : flag_(flag) {
  if (flag_.state != 0) raise(PyExc_RuntimeError, "Already borrowed");
  flag_.state = -1;
}

PyTypeObject* LazyType::get() {
  if (type_ == nullptr) {
    PyObject* created = PyType_FromSpec(spec_);
    if (created == nullptr) throw PyErrOccurred{};
    if (type_ != nullptr) {
      Py_DECREF(created);  // another first use won while the interpreter ran other code
    } else {
      type_ = created;
    }
  }
  return reinterpret_cast<PyTypeObject*>(type_);
}

}  // namespace tessark::py
