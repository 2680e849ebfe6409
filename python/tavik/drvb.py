"""The drive board (DRVB) through lib_zarn_rs232."""

from __future__ import annotations

import ctypes
import enum
from dataclasses import dataclass
from typing import Any, Optional, Tuple, Union

from . import _arguments
from ._connection import BoardConnection, PortName
from .errors import BoardError, DeviceLostError

__all__ = ["Parameter", "Encoders", "BumperState", "WheelErrors", "ParameterValue", "Drvb"]


class Parameter(enum.IntEnum):
    """The drive parameters, by the id the library takes."""

    MAX_VELOCITY = 0
    DRIVE_COMM_ERR_TIME = 1
    AD_TIME = 2

    @property
    def label(self) -> str:
        """The name the console lists."""
        return ("Max Velocity", "Drive Comm. Err Time", "A/D Time")[self]

    @property
    def unit(self) -> str:
        """The unit the console shows."""
        return ("mm/s", "ms", "ms")[self]

    @property
    def limits(self) -> Tuple[int, int]:
        """The values the library writes: (lowest, highest), inclusive."""
        return ((0, 2000), (35, 20000), (8, 1000))[self]


@dataclass(frozen=True)
class Encoders:
    """The wheel encoder counts, signed."""

    left: int
    right: int


@dataclass(frozen=True)
class BumperState:
    """The bumpers and the emergency stop; True when closed or active."""

    left: bool
    right: bool
    emergency: bool

    @property
    def any(self) -> bool:
        """True when a bumper is closed or the emergency stop is active."""
        return self.left or self.right or self.emergency


@dataclass(frozen=True)
class WheelErrors:
    """The error bytes of the left and right wheel drives (0..255; 0 is no error)."""

    left: int
    right: int

    def __str__(self) -> str:
        return f"left 0x{self.left:02x}, right 0x{self.right:02x}"


@dataclass(frozen=True)
class ParameterValue:
    """A drive parameter as read from the board."""

    parameter: Parameter
    value: int

    @property
    def unit(self) -> str:
        return self.parameter.unit

    def __str__(self) -> str:
        return f"{self.parameter.label}: {self.value} {self.unit}"


class Drvb(BoardConnection):
    """The drive board, through ``lib_zarn_rs232``::

        with tavik.Drvb("COM8") as drvb:
            drvb.set_servo(True)
            drvb.set_velocity(200, 200)
            ...
        # leaving the block sends 0,0 before the port closes

    The library keeps one drive-board connection per process. Opening a
    second ``Drvb`` closes the first one's connection (the library's create
    replaces it): the first object stops the robot if it had set a velocity,
    then raises :class:`~tavik.ConnectionClosedError` with ``superseded`` set,
    and its :meth:`close` leaves the new connection alone.

    Whoever stops listening tells the robot to stop: :meth:`close`, leaving
    the ``with`` block, a later open that takes the connection over, and the
    end of the interpreter send the velocity 0,0 first when this object last
    commanded another one (a failure of that stop is not raised).

    ``timeout`` (seconds) or ``timeout_ms`` bounds every read and write on
    the port (200 ms when neither is given). Every command checks its
    arguments before anything is sent: :class:`TypeError` for one of the
    wrong type, :class:`~tavik.BadArgumentError` for one out of range.
    """

    BOARD = "drvb"

    def __init__(
        self,
        port: PortName,
        *,
        timeout_ms: Optional[int] = None,
        timeout: Optional[float] = None,
    ) -> None:
        self._moving = False
        # The board's Max Velocity as last read or written here; None until then.
        self._max_velocity: Optional[int] = None
        super().__init__(port, library="zarn", timeout_ms=timeout_ms, timeout=timeout)

    def set_servo(self, on: bool) -> None:
        """Switches the servo on (``True``) or off (``False``) ("DB", then "CZ")."""
        on = _arguments.switch(on, "on")
        self._call(f"servo {'on' if on else 'off'}", "set_servo", int(on))

    def set_velocity(self, left: int, right: int) -> None:
        """Commands the wheel velocities (mm/s on the simulator, positive
        forward) once ("BE"). The board stops the wheels by itself when no
        velocity comes within its Drive Comm. Err Time.

        A velocity faster than the board's Max Velocity (which would set a
        wheel error instead of driving) is refused with
        :class:`~tavik.BadArgumentError`. The first velocity other than 0,0
        reads Max Velocity from the board unless this object has read or
        written it already; 0,0 is never held up."""
        left = _arguments.integer(left, "left")
        right = _arguments.integer(right, "right")
        command = f"set velocity {left},{right}"
        with self._lib.board_locks[self.BOARD]:
            if (left, right) != (0, 0):
                limit = self._velocity_limit(command)
                for wheel, velocity in (("left", left), ("right", right)):
                    if abs(velocity) > limit:
                        raise self._bad_argument(
                            command,
                            f"the {wheel} velocity {velocity} mm/s is above the board's maximum velocity"
                            f" of {limit} mm/s (Parameter.MAX_VELOCITY)",
                        )
                self._moving = True
            self._call(command, "set_velocity", left, right)
            if (left, right) == (0, 0):
                self._moving = False

    def stop(self) -> None:
        """Sets both velocities to 0."""
        self.set_velocity(0, 0)

    def read_encoder(self) -> Encoders:
        """The wheel encoder counts ("AC")."""
        left, right = ctypes.c_int(), ctypes.c_int()
        self._call("read encoders", "read_encoder", ctypes.byref(left), ctypes.byref(right))
        return Encoders(left.value, right.value)

    def read_bumper_emg(self) -> BumperState:
        """The bumpers and the emergency stop ("AA")."""
        left, right, emergency = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        self._call(
            "read bumpers", "read_bumper_emg", ctypes.byref(left), ctypes.byref(right), ctypes.byref(emergency)
        )
        return BumperState(bool(left.value), bool(right.value), bool(emergency.value))

    def read_drive_err(self) -> WheelErrors:
        """The wheel drives' error bytes ("AA")."""
        left, right = ctypes.c_char(), ctypes.c_char()
        self._call("read drive errors", "read_drive_err", ctypes.byref(left), ctypes.byref(right))
        return WheelErrors(left.value[0], right.value[0])

    def reset_drive_errors(self) -> None:
        """Clears the drive errors ("CG")."""
        self._call("reset drive errors", "set_drive_err_reset")

    def read_parameter(self, parameter: Union[Parameter, int]) -> ParameterValue:
        """Reads a drive parameter ("XL")."""
        parameter = self._parameter("read parameter", parameter)
        value = ctypes.c_int()
        with self._lib.board_locks[self.BOARD]:
            self._call(f"read {parameter.label}", "read_parameter", int(parameter), ctypes.byref(value))
            if parameter == Parameter.MAX_VELOCITY:
                self._max_velocity = value.value
        return ParameterValue(parameter, value.value)

    def set_parameter(self, parameter: Union[Parameter, int], value: int) -> None:
        """Writes a drive parameter and stores it ("XB", then "XD"). A value
        outside :attr:`Parameter.limits` is refused
        (:class:`~tavik.BadArgumentError`) and nothing is sent."""
        parameter = self._parameter("set parameter", parameter)
        command = f"set {parameter.label}"
        value = self._number(command, parameter.label, value, *parameter.limits, f" {parameter.unit}")
        with self._lib.board_locks[self.BOARD]:
            if parameter == Parameter.MAX_VELOCITY:
                self._max_velocity = None  # unknown until the board has taken the new one
            self._call(f"{command} to {value}", "set_parameter", int(parameter), value)
            if parameter == Parameter.MAX_VELOCITY:
                self._max_velocity = value

    def _parameter(self, command: str, parameter: object) -> Parameter:
        number = self._number(command, "parameter", parameter, 0, len(Parameter) - 1)
        return Parameter(number)

    def _velocity_limit(self, command: str) -> int:
        """The board's Max Velocity, read first when not known (under the lock)."""
        if self._max_velocity is None:
            value = ctypes.c_int()
            maximum = int(Parameter.MAX_VELOCITY)
            self._call(f"read Max Velocity before {command}", "read_parameter", maximum, ctypes.byref(value))
            self._max_velocity = value.value
        return self._max_velocity

    def _call(self, command: str, verb: str, *arguments: Any) -> None:
        try:
            super()._call(command, verb, *arguments)
        except DeviceLostError:
            # The device that comes back may be another board.
            self._max_velocity = None
            raise

    def _before_close(self) -> None:
        if self._moving:
            try:
                self.set_velocity(0, 0)
            except BoardError:
                pass
