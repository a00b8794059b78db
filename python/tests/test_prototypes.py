"""The prototype table against the C header, the library's source of truth."""
from __future__ import annotations

import ctypes
import re
from typing import Dict, List

from conftest import HEADER

from qor_bitflow import _library
from qor_bitflow._prototypes import PROTOTYPES, RESTYPE

C_TYPES = {
    "int32_t": ctypes.c_int32,
    "uint32_t": ctypes.c_uint32,
    "double": ctypes.c_double,
    "void *": ctypes.c_void_p,
    "char *": ctypes.c_char_p,
    "int32_t *": ctypes.POINTER(ctypes.c_int32),
    "uint32_t *": ctypes.POINTER(ctypes.c_uint32),
    "void **": ctypes.POINTER(ctypes.c_void_p),
}
DECLARATION = re.compile(r"int32_t\s+QOR_CALL\s+(BF_\w+)\s*\(([^)]*)\)\s*;")
PARAMETER = re.compile(r"^(.*?)(\w+)$")


def header_functions() -> Dict[str, List[str]]:
    """Each declared function's parameter types, spelled as in C with one space before the stars."""
    found = {}
    for name, parameters in DECLARATION.findall(HEADER.read_text()):
        types = []
        for parameter in parameters.split(","):
            c_type = PARAMETER.match(" ".join(parameter.split())).group(1).strip()
            types.append(re.sub(r"\s*(\*+)$", r" \1", c_type))
        found[name] = types
    return found


def test_every_header_function_has_exactly_one_prototype():
    declared = header_functions()
    assert len(declared) == 30
    assert sorted(PROTOTYPES) == sorted(declared)


def test_prototypes_use_the_header_types():
    for name, c_types in header_functions().items():
        assert PROTOTYPES[name] == tuple(C_TYPES[t] for t in c_types), name


def test_the_loaded_library_has_every_function_with_its_prototype():
    cdll = _library.functions()
    for name, argtypes in PROTOTYPES.items():
        function = getattr(cdll, name)
        assert function.restype is RESTYPE
        assert tuple(function.argtypes) == argtypes
