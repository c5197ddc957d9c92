"""The Debian package as built by "cpack --preset package": unpacked into a
scratch root, its programs run from there; lintian and appstreamcli accept it.

Exits with 77 (skipped) when no package of this version has been built."""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import unittest

from common import DESKTOP_PROGRAM, SOURCE, VERSION, ScratchTestCase, skip_run

PACKAGE_DIR = pathlib.Path(os.environ.get("PELLANDOR_PACKAGE_DIR", SOURCE / "build-package"))


def find_deb():
    debs = sorted(PACKAGE_DIR.glob(f"pellandor_{VERSION}_*.deb"))
    if not debs:
        skip_run(f"no pellandor_{VERSION}_*.deb in {PACKAGE_DIR}; "
                 "build one with: cmake --preset package && cmake --build --preset package && cpack --preset package")
    return debs[-1]


DEB = None


class UnpackedPackageTest(ScratchTestCase):
    def test_control_fields(self):
        fields = subprocess.run(["dpkg-deb", "--field", DEB], capture_output=True, text=True, check=True).stdout
        control = dict(re.findall(r"^([\w-]+): (.*)$", fields, re.M))
        self.assertEqual(control["Package"], "pellandor")
        self.assertEqual(control["Version"], VERSION)
        self.assertEqual((control["Section"], control["Priority"]), ("comm", "optional"))
        # Computed from the binaries, not written by hand.
        depends = [d.split()[0] for d in control["Depends"].split(", ")]
        for library in ("libc6", "libssl3", "libexpat1", "libstdc++6"):
            self.assertIn(library, depends)
        self.assertIn("click-to-call", control["Description"])

    def test_runs_from_the_unpacked_tree(self):
        root = self.dir / "root"
        subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
        self.assertTrue(os.access(root / "usr" / DESKTOP_PROGRAM, os.X_OK))
        self.assert_runs_from(root / "usr" / "bin", root / "usr/share/pellandor/language.ini")


class CheckersTest(ScratchTestCase):
    def test_lintian_finds_no_error(self):
        result = subprocess.run(["lintian", "--fail-on", "error", "--display-level", ">=warning", DEB],
                                capture_output=True, text=True, timeout=600)
        print(result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_appstream_accepts_the_metadata(self):
        root = self.dir / "root"
        subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
        if (root / "usr/share/applications/pellandor.desktop").exists():
            # The metadata together with the desktop entry and icon it names.
            cmd = ["validate-tree", "--no-net", root]
        else:  # a build without the desktop program
            cmd = ["validate", "--no-net", root / "usr/share/metainfo/com.ulvex.pellandor.metainfo.xml"]
        result = self.run_program("appstreamcli", *cmd)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


if __name__ == "__main__":
    DEB = find_deb()
    if len(sys.argv) > 1 and sys.argv[1].startswith("Checkers"):
        for tool in ("lintian", "appstreamcli"):
            if not shutil.which(tool):
                skip_run(f"{tool} is not installed (bash .ci/install-deps --package)")
    print(f"testing {DEB}")
    unittest.main()
