// The argument parser and the conversions of bindings/py_args.hpp.
#include "bindings/py_args.hpp"

#include <vector>

namespace tessark::py {
namespace {

[[noreturn]] void raise_type_error(PyObject* message) {
  if (message != nullptr) {
    PyErr_SetObject(PyExc_TypeError, message);
    Py_DECREF(message);
  }
  throw PyErrOccurred{};
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'", as CPython lists missing arguments.
std::string quoted_names(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

int param_index(const Signature& signature, PyObject* keyword) {
  for (std::size_t i = 0; i < signature.count; ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, signature.params[i]) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

Args parse_args(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  const auto count = static_cast<Py_ssize_t>(signature.count);
  Args bound{};
  for (Py_ssize_t i = 0; i < nargs && i < count; ++i) bound[i] = args[i];

  // Keywords first, then the positional count, then missing arguments: CPython's order.
  Py_ssize_t keyword_count = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    int index = param_index(signature, keyword);
    if (index < 0) {
      raise_type_error(PyUnicode_FromFormat("%s() got an unexpected keyword argument '%S'",
                                            signature.function, keyword));
    }
    if (bound[index] != nullptr) {
      raise_type_error(PyUnicode_FromFormat("%s() got multiple values for argument '%s'",
                                            signature.function, signature.params[index]));
    }
    bound[index] = args[nargs + k];
  }

  if (nargs > count) {
    const char* verb = nargs == 1 ? "was" : "were";
    if (signature.required < signature.count) {
      raise_type_error(PyUnicode_FromFormat(
          "%s() takes from %zd to %zd positional arguments but %zd %s given", signature.function,
          static_cast<Py_ssize_t>(signature.required), count, nargs, verb));
    }
    raise_type_error(PyUnicode_FromFormat("%s() takes %zd positional argument%s but %zd %s given",
                                          signature.function, count, count == 1 ? "" : "s",
                                          nargs, verb));
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (bound[i] == nullptr) missing.push_back(signature.params[i]);
  }
  if (!missing.empty()) {
    std::string names = quoted_names(missing);
    raise_type_error(PyUnicode_FromFormat("%s() missing %zd required positional argument%s: %s",
                                          signature.function,
                                          static_cast<Py_ssize_t>(missing.size()),
                                          missing.size() == 1 ? "" : "s", names.c_str()));
  }
  return bound;
}

Args parse_args(const Signature& signature, PyObject* args, PyObject* kwargs) {
  std::vector<PyObject*> values;
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  for (Py_ssize_t i = 0; i < nargs; ++i) values.push_back(PyTuple_GET_ITEM(args, i));
  PyRef kwnames;
  if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
    kwnames = require(PyTuple_New(PyDict_GET_SIZE(kwargs)));
    Py_ssize_t position = 0, k = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
      PyTuple_SET_ITEM(kwnames.get(), k++, PyRef::borrow(key).release());
      values.push_back(value);  // kept alive by the call's own kwargs dict
    }
  }
  return parse_args(signature, values.data(), nargs, kwnames.get());
}

void raise_argument_error(const char* param, const std::string& reason) {
  raise_type_error(PyUnicode_FromFormat("argument '%s': %s", param, reason.c_str()));
}

std::string wrong_type_reason(const char* wanted, PyObject* object) {
  std::string reason = "expected ";
  reason += wanted;
  reason += ", got ";
  reason += Py_TYPE(object)->tp_name;
  return reason;
}

bool try_utf8(PyObject* object, std::string_view& out) {
  if (!PyUnicode_Check(object)) return false;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return false;
  }
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

std::string_view arg_str(PyObject* object, const char* param) {
  if (!PyUnicode_Check(object)) raise_argument_error(param, wrong_type_reason("str", object));
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) {
    // Lone surrogates cannot be encoded: report the encoder's reason as a conversion failure.
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef type_ref = PyRef::steal(type), value_ref = PyRef::steal(value),
          traceback_ref = PyRef::steal(traceback);
    PyRef text = value_ref ? PyRef::steal(PyObject_Str(value_ref.get())) : PyRef();
    std::string_view reason;
    if (!text || !try_utf8(text.get(), reason)) {
      PyErr_Clear();
      reason = "str is not valid UTF-8";
    }
    raise_argument_error(param, std::string(reason));
  }
  return std::string_view(data, static_cast<std::size_t>(size));
}

PyRef to_str(std::string_view text) {
  return require(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
}

PyRef to_bool(bool value) { return PyRef::steal(PyBool_FromLong(value ? 1 : 0)); }

}  // namespace tessark::py
