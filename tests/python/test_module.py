"""The module object: exports, repeated initialisation, and the flags every class shares."""
import importlib.machinery
import importlib.util
import sys
import weakref

import pytest

import _tessark

EXPORTS = ["Schema", "Tessark", "ValidationResult", "CypherGenerator", "QueryInfo", "parse_query"]
CLASSES = [name for name in EXPORTS[:5] if hasattr(_tessark, name)]


def test_module_doc_is_empty():
    assert _tessark.__doc__ == ""


def test_all_lists_the_exports_in_registration_order():
    assert _tessark.__all__ == [name for name in EXPORTS if hasattr(_tessark, name)]
    assert "Schema" in _tessark.__all__
    for name in _tessark.__all__:
        assert getattr(_tessark, name) is not None


def test_init_again_returns_the_same_module():
    before = list(_tessark.__all__)
    spec = importlib.util.spec_from_file_location("_tessark", _tessark.__file__)
    loader = importlib.machinery.ExtensionFileLoader("_tessark", _tessark.__file__)
    assert loader.create_module(spec) is _tessark
    saved = sys.modules.pop("_tessark")
    try:
        again = importlib.import_module("_tessark")
    finally:
        sys.modules["_tessark"] = saved
    assert again is _tessark
    assert _tessark.__all__ == before


def test_sub_interpreter_is_refused():
    subinterpreters = pytest.importorskip("_xxsubinterpreters")
    interpreter = subinterpreters.create()
    try:
        with pytest.raises(subinterpreters.RunFailedError) as info:
            subinterpreters.run_string(interpreter, "import _tessark")
    finally:
        subinterpreters.destroy(interpreter)
    assert "ImportError" in str(info.value) and "sub-interpreters" in str(info.value)


@pytest.mark.parametrize("name", CLASSES)
def test_class_identity_and_closed_flags(name):
    cls = getattr(_tessark, name)
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == name
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        cls.new_class_attribute = 1


@pytest.mark.parametrize("name", [n for n in ("ValidationResult", "QueryInfo") if n in CLASSES])
def test_result_classes_cannot_be_created(name):
    with pytest.raises(TypeError) as info:
        getattr(_tessark, name)()
    assert str(info.value) == f"cannot create 'builtins.{name}' instances"


def test_schema_instances_are_closed():
    schema = _tessark.Schema({}, {})
    with pytest.raises(AttributeError):
        schema.extra = 1
    with pytest.raises(AttributeError):
        schema.__dict__
    with pytest.raises(TypeError):
        weakref.ref(schema)
    assert callable(_tessark.Schema)
