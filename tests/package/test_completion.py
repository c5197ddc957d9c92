"""Bash completion: commands, options and setting names come from the
program itself."""

import shlex
import unittest

from common import BIN, SOURCE, ScratchTestCase

SCRIPT = SOURCE / "resources" / "pellandor.bash-completion"


class CompletionTest(ScratchTestCase):
    def complete(self, line):
        """The candidates bash offers for the last word of line."""
        words = shlex.split(line) + ([""] if line.endswith(" ") else [])
        script = (f"source {shlex.quote(str(SCRIPT))}\n"
                  f"COMP_WORDS=({' '.join(shlex.quote(w) for w in words)})\n"
                  "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                  "_pellandor\n"
                  "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
        self.env["PATH"] = f"{BIN}:{self.env.get('PATH', '')}"
        result = self.run_program("bash", "--norc", "-c", script)
        self.assertEqual(result.returncode, 0, result.stderr)
        return sorted(w for w in result.stdout.split("\n") if w)

    def test_candidates(self):
        settings = self.dir / "mine.ini"
        settings.write_text("[ACCESSCODE]\nCO_ACCESS_CODE=9\n")
        cases = [
            ("pellandor ", ["call", "config", "dial", "dial-string", "hangup", "popup"]),
            ("pellandor --", ["--demo", "--help", "--settings", "--version"]),
            ("pellandor dial -", ["--", "--settings"]),
            ("pellandor config ", ["get", "list", "pin", "set"]),
            ("pellandor dial-string --s", ["--send", "--settings"]),
            ("pellandor call -", ["--", "--raw", "--settings"]),
            ("pellandor call -- -", []),  # after "--" nothing is an option
            ("pellandor config get access", ["ACCESSCODE"]),  # names are case-insensitive
            (f"pellandor config set --settings {settings} accesscode CO_", ["CO_ACCESS_CODE"]),
            (f"pellandor call --settings {self.dir}/mi", [str(settings)]),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(self.complete(line), expected)


if __name__ == "__main__":
    unittest.main()
