"""TAVIK_TRACE through the package: the lines of one exchange."""

import os
import re
import subprocess
import sys

SCRIPT = "import tavik\nwith tavik.Psb('COM7') as psb:\n    psb.read_sensor()\n"


def test_trace_of_one_sensor_read(sim, tmp_path):
    trace = tmp_path / "trace.log"
    environment = dict(os.environ, TAVIK_TRACE=str(trace))  # TAVIK_COM_DIR comes from the simulator
    subprocess.run([sys.executable, "-c", SCRIPT], env=environment, check=True, timeout=30)
    lines = trace.read_text().splitlines()
    assert len(lines) == 2, lines
    assert re.fullmatch(r"\d+ psb tx 02 53 61 72 03 43  \|\.Sar\.C\|", lines[0])
    rx = re.fullmatch(r"\d+ psb rx 02 28((?: [0-9a-f]{2}){40}) 03 ([0-9a-f]{2})  \|.{44}\| ok", lines[1])
    assert rx, lines[1]
    assert int(lines[0].split()[0]) <= int(lines[1].split()[0])
