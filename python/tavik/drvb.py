"""The drive board (DRVB) through lib_zarn_rs232."""

from __future__ import annotations

import ctypes
import enum
from dataclasses import dataclass
from typing import Union

from ._connection import DEFAULT_TIMEOUT_MS, BoardConnection, PortName
from .errors import BoardError

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
    def limits(self) -> "tuple[int | None, int]":
        """The values the library writes: (lowest or None, highest), inclusive."""
        return ((None, 2000), (35, 20000), (8, 1000))[self]


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
    """

    BOARD = "drvb"

    def __init__(self, port: PortName, *, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> None:
        self._moving = False
        super().__init__(port, library="zarn", timeout_ms=timeout_ms)

    def set_servo(self, on: bool) -> None:
        """Switches the servo on or off ("DB", then "CZ")."""
        self._call(f"servo {'on' if on else 'off'}", "set_servo", 1 if on else 0)

    def set_velocity(self, left: int, right: int) -> None:
        """Commands the wheel velocities (mm/s on the simulator, positive
        forward) once ("BE"). The board stops the wheels by itself when no
        velocity comes within its Drive Comm. Err Time."""
        if (left, right) != (0, 0):
            self._moving = True
        self._call(f"set velocity {left},{right}", "set_velocity", int(left), int(right))
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
        parameter = Parameter(parameter)
        value = ctypes.c_int()
        self._call(f"read {parameter.label}", "read_parameter", int(parameter), ctypes.byref(value))
        return ParameterValue(parameter, value.value)

    def set_parameter(self, parameter: Union[Parameter, int], value: int) -> None:
        """Writes a drive parameter and stores it ("XB", then "XD"). A value
        outside :attr:`Parameter.limits` is refused by the library
        (:class:`~tavik.BadArgumentError`) and nothing is sent."""
        parameter = Parameter(parameter)
        self._call(f"set {parameter.label} to {value}", "set_parameter", int(parameter), int(value))

    def _before_close(self) -> None:
        if self._moving:
            try:
                self.set_velocity(0, 0)
            except BoardError:
                pass
