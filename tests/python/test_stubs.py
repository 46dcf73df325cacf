"""The type stubs python/_tessark.pyi against the built module: every public class, member
and function has a stub with the module's own docstring, and mypy's stubtest agrees on
the signatures."""

import ast
import importlib.util
import inspect
import os
import subprocess
import sys
from pathlib import Path

import pytest

import _tessark

STUBS = Path(__file__).resolve().parents[2] / "python" / "_tessark.pyi"
ALLOWLIST = STUBS.with_name("stubtest-allowlist.txt")


def stub_docstrings():
    """{qualified name: docstring or ""} for every class, function and method in the stubs."""
    tree = ast.parse(STUBS.read_text())
    found = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            found[node.name] = ast.get_docstring(node) or ""
            for member in node.body:
                if isinstance(member, ast.FunctionDef):
                    found[f"{node.name}.{member.name}"] = ast.get_docstring(member) or ""
        elif isinstance(node, ast.FunctionDef):
            found[node.name] = ast.get_docstring(node) or ""
    return found


def runtime_docstrings():
    """The same for the module: public members of each exported class, with the text
    signature block already removed by the interpreter."""
    found = {}
    for name in _tessark.__all__:
        obj = getattr(_tessark, name)
        found[name] = inspect.cleandoc(obj.__doc__ or "")
        if isinstance(obj, type):
            for member in vars(obj):
                if not member.startswith("_"):
                    doc = getattr(obj, member).__doc__
                    found[f"{name}.{member}"] = inspect.cleandoc(doc or "")
    return found


def test_stubs_cover_the_module_with_its_docstrings():
    stubs = stub_docstrings()
    runtime = runtime_docstrings()
    missing = sorted(set(runtime) - set(stubs))
    assert missing == []
    assert {name: stubs[name] for name in runtime} == runtime


def stub_constructor_signatures():
    """{class: "(a, b=default)"} from each stub class's __init__, without self."""
    found = {}
    for node in ast.parse(STUBS.read_text()).body:
        if isinstance(node, ast.ClassDef):
            for member in node.body:
                if isinstance(member, ast.FunctionDef) and member.name == "__init__":
                    params = member.args.args[1:]
                    defaults = [None] * (len(params) - len(member.args.defaults)) + member.args.defaults
                    found[node.name] = "(" + ", ".join(
                        p.arg if d is None else f"{p.arg}={ast.unparse(d)}" for p, d in zip(params, defaults)) + ")"
    return found


def test_stub_constructors_match_the_text_signatures():
    # stubtest sees only object.__init__ on these types, so the class's own text signature
    # is compared here.
    runtime = {}
    for name in _tessark.__all__:
        obj = getattr(_tessark, name)
        if isinstance(obj, type) and obj.__text_signature__:
            runtime[name] = obj.__text_signature__
    assert stub_constructor_signatures() == runtime


def test_stub_all_matches_the_module():
    tree = ast.parse(STUBS.read_text())
    declared = next(node.value for node in tree.body
                    if isinstance(node, ast.Assign) and node.targets[0].id == "__all__")
    assert ast.literal_eval(declared) == _tessark.__all__


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed (Debian python3-mypy)")
def test_stubtest_agrees_with_the_module():
    env = dict(os.environ, MYPYPATH=str(STUBS.parent))
    env["PYTHONPATH"] = os.pathsep.join(
        [str(Path(_tessark.__file__).resolve().parent), env.get("PYTHONPATH", "")])
    proc = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "_tessark", "--allowlist", str(ALLOWLIST),
        ],
        capture_output=True, text=True, env=env, timeout=600)
    assert proc.returncode == 0, proc.stdout + proc.stderr


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed (Debian python3-mypy)")
def test_package_type_checks_against_the_stubs():
    env = dict(os.environ, MYPYPATH=str(STUBS.parent))
    proc = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(STUBS.parent / "tessark")],
        capture_output=True, text=True, env=env, timeout=600)
    assert proc.returncode == 0, proc.stdout + proc.stderr
