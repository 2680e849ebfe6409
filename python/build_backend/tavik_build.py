"""setuptools' build backend, usable without a package index.

pip builds a package in an environment of its own and fills it from the
index with what pyproject.toml asks for; offline that fails. This backend
asks for nothing and uses the setuptools (and wheel) of the interpreter's
own site directories instead, such as Debian's python3-setuptools."""

import importlib.util
import site
import sys

if not all(importlib.util.find_spec(name) for name in ("setuptools", "wheel")):
    # Those of this environment first, then those of the interpreter it was
    # made from (a virtual environment's base).
    for directory in site.getsitepackages() + site.getsitepackages([sys.base_prefix]):
        if directory not in sys.path:
            sys.path.append(directory)

missing = [name for name in ("setuptools", "wheel") if importlib.util.find_spec(name) is None]
if missing:
    raise ImportError(
        f"building tavik needs {' and '.join(missing)} in {sys.executable}'s site directories"
        " (Debian: python3-setuptools, python3-wheel)"
    )

from setuptools import build_meta as _setuptools  # noqa: E402
from setuptools.build_meta import *  # noqa: E402,F401,F403


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


prepare_metadata_for_build_wheel = _setuptools.prepare_metadata_for_build_wheel
