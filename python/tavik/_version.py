"""The package's version, from its metadata.

Run from the source tree, that is ``pyproject.toml`` beside the package
(whatever an earlier build left there besides); installed (pip, or the
python3-tavik Debian package), the ``tavik-<version>.dist-info`` beside it,
made from that file.
"""

from __future__ import annotations

import importlib.metadata
import re
from pathlib import Path

UNKNOWN = "0+unknown"


def version() -> str:
    here = Path(__file__).resolve().parent
    try:
        text = (here.parent / "pyproject.toml").read_text(encoding="utf-8")
        match = re.search(r'^version\s*=\s*"([^"]+)"', text, re.MULTILINE)
        if match and re.search(r'^name\s*=\s*"tavik"', text, re.MULTILINE):  # this package's, not another's
            return match.group(1)
    except OSError:
        pass
    # Only the metadata that came with this copy of the package, not that of
    # another one installed elsewhere on the path.
    for distribution in importlib.metadata.distributions(name="tavik", path=[str(here.parent)]):
        return distribution.version
    return UNKNOWN
