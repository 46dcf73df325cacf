// The boundary guard around every entry point from Python, the internal-fault exception type,
// the CypherError -> ValueError conversion and the borrow flags of instances.
// Use through bindings/binding.hpp.
#pragma once

#include <Python.h>

#include <type_traits>
#include <utility>

#include "bindings/py_ref.hpp"
#include "error.hpp"

namespace tessark::py {

// The internal-fault exception type: derives directly from BaseException, so `except Exception`
// does not swallow a broken invariant. Created once per process; null only when creation failed
// (then a Python error is set).
PyObject* internal_fault_type();

// Translates the exception being handled (inside a catch block) into a Python exception:
// PyErrOccurred -> the error already set; std::bad_alloc -> MemoryError; anything else -> the
// internal-fault type with the exception's message. Never throws: a fault while translating
// writes a fixed line to stderr and aborts the process.
void set_python_error_from_current_exception() noexcept;

// Runs `body` (a callable returning PyObject* or int) so that no C++ exception leaves it: on a
// fault the Python error is set and NULL (or -1 for int slots) is returned.
template <typename Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
  using Ret = decltype(body());
  static_assert(std::is_pointer_v<Ret> || std::is_same_v<Ret, int>);
  try {
    return body();
  } catch (...) {
    set_python_error_from_current_exception();
    if constexpr (std::is_pointer_v<Ret>) {
      return nullptr;
    } else {
      return -1;
    }
  }
}

// Sets ValueError carrying the error's text form ("Parse error: ..." and so on) and throws
// PyErrOccurred.
[[noreturn]] void raise_cypher_error(const CypherError& error);

// The value of a core Result, or the ValueError of its CypherError.
template <typename T>
T unwrap(Result<T> result) {
  if (!result) raise_cypher_error(result.error());
  return std::move(result).value();
}

// Sets `type` with `message` and throws PyErrOccurred.
[[noreturn]] void raise(PyObject* type, const char* message);

// Borrow state of one instance: 0 free, > 0 the number of shared borrows, -1 exclusive.
struct BorrowFlag {
  Py_ssize_t state = 0;
};

// A shared borrow for the scope; refused with RuntimeError("Already mutably borrowed").
class SharedBorrow {
 public:
  explicit SharedBorrow(BorrowFlag& flag);
  ~SharedBorrow() { --flag_.state; }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

// An exclusive borrow for the scope; refused with RuntimeError("Already borrowed").
class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(BorrowFlag& flag);
  ~ExclusiveBorrow() { flag_.state = 0; }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

}  // namespace tessark::py
