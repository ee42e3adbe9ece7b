"""The type stub names exactly what the package has, member for member."""
import ast
import pathlib

import orvocrypto


def public(names):
    return {n for n in names if not n.startswith("_")}


def test_stub_matches_the_package():
    stub = ast.parse((pathlib.Path(orvocrypto.__file__).parent / "__init__.pyi").read_text())
    top = {node.name: node for node in stub.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    top = {name: node for name, node in top.items() if not name.startswith("_")}  # the stub's own helpers
    assert set(top) == set(orvocrypto.__all__) == public(dir(orvocrypto)) - {"Buffer"}
    for name, node in top.items():
        if isinstance(node, ast.ClassDef) and name != "AlarmError":
            # Methods, and properties written as annotated descriptors (`mode: _Property[...]`).
            members = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
            members |= {n.target.id for n in node.body if isinstance(n, ast.AnnAssign)}
            assert public(members) == public(dir(getattr(orvocrypto, name))), name


def test_signatures_name_argument_types():
    """help() shows each function's pybind11 signature on its first doc line:
    arguments taken as any object and checked inside must still show their
    types, never `handle`."""
    functions = [getattr(orvocrypto, name) for name in ("md5", "sha1", "crc32", "random")]
    for cls in (orvocrypto.Cipher, orvocrypto.RSAKey):
        functions += [getattr(cls, name) for name in public(dir(cls)) if callable(getattr(cls, name))]
    seen = 0
    for function in functions:
        signature = function.__doc__.splitlines()[0]
        assert "handle" not in signature, signature
        if "data:" in signature:
            assert "data: bytes | bytearray | memoryview" in signature, signature
            seen += 1
    assert seen >= 8  # md5, sha1, crc32, two cipher and four RSA members
    assert "random(n: int) -> bytes" in orvocrypto.random.__doc__
