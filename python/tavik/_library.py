"""Loading the two board libraries and calling them.

The libraries are looked up, in this order:

1. each directory of ``TAVIK_LIBRARY_PATH`` (separated by ``os.pathsep``),
   the file itself or, for a build tree such as ``build/default``, in its
   ``lib_zarn_rs232/`` or ``lib_velk_rs232_psb/`` folder;
2. the installed library by its name: ``lib_zarn_rs232.so.1`` (the
   ``libtavik-rs232-1`` package) through the dynamic loader, or
   ``lib_zarn_rs232.dll`` on Windows (on ``PATH`` or in the system folders).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from typing import Any, Dict, Iterator, List, Optional

from .errors import LibraryNotFoundError, Reason, error_for

__all__ = ["Library", "library", "PowerRecord", "SensorRecord"]

_NAMES = {"zarn": "lib_zarn_rs232", "velk": "lib_velk_rs232_psb"}


class PowerRecord(ctypes.Structure):
    """``psb_power_data``."""

    _fields_ = [
        (name, ctypes.c_int32)
        for name in (
            "battery_volt",
            "consum_cur",
            "drive_state",
            "sensors_state",
            "lrf_state",
            "sbc_state",
            "sg_state",
            "lcd_state",
            "servo_state",
        )
    ]


class SensorRecord(ctypes.Structure):
    """``psb_sensor_data``."""

    _fields_ = [
        ("ranges", ctypes.c_float * 7),
        ("reserved", ctypes.c_uint32),
        ("extra_bytes", ctypes.c_uint8 * 8),
    ]


_int = ctypes.c_int
_pint = ctypes.POINTER(ctypes.c_int)
_pchar = ctypes.POINTER(ctypes.c_char)

# name: (result, argument types); the prefix is the library's.
_ZARN = {
    "zarn_rs232_psb_create": (_int, [ctypes.c_char_p, _int]),
    "zarn_rs232_psb_destroy": (None, []),
    "zarn_rs232_psb_read_power": (_int, [ctypes.POINTER(PowerRecord)]),
    "zarn_rs232_psb_read_usonic": (_int, [ctypes.POINTER(ctypes.c_int * 7)]),
    "zarn_rs232_psb_set_power_control": (_int, [ctypes.c_uint, _int]),
    "zarn_rs232_psb_set_usonic_max_dist": (_int, [_int]),
    "zarn_rs232_drvb_create": (_int, [ctypes.c_char_p, _int]),
    "zarn_rs232_drvb_destroy": (None, []),
    "zarn_rs232_drvb_set_servo": (_int, [_int]),
    "zarn_rs232_drvb_set_velocity": (_int, [_int, _int]),
    "zarn_rs232_drvb_read_encoder": (_int, [_pint, _pint]),
    "zarn_rs232_drvb_read_bumper_emg": (_int, [_pint, _pint, _pint]),
    "zarn_rs232_drvb_read_drive_err": (_int, [_pchar, _pchar]),
    "zarn_rs232_drvb_set_drive_err_reset": (_int, []),
    "zarn_rs232_drvb_read_parameter": (_int, [_int, _pint]),
    "zarn_rs232_drvb_set_parameter": (_int, [_int, _int]),
    "zarn_rs232_last_error": (_int, []),
    "zarn_rs232_last_refusal": (_int, []),
    "zarn_rs232_last_os_error": (_int, []),
    "zarn_rs232_last_error_detail": (ctypes.c_char_p, []),
    "zarn_rs232_port_device": (ctypes.c_char_p, [ctypes.c_char_p]),
    "zarn_rs232_error_text": (ctypes.c_char_p, [_int]),
}
_VELK = {
    "velk_rs232_psb_create": (_int, [ctypes.c_char_p, _int]),
    "velk_rs232_psb_destroy": (None, []),
    "velk_rs232_psb_read_sensor": (_int, [ctypes.POINTER(SensorRecord)]),
    "velk_rs232_psb_read_power": (_int, [ctypes.POINTER(PowerRecord)]),
    "velk_rs232_psb_set_power_control": (_int, [ctypes.c_uint, _int]),
    "velk_rs232_psb_set_usonic_max_dist": (_int, [_int]),
    "velk_rs232_psb_last_error": (_int, []),
    "velk_rs232_psb_last_refusal": (_int, []),
    "velk_rs232_psb_last_os_error": (_int, []),
    "velk_rs232_psb_last_error_detail": (ctypes.c_char_p, []),
    "velk_rs232_psb_port_device": (ctypes.c_char_p, [ctypes.c_char_p]),
    "velk_rs232_psb_error_text": (ctypes.c_char_p, [_int]),
}


def _file_names(base: str) -> List[str]:
    if sys.platform == "win32":
        return [base + ".dll"]
    return [base + ".so.1", base + ".so"]


def _candidates(base: str) -> Iterator[str]:
    """The path found under TAVIK_LIBRARY_PATH, else the installed names."""
    directories = [d for d in os.environ.get("TAVIK_LIBRARY_PATH", "").split(os.pathsep) if d]
    if directories:
        # A path given on purpose is never passed over for another library.
        for directory in directories:
            for folder in (directory, os.path.join(directory, base)):
                for name in _file_names(base):
                    path = os.path.join(folder, name)
                    if os.path.isfile(path):
                        yield os.path.abspath(path)
                        return
        return
    if sys.platform == "win32":
        # Windows loads a bare name from the system folders only: look on PATH.
        located = ctypes.util.find_library(base)
        if located:
            yield located
        yield base + ".dll"
        return
    yield base + ".so.1"
    located = ctypes.util.find_library(base[3:])  # ld.so.cache, LD_LIBRARY_PATH
    if located:
        yield located


class Library:
    """One loaded board library: its functions with their C types, one lock
    per board, and which Python object owns each board's connection."""

    def __init__(self, key: str) -> None:
        self.key = key
        self.name = _NAMES[key]
        tried: List[str] = []
        handle: Optional[ctypes.CDLL] = None
        for candidate in _candidates(self.name):
            try:
                handle = ctypes.CDLL(candidate)
                break
            except OSError as error:
                tried.append(f"{candidate}: {error}")
        if handle is None:
            where = os.environ.get("TAVIK_LIBRARY_PATH")
            hint = (
                f"not found under TAVIK_LIBRARY_PATH={where}"
                if where
                else "install libtavik-rs232-1 or set TAVIK_LIBRARY_PATH to a build tree"
            )
            details = "; ".join(tried)
            raise LibraryNotFoundError(f"cannot load {self.name}: {hint}" + (f" ({details})" if details else ""))
        self.path: str = handle._name
        self._handle = handle
        for name, (result, arguments) in (_ZARN if key == "zarn" else _VELK).items():
            function = getattr(handle, name)
            function.restype = result
            function.argtypes = arguments
        self.prefix = "zarn_rs232" if key == "zarn" else "velk_rs232_psb"
        # Held around every call on a board and around open and close, so an
        # object never reaches a connection that a later open took over.
        self.board_locks: Dict[str, threading.RLock] = {"psb": threading.RLock(), "drvb": threading.RLock()}
        self.owners: Dict[str, object] = {}

    def function(self, board: Optional[str], verb: str) -> Any:
        """The export ``<prefix>_<board>_<verb>`` (the velk prefix names its board)."""
        if self.key == "velk" or board is None:
            return getattr(self._handle, f"{self.prefix}_{verb}")
        return getattr(self._handle, f"{self.prefix}_{board}_{verb}")

    def raise_failure(self, command: str, board: str, port: str) -> None:
        """Raises the exception for this thread's last failure in the library;
        a failed open names the device the port name led to."""
        reason = int(self.function(None, "last_error")())
        refusal = int(self.function(None, "last_refusal")()) if reason == Reason.REFUSED else None
        os_error = int(self.function(None, "last_os_error")())
        device = detail = None
        if command == "open":
            device = self.text(self.function(None, "port_device")(port.encode("utf-8", "replace"))) or ""
            detail = self.text(self.function(None, "last_error_detail")()) or None
        raise error_for(reason)(
            reason,
            self.error_text(reason),
            command=command,
            board=board,
            port=port,
            library=self.key,
            refusal=refusal,
            os_error=os_error,
            device=device,
            detail=detail,
        )

    @staticmethod
    def text(value: Optional[bytes]) -> str:
        """A text the library returns, "" for none."""
        return value.decode("utf-8", "replace") if value else ""

    def error_text(self, reason: int) -> str:
        """The library's short text for a reason."""
        text: bytes = self.function(None, "error_text")(reason)
        return text.decode("ascii", "replace")


_loaded: Dict[str, Library] = {}
_loading = threading.Lock()


def library(key: str) -> Library:
    """The library ``"zarn"`` (lib_zarn_rs232) or ``"velk"``
    (lib_velk_rs232_psb), loaded on first use."""
    if key not in _NAMES:
        raise ValueError(f"library must be 'zarn' or 'velk', not {key!r}")
    with _loading:
        if key not in _loaded:
            _loaded[key] = Library(key)
        return _loaded[key]
