#!/usr/bin/env bash
# Time from starting Quenlo on the example package to its first shown window
# (offscreen), median of several runs. Target: under 0.5 s.
#
#   bench/startup.sh [RUNS]     default 9 runs
#
# The clock runs from the moment the process is started (so dynamic loading of
# Qt counts) to the moment the program reports its window shown.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target Quenlo >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
cp build/src/Quenlo "$work/Quenlo"
cp examples/package/* "$work/"

python3 - "$work" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
work, runs = sys.argv[1], int(sys.argv[2])
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QUENLO_PICTURES=os.path.join(work, "pictures"))
outside, inside = [], []
for _ in range(runs):
    start = time.perf_counter()
    proc = subprocess.Popen([os.path.join(work, "Quenlo")], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    shown = None
    for line in proc.stdout:
        if "main window shown" in line:
            shown = time.perf_counter() - start
            inside.append(float(line.split("shown")[1].split("ms")[0]))
            break
    proc.stdout.read()  # the rest, so the program can finish writing
    proc.stdout.close()
    if proc.wait(timeout=30) != 0 or shown is None:
        sys.exit("startup: Quenlo did not show its window")
    outside.append(shown * 1000)
median = statistics.median(outside)
print(f"start to first shown window, median of {runs}: {median:.1f} ms "
      f"(min {min(outside):.1f}, max {max(outside):.1f}; inside main: {statistics.median(inside):.1f} ms)")
print(f"target 500 ms: {'met' if median < 500 else 'NOT met'}")
PY
