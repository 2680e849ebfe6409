"""Tavik robot base boards from Python, over lib_zarn_rs232 and lib_velk_rs232_psb.

::

    import tavik

    with tavik.Psb("COM7") as psb, tavik.Drvb("COM8") as drvb:
        print(psb.read_power().volts, drvb.read_encoder())

Port names are those of the libraries: ``COM<n>`` (found through
``TAVIK_COM_DIR``, ``/dev/tavik`` or ``/dev/ttyS<n-1>``), a path, or a name
under ``/dev``. The libraries are found installed or through
``TAVIK_LIBRARY_PATH`` (see :mod:`tavik._library`); :mod:`tavik.sim` starts
the board simulator. ``TAVIK_TRACE=stderr`` or ``TAVIK_TRACE=FILE``, set
before the first board is opened, makes the libraries write every frame.
``__version__`` comes from the package's metadata (``importlib.metadata``).
"""

from .drvb import BumperState, Drvb, Encoders, Parameter, ParameterValue, WheelErrors
from . import errors
from .errors import *  # noqa: F403 (Reason and the exceptions, as errors lists them)
from .psb import MAX_DISTANCES_CM, Device, PowerData, Psb, SensorData, UsonicRanges
from ._version import version as _version

__version__ = _version()

__all__ = [
    "Psb",
    "Drvb",
    "Device",
    "Parameter",
    "PowerData",
    "SensorData",
    "UsonicRanges",
    "Encoders",
    "BumperState",
    "WheelErrors",
    "ParameterValue",
    "MAX_DISTANCES_CM",
]
__all__ += errors.__all__
