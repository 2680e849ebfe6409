"""Makes the .dist-info of the Python package tavik for python3-tavik.

    python3 python_dist_info.py SOURCE_DIR OUTPUT_DIR VERSION

SOURCE_DIR is python/ (pyproject.toml); OUTPUT_DIR receives
tavik-VERSION.dist-info, made by the package's own build backend as pip
makes it, so that `pip show tavik` and importlib.metadata find the Debian
package's copy as they would a pip install. It holds METADATA and
top_level.txt only: no RECORD, so that pip does not remove files that
belong to dpkg. Fails when pyproject.toml gives another version.
"""

import contextlib
import io
import os
import shutil
import sys
import tempfile


def main() -> int:
    source, output, version = sys.argv[1:]
    sys.dont_write_bytecode = True  # nothing written into the source tree
    sys.path.insert(0, os.path.join(source, "build_backend"))
    os.chdir(source)
    import tavik_build

    with tempfile.TemporaryDirectory() as scratch:
        said = io.StringIO()  # setuptools' progress, shown only when it fails
        try:
            with contextlib.redirect_stdout(said), contextlib.redirect_stderr(said):
                made = tavik_build.prepare_metadata_for_build_wheel(scratch)
        except BaseException:
            print(said.getvalue(), file=sys.stderr)
            raise
        wanted = f"tavik-{version}.dist-info"
        if made != wanted:
            print(f"python_dist_info: {source}/pyproject.toml makes {made}, the project's version is {version}",
                  file=sys.stderr)
            return 1
        target = os.path.join(output, wanted)
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        for name in ("METADATA", "top_level.txt"):
            shutil.copy(os.path.join(scratch, made, name), target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
