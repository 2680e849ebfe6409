"""What Psb and Drvb share: opening, closing and calling one board's
connection in one library, and the one-connection-per-board rule."""

from __future__ import annotations

import atexit
import os
from typing import Any, List, Optional, TypeVar, Union

from . import _arguments, _library
from .errors import BadArgumentError, ConnectionClosedError, Reason

PortName = Union[str, "os.PathLike[str]"]

_Self = TypeVar("_Self", bound="BoardConnection")


class BoardConnection:
    """One board's connection in one library. Subclasses set ``BOARD``."""

    BOARD = ""

    def __init__(
        self,
        port: PortName,
        *,
        library: str,
        timeout_ms: Optional[int] = None,
        timeout: Optional[float] = None,
    ) -> None:
        self._timeout_ms = _arguments.timeout_ms(timeout_ms, timeout)
        self._port = os.fsdecode(port)
        self._lib = _library.library(library)
        self._open = False
        self._superseded = False
        if "\0" in self._port:
            raise self._bad_argument("open", "the port name holds a NUL character")
        with self._lib.board_locks[self.BOARD]:
            previous = self._lib.owners.pop(self.BOARD, None)
            if isinstance(previous, BoardConnection):
                # The library's create closes that connection: its object
                # lets go first (a drive board is told to stop).
                previous._hand_over()
            if self._lib.function(self.BOARD, "create")(os.fsencode(self._port), self._timeout_ms) != 0:
                self._lib.raise_failure("open", self.BOARD, self._port)
            self._lib.owners[self.BOARD] = self
            self._open = True

    @property
    def port(self) -> str:
        """The port name the connection was opened with."""
        return self._port

    @property
    def library(self) -> str:
        """``"zarn"`` or ``"velk"``."""
        return self._lib.key

    @property
    def library_path(self) -> str:
        """The file the library was loaded from (or the name the loader found)."""
        return self._lib.path

    @property
    def timeout_ms(self) -> int:
        """The time-out of every read and write on the port, in milliseconds."""
        return self._timeout_ms

    @property
    def timeout(self) -> float:
        """The same time-out in seconds."""
        return self._timeout_ms / 1000

    @property
    def closed(self) -> bool:
        """True after :meth:`close`, or once a later open of the same board in
        the same library took the connection over."""
        return not self._open

    def close(self) -> None:
        """Closes the connection. Closing twice, or closing an object whose
        connection a later open took over, does nothing."""
        with self._lib.board_locks[self.BOARD]:
            if not self._open:
                return
            self._before_close()
            self._lib.function(self.BOARD, "destroy")()
            self._open = False
            if self._lib.owners.get(self.BOARD) is self:
                del self._lib.owners[self.BOARD]

    def __enter__(self: _Self) -> _Self:
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "superseded" if self._superseded else "closed" if not self._open else "open"
        return f"<tavik.{type(self).__name__} {self._port} via {self._lib.name}, {state}>"

    # --- for the subclasses ---------------------------------------------------

    def _call(self, command: str, verb: str, *arguments: Any) -> None:
        """Runs one export on this board; raises the library's reason on -1."""
        with self._lib.board_locks[self.BOARD]:
            self._check_open(command)
            if self._lib.function(self.BOARD, verb)(*arguments) != 0:
                self._lib.raise_failure(command, self.BOARD, self._port)

    def _number(self, command: str, name: str, value: object, low: int, high: int, unit: str = "") -> int:
        """``value`` as an int within low..high, else :class:`TypeError` or
        :class:`~tavik.BadArgumentError`."""
        number = _arguments.integer(value, name)
        if not low <= number <= high:
            raise self._bad_argument(command, f"{name} {number}{unit} is outside {low}..{high}{unit}")
        return number

    def _bad_argument(self, command: str, detail: str) -> BadArgumentError:
        return BadArgumentError(
            Reason.BAD_ARGUMENT,
            self._lib.error_text(Reason.BAD_ARGUMENT),
            command=command,
            board=self.BOARD,
            port=self._port,
            library=self._lib.key,
            detail=detail,
        )

    def _check_open(self, command: str) -> None:
        if not self._open:
            raise ConnectionClosedError(
                command=command,
                board=self.BOARD,
                port=self._port,
                library=self._lib.key,
                superseded=self._superseded,
            )

    def _before_close(self) -> None:
        """Last words on the line before the connection goes (under the lock)."""

    def _hand_over(self) -> None:
        self._before_close()
        self._open = False
        self._superseded = True


def _close_all() -> None:
    """At exit every connection still open is closed: a drive board that was
    given a velocity is told to stop first."""
    owners: List[Optional[object]] = []
    for lib in list(_library._loaded.values()):
        owners.extend(lib.owners.values())
    for owner in owners:
        if isinstance(owner, BoardConnection):
            try:
                owner.close()
            except Exception:  # noqa: BLE001 - nothing is left to tell at exit
                pass


atexit.register(_close_all)
