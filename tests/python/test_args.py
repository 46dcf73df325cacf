"""Argument errors of the module's callables are worded exactly as CPython words them for a
function written in Python with the same parameters and qualified name."""
import pytest

import _tessark
from _tessark import Schema


def twin(qualname, params):
    """A pure-Python function with the given parameters ("seed=None" for a default)."""
    namespace = {}
    exec(f"def f({', '.join(params)}):\n    pass\n", namespace)
    function = namespace["f"]
    function.__qualname__ = qualname
    return function


def message(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


# Calls that are argument errors for every signature below: (positional, keywords).
BAD_CALLS = [
    ((), {"bogus": 1}),
    ((1, 2, 3), {}),
    ((1, 2, 3, 4), {}),
    ((1,), {"zzz": 1, "bogus": 2}),
]


def extra_bad_calls(params):
    names = [p.split("=")[0] for p in params]
    calls = [((), {}), ((1,) * (len(names) + 1), {"bogus": 1})]
    for i, name in enumerate(names):
        calls.append(((1,) * (i + 1), {name: 1}))        # duplicate
        calls.append(((), {name: 1}))                     # the others missing
        calls.append(((1,) * len(names), {name: 1}))      # duplicate after all positional
    if len(names) > 1:
        calls.append(((), {names[-1]: 1}))
    return calls


def bound_callables():
    schema = Schema({}, {})
    yield Schema, "Schema", ["nodes", "relationships"]
    yield Schema.from_dict, "Schema.from_dict", ["d"]
    yield Schema.from_json, "Schema.from_json", ["json_str"]
    yield schema.from_json, "Schema.from_json", ["json_str"]
    yield schema.node_labels, "Schema.node_labels", []
    yield schema.rel_types, "Schema.rel_types", []
    yield schema.has_node_label, "Schema.has_node_label", ["label"]
    yield schema.has_rel_type, "Schema.has_rel_type", ["rel_type"]
    yield schema.node_properties, "Schema.node_properties", ["label"]
    yield schema.rel_properties, "Schema.rel_properties", ["rel_type"]
    yield schema.rel_endpoints, "Schema.rel_endpoints", ["rel_type"]
    yield schema.to_dict, "Schema.to_dict", []
    yield schema.to_json, "Schema.to_json", []
    yield schema.merge, "Schema.merge", ["other"]
    if hasattr(_tessark, "CypherGenerator"):  # a parameter with a default
        yield _tessark.CypherGenerator, "CypherGenerator", ["schema", "seed=None"]


@pytest.mark.parametrize("callable_, qualname, params", list(bound_callables()),
                         ids=lambda value: value if isinstance(value, str) else None)
def test_argument_errors_match_a_python_twin(callable_, qualname, params):
    reference = twin(qualname, params)
    checked = 0
    for args, kwargs in BAD_CALLS + extra_bad_calls(params):
        try:
            reference(*args, **kwargs)
        except TypeError as expected:
            assert message(lambda: callable_(*args, **kwargs)) == str(expected), (args, kwargs)
            checked += 1
    assert checked >= 5


@pytest.mark.parametrize("call, text", [
    (lambda: Schema(), "Schema() missing 2 required positional arguments: 'nodes' and 'relationships'"),
    (lambda: Schema({}), "Schema() missing 1 required positional argument: 'relationships'"),
    (lambda: Schema({}, {}, {}), "Schema() takes 2 positional arguments but 3 were given"),
    (lambda: Schema({}, {}, nodes={}), "Schema() got multiple values for argument 'nodes'"),
    (lambda: Schema({}, {}, extra=1), "Schema() got an unexpected keyword argument 'extra'"),
    (lambda: Schema({}, {}).node_labels(1), "Schema.node_labels() takes 0 positional arguments but 1 was given"),
    (lambda: Schema({}, {}).merge(), "Schema.merge() missing 1 required positional argument: 'other'"),
])
def test_argument_error_texts(call, text):
    assert message(call) == text


def test_keywords_bind_by_name():
    schema = Schema(relationships={"R": ("A", "B", [])}, nodes={"A": ["x"]})
    assert schema.node_properties(label="A") == ["x"]
    assert schema.rel_endpoints(rel_type="R") == ("A", "B")
    assert Schema.from_json(json_str=schema.to_json()).node_labels() == ["A"]
    assert Schema.from_dict(d=schema.to_dict()).rel_types() == ["R"]
    assert schema.merge(other=schema).node_labels() == ["A"]


@pytest.mark.parametrize("call, text", [
    (lambda: Schema([], {}), "argument 'nodes': expected dict, got list"),
    (lambda: Schema({}, None), "argument 'relationships': expected dict, got NoneType"),
    (lambda: Schema({}, {}).has_node_label(3), "argument 'label': expected str, got int"),
    (lambda: Schema({}, {}).rel_endpoints(b"R"), "argument 'rel_type': expected str, got bytes"),
    (lambda: Schema({}, {}).merge({}), "argument 'other': expected Schema, got dict"),
    (lambda: Schema.from_json(b"{}"), "argument 'json_str': expected str, got bytes"),
    (lambda: Schema.from_dict([]), "argument 'd': expected dict, got list"),
])
def test_conversion_errors_name_the_argument(call, text):
    assert message(call) == text


def test_unencodable_str_is_a_conversion_error():
    text = message(lambda: Schema({}, {}).has_node_label("\ud800"))
    assert text.startswith("argument 'label': ")
    assert "surrogate" in text
