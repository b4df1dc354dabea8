#!/usr/bin/env bash
# Times the window's start-up against a bare window, side by side in one run: each mode is started
# REPETITIONS times as a separate process, offscreen, alternating, and the medians are printed.
#
#   bench/gui_startup.sh [REPETITIONS]     (default 15)
#
# "window" is the main window, after the program's own set-up, on the in-memory simulated bus
# with one reader, stopped once the reader's settings are decoded onto the controls; "bare" is a
# plain QMainWindow, stopped after the first turn of the event loop; "text" is that window showing
# one line in the main window's font, stopped alike: the floor for any window with text, since the
# toolkit sets up its fonts for the first text it measures, which the bare window never does.
# Time counts from just before the process is started (so loading the libraries is included);
# memory is the process's peak resident set size.
# Uses the release build in build/release (configured and built here when missing or stale), or
# the probe that the environment variable ZM880_GUI_PROBE names.
# Goals: the window decoded in under 250 ms and within 1.5 times the bare window.
set -euo pipefail

repetitions=${1:-15}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

probe=${ZM880_GUI_PROBE:-}
if [[ -z "$probe" ]]; then
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        (cd "$root" && cmake --preset release >/dev/null)
    fi
    cmake --build "$build" --target gui_startup_probe -j2 >/dev/null
    probe="$build/bench/gui_startup_probe"
fi

export QT_QPA_PLATFORM=offscreen
results=$(mktemp /tmp/zm880-gui-startup-XXXXXX)
trap 'rm -f "$results"' EXIT

# One untimed start of each warms the file cache.
for mode in bare text window; do
    "$probe" "$mode" >/dev/null
done
for ((i = 0; i < repetitions; ++i)); do
    for mode in bare text window; do
        ZM880_LAUNCH_NS=$(date +%s%N) "$probe" "$mode" >>"$results"
    done
done

python3 - "$results" <<'PY'
import statistics, sys

runs = {}
for line in open(sys.argv[1]):
    mode, *fields = line.split()
    values = dict(field.split("=") for field in fields)
    runs.setdefault(mode, []).append((float(values["ms_since_launch"]),
                                      float(values["ms_since_main"]),
                                      int(values["peak_rss_kb"])))

def median(mode, column):
    return statistics.median(run[column] for run in runs[mode])

print(f"{'mode':8} {'runs':>4} {'start ms':>9} {'from main ms':>13} {'peak RSS MiB':>13}")
for mode in ("bare", "text", "window"):
    print(f"{mode:8} {len(runs[mode]):4} {median(mode, 0):9.1f} {median(mode, 1):13.1f} "
          f"{median(mode, 2) / 1024:13.1f}")
for mode, base in (("window", "bare"), ("text", "bare"), ("window", "text")):
    print(f"{mode} / {base}: start {median(mode, 0) / median(base, 0):.2f}x, "
          f"from main {median(mode, 1) / median(base, 1):.2f}x, "
          f"peak RSS {median(mode, 2) / median(base, 2):.2f}x")
start = median("window", 0)
print(f"goals: start under 250 ms: {'met' if start < 250 else 'missed'} ({start:.1f} ms); "
      f"under 1.5x bare: {'met' if start < 1.5 * median('bare', 0) else 'missed'}")
PY
