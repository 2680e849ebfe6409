"""The package says the version the programs say."""

import os
import subprocess

import tavik


def test_version_is_the_simulators():
    said = subprocess.run([os.environ["TAVIK_SIM"], "--version"], check=True, capture_output=True, text=True)
    assert said.stdout.split() == ["tavik-sim", tavik.__version__]
