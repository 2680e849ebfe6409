"""The package's version: the project's.

In the source tree that is ``project(tavik VERSION ...)`` of the
``CMakeLists.txt`` above ``python/`` (also what ``setup.py`` gives the
package's metadata); installed (pip, or the python3-tavik Debian package),
the ``tavik-<version>.dist-info`` beside the package, made from it.
"""

from __future__ import annotations

import importlib.metadata
import re
from pathlib import Path
from typing import Optional

UNKNOWN = "0+unknown"


def source_tree_version(python_dir: Path) -> Optional[str]:
    """The project's version when python_dir is the source tree's python/, else None."""
    try:
        text = (python_dir.parent / "CMakeLists.txt").read_text(encoding="utf-8")
    except OSError:
        return None
    match = re.search(r"^project\(tavik VERSION ([0-9.]+)", text, re.MULTILINE)
    return match.group(1) if match else None


def version() -> str:
    here = Path(__file__).resolve().parent
    found = source_tree_version(here.parent)
    if found:
        return found
    # Only the metadata that came with this copy of the package, not that of
    # another one installed elsewhere on the path.
    for distribution in importlib.metadata.distributions(name="tavik", path=[str(here.parent)]):
        return distribution.version
    return UNKNOWN
