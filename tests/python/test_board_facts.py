"""The Python package's constants say what the board facts (facts/) say, as
the build writes them in facts.json."""

import ctypes
import inspect
import json
import os

import tavik
from tavik import _arguments, _library


def test_constants_are_the_board_facts():
    with open(os.environ["TAVIK_FACTS_JSON"], encoding="utf-8") as f:
        facts = json.load(f)
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
    } == {
        "devices": [{"number": d["number"], "name": d["name"]} for d in facts["devices"]],
        "range_count": len(facts["range_sensors"]),
        "max_dist_cm": [d["cm"] for d in facts["max_distances"]],
        "parameters": [{k: p[k] for k in ("label", "unit", "min", "max")} for p in facts["parameters"]],
        "psb_port": facts["defaults"]["psb_port"],
        "drvb_port": facts["defaults"]["drvb_port"],
        "timeout_ms": facts["defaults"]["timeout_ms"],
    }
