// Argument parsing for METH_FASTCALL | METH_KEYWORDS entry points, conversion of arguments to
// C++ values, and builders of Python values from C++ ones. Use through bindings/binding.hpp.
//
// Argument errors are TypeErrors worded exactly as CPython words them for a function written in
// Python whose parameters are the signature's parameters and whose qualified name is the
// signature's function name ("Schema.merge", "parse_query"). A conversion failure is a TypeError
// "argument 'NAME': REASON".
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "bindings/py_ref.hpp"

namespace tessark::py {

inline constexpr std::size_t kMaxParams = 4;

// The parameters of one entry point, all positional-or-keyword; the first `required` have no
// default.
struct Signature {
  const char* function;  // the name shown in messages, without "()"
  std::size_t required;
  std::array<const char*, kMaxParams> params{};
  std::size_t count = 0;

  template <typename... Names>
  constexpr Signature(const char* function_name, std::size_t required_count, Names... names)
      : function(function_name), required(required_count), params{names...},
        count(sizeof...(Names)) {
    static_assert(sizeof...(Names) <= kMaxParams);
  }
};

// The argument objects in parameter order, borrowed from the call (valid until it returns);
// null for an optional parameter that was not given.
using Args = std::array<PyObject*, kMaxParams>;

// Binds a vectorcall argument list to the signature; throws PyErrOccurred (TypeError set).
Args parse_args(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames);

// The same for tp_new style arguments (a tuple and an optional dict).
Args parse_args(const Signature& signature, PyObject* args, PyObject* kwargs);

// Sets TypeError "argument 'NAME': REASON" and throws PyErrOccurred.
[[noreturn]] void raise_argument_error(const char* param, const std::string& reason);

// "expected WANTED, got TYPE" for an object of the wrong type.
std::string wrong_type_reason(const char* wanted, PyObject* object);

// A str argument as UTF-8 (a view into the str's own buffer, valid while the object lives).
std::string_view arg_str(PyObject* object, const char* param);

// The UTF-8 text of a str, or nothing (no Python error left set) when `object` is not a str
// or cannot be encoded.
bool try_utf8(PyObject* object, std::string_view& out);

// Fresh Python values from C++ ones.
PyRef to_str(std::string_view text);
PyRef to_bool(bool value);
template <typename Strings>
PyRef str_list(const Strings& items) {
  PyRef list = require(PyList_New(static_cast<Py_ssize_t>(items.size())));
  Py_ssize_t index = 0;
  for (const auto& item : items) {
    PyList_SET_ITEM(list.get(), index++, to_str(item).release());
  }
  return list;
}

}  // namespace tessark::py
