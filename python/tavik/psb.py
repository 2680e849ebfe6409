"""The power & sensor board (PSB) through lib_velk_rs232_psb or lib_zarn_rs232."""

from __future__ import annotations

import ctypes
import enum
from dataclasses import dataclass
from typing import Optional, Tuple, Union

from . import _arguments
from ._connection import BoardConnection, PortName
from ._library import PowerRecord, SensorRecord

__all__ = ["Device", "PowerData", "SensorData", "UsonicRanges", "Psb", "MAX_DISTANCES_CM"]


class Device(enum.IntEnum):
    """The seven devices the PSB switches (``enum psb_device``)."""

    DRIVE = 0
    SENSORS = 1
    LRF = 2
    SBC = 3
    SG = 4
    LCD = 5
    SERVO = 6


@dataclass(frozen=True)
class PowerData:
    """Power data: battery, current consumption and the seven device states.

    ``battery_volt`` and ``consum_cur`` are the library's integers (the
    board's fields times 100): millivolts and milliamperes for a board that
    reports tenths of a volt and of an ampere, as the simulator does.
    """

    battery_volt: int
    consum_cur: int
    drive: bool
    sensors: bool
    lrf: bool
    sbc: bool
    sg: bool
    lcd: bool
    servo: bool

    @property
    def volts(self) -> float:
        """The battery voltage in volts (``battery_volt`` / 1000)."""
        return self.battery_volt / 1000

    @property
    def amps(self) -> float:
        """The current consumption in amperes (``consum_cur`` / 1000)."""
        return self.consum_cur / 1000

    def is_on(self, device: Union[Device, int]) -> bool:
        """Whether a device is switched on."""
        return bool(getattr(self, Device(device).name.lower()))


@dataclass(frozen=True)
class SensorData:
    """The sensor read of lib_velk_rs232_psb: the seven ultrasonic ranges
    (sensor 1 first) as the board's value times 0.001 in single precision
    (metres for a board that reports millimetres, as the simulator does),
    and the seven further reply bytes."""

    ranges: Tuple[float, ...]
    extra_bytes: bytes


@dataclass(frozen=True)
class UsonicRanges:
    """The ultrasonic read of lib_zarn_rs232: seven ranges (sensor 1 first)
    in the board's units (millimetres on the simulator)."""

    ranges: Tuple[int, ...]


# The maximum distances the board takes, in cm; the code sent is the index
# in this list plus one ('0' for 100 cm, '9' for 550 cm).
MAX_DISTANCES_CM: Tuple[int, ...] = tuple(range(100, 551, 50))


class Psb(BoardConnection):
    """The power & sensor board, through ``lib_velk_rs232_psb`` (the
    default, as the console) or ``lib_zarn_rs232``::

        with tavik.Psb("COM7") as psb:
            print(psb.read_power().volts)

    Each library keeps one PSB connection per process. Opening a second
    ``Psb`` with the same library closes the first one's connection (the
    library's create replaces it): the first object then raises
    :class:`~tavik.ConnectionClosedError` with ``superseded`` set, and its
    :meth:`close` leaves the new connection alone. The two libraries'
    connections are independent, but a port is opened exclusively, so they
    cannot share one.

    ``timeout`` (seconds) or ``timeout_ms`` bounds every read and write on
    the port (200 ms when neither is given). Raises
    :class:`~tavik.OpenError` (or a subclass: missing, busy, not a serial
    device, ...) naming the device tried when the port cannot be opened.
    Every command raises a :class:`~tavik.BoardError` subclass when it fails,
    and checks its arguments first: :class:`TypeError` for one of the wrong
    type, :class:`~tavik.BadArgumentError` for one out of range, with
    nothing sent.
    """

    BOARD = "psb"

    def __init__(
        self,
        port: PortName,
        library: str = "velk",
        *,
        timeout_ms: Optional[int] = None,
        timeout: Optional[float] = None,
    ) -> None:
        super().__init__(port, library=library, timeout_ms=timeout_ms, timeout=timeout)

    def read_power(self) -> PowerData:
        """Battery, current and the seven device states ("PDR")."""
        record = PowerRecord()
        self._call("read power data", "read_power", ctypes.byref(record))
        return PowerData(
            record.battery_volt,
            record.consum_cur,
            *(bool(getattr(record, f"{d.name.lower()}_state")) for d in Device),
        )

    def read_sensor(self) -> SensorData:
        """The seven ranges as floats and the further reply bytes ("Sar");
        lib_velk_rs232_psb only (lib_zarn_rs232 has :meth:`read_usonic`)."""
        self._only("velk", "read_sensor", "read_usonic")
        record = SensorRecord()
        self._call("read sensors", "read_sensor", ctypes.byref(record))
        return SensorData(tuple(record.ranges), bytes(record.extra_bytes[:7]))

    def read_usonic(self) -> UsonicRanges:
        """The seven ranges in the board's units ("Sar"); lib_zarn_rs232
        only (lib_velk_rs232_psb has :meth:`read_sensor`)."""
        self._only("zarn", "read_usonic", "read_sensor")
        ranges = (ctypes.c_int * 7)()
        self._call("read ranges", "read_usonic", ctypes.byref(ranges))
        return UsonicRanges(tuple(ranges))

    def set_power(self, device: Union[Device, int], on: bool) -> None:
        """Switches a device (0..6, :class:`Device`) on (``True``) or off (``False``)."""
        on = _arguments.switch(on, "on")
        number = self._number("switch device", "device", device, 0, len(Device) - 1)
        command = f"switch {Device(number).name.lower()} {'on' if on else 'off'}"
        self._call(command, "set_power_control", number, int(on))

    def set_usonic_max_dist(self, code: int) -> None:
        """Sends the maximum-distance code as the library takes it: -1..8
        sends '0'..'9' (the console's list index)."""
        command = "set maximum distance code"
        code = self._number(command, "maximum-distance code", code, -1, len(MAX_DISTANCES_CM) - 2)
        self._call(f"{command} {code}", "set_usonic_max_dist", code)

    def set_max_distance(self, cm: int) -> None:
        """Sets the ultrasonic maximum distance: 100 to 550 cm in steps of 50."""
        cm = _arguments.integer(cm, "cm")
        command = f"set maximum distance {cm} cm"
        if cm not in MAX_DISTANCES_CM:
            steps = f"{MAX_DISTANCES_CM[0]} to {MAX_DISTANCES_CM[-1]} cm in steps of 50"
            raise self._bad_argument(command, f"the maximum distance is {steps}, not {cm} cm")
        self._call(command, "set_usonic_max_dist", MAX_DISTANCES_CM.index(cm) - 1)

    def _only(self, key: str, name: str, other: str) -> None:
        if self._lib.key != key:
            raise NotImplementedError(f"{self._lib.name} has no {name}; use {other}()")

