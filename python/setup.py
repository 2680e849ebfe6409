"""The package's version for its metadata: the project's (tavik/_version.py).
Everything else about the package is in pyproject.toml."""

import importlib.util
from pathlib import Path

from setuptools import setup

here = Path(__file__).resolve().parent
spec = importlib.util.spec_from_file_location("tavik_version", here / "tavik" / "_version.py")
assert spec is not None and spec.loader is not None
module = importlib.util.module_from_spec(spec)
spec.loader.exec_module(module)
found = module.source_tree_version(here)
if found is None:
    raise SystemExit(f"tavik: no project(tavik VERSION ...) in {here.parent / 'CMakeLists.txt'}; build from the source tree")
setup(version=found)
