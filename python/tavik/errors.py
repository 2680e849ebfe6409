"""Why a call failed: the exceptions raised by :mod:`tavik`.

Every failure of a board command is a :class:`BoardError`. It carries the
reason the library gave (``reason``, a :class:`Reason`, and ``reason_text``,
the library's own short text such as ``"no reply"``), the board's status byte
when the board refused the request (``refusal``), and which command, board,
port and library failed. Each reason has a subclass of its own, so a script
can catch exactly the failures it can handle::

    try:
        drvb.read_encoder()
    except tavik.NoReplyError:
        ...                    # the board stayed silent: try again later
    except tavik.BoardError as error:
        print(error.reason_text)

The failures that are also the standard ones derive from them as well, so
code written for files and sockets handles them as it would those:
:class:`OpenError` is an :class:`OSError` whose ``filename`` is the device
the port name led to, :class:`PortMissingError` a :class:`FileNotFoundError`,
:class:`PortPermissionError` a :class:`PermissionError`,
:class:`NoReplyError` a :class:`TimeoutError`, :class:`DeviceLostError` an
:class:`OSError` and :class:`BadArgumentError` a :class:`ValueError`. Their
``errno`` and ``strerror`` are the system's error behind the failure, as the
library kept it (``ENOENT`` for a missing port, ``EACCES``, ``EIO``, ...);
where the failure had none, ``errno`` is the one the standard class stands
for (``ETIMEDOUT`` for no reply), else ``None``, and ``strerror`` the
library's text. ``os_error`` holds the system's error on every exception
(errno on POSIX, ``GetLastError()`` on Windows, 0 when there was none).

:class:`BoardError` itself stays an :class:`Exception`, not an
:class:`OSError`: a refusal, a bad check byte or a malformed reply is the
board's answer, not a failure of the system, and an ``except OSError``
around file handling should not take it for one.

An argument of the wrong type raises a plain :class:`TypeError` (a ``bool``
where a number is meant among them: ``True`` is no device or velocity, and a
switch takes ``True`` or ``False``, not ``1`` or ``"off"``); a number out of
the command's range raises :class:`BadArgumentError`, as the library does. In
both cases nothing was sent.
"""

from __future__ import annotations

import enum
import errno
import os
import sys
from typing import Any, ClassVar, Dict, Optional, Tuple, Type

__all__ = [
    "Reason",
    "TavikError",
    "LibraryNotFoundError",
    "BoardError",
    "NotOpenError",
    "ConnectionClosedError",
    "NoReplyError",
    "BadCheckError",
    "RefusedError",
    "MalformedReplyError",
    "UnexpectedReplyError",
    "DeviceLostError",
    "ConnectionLostError",
    "SupersededError",
    "PortConnectionRefusedError",
    "HostNotFoundError",
    "BadArgumentError",
    "CallInterruptedError",
    "OpenError",
    "PortMissingError",
    "PortBusyError",
    "NotSerialError",
    "PortPermissionError",
]


class Reason(enum.IntEnum):
    """The values of ``enum tavik_rs232_error`` (``tavik/rs232_error.h``)."""

    OK = 0
    NOT_OPEN = 1
    NO_REPLY = 2
    BAD_CHECK = 3
    REFUSED = 4
    MALFORMED = 5
    DEVICE_LOST = 6
    BAD_ARGUMENT = 7
    INTERRUPTED = 8
    MISSING = 9
    PORT_BUSY = 10
    NOT_SERIAL = 11
    NO_PERMISSION = 12
    OPEN_FAILED = 13
    UNEXPECTED_REPLY = 14
    CONNECTION_REFUSED = 15
    HOST_NOT_FOUND = 16
    CONNECTION_LOST = 17
    SUPERSEDED = 18


class TavikError(Exception):
    """Base of every exception raised by :mod:`tavik`."""


class LibraryNotFoundError(TavikError):
    """``lib_zarn_rs232`` or ``lib_velk_rs232_psb`` could not be loaded."""


class BoardError(TavikError):
    """A call into a board library failed.

    Attributes:
        reason: why, as the library tells it (a :class:`Reason`; a value the
            package does not know yet stays a plain ``int``).
        reason_text: the library's short English text for the reason.
        refusal: the board's status byte (an ``int``, e.g. ``0x31`` for
            ``'1'``) when the board refused the request, else ``None``.
        os_error: the system's error behind the failure (errno on POSIX,
            ``GetLastError()`` on Windows), 0 when there was none.
        command: what was asked, e.g. ``"read encoder"``.
        board: ``"psb"`` or ``"drvb"``.
        port: the port name the connection was opened with.
        library: ``"zarn"`` or ``"velk"``.
        device: for a failed open, the device the port name led to (``""``
            when it leads to none), else ``None``.
        detail: what more is known, e.g. which argument was out of range and
            why, or where a ``COM`` name is looked for; else ``None``.
    """

    # The error number the standard class mixed in stands for, if any.
    _errno: ClassVar[Optional[int]] = None

    def __init__(
        self,
        reason: int,
        reason_text: str,
        *,
        command: str,
        board: str,
        port: str,
        library: str,
        refusal: Optional[int] = None,
        os_error: int = 0,
        device: Optional[str] = None,
        detail: Optional[str] = None,
    ) -> None:
        try:
            self.reason: int = Reason(reason)
        except ValueError:
            self.reason = reason
        self.reason_text = reason_text
        self.refusal = refusal
        self.os_error = os_error
        self.command = command
        self.board = board
        self.port = port
        self.library = library
        self.device = device
        self.detail = detail
        super().__init__(self._message())
        self._set_os_fields()

    def __str__(self) -> str:
        return self._message()

    def _message(self) -> str:
        why = self.reason_text
        if self.refusal is not None:
            shown = chr(self.refusal) if 0x20 <= self.refusal < 0x7F else f"0x{self.refusal:02x}"
            why = f"{why} ({shown})"
        if self.device:
            why = f"{why} ({self.device})"
        if self.detail:
            why = f"{why}; {self.detail}"
        return f"{self.board.upper()} at {self.port}: {self.command} failed: {why}"

    def _set_os_fields(self) -> None:
        if isinstance(self, OSError):
            standard: OSError = self
            from_system = self.os_error != 0 and sys.platform != "win32"
            standard.errno = self.os_error if from_system else self._errno  # type: ignore[assignment]
            standard.strerror = os.strerror(self.os_error) if from_system else self.reason_text
            standard.filename = self.device or None

    def __reduce__(self) -> Tuple[Any, ...]:  # keeps the keyword arguments through pickling
        return (_rebuild, (type(self), self.__dict__.copy()))


def _rebuild(cls: Type[BoardError], state: Dict[str, Any]) -> BoardError:
    error = cls.__new__(cls)
    error.__dict__.update(state)
    Exception.__init__(error, error._message())
    error._set_os_fields()
    return error


class NotOpenError(BoardError):
    """The library has no connection open for the board."""


class ConnectionClosedError(NotOpenError):
    """The Python object was closed, or a later open of the same board in the
    same library took its connection over (``superseded`` is then true)."""

    def __init__(self, *, command: str, board: str, port: str, library: str, superseded: bool) -> None:
        self.superseded = superseded
        text = "superseded by a later open of this board" if superseded else "closed"
        super().__init__(Reason.NOT_OPEN, text, command=command, board=board, port=port, library=library)


class NoReplyError(BoardError, TimeoutError):
    """Nothing, or only part of a frame, came within the time-out."""

    _errno = errno.ETIMEDOUT


class BadCheckError(BoardError):
    """A whole reply came with a wrong check byte."""


class RefusedError(BoardError):
    """The board answered with a status byte other than ``'0'`` (``refusal``)."""


class MalformedReplyError(BoardError):
    """A reply too long or cut short, or (from libraries that do not tell
    :class:`UnexpectedReplyError` apart) not of the command's shape."""


class UnexpectedReplyError(MalformedReplyError):
    """A whole, well-formed reply of another command's shape, such as one that
    came too late for an earlier request. A :class:`MalformedReplyError`, as
    which earlier libraries report it."""


class DeviceLostError(BoardError, OSError):
    """The port's device went away (a USB adapter pulled); the library opens
    the same name again by itself on a later call, at most every 500 ms."""


class ConnectionLostError(DeviceLostError, ConnectionError):
    """A network port's connection dropped (``tcp://``, ``rfc2217://``); as
    for a lost device, the library connects again on a later call."""


class SupersededError(BoardError):
    """A velocity other than 0,0 gave way to a stop that another thread asked
    for meanwhile: the stop went instead."""


class BadArgumentError(BoardError, ValueError):
    """An argument out of range: nothing was sent."""


class CallInterruptedError(BoardError):
    """The connection was being created or destroyed by another thread."""


class OpenError(BoardError, OSError):
    """The port could not be opened (raised by the constructors); ``device``
    (also ``filename``) is the device the port name led to."""


class PortMissingError(OpenError, FileNotFoundError):
    """No device by that name."""

    _errno = errno.ENOENT


class PortBusyError(OpenError):
    """Another program, or the other library, holds the port."""


class NotSerialError(OpenError):
    """The name leads to something that is not a serial device."""


class PortPermissionError(OpenError, PermissionError):
    """The device may not be opened by this user."""

    _errno = errno.EACCES


class PortConnectionRefusedError(OpenError, ConnectionRefusedError):
    """A network port's host refused the connection: nothing listens there."""

    _errno = errno.ECONNREFUSED


class HostNotFoundError(OpenError):
    """A network port's host name could not be resolved."""


_CLASSES: Dict[int, Type[BoardError]] = {
    Reason.NOT_OPEN: NotOpenError,
    Reason.NO_REPLY: NoReplyError,
    Reason.BAD_CHECK: BadCheckError,
    Reason.REFUSED: RefusedError,
    Reason.MALFORMED: MalformedReplyError,
    Reason.DEVICE_LOST: DeviceLostError,
    Reason.BAD_ARGUMENT: BadArgumentError,
    Reason.INTERRUPTED: CallInterruptedError,
    Reason.MISSING: PortMissingError,
    Reason.PORT_BUSY: PortBusyError,
    Reason.NOT_SERIAL: NotSerialError,
    Reason.NO_PERMISSION: PortPermissionError,
    Reason.OPEN_FAILED: OpenError,
    Reason.UNEXPECTED_REPLY: UnexpectedReplyError,
    Reason.CONNECTION_REFUSED: PortConnectionRefusedError,
    Reason.HOST_NOT_FOUND: HostNotFoundError,
    Reason.CONNECTION_LOST: ConnectionLostError,
    Reason.SUPERSEDED: SupersededError,
}


def error_for(reason: int) -> Type[BoardError]:
    """The exception class raised for a reason (:class:`BoardError` for one
    this package does not know)."""
    return _CLASSES.get(reason, BoardError)
