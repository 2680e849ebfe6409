"""The package's version is the project's."""

import re
from pathlib import Path

import tavik


def test_version_is_the_projects():
    cmake = (Path(__file__).parents[2] / "CMakeLists.txt").read_text()
    assert tavik.__version__ == re.search(r"project\(tavik VERSION ([0-9.]+)", cmake).group(1)
