"""Finding the library: the environment variable, the package folder, the loader."""
from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

from conftest import REPOSITORY

import qor_bitflow

PYTHON_FOLDER = REPOSITORY / "python"
FIRST_CALL = "import qor_bitflow; print(qor_bitflow.library_path())"


def run(code: str, environment: dict, cwd: Path = PYTHON_FOLDER) -> subprocess.CompletedProcess:
    env = {k: v for k, v in os.environ.items() if k not in ("QOR_BITFLOW_LIBRARY", "LD_LIBRARY_PATH")}
    env.update(environment)
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=60)


def test_the_variable_names_the_library_loaded():
    assert qor_bitflow.library_path() == os.environ["QOR_BITFLOW_LIBRARY"]


def test_a_variable_that_names_no_library_is_the_only_place_tried(tmp_path):
    missing = tmp_path / "nowhere.so"
    result = run(FIRST_CALL, {"QOR_BITFLOW_LIBRARY": str(missing)})
    assert result.returncode != 0
    assert "LibraryNotFound" in result.stderr and str(missing) in result.stderr
    assert "libqor_bitflow.so.1" not in result.stderr.split("tried, in order:")[1].split("Set QOR")[0]


def test_without_the_variable_the_package_folder_then_the_loader_are_tried(tmp_path):
    package = tmp_path / "qor_bitflow"
    shutil.copytree(PYTHON_FOLDER / "qor_bitflow", package)
    result = run(FIRST_CALL, {}, cwd=tmp_path)
    assert result.returncode != 0
    tried = result.stderr.split("tried, in order:")[1]
    assert tried.index(str(package / "libqor_bitflow.so.1")) < tried.index("\n  libqor_bitflow.so.1:")


def test_a_library_in_the_package_folder_is_found(tmp_path):
    package = tmp_path / "qor_bitflow"
    shutil.copytree(PYTHON_FOLDER / "qor_bitflow", package)
    built = Path(os.environ["QOR_BITFLOW_LIBRARY"])
    # As a wheel would ship it: the simulated SDK beside the library, where
    # an installed library's run path ($ORIGIN) looks for it.
    for name in ("libCid.so", "libBFD.so"):
        (package / name).symlink_to(built.with_name(name))
    (package / "libqor_bitflow.so.1").symlink_to(built)
    result = run(FIRST_CALL + "; from qor_bitflow import simulator; print(simulator.available())", {}, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [str(package / "libqor_bitflow.so.1"), "True"]


def test_a_library_without_the_functions_is_refused():
    other = Path(os.environ["QOR_BITFLOW_LIBRARY"]).with_name("libBFD.so")
    result = run(FIRST_CALL, {"QOR_BITFLOW_LIBRARY": str(other)})
    assert result.returncode != 0 and "loaded, but lacks BF_Open" in result.stderr
