// CypherGenerator: the Python class over the query generator. Each instance owns one generator
// (its own schema copy and random state); generate and generate_batch mutate it under an
// exclusive borrow.
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "bindings/binding.hpp"
#include "bindings/py_schema.hpp"
#include "bindings/registry.hpp"
#include "generator/generator.hpp"
#include "schema.hpp"

namespace tessark::py {
namespace {

using PyCypherGenerator = Instance<CypherGenerator>;

// How many queries a batch generates between checks for a pending signal (Ctrl-C).
constexpr std::size_t kSignalCheckInterval = 4096;

CypherGenerator& generator_of(PyObject* self) { return as_instance<CypherGenerator>(self)->value; }

// None (or absent) means "seed from the operating system"; an int must fit 0..2^64-1, and the
// interpreter's own conversion raises OverflowError otherwise.
std::optional<std::uint64_t> arg_seed(PyObject* object) {
  if (object == nullptr || object == Py_None) return std::nullopt;
  if (!PyLong_Check(object)) raise_argument_error("seed", wrong_type_reason("int", object));
  const unsigned long long seed = PyLong_AsUnsignedLongLong(object);
  if (seed == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw PyErrOccurred{};
  return static_cast<std::uint64_t>(seed);
}

std::size_t arg_count(PyObject* object) {
  if (!PyLong_Check(object)) raise_argument_error("n", wrong_type_reason("int", object));
  const std::size_t count = PyLong_AsSize_t(object);
  if (count == static_cast<std::size_t>(-1) && PyErr_Occurred()) throw PyErrOccurred{};
  return count;
}

PyObject* generator_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&] {
    static constexpr Signature kSig{"CypherGenerator", 1, "schema", "seed"};
    Args a = parse_args(kSig, args, kwargs);
    const Schema& schema = arg_schema(a[0], "schema");
    const std::optional<std::uint64_t> seed = arg_seed(a[1]);
    return new_instance(type, CypherGenerator(schema, seed)).release();
  });
}

PyObject* generator_generate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"CypherGenerator.generate", 1, "query_type"};
    Args a = parse_args(kSig, args, nargs, kwnames);
    const std::string_view query_type = arg_str(a[0], "query_type");
    ExclusiveBorrow borrow(as_instance<CypherGenerator>(self)->borrow);
    return to_str(unwrap(generator_of(self).generate(query_type))).release();
  });
}

PyObject* generator_generate_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"CypherGenerator.generate_batch", 2, "query_type", "n"};
    Args a = parse_args(kSig, args, nargs, kwnames);
    const std::string_view query_type = arg_str(a[0], "query_type");
    const std::size_t count = arg_count(a[1]);
    ExclusiveBorrow borrow(as_instance<CypherGenerator>(self)->borrow);
    if (count > static_cast<std::size_t>(PY_SSIZE_T_MAX)) {
      raise(PyExc_OverflowError, "n is larger than the largest possible list");
    }
    // The list is filled in place; a failure part-way drops it (unset slots are null).
    PyRef queries = require(PyList_New(static_cast<Py_ssize_t>(count)));
    CypherGenerator& generator = generator_of(self);
    for (std::size_t i = 0; i < count; ++i) {
      if (i % kSignalCheckInterval == kSignalCheckInterval - 1) require(PyErr_CheckSignals());
      PyList_SET_ITEM(queries.get(), static_cast<Py_ssize_t>(i),
                      to_str(unwrap(generator.generate(query_type))).release());
    }
    return queries.release();
  });
}

PyObject* generator_supported_types(PyObject*, PyObject*) {
  return guarded([] { return str_list(CypherGenerator::kQueryTypes).release(); });
}

PyObject* generator_repr(PyObject* self) {
  return guarded([&] {
    SharedBorrow borrow(as_instance<CypherGenerator>(self)->borrow);
    return to_str("CypherGenerator()").release();
  });
}

constexpr const char kGenerateBatchDoc[] =
    "generate_batch($self, query_type, n)\n--\n\n"
    "Generate *n* queries of the given type in a single call.\n\n"
    "Equivalent to calling :meth:`generate` *n* times but avoids per-call\n"
    "Python overhead.\n\n"
    "Parameters\n----------\n"
    "query_type:\n    One of the types returned by :meth:`supported_types`.\n"
    "n:\n    Number of queries to generate.\n\n"
    "Returns\n-------\nlist[str]\n    Generated Cypher query strings.\n\n"
    "Raises\n------\nValueError\n    If *query_type* is not supported.";

PyMethodDef generator_methods[] = {
    {"generate", as_cfunction(generator_generate), METH_FASTCALL | METH_KEYWORDS,
     "generate($self, query_type)\n--\n\n"},
    {"generate_batch", as_cfunction(generator_generate_batch), METH_FASTCALL | METH_KEYWORDS,
     kGenerateBatchDoc},
    {"supported_types", generator_supported_types, METH_NOARGS | METH_STATIC,
     "supported_types()\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot generator_slots[] = {
    {Py_tp_doc, const_cast<char*>("CypherGenerator(schema, seed=None)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(generator_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<CypherGenerator>)},
    {Py_tp_repr, reinterpret_cast<void*>(generator_repr)},
    {Py_tp_methods, generator_methods},
    {0, nullptr}};

PyType_Spec generator_spec = {"builtins.CypherGenerator", sizeof(PyCypherGenerator), 0,
                              kClassFlags, generator_slots};
LazyType generator_type(&generator_spec);

}  // namespace

PyObject* create_cypher_generator_type() {
  return guarded([] {
    return PyRef::borrow(reinterpret_cast<PyObject*>(generator_type.get())).release();
  });
}

}  // namespace tessark::py
