#!/usr/bin/env python3
"""Memory of the tray program over many failed calls: each failure shows the
result box, and calls still go out while it is open (here: `pellandor dial`
from a second start, with auto-call on). Prints VmRSS after a warm-up and after
--failures more, and the growth per failure.

  python3 bench/result_box_memory.py [--build build-bench] [--failures 100]
"""

import argparse
import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]


def rss_kib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise RuntimeError("no VmRSS")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build-bench")
    parser.add_argument("--failures", type=int, default=100)
    parser.add_argument("--warmup", type=int, default=10)
    args = parser.parse_args()
    os.environ["PELLANDOR_BIN_DIR"] = str((ROOT / args.build / "bin").resolve())
    sys.path.insert(0, str(ROOT / "tests" / "e2e"))
    from desktop import Desktop, Pellandor, wait_for  # after PELLANDOR_BIN_DIR is set

    desktop = Desktop()
    try:
        app = Pellandor(desktop, "bench", "[HOTKEY]\nUSE_HOTKEY=0\n[AUTOCALL]\nUSE_AUTOCALL=1\n"
                        "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=0\n", password="wrong")
        done = 0

        def fail_once():
            nonlocal done
            done += 1
            if app.cli("dial", f"555-{done % 10000:04d}").returncode != 0:
                raise RuntimeError("the second start was not handed over")
            wait_for("the failed call", lambda: len([r for r in desktop.requests() if r.get("code") == 101]) >= done,
                     timeout=15)

        for _ in range(args.warmup):
            fail_once()
        # One more round trip, so the last result has been shown.
        app.cli()
        before = rss_kib(app.proc.pid)
        for _ in range(args.failures):
            fail_once()
        app.cli()
        after = rss_kib(app.proc.pid)
        boxes = len(desktop.windows("Result"))
        print(f"VmRSS after {args.warmup} failures: {before} KiB")
        print(f"VmRSS after {args.warmup + args.failures} failures: {after} KiB")
        print(f"growth per failure: {(after - before) / args.failures:.1f} KiB; result boxes open: {boxes}")
        return 0 if boxes <= 1 else 1
    finally:
        desktop.close()


if __name__ == "__main__":
    sys.exit(main())
