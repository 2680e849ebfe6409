"""Which device a port name leads to, for the message of a failed open.

The rule is the libraries' (``serial/port_path_posix.cpp`` and
``serial/port_path_win32.cpp``), which do not export it; the package's tests
hold this copy to the words of the ``tavik`` tool, which takes them from the
libraries' own rule (tests/python/test_failures.py). ``COM<n>`` is
``$TAVIK_COM_DIR/COM<n>`` when that is set, else ``/dev/tavik/COM<n>`` when
it exists, else ``/dev/ttyS<n-1>`` (``\\\\.\\COM<n>`` on Windows); a name
starting with ``/`` or a network port (``tcp://``, ``rfc2217://``) is
itself, any other name is under ``/dev``.
"""

from __future__ import annotations

import os
import re
import sys
from typing import Optional

from .errors import Reason


def com_number(name: str) -> int:
    """n for ``COM<n>`` (one to six digits), else -1."""
    match = re.fullmatch(r"COM([0-9]{1,6})", name)
    return int(match.group(1)) if match else -1


def device_path(name: str) -> str:
    """The device the libraries open for ``name``; ``""`` when it leads to none."""
    if not name:
        return ""
    if "://" in name:  # a network port: tcp://, socket://, rfc2217://
        return name
    n = com_number(name)
    if sys.platform == "win32":
        return "\\\\.\\" + name if n >= 0 else name
    if name.startswith("/"):
        return name
    if n >= 0:
        com_dir = os.environ.get("TAVIK_COM_DIR")
        if com_dir:
            return f"{com_dir}/{name}"
        linked = f"/dev/tavik/{name}"
        if os.path.exists(linked):
            return linked
        return f"/dev/ttyS{n - 1}" if n >= 1 else ""
    if ".." in name.split("/"):
        return ""
    return f"/dev/{name}"


def lookup_hint(name: str, device: str, reason: int) -> Optional[str]:
    """Where a ``COM`` name that failed to open is looked for, as ``tavik``
    says it; None for other names and for a busy port."""
    network = (Reason.CONNECTION_REFUSED, Reason.HOST_NOT_FOUND, Reason.CONNECTION_LOST)
    if com_number(name) < 0 or reason == Reason.PORT_BUSY or reason in network or sys.platform == "win32":
        return None
    com_dir = os.environ.get("TAVIK_COM_DIR")
    if not com_dir and device != f"/dev/tavik/{name}":
        return (
            f"{name} is looked for as $TAVIK_COM_DIR/{name} when TAVIK_COM_DIR is set (tavik-sim prints it),"
            f" else as /dev/tavik/{name} (made by the udev rule 99-tavik-com.rules for the boards' USB"
            f" adapters), else as {device or '/dev/ttyS<n-1>'}"
        )
    if com_dir and reason == Reason.MISSING:
        return f"TAVIK_COM_DIR is set, so {name} is looked for there only"
    return None
