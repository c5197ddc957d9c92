"""The install tree: its layout, that it runs after being moved, where the
program looks for language.ini, and the demo from an installed copy."""

import os
import pathlib
import shutil
import unittest
from xml.etree import ElementTree

from common import BIN, DESKTOP_PROGRAM, SOURCE, VERSION, ScratchTestCase

BUILD = pathlib.Path(os.environ.get("PELLANDOR_BUILD_DIR", BIN.parent))
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
CONFIGURED_DATADIR = pathlib.Path(os.environ.get("PELLANDOR_DATADIR", "/usr/local/share/pellandor"))

LAYOUT = [
    "bin/pellandor",
    "bin/pellandor-exchange-sim",
    "share/pellandor/language.ini",
    "share/man/man1/pellandor.1.gz",
    "share/man/man1/pellandor-exchange-sim.1.gz",
    "share/metainfo/com.ulvex.pellandor.metainfo.xml",
    "share/bash-completion/completions/pellandor",
    "share/doc/pellandor/copyright",
    "share/doc/pellandor/changelog.gz",
]
# Installed when the desktop program brings them.
OPTIONAL_LAYOUT = {
    "resources/pellandor.desktop": "share/applications/pellandor.desktop",
    "resources/icons/pellandor.svg": "share/icons/hicolor/scalable/apps/pellandor.svg",
}


class InstallTreeTest(ScratchTestCase):
    def test_moved_install_tree_is_complete_and_runs(self):
        built = self.dir / "built"
        result = self.run_program(CMAKE, "--install", BUILD, "--prefix", built)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # The prefix chosen at configure time must not matter.
        tree = self.dir / "moved"
        built.rename(tree)

        expected = LAYOUT + [dst for src, dst in OPTIONAL_LAYOUT.items() if (SOURCE / src).exists()]
        programs = ["bin/pellandor", "bin/pellandor-exchange-sim"]
        if (BIN / "pellandor-desktop").exists():
            programs.append(DESKTOP_PROGRAM)
        missing = [p for p in expected + programs if not (tree / p).is_file()]
        self.assertEqual(missing, [])
        for program in programs:
            self.assertTrue(os.access(tree / program, os.X_OK), program)

        self.assert_runs_from(tree / "bin", tree / "share/pellandor/language.ini")

        metainfo = ElementTree.parse(tree / "share/metainfo/com.ulvex.pellandor.metainfo.xml")
        self.assertEqual(metainfo.find("releases/release").get("version"), VERSION,
                         "add a <release> for this version to the AppStream metadata")

        if shutil.which("appstreamcli"):
            result = self.run_program("appstreamcli", "validate", "--no-net",
                                      tree / "share/metainfo/com.ulvex.pellandor.metainfo.xml")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_language_file_lookup_order(self):
        def language_ini(folder, text):
            folder.mkdir(parents=True, exist_ok=True)
            (folder / "language.ini").write_text(f"[LOCAL]\nRS_NOT_USER_SYS_INFO={text}\n")

        cases = [
            # (where language.ini is, the text that must show)
            (("share", "bin"), "from share"),  # an installed tree wins over a stray copy
            (("bin",), "from bin"),            # the build tree keeps it beside the program
        ]
        if not (CONFIGURED_DATADIR / "language.ini").exists():
            cases.append(((), "Your user information(ID, PW or Phone Number) and system information"
                              "(IP Address or Port) are not entered in the Settings."))
        for n, (places, text) in enumerate(cases):
            with self.subTest(places=places):
                root = self.dir / f"tree{n}"
                (root / "bin").mkdir(parents=True)
                shutil.copy2(BIN / "pellandor", root / "bin" / "pellandor")
                if "share" in places:
                    language_ini(root / "share" / "pellandor", "from share")
                if "bin" in places:
                    language_ini(root / "bin", "from bin")
                result = self.run_program(root / "bin" / "pellandor", "call", "--settings", self.german_settings(), "1")
                self.assertEqual(result.stdout, f"Failed\n{text}\n", result.stderr)

    def test_demo_says_why_the_simulator_did_not_start(self):
        bin_dir = self.dir / "bin"
        bin_dir.mkdir()
        (bin_dir / "pellandor").symlink_to(BIN / "pellandor")
        sim = bin_dir / "pellandor-exchange-sim"
        sim.write_text("#!/bin/sh\necho 'cannot bind 127.0.0.1:0: Address already in use' >&2\nexit 1\n")
        sim.chmod(0o755)
        result = self.run_program("bash", SOURCE / "tools" / "demo-call.sh", bin_dir, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn("the exchange simulator did not start", result.stderr)
        self.assertIn("cannot bind 127.0.0.1:0: Address already in use", result.stderr)


if __name__ == "__main__":
    unittest.main()
