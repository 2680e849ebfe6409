"""tavik.Parameter says what the library's parameter table says."""

import json
import os
import subprocess

import tavik


def test_parameters_are_the_librarys():
    program = os.environ["TAVIK_DRVB_PARAMETER_TABLE"]
    table = json.loads(subprocess.run([program], check=True, capture_output=True, text=True).stdout)
    assert [
        {"label": p.label, "unit": p.unit, "min": p.limits[0], "max": p.limits[1]} for p in tavik.Parameter
    ] == table
