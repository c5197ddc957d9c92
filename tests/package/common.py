"""Shared pieces of the install and package tests: where things are, a
scratch folder per test and a program run that never touches the real
user's settings."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = pathlib.Path(__file__).resolve().parents[2]
BIN = pathlib.Path(os.environ.get("PELLANDOR_BIN_DIR", SOURCE / "build" / "bin"))
VERSION = os.environ.get("PELLANDOR_VERSION", "")
SKIPPED = 77  # ctest's SKIP_RETURN_CODE for these tests
# The Qt desktop program, relative to the prefix; `pellandor` starts it.
DESKTOP_PROGRAM = "libexec/pellandor/pellandor-desktop"


def local_text(language_ini, key):
    """A text of the [LOCAL] section as the program shows it."""
    section = None
    for line in pathlib.Path(language_ini).read_text(encoding="utf-8").splitlines():
        if line.startswith("["):
            section = line.strip("[] ")
        elif section == "LOCAL" and line.startswith(key + "="):
            return line.split("=", 1)[1]
    raise KeyError(key)


def skip_run(why):
    print(f"SKIPPED: {why}")
    sys.exit(SKIPPED)


class ScratchTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-package-"))
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.env = {k: v for k, v in os.environ.items() if k != "PELLANDOR_SETTINGS"}
        self.env.update(HOME=str(self.dir), XDG_CONFIG_HOME=str(self.dir / "config"), QT_QPA_PLATFORM="offscreen")

    def run_program(self, *cmd, timeout=120):
        return subprocess.run([str(c) for c in cmd], capture_output=True, text=True, env=self.env, timeout=timeout)

    def german_settings(self):
        """A settings file that selects the LOCAL texts and lacks an account,
        so "call" answers with a text from language.ini."""
        path = self.dir / "local.ini"
        path.write_text("[LANGUAGE]\nLAN=LOCAL\n")
        return path

    def assert_runs_from(self, bin_dir, language_ini):
        """--version, dial-string, the LOCAL texts and a whole demo call, all
        from the programs in bin_dir."""
        pellandor = pathlib.Path(bin_dir) / "pellandor"
        result = self.run_program(pellandor, "--version")
        self.assertEqual((result.returncode, result.stdout), (0, f"pellandor {VERSION}\n"), result.stderr)

        settings = self.german_settings()
        result = self.run_program(pellandor, "dial-string", "--settings", settings, "--", "+1 (415) 555-1234")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout, r"^[0-9]+\n$")
        result = self.run_program(pellandor, "call", "--settings", settings, "--", "1234")
        expected = local_text(language_ini, "RS_NOT_USER_SYS_INFO")
        self.assertEqual((result.returncode, result.stdout), (4, f"Failed\n{expected}\n"), result.stderr)

        desktop = pathlib.Path(bin_dir).parent / DESKTOP_PROGRAM
        if desktop.exists():
            # `pellandor` starts the tree's own desktop program in its place;
            # without a display its crash notice goes to stderr only.
            env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
            result = subprocess.run([str(pellandor), "--crash-notice-failed"], capture_output=True, text=True,
                                    env=env, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("Ulvex Pellandor is Crashed!!", result.stderr)

        result = self.run_program("bash", SOURCE / "tools" / "demo-call.sh", bin_dir)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Success\n", result.stdout)
        self.assertRegex(result.stdout.splitlines()[-1], r"^The exchange received: .* it answered code 100$")
