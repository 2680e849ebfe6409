"""The package's version for its metadata: the project's (tavik/_version.py).
Everything else about the package is in pyproject.toml."""

import runpy
from pathlib import Path

from setuptools import setup

here = Path(__file__).resolve().parent
source_tree_version = runpy.run_path(str(here / "tavik" / "_version.py"))["source_tree_version"]
found = source_tree_version(here)
if found is None:
    raise SystemExit(f"tavik: no project(tavik VERSION ...) in {here.parent / 'CMakeLists.txt'}; build from the source tree")
setup(version=found)
