#!/usr/bin/env python3
"""Start-up costs of the `pellandor` command, side by side in one run, each
figure a ratio against a yardstick measured in the same run (hyperfine,
no shell, medians):

1. `pellandor --version` and `pellandor dial-string` against `/bin/true`
   (target: at most 1.5x its median + 3 ms each);
2. `pellandor tel:...` handed over to a running tray program (target: at most
   10 ms);
3. `pellandor call` against `curl --tlsv1.2 -k` sending the same request bytes
   to the same exchange simulator (target: at most 0.7x per process).

The running program sits in the tray of a private X session (Xvfb, openbox,
trayer, as the end-to-end tests set it up). Builds nothing: build first with
`cmake --preset bench && cmake --build --preset bench`. Exit status 0 when
every figure meets its target."""

import argparse
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
ap.add_argument("--build", default=str(ROOT / "build-bench"), help="build folder (default: build-bench)")
ap.add_argument("--runs", type=int, default=20, help="timed runs of each command per round (default 20)")
ap.add_argument("--rounds", type=int, default=3, help="rounds over all commands, medians over all runs (default 3)")
ap.add_argument("--warmup", type=int, default=5, help="untimed runs first (default 5)")
args = ap.parse_args()

BIN = pathlib.Path(args.build) / "bin"
os.environ["PELLANDOR_BIN_DIR"] = str(BIN)
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from desktop import Desktop, Pellandor, wait_for  # noqa: E402

PELLANDOR = BIN / "pellandor"
# Copying pops the dialog up without calling; a link shows its number.
SETTINGS = "[HOTKEY]\nUSE_HOTKEY=0\n[AUTOCALL]\nUSE_AUTOCALL=0\n"

for tool in (PELLANDOR, BIN / "pellandor-desktop", BIN / "pellandor-exchange-sim"):
    if not tool.exists():
        sys.exit(f"missing {tool}: build first (cmake --preset bench && cmake --build --preset bench)")
for tool in ("hyperfine", "curl"):
    if not shutil.which(tool):
        sys.exit(f"{tool} is not installed (bash .ci/install-deps --bench)")


class BenchDesktop(Desktop):
    # The simulator's own default key, as an exchange would have.
    SIM_KEY_ARGS = ()


def hyperfine(commands, env, work):
    """Per command, in order: (median wall seconds, mean CPU seconds). Rounds
    over all the commands, so a busy spell of the machine hits each alike."""
    out = work / "hyperfine.json"
    cmd = ["hyperfine", "-N", "--style", "none", "--warmup", str(args.warmup), "--runs", str(args.runs),
           "--export-json", str(out)]
    cmd += [" ".join(shell_word(w) for w in words) for words in commands]
    times = [[] for _ in commands]
    cpu = [[] for _ in commands]
    for _ in range(args.rounds):
        subprocess.run(cmd, env=env, check=True, stdout=subprocess.DEVNULL)
        for n, result in enumerate(json.loads(out.read_text())["results"]):
            times[n] += result["times"]
            cpu[n].append(result["user"] + result["system"])
    return [(statistics.median(t), statistics.mean(c)) for t, c in zip(times, cpu)]


def shell_word(word):
    # hyperfine -N splits its command like a shell would.
    return word if word and all(c.isalnum() or c in "/-_.:=+" for c in word) else "'" + word + "'"


def verdict(ok):
    return "met" if ok else "NOT MET"


def main():
    desktop = BenchDesktop()
    work = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-bench-"))
    results = []
    try:
        app = Pellandor(desktop, "running", SETTINGS)
        wait_for("the tray icon", desktop.tray_icon, timeout=20)
        settings = str(app.settings)
        print(f"display {desktop.display}; load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} CPUs; "
              f"{args.rounds} rounds of {args.runs} runs each, after {args.warmup} untimed")

        # The request `pellandor call` sends, replayed by curl byte for byte.
        call = [str(PELLANDOR), "call", "--settings", settings, "--raw", "1234"]
        subprocess.run(call, env=app.env, check=True, stdout=subprocess.DEVNULL)
        raw = desktop.requests()[-1]["raw"].encode("latin-1")
        head, body = raw.split(b"\r\n\r\n", 1)
        (work / "body").write_bytes(body)
        headers = []
        for line in head.decode("latin-1").split("\r\n")[1:]:
            headers += ["-H", line]
        curl = [shutil.which("curl"), "--tlsv1.2", "-k", "-s", "-o", "/dev/null", "--fail",
                f"https://127.0.0.1:{desktop.sim_port}/ulvex_svc", *headers, "--data-binary", f"@{work / 'body'}"]
        subprocess.run(curl, env=app.env, check=True)

        link = [str(PELLANDOR), "--settings", settings, "tel:+1-415-555-0177"]
        result = subprocess.run(link, env=app.env, capture_output=True, text=True, timeout=20)
        if result.returncode != 0:
            raise RuntimeError(f"the link was not handed over: {result.stderr}")

        commands = {
            "/bin/true": ["/bin/true"],
            "pellandor --version": [str(PELLANDOR), "--version"],
            "pellandor dial-string": [str(PELLANDOR), "dial-string", "--settings", settings, "--",
                                      "+1 (415) 555-1234"],
            "pellandor tel:": link,
            "pellandor call": call,
            "curl --tlsv1.2": curl,
        }
        measured = dict(zip(commands, hyperfine(list(commands.values()), app.env, work)))
        medians = {name: wall for name, (wall, _) in measured.items()}
        print("   wall time median, CPU time (user + system) mean, command:")
        for name, words in commands.items():
            print(f"   {name:22} {medians[name] * 1000:7.2f} ms  CPU {measured[name][1] * 1000:6.2f} ms   "
                  f"{' '.join(shell_word(w) for w in words)}")

        true = medians["/bin/true"]
        limit = 1.5 * true + 0.003
        print(f"\n1. Commands that need no exchange, against /bin/true {true * 1000:.2f} ms "
              f"(target: at most 1.5x + 3 ms = {limit * 1000:.2f} ms)")
        for name in ("pellandor --version", "pellandor dial-string"):
            ok = medians[name] <= limit
            results.append(ok)
            print(f"   {name}: {medians[name] * 1000:.2f} ms, {medians[name] / true:.2f}x /bin/true: {verdict(ok)}")

        ok = medians["pellandor tel:"] <= 0.010
        results.append(ok)
        print(f"\n2. A tel: link handed over to the running program: {medians['pellandor tel:'] * 1000:.2f} ms "
              f"(target: at most 10 ms): {verdict(ok)}")

        ratio = medians["pellandor call"] / medians["curl --tlsv1.2"]
        results.append(ratio <= 0.7)
        print(f"\n3. pellandor call {medians['pellandor call'] * 1000:.2f} ms, curl "
              f"{medians['curl --tlsv1.2'] * 1000:.2f} ms: ratio {ratio:.3f} (target: at most 0.7): "
              f"{verdict(ratio <= 0.7)}")
    finally:
        desktop.close()
        shutil.rmtree(work, ignore_errors=True)
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
