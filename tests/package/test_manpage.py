"""The manual pages: every command and option that --help lists is described,
nothing is described that --help has dropped, and man renders them without
a warning."""

import os
import subprocess
import sys
import unittest

from common import BIN, SOURCE, ScratchTestCase

GENERATOR = SOURCE / "packaging" / "gen-manpage.py"


class ManPageTest(ScratchTestCase):
    def test_pages_match_help_and_render_cleanly(self):
        for program in ("pellandor", "pellandor-exchange-sim"):
            with self.subTest(program=program):
                page = self.dir / f"{program}.1"
                result = self.run_program(sys.executable, GENERATOR, "--check", "--program", BIN / program,
                                          "--source", SOURCE / "resources" / "man" / f"{program}.txt",
                                          "--version", "0", "--set", "DATADIR=/usr/share/pellandor",
                                          "--output", page)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.env.update(LC_ALL="C.UTF-8", MANWIDTH="80")
                result = self.run_program("man", "--warnings", "-E", "UTF-8", "-l", page)
                self.assertEqual((result.returncode, result.stderr), (0, ""))
                self.assertRegex(result.stdout, rf"NAME\s+{program}\s+- ")

    def test_drift_from_help_is_reported(self):
        # A program whose --help gained a command and lost others.
        fake = self.dir / "pellandor"
        fake.write_text("#!/bin/sh\nprintf 'Usage:\\n  pellandor redial [--settings FILE] NUMBER\\n"
                        "  pellandor hangup [--settings FILE]\\n'\n")
        fake.chmod(0o755)
        result = self.run_program(sys.executable, GENERATOR, "--check", "--program", fake,
                                  "--source", SOURCE / "resources" / "man" / "pellandor.txt", "--version", "0")
        self.assertEqual(result.returncode, 1)
        self.assertIn('no description of the usage line "pellandor redial [--settings FILE] NUMBER"', result.stderr)
        self.assertIn('"-- config get" describes a command that --help does not list', result.stderr)
        self.assertIn('"-- --raw" describes an option that --help does not list', result.stderr)
        # Without --check the page is still made, with the new command in it.
        result = self.run_program(sys.executable, GENERATOR, "--program", fake,
                                  "--source", SOURCE / "resources" / "man" / "pellandor.txt", "--version", "0")
        self.assertEqual(result.returncode, 0)
        self.assertIn("\\fBredial\\fR", result.stdout)


if __name__ == "__main__":
    unittest.main()
