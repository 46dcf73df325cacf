// Tessark and ValidationResult: the Python classes over the validation driver. A Tessark owns
// its own schema copy; validate runs under the interpreter lock, validate_batch copies the texts
// out, releases the lock for the parallel run and builds the results after taking it back.
#include <Python.h>

#include <string>
#include <vector>

#include "bindings/binding.hpp"
#include "bindings/py_schema.hpp"
#include "bindings/registry.hpp"
#include "validator/driver.hpp"

namespace tessark::py {
namespace {

using PyTessark = Instance<Tessark>;
using PyValidationResult = Instance<ValidationResult>;

// Releases the interpreter lock for its scope and takes it back on every way out, exceptions
// included. Nothing inside the scope may touch a Python object.
class WithoutInterpreterLock {
 public:
  WithoutInterpreterLock() : state_(PyEval_SaveThread()) {}
  ~WithoutInterpreterLock() { PyEval_RestoreThread(state_); }
  WithoutInterpreterLock(const WithoutInterpreterLock&) = delete;
  WithoutInterpreterLock& operator=(const WithoutInterpreterLock&) = delete;

 private:
  PyThreadState* state_;
};

// ---- ValidationResult ----

const ValidationResult& result_of(PyObject* self) {
  return as_instance<ValidationResult>(self)->value;
}

PyObject* result_is_valid(PyObject* self, void*) {
  return guarded([&] { return to_bool(result_of(self).is_valid).release(); });
}
PyObject* result_errors(PyObject* self, void*) {
  return guarded([&] { return str_list(result_of(self).errors).release(); });
}
PyObject* result_syntax_errors(PyObject* self, void*) {
  return guarded([&] { return str_list(result_of(self).syntax_errors).release(); });
}
PyObject* result_semantic_errors(PyObject* self, void*) {
  return guarded([&] { return str_list(result_of(self).semantic_errors).release(); });
}

int result_bool(PyObject* self) {
  return guarded([&] { return result_of(self).is_valid ? 1 : 0; });
}

Py_ssize_t result_len(PyObject* self) {
  return static_cast<Py_ssize_t>(result_of(self).errors.size());
}

PyObject* result_repr(PyObject* self) {
  return guarded([&] {
    const ValidationResult& result = result_of(self);
    std::string text = "ValidationResult(is_valid=";
    text += debug_bool(result.is_valid);
    text += ", errors=";
    text += debug_list(result.errors);
    text += ')';
    return to_str(text).release();
  });
}

PyGetSetDef result_getset[] = {
    {"is_valid", result_is_valid, nullptr, nullptr, nullptr},
    {"errors", result_errors, nullptr, "All errors (syntax + semantic) combined.", nullptr},
    {"syntax_errors", result_syntax_errors, nullptr, "Parse/syntax errors only.", nullptr},
    {"semantic_errors", result_semantic_errors, nullptr, "Schema-level semantic errors only.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot result_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<ValidationResult>)},
    {Py_tp_repr, reinterpret_cast<void*>(result_repr)},
    {Py_tp_getset, result_getset},
    {Py_nb_bool, reinterpret_cast<void*>(result_bool)},
    {Py_sq_length, reinterpret_cast<void*>(result_len)},
    {0, nullptr}};

PyType_Spec result_spec = {"builtins.ValidationResult", sizeof(PyValidationResult), 0,
                           kClassFlags | kNoConstructor, result_slots};
LazyType validation_result_type(&result_spec);

PyRef wrap_result(ValidationResult result) {
  return new_instance(validation_result_type.get(), std::move(result));
}

// The texts of a sequence of str, copied out. A str itself, a non-sequence (a set, a generator)
// and a non-str element are refused with TypeError before anything is validated.
std::vector<std::string> arg_query_texts(PyObject* object) {
  if (PyUnicode_Check(object) || !PySequence_Check(object))
    raise_argument_error("queries", wrong_type_reason("a sequence of str", object));
  PyRef items = require(PySequence_Fast(object, "argument 'queries': expected a sequence of str"));
  Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
  PyObject** elements = PySequence_Fast_ITEMS(items.get());
  std::vector<std::string> texts;
  texts.reserve(static_cast<std::size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    if (!PyUnicode_Check(elements[i]))
      raise_argument_error("queries", "expected a sequence of str, item " + std::to_string(i) +
                                          " is " + Py_TYPE(elements[i])->tp_name);
    texts.emplace_back(arg_str(elements[i], "queries"));
  }
  return texts;
}

// ---- Tessark ----

PyObject* tessark_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&] {
    static constexpr Signature kSig{"Tessark", 1, "schema"};
    Args a = parse_args(kSig, args, kwargs);
    const Schema& schema = arg_schema(a[0], "schema");
    SharedBorrow borrow(as_instance<Schema>(a[0])->borrow);
    return new_instance(type, Tessark(schema)).release();
  });
}

PyObject* tessark_validate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"Tessark.validate", 1, "query"};
    Args a = parse_args(kSig, args, nargs, kwnames);
    std::string_view query = arg_str(a[0], "query");
    SharedBorrow borrow(as_instance<Tessark>(self)->borrow);
    return wrap_result(as_instance<Tessark>(self)->value.validate(query)).release();
  });
}

PyObject* tessark_validate_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"Tessark.validate_batch", 1, "queries"};
    Args a = parse_args(kSig, args, nargs, kwnames);
    const std::vector<std::string> texts = arg_query_texts(a[0]);
    SharedBorrow borrow(as_instance<Tessark>(self)->borrow);
    const Tessark& tessark = as_instance<Tessark>(self)->value;
    MapResult<ValidationResult> batch;
    {
      WithoutInterpreterLock unlocked;
      batch = tessark.validate_batch(texts);
    }
    if (batch.failure) std::rethrow_exception(batch.failure);
    PyRef list = require(PyList_New(static_cast<Py_ssize_t>(batch.values.size())));
    for (std::size_t i = 0; i < batch.values.size(); ++i)
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                      wrap_result(std::move(batch.values[i])).release());
    return list.release();
  });
}

PyObject* tessark_repr(PyObject*) {
  return guarded([] { return to_str("Tessark()").release(); });
}

constexpr const char kValidateBatchDoc[] =
    "validate_batch($self, queries)\n--\n\n"
    "Validate multiple queries at once, returning one ValidationResult per query.\n\n"
    "The queries are validated in parallel on a thread pool, and the GIL is released\n"
    "for the duration of the batch, so other Python threads can run meanwhile.\n\n"
    "Example::\n\n"
    "    results = validator.validate_batch([\n"
    "        \"MATCH (p:Person) RETURN p\",\n"
    "        \"MATCH (p:BadLabel) RETURN p\",\n"
    "    ])\n"
    "    for r in results:\n"
    "        print(r.is_valid, r.errors)";

PyMethodDef tessark_methods[] = {
    {"validate", as_cfunction(tessark_validate), METH_FASTCALL | METH_KEYWORDS,
     "validate($self, query)\n--\n\n"},
    {"validate_batch", as_cfunction(tessark_validate_batch), METH_FASTCALL | METH_KEYWORDS,
     kValidateBatchDoc},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot tessark_slots[] = {
    {Py_tp_doc, const_cast<char*>("Tessark(schema)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(tessark_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<Tessark>)},
    {Py_tp_repr, reinterpret_cast<void*>(tessark_repr)},
    {Py_tp_methods, tessark_methods},
    {0, nullptr}};

PyType_Spec tessark_spec = {"builtins.Tessark", sizeof(PyTessark), 0, kClassFlags, tessark_slots};
LazyType tessark_type(&tessark_spec);

}  // namespace

PyObject* create_tessark_type() {
  return guarded(
      [] { return PyRef::borrow(reinterpret_cast<PyObject*>(tessark_type.get())).release(); });
}

PyObject* create_validation_result_type() {
  return guarded([] {
    return PyRef::borrow(reinterpret_cast<PyObject*>(validation_result_type.get())).release();
  });
}

}  // namespace tessark::py
