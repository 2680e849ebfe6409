"""The types the commands take, checked before anything is sent.

A number is an ``int`` or anything that says it is one (``__index__``, such
as NumPy's integers), but never a ``bool``; floats and strings are refused,
not rounded or parsed. A switch is ``True`` or ``False`` only. Ranges are the
commands' own (see Psb and Drvb); these are the C types under them.
"""

from __future__ import annotations

import math
import operator
C_INT_MIN = -(2**31)
C_INT_MAX = 2**31 - 1

DEFAULT_TIMEOUT_MS = 200


def integer(value: object, name: str) -> int:
    """``value`` as an ``int``; :class:`TypeError` for a bool, float, string, ..."""
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an int, not bool")
    try:
        return operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None


def switch(value: object, name: str) -> bool:
    """``value`` when it is ``True`` or ``False``, else :class:`TypeError`."""
    if not isinstance(value, bool):
        raise TypeError(f"{name} must be True or False, not {value!r}")
    return value


def timeout_ms(timeout_ms: object, timeout: object) -> int:
    """The time-out in milliseconds from ``timeout_ms`` or ``timeout`` (seconds,
    rounded up to a whole millisecond), at most one of them given."""
    if timeout_ms is not None and timeout is not None:
        raise TypeError("give timeout (seconds) or timeout_ms, not both")
    if timeout is not None:
        if isinstance(timeout, bool) or not isinstance(timeout, (int, float)):
            raise TypeError(f"timeout must be a number of seconds, not {type(timeout).__name__}")
        if not math.isfinite(timeout) or timeout <= 0:
            raise ValueError(f"timeout must be a positive number of seconds, not {timeout!r}")
        # To the microsecond first, so that 0.2 s is 200 ms and not 201.
        milliseconds: int = max(1, math.ceil(round(timeout * 1000, 3)))
    elif timeout_ms is not None:
        milliseconds = integer(timeout_ms, "timeout_ms")
        if milliseconds <= 0:
            raise ValueError(f"timeout_ms must be positive, not {milliseconds}")
    else:
        milliseconds = DEFAULT_TIMEOUT_MS
    if milliseconds > C_INT_MAX:
        raise ValueError(f"the time-out must be at most {C_INT_MAX} ms, not {milliseconds} ms")
    return milliseconds
