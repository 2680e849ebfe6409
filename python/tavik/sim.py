"""Starts ``tavik-sim``, the substitute boards on pseudo-terminals, for tests
and demos::

    import tavik, tavik.sim

    with tavik.sim.Simulator() as sim:          # COM7 and COM8
        with tavik.Drvb(sim.drvb) as drvb:
            sim.fault("drvb", "AC", "silence")
            drvb.read_encoder()                  # raises tavik.NoReplyError

The program is ``$TAVIK_SIM`` when set, else ``tavik-sim`` on ``PATH``.
While it runs, ``TAVIK_COM_DIR`` in this process's environment points at its
links, so the libraries open ``COM7`` and ``COM8`` there, and only there: no
ports file is read while it is set. Stopping it puts the variable back as it
was. Linux only.
"""

from __future__ import annotations

import os
import select
import shutil
import subprocess
import time
from typing import List, Optional

from .errors import TavikError

__all__ = ["Simulator", "SimulatorError", "find_program"]


class SimulatorError(TavikError):
    """tavik-sim could not be found or started, or refused a command."""


def find_program() -> str:
    """``$TAVIK_SIM``, else ``tavik-sim`` on ``PATH``."""
    program = os.environ.get("TAVIK_SIM") or shutil.which("tavik-sim")
    if not program:
        raise SimulatorError("tavik-sim not found: install tavik-tools or set TAVIK_SIM to the program")
    return program


class Simulator:
    """A running ``tavik-sim``; also a context manager that stops it.

    Attributes (after :meth:`start`):
        psb, drvb: the port names of the two boards (``"COM7"``, ``"COM8"``).
        link_dir: the directory of their links (``TAVIK_COM_DIR``).
        psb_device, drvb_device: the pseudo-terminals behind the links.
    """

    def __init__(
        self,
        psb: str = "COM7",
        drvb: str = "COM8",
        *,
        program: Optional[str] = None,
        pace: bool = False,
        seed: Optional[int] = None,
        timeout: float = 10.0,
    ) -> None:
        """``timeout`` bounds the start, every command and the stop, in seconds."""
        self.psb = psb
        self.drvb = drvb
        self.link_dir = ""
        self.psb_device = ""
        self.drvb_device = ""
        self._program = program
        self._arguments = ["--psb", psb, "--drvb", drvb] + (["--pace"] if pace else [])
        if seed is not None:
            self._arguments += ["--seed", str(seed)]
        self._timeout = timeout
        self._process: Optional["subprocess.Popen[bytes]"] = None
        self._pending = b""
        self._saved_com_dir: Optional[str] = None
        self._sync = 0

    def start(self) -> "Simulator":
        """Starts the program and waits for its links."""
        if self._process is not None:
            raise SimulatorError("tavik-sim runs already")
        program = self._program or find_program()
        try:
            self._process = subprocess.Popen(
                [program, *self._arguments],
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=subprocess.STDOUT,
            )
        except OSError as error:
            raise SimulatorError(f"cannot start {program}: {error}") from error
        deadline = time.monotonic() + self._timeout
        try:
            while not self.link_dir:
                line = self._read_line(deadline)
                words = line.split()
                if line.startswith("export TAVIK_COM_DIR="):
                    self.link_dir = line.split("=", 1)[1]
                elif len(words) == 4 and words[0] in ("psb", "drvb") and words[2] == "->":
                    setattr(self, f"{words[0]}_device", words[3])
            self._exchange("")  # whatever else it said at its start
        except SimulatorError:
            self.stop()
            raise
        self._saved_com_dir = os.environ.get("TAVIK_COM_DIR")
        os.environ["TAVIK_COM_DIR"] = self.link_dir
        return self

    def command(self, line: str) -> str:
        """Runs one command of its input (``help`` lists them) and returns
        the answer; raises :class:`SimulatorError` on an ``error:`` answer."""
        if self._process is None or self._process.stdin is None:
            raise SimulatorError("tavik-sim is not running")
        if "\n" in line:
            raise ValueError("one command at a time")
        text = self._exchange(line)
        if text.startswith("error:"):
            raise SimulatorError(f"tavik-sim: {line}: {text}")
        return text

    def _exchange(self, line: str) -> str:
        assert self._process is not None and self._process.stdin is not None
        # Every command is followed by an unknown one whose answer ends the
        # first one's, however many lines that has.
        self._sync += 1
        marker = f"#sync-{self._sync}"
        try:
            self._process.stdin.write(f"{line}\n{marker}\n".encode() if line else f"{marker}\n".encode())
            self._process.stdin.flush()
        except OSError as error:
            raise SimulatorError(f"tavik-sim does not take commands: {error}") from error
        deadline = time.monotonic() + self._timeout
        lines: List[str] = []
        while True:
            answer = self._read_line(deadline)
            if marker in answer:
                break
            lines.append(answer)
        return "\n".join(lines)

    def fault(self, board: str, command: str, kind: str, argument: Optional[str] = None) -> None:
        """``fault BOARD CMD KIND [ARG]``: e.g. ``fault("drvb", "AC", "status", "7")``."""
        self.command(" ".join(["fault", board, command, kind] + ([str(argument)] if argument is not None else [])))

    def clear_faults(self) -> None:
        self.command("fault clear")

    def unplug(self, board: str) -> None:
        """The board's device disappears; open ports hang up."""
        self.command(f"unplug {board}")

    def replug(self, board: str) -> None:
        """A new device for the board; the link follows it."""
        self.command(f"replug {board}")

    def received(self, board: str) -> bytes:
        """The bytes the board received since the last ask."""
        return bytes.fromhex(self.command(f"received {board}")[len("ok:"):])

    def status(self) -> str:
        return self.command("status")

    def stop(self) -> None:
        """Ends the program (end of its input, then SIGTERM, then SIGKILL,
        each waited for a bounded time) and restores ``TAVIK_COM_DIR``."""
        process, self._process = self._process, None
        if process is not None:
            try:
                if process.stdin is not None:
                    process.stdin.close()
            except OSError:
                pass
            for end in (None, process.terminate, process.kill):
                if end is not None:
                    end()
                try:
                    process.wait(timeout=self._timeout / 2)
                    break
                except subprocess.TimeoutExpired:
                    continue
            if process.stdout is not None:
                process.stdout.close()
        if self.link_dir and os.environ.get("TAVIK_COM_DIR") == self.link_dir:
            if self._saved_com_dir is None:
                del os.environ["TAVIK_COM_DIR"]
            else:
                os.environ["TAVIK_COM_DIR"] = self._saved_com_dir

    def __enter__(self) -> "Simulator":
        return self.start() if self._process is None else self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()

    def _read_line(self, deadline: float) -> str:
        assert self._process is not None and self._process.stdout is not None
        fd = self._process.stdout.fileno()
        while b"\n" not in self._pending:
            left = deadline - time.monotonic()
            if left <= 0:
                raise SimulatorError(f"tavik-sim said nothing for {self._timeout} s")
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                continue
            chunk = os.read(fd, 4096)
            if not chunk:
                status = self._process.poll()
                raise SimulatorError(f"tavik-sim ended (status {status}): {self._pending.decode(errors='replace')}")
            self._pending += chunk
        line, self._pending = self._pending.split(b"\n", 1)
        return line.decode(errors="replace")
