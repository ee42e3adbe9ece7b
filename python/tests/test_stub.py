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
