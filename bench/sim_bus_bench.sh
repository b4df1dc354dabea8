#!/usr/bin/env bash
# Times zm880ctl on a simulated bus with many readers: `list`, `inventory`, `check --all` with a
# profile, and `--all set Baud=19200`, each on a fresh state file of READERS default readers.
# With ZM880_OLD_CTL naming another build of zm880ctl, both run side by side on the same files and
# the ratios are printed (n/a for a command the old build does not have).
#
#   bench/sim_bus_bench.sh [READERS]        (default 1000)
#   ZM880_OLD_CTL=/path/to/zm880ctl bench/sim_bus_bench.sh 100
#
# Uses the release build in build/release (configured and built here when missing or stale), or
# the zm880ctl that ZM880_CTL names. Goals at 1000 readers: `list` under 0.5 s, `inventory` and
# `check --all` each under 1 s, `--all set` under 20 s.
set -euo pipefail

readers=${1:-1000}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

ctl=${ZM880_CTL:-}
if [[ -z "$ctl" ]]; then
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        (cd "$root" && cmake --preset release >/dev/null)
    fi
    cmake --build "$build" --target zm880ctl -j2 >/dev/null
    ctl="$build/src/zm880ctl"
fi

work=$(mktemp -d /tmp/zm880-sim-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"
# What `check --all` compares every reader with; a default reader matches it.
echo '{"CharDelay": 0, "Suffix": "Enter"}' >"$work/profile.json"

# A state file of default readers: each is an empty object.
fresh_bus() {
    {
        printf '{"devices": ['
        for ((i = 0; i < readers; ++i)); do
            ((i > 0)) && printf ','
            printf '{}'
        done
        printf ']}\n'
    } >"$work/bus.json"
}

# Seconds one run of "$@" takes on a fresh bus; fails when the run does.
time_run() {
    fresh_bus
    local start end
    start=$(date +%s%N)
    "$@" --simulate="$work/bus.json" >"$work/out" 2>"$work/err" || {
        echo "failed: $* ($(head -c 300 "$work/err"))" >&2
        return 1
    }
    end=$(date +%s%N)
    echo "scale=3; ($end - $start) / 1000000000" | bc
}

check_all_set() {
    local ok
    ok=$(grep -c ': ok$' "$work/out" || true)
    if [[ "$ok" != "$readers" ]]; then
        echo "only $ok of $readers readers were set" >&2
        return 1
    fi
}

echo "readers: $readers"
printf '%-26s %10s' "command" "seconds"
[[ -n "${ZM880_OLD_CTL:-}" ]] && printf ' %10s %8s' "old" "old/new"
printf '\n'
for command in "list" "inventory" "check $work/profile.json --all" "--all set Baud=19200"; do
    # shellcheck disable=SC2086
    new=$(time_run "$ctl" $command)
    [[ "$command" == --all* ]] && check_all_set
    printf '%-26s %10s' "${command/$work\//}" "$new"
    if [[ -n "${ZM880_OLD_CTL:-}" ]]; then
        # shellcheck disable=SC2086
        if old=$(time_run "$ZM880_OLD_CTL" $command 2>/dev/null); then
            printf ' %10s %8s' "$old" "$(echo "scale=1; $old / $new" | bc)"
        else
            printf ' %10s %8s' "n/a" "n/a"
        fi
    fi
    printf '\n'
done
