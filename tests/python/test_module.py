import _tessark


def test_module_imports():
    assert _tessark.__doc__ == ''
