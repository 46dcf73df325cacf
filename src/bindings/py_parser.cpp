// The Python function parse_query and the class QueryInfo it returns: extraction of the names a
// query mentions, without a schema. The work is done by the core (parser/collect.hpp); this file
// only converts.
#include "bindings/binding.hpp"
#include "bindings/registry.hpp"
#include "parser/collect.hpp"

namespace tessark::py {
namespace {

using PyQueryInfo = Instance<QueryInfo>;

const QueryInfo& info_of(PyObject* self) { return as_instance<QueryInfo>(self)->value; }

PyObject* query_info_is_valid(PyObject* self, void*) {
  return guarded([&] { return to_bool(info_of(self).is_valid).release(); });
}
PyObject* query_info_labels(PyObject* self, void*) {
  return guarded([&] { return str_list(info_of(self).names.labels).release(); });
}
PyObject* query_info_rel_types(PyObject* self, void*) {
  return guarded([&] { return str_list(info_of(self).names.rel_types).release(); });
}
PyObject* query_info_properties(PyObject* self, void*) {
  return guarded([&] { return str_list(info_of(self).names.properties).release(); });
}
PyObject* query_info_errors(PyObject* self, void*) {
  return guarded([&] { return str_list(info_of(self).errors).release(); });
}

PyObject* query_info_repr(PyObject* self) {
  return guarded([&] {
    const QueryInfo& info = info_of(self);
    std::string text = std::string("QueryInfo(is_valid=") + debug_bool(info.is_valid) +
                       ", labels=" + debug_list(info.names.labels) +
                       ", rel_types=" + debug_list(info.names.rel_types) +
                       ", properties=" + debug_list(info.names.properties) +
                       ", errors=" + debug_list(info.errors) + ")";
    return to_str(text).release();
  });
}

int query_info_bool(PyObject* self) {
  return guarded([&] { return info_of(self).is_valid ? 1 : 0; });
}

PyGetSetDef query_info_getset[] = {
    {"is_valid", query_info_is_valid, nullptr, "True if the query is syntactically valid.",
     nullptr},
    {"labels_used", query_info_labels, nullptr, "Node labels referenced in the query.", nullptr},
    {"rel_types_used", query_info_rel_types, nullptr,
     "Relationship types referenced in the query.", nullptr},
    {"properties_used", query_info_properties, nullptr,
     "Property keys accessed in the query (e.g. ``[\"name\", \"age\"]``).", nullptr},
    {"errors", query_info_errors, nullptr, "Syntax error messages (empty if valid).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot query_info_slots[] = {
    {Py_tp_doc, const_cast<char*>("Information extracted from a parsed query without a schema.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<QueryInfo>)},
    {Py_tp_repr, reinterpret_cast<void*>(query_info_repr)},
    {Py_nb_bool, reinterpret_cast<void*>(query_info_bool)},
    {Py_tp_getset, query_info_getset},
    {0, nullptr}};

PyType_Spec query_info_spec = {"builtins.QueryInfo", sizeof(PyQueryInfo), 0,
                               kClassFlags | kNoConstructor, query_info_slots};
LazyType query_info_type(&query_info_spec);

PyObject* parse_query(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"parse_query", 1, "query"};
    Args a = parse_args(kSig, args, nargs, kwnames);
    std::string_view query = arg_str(a[0], "query");
    return new_instance(query_info_type.get(), extract_query_info(query)).release();
  });
}

PyMethodDef parse_query_def = {
    "parse_query", as_cfunction(parse_query), METH_FASTCALL | METH_KEYWORDS,
    "parse_query(query)\n--\n\n"
    "Parse a Cypher query and return structural information without requiring a schema.\n\n"
    "Example::\n\n"
    "    info = parse_query(\"MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name\")\n"
    "    info.is_valid        # True\n"
    "    info.labels_used     # [\"Movie\", \"Person\"]\n"
    "    info.rel_types_used  # [\"ACTED_IN\"]\n"
    "    info.properties_used # [\"name\"]"};

}  // namespace

PyObject* create_query_info_type() {
  return guarded([] { return PyRef::borrow(reinterpret_cast<PyObject*>(query_info_type.get())).release(); });
}

PyObject* create_parse_query_function() {
  return guarded([] { return require(PyCFunction_New(&parse_query_def, nullptr)).release(); });
}

}  // namespace tessark::py
