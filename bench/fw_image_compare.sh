#!/usr/bin/env bash
# Times `zm880ctl fw image` against srec_cat and objcopy turning the same Intel HEX files into
# the 10240-byte image at 0x1400, side by side in one run, and prints the median times and ratios.
#
#   bench/fw_image_compare.sh [REPETITIONS]     (default 15)
#
# Uses the release build in build/release (configured and built here when missing or stale), or
# the zm880ctl that the environment variable ZM880CTL names.
# Two files are generated:
#   small: the whole image in 16-byte records from 0x1400 (a real update file, ~29 KiB);
#   large: 3 MiB of data in 16-byte records over 48 extended-linear-address segments (~8.6 MiB).
# Every byte's value depends only on its 16-bit address, so each segment's 0x1400-0x3BFF window
# holds the same data: zm880ctl (which places records by their 16-bit address, the last
# segment winning), srec_cat (which crops segment 0's window) and the first 10240 bytes of
# objcopy's output from 0x1400 on must all be equal, and the script checks that they are. All
# three parse every record; objcopy also writes the whole 3 MiB it read, as it has no cropping.
# Both wall-clock time and CPU time (user + system of the child) are shown; on a busy machine
# the CPU time is the steadier measure.
set -euo pipefail

repetitions=${1:-15}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

for tool in srec_cat objcopy python3 cmake; do
    command -v "$tool" >/dev/null || { echo "fw_image_compare: $tool not found" >&2; exit 1; }
done

zm880ctl=${ZM880CTL:-}
if [[ -z "$zm880ctl" ]]; then
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        (cd "$root" && cmake --preset release >/dev/null)
    fi
    cmake --build "$build" --target zm880ctl -j2 >/dev/null
    zm880ctl="$build/src/zm880ctl"
fi

work=$(mktemp -d /tmp/zm880-fw-compare-XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$zm880ctl" "$repetitions" <<'PY'
import os, resource, statistics, subprocess, sys, time

work, zm880ctl, repetitions = sys.argv[1], sys.argv[2], int(sys.argv[3])
BASE, SIZE = 0x1400, 10240

def record(rtype, address, data):
    fields = bytes([len(data), address >> 8, address & 0xFF, rtype]) + bytes(data)
    return ":%s%02X\n" % (fields.hex().upper(), (-sum(fields)) & 0xFF)

def value(address16):
    return (address16 * 7 + (address16 >> 8)) & 0xFF

def data_records(start, end):
    return "".join(record(0, a, [value(a + i) for i in range(16)]) for a in range(start, end, 16))

def write(name, text):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write(text)
    return path

segment = data_records(0, 0x10000)  # identical 16-bit content in every segment
files = {  # name: (path, lowest address)
    "small": (write("small.hex", data_records(BASE, BASE + SIZE) + record(1, 0, [])), BASE),
    "large": (write("large.hex", "".join(record(4, 0, [s >> 8, s & 0xFF]) + segment
                                         for s in range(48)) + record(1, 0, [])), 0),
}

def commands(hex_path, out):
    return {
        "zm880ctl": [zm880ctl, "fw", "image", hex_path, "-o", out + ".zm880ctl"],
        "srec_cat": ["srec_cat", hex_path, "-Intel", "-crop", "0x1400", "0x3C00", "-offset",
                     "-0x1400", "-fill", "0xFF", "0", "0x2800", "-o", out + ".srec_cat",
                     "-Binary"],
        "objcopy": ["objcopy", "-I", "ihex", "-O", "binary", hex_path, out + ".objcopy"],
    }

def image_of(tool, out, lowest_address):
    with open(out + "." + tool, "rb") as f:
        if tool == "objcopy":  # its output starts at the file's lowest address
            f.seek(BASE - lowest_address)
        return f.read(SIZE)

def timed_run(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu

print("%-6s %8s  %-9s %10s %8s %10s %8s" % ("file", "size", "tool", "wall ms", "ratio",
                                             "cpu ms", "ratio"))
for name, (hex_path, lowest_address) in files.items():
    out = os.path.join(work, name)
    cmds = commands(hex_path, out)
    walls = {tool: [] for tool in cmds}
    cpus = {tool: [] for tool in cmds}
    for _ in range(repetitions):
        for tool, argv in cmds.items():  # interleaved, so all see the same machine state
            wall, cpu = timed_run(argv)
            walls[tool].append(wall)
            cpus[tool].append(cpu)
    expected = bytes(value(a) for a in range(BASE, BASE + SIZE))
    for tool in cmds:
        if image_of(tool, out, lowest_address) != expected:
            sys.exit("fw_image_compare: %s produced a different image from %s" % (tool, name))
    our_wall = statistics.median(walls["zm880ctl"])
    our_cpu = max(statistics.median(cpus["zm880ctl"]), 1e-6)
    for tool in cmds:
        wall = statistics.median(walls[tool])
        cpu = statistics.median(cpus[tool])
        print("%-6s %7.1fK  %-9s %10.2f %7.1fx %10.2f %7.1fx" % (
            name, os.path.getsize(hex_path) / 1024, tool, wall * 1000, wall / our_wall,
            cpu * 1000, cpu / our_cpu))
print("ratio: the tool's median time divided by zm880ctl's (above 1: zm880ctl is faster)")
PY
