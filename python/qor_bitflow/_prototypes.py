"""The library's thirty C functions, each declared once with its exact C types.

``include/qor_bitflow.h`` is the source of truth; ``tests/test_prototypes.py``
reads it and fails when a function is missing here, left over, or declared
with other types.
"""
from __future__ import annotations

import ctypes
from ctypes import POINTER, c_char_p, c_double, c_int32, c_uint32, c_void_p
from typing import Dict, List, Tuple

_u32p = POINTER(c_uint32)
_i32p = POINTER(c_int32)
_voidpp = POINTER(c_void_p)

#: Every function returns an int32_t status; this maps each name to its
#: parameter types, in order.
PROTOTYPES: Dict[str, Tuple[type, ...]] = {
    # Boards
    "BF_Open": (c_void_p, _u32p, _u32p, _u32p, _u32p, c_uint32, c_int32, _i32p),
    "BF_ImageInfo": (_u32p, _u32p, _u32p, _u32p, _u32p, _voidpp, c_int32),
    "BF_SelectCamera": (c_uint32, c_int32),
    "BF_Close": (c_int32,),
    # Single destination
    "BF_AllocBuffer": (_i32p, _voidpp, c_int32),
    "BF_FreeBuffer": (c_int32,),
    "BF_Setup": (c_void_p, c_uint32, c_int32),
    "BF_Cleanup": (c_int32,),
    "BF_AqFrameSize": (c_int32, c_uint32, c_uint32, c_int32),
    # Capture
    "BF_GetFrame": (c_int32,),
    "BF_FastGetFrame": (c_int32,),
    "BF_Grab": (c_int32, c_int32),
    "BF_Stop": (c_int32,),
    "BF_Wait4Frame": (c_uint32, c_int32, _u32p),
    "BF_Status": (_u32p, _u32p, _i32p, _u32p, c_int32),
    "BF_ResetAcquisition": (c_int32,),
    # Buffer chain
    "BF_BufferSetup": (_voidpp, c_uint32, c_int32, c_int32),
    "BF_BufferCleanup": (c_int32,),
    "BF_Wait": (c_uint32, c_int32, c_int32, _u32p),
    # Triggers
    "BF_TriggerMode": (_i32p, c_int32),
    "BF_SetSWtrigger": (c_int32, c_int32, c_int32),
    # Lookup tables
    "BF_LoadLUT": (c_int32, c_void_p, c_int32, c_int32),
    "BF_MaskBits": (c_int32,),
    # Timing generator, encoder and outputs
    "BF_NTGSetup": (c_int32, c_double, c_double, c_double, c_uint32, c_int32),
    "BF_NTGEncDiv": (c_int32, c_uint32, c_uint32, c_uint32),
    "BF_GetGPOUT": (c_int32, _u32p),
    "BF_SetGPOUT": (c_int32, c_uint32, c_uint32),
    # Registers
    "BF_RegPeek": (c_int32, c_uint32, _u32p),
    "BF_RegPoke": (c_int32, c_uint32, c_uint32),
    "BF_RegNametoId": (c_int32, _u32p, c_char_p, c_uint32, c_int32),
}

#: The return type every function shares.
RESTYPE = c_int32


def declare(library: ctypes.CDLL) -> List[str]:
    """Gives every function of ``library`` its prototype; returns the names it lacks."""
    missing = []
    for name, argtypes in PROTOTYPES.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            missing.append(name)
            continue
        function.argtypes = list(argtypes)
        function.restype = RESTYPE
    return missing
