"""The power & sensor board (PSB) through lib_velk_rs232_psb or lib_zarn_rs232."""

from __future__ import annotations

import ctypes
import enum
from dataclasses import dataclass
from typing import Tuple, Union

from ._connection import DEFAULT_TIMEOUT_MS, BoardConnection, PortName
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

    Raises :class:`~tavik.OpenError` (or a subclass: missing, busy, not a
    serial device, ...) when the port cannot be opened. Every command raises
    a :class:`~tavik.BoardError` subclass when it fails.
    """

    BOARD = "psb"

    def __init__(self, port: PortName, library: str = "velk", *, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> None:
        super().__init__(port, library=library, timeout_ms=timeout_ms)

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
        """Switches a device on or off. A number outside 0..6 is passed to
        the library, which refuses it (:class:`~tavik.BadArgumentError`)."""
        self._call(f"switch {_device_name(device)} {'on' if on else 'off'}", "set_power_control", int(device), 1 if on else 0)

    def set_usonic_max_dist(self, code: int) -> None:
        """Sends the maximum-distance code as the library takes it: -1..8
        sends '0'..'9' (the console's list index)."""
        self._call(f"set maximum distance code {code}", "set_usonic_max_dist", int(code))

    def set_max_distance(self, cm: int) -> None:
        """Sets the ultrasonic maximum distance: 100 to 550 cm in steps of 50."""
        if cm not in MAX_DISTANCES_CM:
            raise ValueError(f"maximum distance must be one of {', '.join(map(str, MAX_DISTANCES_CM))} cm, not {cm!r}")
        self._call(f"set maximum distance {cm} cm", "set_usonic_max_dist", MAX_DISTANCES_CM.index(cm) - 1)

    def _only(self, key: str, name: str, other: str) -> None:
        if self._lib.key != key:
            raise NotImplementedError(f"{self._lib.name} has no {name}; use {other}()")


def _device_name(device: Union[Device, int]) -> str:
    try:
        return Device(device).name.lower()
    except ValueError:
        return f"device {int(device)}"
