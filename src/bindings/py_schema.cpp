// The Python class `Schema`: builds a Schema record from dictionaries, answers its lookups in
// Python types, and offers its dictionary and JSON forms and merging.
#include "bindings/py_schema.hpp"

#include <optional>
#include <string>
#include <vector>

#include "bindings/binding.hpp"
#include "bindings/registry.hpp"
#include "schema_json.hpp"

namespace tessark::py {
namespace {

using PySchema = Instance<Schema>;

extern LazyType schema_type;

const Schema& self_schema(PyObject* self) { return as_instance<Schema>(self)->value; }

PyRef wrap_schema(Schema schema) { return new_instance(schema_type.get(), std::move(schema)); }

// Errors that must pass through a conversion untouched (Ctrl-C, exhausted memory) rather than
// be replaced by a shape message.
bool is_pass_through_error() {
  return !PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError);
}

// A sequence of str other than a str itself; nothing when the value has another shape.
std::optional<std::vector<std::string>> str_sequence(PyObject* value) {
  if (PyUnicode_Check(value) || !PySequence_Check(value)) return std::nullopt;
  PyRef items = PyRef::steal(PySequence_Fast(value, "expected a sequence"));
  if (!items) {
    if (is_pass_through_error()) throw PyErrOccurred{};
    PyErr_Clear();
    return std::nullopt;
  }
  std::vector<std::string> names;
  Py_ssize_t size = PySequence_Fast_GET_SIZE(items.get());
  names.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    std::string_view name;
    if (!try_utf8(PySequence_Fast_GET_ITEM(items.get(), i), name)) return std::nullopt;
    names.emplace_back(name);
  }
  return names;
}

std::string dict_key(PyObject* key, const char* param) {
  if (!PyUnicode_Check(key)) {
    raise_argument_error(param, std::string("dict keys must be str, not ") + Py_TYPE(key)->tp_name);
  }
  return std::string(arg_str(key, param));
}

PyObject* require_dict(PyObject* object, const char* param) {
  if (!PyDict_Check(object)) raise_argument_error(param, wrong_type_reason("dict", object));
  return object;
}

// Builds the record from the two dictionaries; the first bad entry raises TypeError. Entries
// are read from snapshots, so conversions that run Python code cannot disturb the walk.
Schema schema_from_dicts(PyObject* nodes, PyObject* relationships) {
  Schema schema;
  PyRef node_items = require(PyDict_Items(nodes));
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(node_items.get()); ++i) {
    PyObject* item = PyList_GET_ITEM(node_items.get(), i);
    std::string label = dict_key(PyTuple_GET_ITEM(item, 0), "nodes");
    auto properties = str_sequence(PyTuple_GET_ITEM(item, 1));
    if (!properties) {
      raise(PyExc_TypeError,
            ("Expected list[str] for node properties of label '" + label + "'").c_str());
    }
    schema.set_node(std::move(label), *properties);
  }
  PyRef rel_items = require(PyDict_Items(relationships));
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(rel_items.get()); ++i) {
    PyObject* item = PyList_GET_ITEM(rel_items.get(), i);
    std::string type = dict_key(PyTuple_GET_ITEM(item, 0), "relationships");
    PyObject* value = PyTuple_GET_ITEM(item, 1);
    std::string_view source, target;
    std::optional<std::vector<std::string>> properties;
    if (PyTuple_Check(value) && PyTuple_GET_SIZE(value) == 3 &&
        try_utf8(PyTuple_GET_ITEM(value, 0), source) &&
        try_utf8(PyTuple_GET_ITEM(value, 1), target)) {
      properties = str_sequence(PyTuple_GET_ITEM(value, 2));
    }
    if (!properties) {
      raise(PyExc_TypeError, ("Expected (str, str, list[str]) for relationship '" + type +
                              "', e.g. ('Person', 'Movie', ['role'])")
                                 .c_str());
    }
    schema.set_relationship(std::move(type), std::string(source), std::string(target),
                            *properties);
  }
  return schema;
}

PyObject* schema_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&] {
    static constexpr Signature kSig{"Schema", 2, "nodes", "relationships"};
    Args a = parse_args(kSig, args, kwargs);
    PyObject* nodes = require_dict(a[0], "nodes");
    PyObject* relationships = require_dict(a[1], "relationships");
    return new_instance(type, schema_from_dicts(nodes, relationships)).release();
  });
}

PyObject* schema_repr(PyObject* self) {
  return guarded([&] {
    SharedBorrow borrow(as_instance<Schema>(self)->borrow);
    const Schema& schema = self_schema(self);
    std::string text = "Schema(nodes=" + debug_list(schema.node_labels()) +
                       ", relationships=" + debug_list(schema.rel_types()) + ")";
    return to_str(text).release();
  });
}

PyObject* schema_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"Schema.from_dict", 1, "d"};
    PyObject* d = require_dict(parse_args(kSig, args, nargs, kwnames)[0], "d");
    PyObject* members[2] = {nullptr, nullptr};
    const char* names[2] = {"nodes", "relationships"};
    for (int i = 0; i < 2; ++i) {
      PyRef key = to_str(names[i]);
      members[i] = PyDict_GetItemWithError(d, key.get());
      if (members[i] == nullptr) {
        if (PyErr_Occurred()) throw PyErrOccurred{};
        raise(PyExc_KeyError, (std::string("'") + names[i] + "' key missing from dict").c_str());
      }
      if (!PyDict_Check(members[i])) {
        raise(PyExc_TypeError, (std::string("'") + names[i] + "' must be a dict").c_str());
      }
      Py_INCREF(members[i]);  // held below: the dict lookup only lends it
    }
    PyRef nodes = PyRef::steal(members[0]), relationships = PyRef::steal(members[1]);
    return wrap_schema(schema_from_dicts(nodes.get(), relationships.get())).release();
  });
}

PyObject* schema_from_json_method(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"Schema.from_json", 1, "json_str"};
    std::string_view text = arg_str(parse_args(kSig, args, nargs, kwnames)[0], "json_str");
    Result<Schema> schema = schema_from_json(text);
    if (!schema) {
      PyRef message = to_str("Invalid Schema JSON: " + schema.error().message);
      PyErr_SetObject(PyExc_ValueError, message.get());
      throw PyErrOccurred{};
    }
    return wrap_schema(std::move(schema).value()).release();
  });
}

// The methods taking no argument but `self`.
template <PyObject* (*Body)(const Schema&)>
PyObject* schema_nullary(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, const Signature& signature) {
  return guarded([&] {
    parse_args(signature, args, nargs, kwnames);
    SharedBorrow borrow(as_instance<Schema>(self)->borrow);
    return Body(self_schema(self));
  });
}

// The methods taking `self` and one str.
template <PyObject* (*Body)(const Schema&, std::string_view)>
PyObject* schema_unary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                       const Signature& signature) {
  return guarded([&] {
    std::string_view name = arg_str(parse_args(signature, args, nargs, kwnames)[0],
                                    signature.params[0]);
    SharedBorrow borrow(as_instance<Schema>(self)->borrow);
    return Body(self_schema(self), name);
  });
}

PyObject* list_labels(const Schema& s) { return str_list(s.node_labels()).release(); }
PyObject* list_types(const Schema& s) { return str_list(s.rel_types()).release(); }
PyObject* has_label(const Schema& s, std::string_view l) { return to_bool(s.has_label(l)).release(); }
PyObject* has_type(const Schema& s, std::string_view t) { return to_bool(s.has_rel_type(t)).release(); }
PyObject* label_props(const Schema& s, std::string_view l) { return str_list(s.node_properties(l)).release(); }
PyObject* type_props(const Schema& s, std::string_view t) { return str_list(s.rel_properties(t)).release(); }

PyObject* endpoints(const Schema& s, std::string_view type) {
  auto pair = s.rel_src_tgt(type);
  if (!pair) Py_RETURN_NONE;
  PyRef source = to_str(pair->first), target = to_str(pair->second);
  return PyTuple_Pack(2, source.get(), target.get());
}

PyObject* export_dict(const Schema& s) {
  PyRef out = require(PyDict_New());
  PyRef nodes = require(PyDict_New());
  for (std::string_view label : s.node_labels()) {
    PyRef key = to_str(label);
    require(PyDict_SetItem(nodes.get(), key.get(), str_list(s.node_properties(label)).get()));
  }
  require(PyDict_SetItemString(out.get(), "nodes", nodes.get()));
  PyRef relationships = require(PyDict_New());
  for (std::string_view type : s.rel_types()) {
    auto pair = s.rel_src_tgt(type);
    PyRef key = to_str(type), source = to_str(pair->first), target = to_str(pair->second);
    PyRef properties = str_list(s.rel_properties(type));
    PyRef value = require(PyTuple_Pack(3, source.get(), target.get(), properties.get()));
    require(PyDict_SetItem(relationships.get(), key.get(), value.get()));
  }
  require(PyDict_SetItemString(out.get(), "relationships", relationships.get()));
  return out.release();
}

PyObject* export_json(const Schema& s) { return to_str(schema_to_json(s)).release(); }

#define NULLARY(NAME, BODY, QUALNAME)                                                  \
  PyObject* NAME(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) { \
    static constexpr Signature kSig{QUALNAME, 0};                                      \
    return schema_nullary<BODY>(self, args, nargs, kw, kSig);                          \
  }
#define UNARY(NAME, BODY, QUALNAME, PARAM)                                             \
  PyObject* NAME(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) { \
    static constexpr Signature kSig{QUALNAME, 1, PARAM};                               \
    return schema_unary<BODY>(self, args, nargs, kw, kSig);                            \
  }
NULLARY(schema_node_labels, list_labels, "Schema.node_labels")
NULLARY(schema_rel_types, list_types, "Schema.rel_types")
UNARY(schema_has_node_label, has_label, "Schema.has_node_label", "label")
UNARY(schema_has_rel_type, has_type, "Schema.has_rel_type", "rel_type")
UNARY(schema_node_properties, label_props, "Schema.node_properties", "label")
UNARY(schema_rel_properties, type_props, "Schema.rel_properties", "rel_type")
UNARY(schema_rel_endpoints, endpoints, "Schema.rel_endpoints", "rel_type")
NULLARY(schema_to_dict, export_dict, "Schema.to_dict")
NULLARY(schema_to_json_method, export_json, "Schema.to_json")
#undef NULLARY
#undef UNARY

PyObject* schema_merge(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    static constexpr Signature kSig{"Schema.merge", 1, "other"};
    PyObject* other = parse_args(kSig, args, nargs, kwnames)[0];
    const Schema& other_schema = arg_schema(other, "other");
    SharedBorrow borrow(as_instance<Schema>(self)->borrow);
    SharedBorrow other_borrow(as_instance<Schema>(other)->borrow);
    return wrap_schema(self_schema(self).merge(other_schema)).release();
  });
}

constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef schema_methods[] = {
    {"from_dict", as_cfunction(schema_from_dict), kMethod | METH_STATIC,
     "from_dict(d)\n--\n\nCreate a Schema from a plain Python dict (e.g. previously exported "
     "with ``to_dict()``).\n\nExample::\n\n    d = {\n        \"nodes\": {\"Person\": "
     "[\"name\", \"age\"], \"Movie\": [\"title\"]},\n        \"relationships\": {\"ACTED_IN\": "
     "(\"Person\", \"Movie\", [\"role\"])},\n    }\n    schema = Schema.from_dict(d)"},
    {"from_json", as_cfunction(schema_from_json_method), kMethod | METH_STATIC,
     "from_json(json_str)\n--\n\nDeserialise a Schema from a JSON string produced by "
     "``to_json()``.\n\nExample::\n\n    json_str = schema.to_json()\n    schema2 = "
     "Schema.from_json(json_str)"},
    {"node_labels", as_cfunction(schema_node_labels), kMethod, "node_labels($self)\n--\n\n"},
    {"rel_types", as_cfunction(schema_rel_types), kMethod, "rel_types($self)\n--\n\n"},
    {"has_node_label", as_cfunction(schema_has_node_label), kMethod,
     "has_node_label($self, label)\n--\n\n"},
    {"has_rel_type", as_cfunction(schema_has_rel_type), kMethod,
     "has_rel_type($self, rel_type)\n--\n\n"},
    {"node_properties", as_cfunction(schema_node_properties), kMethod,
     "node_properties($self, label)\n--\n\nReturn the list of properties declared for a node "
     "label."},
    {"rel_properties", as_cfunction(schema_rel_properties), kMethod,
     "rel_properties($self, rel_type)\n--\n\nReturn the list of properties declared for a "
     "relationship type."},
    {"rel_endpoints", as_cfunction(schema_rel_endpoints), kMethod,
     "rel_endpoints($self, rel_type)\n--\n\nReturn `(src_label, tgt_label)` for a relationship "
     "type, or None if unknown."},
    {"to_dict", as_cfunction(schema_to_dict), kMethod,
     "to_dict($self)\n--\n\nExport the schema as a plain Python dict compatible with the Schema "
     "constructor."},
    {"to_json", as_cfunction(schema_to_json_method), kMethod,
     "to_json($self)\n--\n\nSerialise the schema to a JSON string.\n\nThe result can be stored, "
     "transmitted, and later restored via\n``Schema.from_json()``.\n\nExample::\n\n    json_str "
     "= schema.to_json()\n    schema2 = Schema.from_json(json_str)\n    assert schema2 == schema "
     " # round-trip safe"},
    {"merge", as_cfunction(schema_merge), kMethod,
     "merge($self, other)\n--\n\nReturn a new Schema that is the union of *self* and "
     "*other*.\n\n* Node labels and relationship types from both schemas are combined.\n* When "
     "a label/type exists in both, the property sets are merged\n  (union), so no declared "
     "property is lost.\n* The *other* schema's endpoint labels take precedence for\n  "
     "relationship types that appear in both schemas.\n\nExample::\n\n    s1 = "
     "Schema({\"Person\": [\"name\"]}, {\"KNOWS\": (\"Person\", \"Person\", [])})\n    s2 = "
     "Schema({\"Movie\": [\"title\"]}, {\"ACTED_IN\": (\"Person\", \"Movie\", [\"role\"])})\n  "
     "  merged = s1.merge(s2)\n    # merged has Person, Movie, KNOWS, ACTED_IN"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot schema_slots[] = {
    {Py_tp_doc, const_cast<char*>("Schema(nodes, relationships)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(schema_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<Schema>)},
    {Py_tp_repr, reinterpret_cast<void*>(schema_repr)},
    {Py_tp_methods, schema_methods},
    {0, nullptr},
};

PyType_Spec schema_spec = {"builtins.Schema", sizeof(PySchema), 0, kClassFlags, schema_slots};

LazyType schema_type(&schema_spec);

}  // namespace

const Schema& arg_schema(PyObject* object, const char* param) {
  if (!Py_IS_TYPE(object, schema_type.get())) {
    raise_argument_error(param, wrong_type_reason("Schema", object));
  }
  return self_schema(object);
}

PyObject* create_schema_type() {
  return guarded([] { return PyRef::borrow(reinterpret_cast<PyObject*>(schema_type.get())).release(); });
}

}  // namespace tessark::py
