"""The Python package's constants say what the board facts (facts/) say."""

import ctypes
import inspect
import json
import os
import subprocess

import tavik
from tavik import _arguments, _library


def test_constants_are_the_board_facts():
    program = os.environ["TAVIK_BOARD_FACTS"]
    facts = json.loads(subprocess.run([program], check=True, capture_output=True, text=True).stdout)
    simulator = inspect.signature(tavik.sim.Simulator).parameters
    assert {
        "devices": [{"number": int(d), "name": d.name.lower()} for d in tavik.Device],
        "range_count": _library.SensorRecord.ranges.size // ctypes.sizeof(ctypes.c_float),
        "max_dist_cm": list(tavik.MAX_DISTANCES_CM),
        "parameters": [
            {"label": p.label, "unit": p.unit, "min": p.limits[0], "max": p.limits[1]} for p in tavik.Parameter
        ],
        "psb_port": simulator["psb"].default,
        "drvb_port": simulator["drvb"].default,
        "timeout_ms": _arguments.DEFAULT_TIMEOUT_MS,
    } == facts
