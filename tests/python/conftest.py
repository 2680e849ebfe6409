"""The Python package against tavik-sim: TAVIK_LIBRARY_PATH and TAVIK_SIM
name this build's libraries and simulator (tests/python/CMakeLists.txt)."""

import pytest

import tavik
import tavik.sim


@pytest.fixture(scope="session")
def sim():
    with tavik.sim.Simulator() as simulator:
        yield simulator


@pytest.fixture
def boards(sim):
    """The simulator with both boards as they were, and nothing received."""
    sim.received("psb")
    sim.received("drvb")
    yield sim
    for line in ("fault clear", "bump off", "emg off", "reset psb", "reset drvb"):
        sim.command(line)


def frames(*hex_frames: str) -> bytes:
    return b"".join(bytes.fromhex(f) for f in hex_frames)
