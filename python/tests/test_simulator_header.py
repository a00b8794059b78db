"""The simulator module's copies of sim/bfsim.h: its constants, the layout of
``bfsim_call`` and the prototypes it gives the test interface, read from the
header itself so that a change there cannot pass unnoticed here."""
from __future__ import annotations

import ctypes
import re
from typing import Dict, List, Tuple

from conftest import REPOSITORY

from qor_bitflow import simulator

SIM_HEADER = REPOSITORY / "sim" / "bfsim.h"

C_TYPES = {
    "void": None,
    "int": ctypes.c_int,
    "int32_t": ctypes.c_int32,
    "uint32_t": ctypes.c_uint32,
    "int64_t": ctypes.c_int64,
    "size_t": ctypes.c_size_t,
    "char": ctypes.c_char,
    "const char *": ctypes.c_char_p,
    "bfsim_call *": ctypes.POINTER(simulator._Call),
}
DEFINE = re.compile(r"^#define\s+(BFSIM_\w+)\s+(0x[0-9A-Fa-f]+|\d+)u?\b", re.MULTILINE)
ENUMERATOR = re.compile(r"\b(BFSIM_\w+)\s*=\s*(\d+)")
FIELD = re.compile(r"^\s*([\w ]+?)\s+(\w+)(?:\[(\d+)\])?;", re.MULTILINE)
DECLARATION = re.compile(r"BFSIM_API\s+([\w ]+?\**)\s*(bfsim_\w+)\s*\(([^)]*)\)\s*;")


def header_text() -> str:
    # Comments out, so that no example in one is read as a declaration.
    return re.sub(r"/\*.*?\*/", " ", SIM_HEADER.read_text(), flags=re.DOTALL)


def header_numbers() -> Dict[str, int]:
    """Every numeric #define and enumerator of the header, by name."""
    text = header_text()
    numbers = {name: int(value, 0) for name, value in DEFINE.findall(text)}
    for body in re.findall(r"enum\s+\w+\s*\{([^}]*)\}", text):
        numbers.update({name: int(value) for name, value in ENUMERATOR.findall(body)})
    return numbers


def spelled(c_type: str) -> str:
    """A C type with single spaces and one space before its stars."""
    return re.sub(r"\s*(\*+)$", r" \1", " ".join(c_type.split()))


def header_struct(name: str) -> List[Tuple[str, str, int]]:
    """The fields of ``typedef struct name {...} name;``: name, type, array length (0: none)."""
    body = re.search(r"typedef\s+struct\s+" + name + r"\s*\{([^}]*)\}\s*" + name + ";", header_text())
    assert body, f"{name} is not declared in {SIM_HEADER}"
    return [(field, spelled(c_type), int(length or 0)) for c_type, field, length in FIELD.findall(body.group(1))]


def header_prototypes() -> Dict[str, Tuple[str, Tuple[str, ...]]]:
    """Each test-interface function's result type and parameter types."""
    found = {}
    for result, name, parameters in DECLARATION.findall(header_text()):
        types = []
        for parameter in parameters.split(","):
            parameter = " ".join(parameter.split())
            if parameter != "void":
                types.append(spelled(re.match(r"^(.*?)\w+$", parameter).group(1)))
        found[name] = (spelled(result), tuple(types))
    return found


def test_status_codes_match_the_header():
    numbers = header_numbers()
    copies = {name: value for name, value in vars(simulator).items() if re.fullmatch(r"(ERR|WAIT)_[A-Z_]+", name)}
    assert copies, "the module names no status code"
    for name, value in copies.items():
        assert numbers.get("BFSIM_" + name) == value, name


def test_object_kinds_are_the_header_ones_every_one():
    numbers = header_numbers()
    kinds = {name[len("BFSIM_OBJ_"):].lower(): value for name, value in numbers.items() if name.startswith("BFSIM_OBJ_")}
    all_kinds = kinds.pop("all")
    assert simulator._OBJECT_KINDS == kinds
    assert simulator._ALL_OBJECTS == all_kinds
    assert list(simulator.LiveObjects._fields) == list(kinds) + ["total"]


def test_call_record_has_the_header_layout():
    expected = []
    for field, c_type, length in header_struct("bfsim_call"):
        expected.append((field, C_TYPES[c_type] * length if length else C_TYPES[c_type]))
    fields = simulator._Call._fields_
    assert [name for name, _ in fields] == [name for name, _ in expected]
    for (name, ours), (_, theirs) in zip(fields, expected):
        assert ctypes.sizeof(ours) == ctypes.sizeof(theirs), name
        assert ctypes.alignment(ours) == ctypes.alignment(theirs), name
        assert getattr(ours, "_type_", ours) == getattr(theirs, "_type_", theirs), name


def test_prototypes_match_the_header_declarations():
    declared = header_prototypes()
    for name, (restype, argtypes) in simulator._PROTOTYPES.items():
        assert name in declared, f"{name} is not declared in {SIM_HEADER}"
        result, parameters = declared[name]
        assert restype is C_TYPES[result], name
        assert argtypes == tuple(C_TYPES[t] for t in parameters), name
