"""Runs a command with GNOME Keyring's Secret Service on a private session
bus, then ends both: with_keyring.py COMMAND [ARG...]"""

import os
import subprocess
import sys
import tempfile

from secret_service import PrivateBus

if __name__ == "__main__":
    with tempfile.TemporaryDirectory(prefix="pellandor-keyring-") as folder:
        bus = PrivateBus(folder, keyring=True)
        try:
            sys.exit(subprocess.run(sys.argv[1:], env=dict(os.environ, **bus.env)).returncode)
        finally:
            bus.stop()
