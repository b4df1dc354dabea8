#!/usr/bin/env bash
# Times zm880ctl on a simulated bus with many readers: `list`, `inventory`, `check --all` with a
# profile and `--all set Baud=19200`, each on a fresh state file of default readers, and gives each
# run's peak memory. With ZM880_OLD_CTL naming another build of
# zm880ctl, both run side by side on the same files and the ratios are printed.
#
#   bench/sim_bus_bench.sh [READERS]        (default 1000: the size of the smaller buses)
#   ZM880_OLD_CTL=/path/to/zm880ctl bench/sim_bus_bench.sh 100
#
# Uses the release build in build/release (configured and built here when missing or stale), or
# the zm880ctl that ZM880_CTL names. A run that takes longer than ZM880_BENCH_LIMIT seconds
# (default 120) is stopped and shown as such. Goals: at 1000 readers `list` under 0.5 s,
# `inventory` and `check --all` each under 1 s, `--all set` under 20 s; at 100,000 readers `list`
# under 2 s and 200 MB.
set -euo pipefail

readers=${1:-1000}
limit=${ZM880_BENCH_LIMIT:-120}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

# One row per measurement: the readers on the fresh bus, then the command. Add rows here.
# @profile stands for the profile that `check` compares with.
rows=(
    "$readers list"
    "$readers inventory"
    "$readers check @profile --all"
    "$readers --all set Baud=19200"
    "100000 list"
)

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

# A state file of COUNT default readers: each is an empty object.
fresh_bus() {
    local count=$1
    {
        printf '{"devices": ['
        for ((i = 0; i < count; ++i)); do
            ((i > 0)) && printf ','
            printf '{}'
        done
        printf ']}\n'
    } >"$work/bus.json"
}

# "SECONDS MEGABYTES" of one run of "$@" on a fresh bus of COUNT readers, "stopped -" when it
# outlasts the limit; fails when the run does.
time_run() {
    local count=$1
    shift
    fresh_bus "$count"
    local start end status=0
    start=$(date +%s%N)
    timeout "$limit" /usr/bin/time -f '%M' -o "$work/peak" \
        "$@" --simulate="$work/bus.json" >"$work/out" 2>"$work/err" || status=$?
    end=$(date +%s%N)
    if ((status == 124)); then
        echo "stopped -"
        return 0
    fi
    if ((status != 0)); then
        echo "failed: $* ($(head -c 300 "$work/err"))" >&2
        return 1
    fi
    echo "$(echo "scale=3; ($end - $start) / 1000000000" | bc) $(($(tail -n 1 "$work/peak") / 1024))"
}

check_all_set() {
    local count=$1 ok
    ok=$(grep -c ': ok$' "$work/out" || true)
    if [[ "$ok" != "$count" ]]; then
        echo "only $ok of $count readers were set" >&2
        return 1
    fi
}

ratio() {
    if [[ "$1" == stopped || "$2" == stopped ]]; then
        echo "-"
    else
        echo "scale=1; $1 / $2" | bc
    fi
}

printf '%-8s %-22s %8s %6s' "readers" "command" "seconds" "MB"
[[ -n "${ZM880_OLD_CTL:-}" ]] && printf ' %8s %6s %8s' "old s" "old MB" "old/new"
printf '\n'
for row in "${rows[@]}"; do
    count=${row%% *}
    command=${row#* }
    command=${command/@profile/$work/profile.json}
    # shellcheck disable=SC2086
    result=$(time_run "$count" "$ctl" $command)
    read -r seconds megabytes <<<"$result"
    [[ "$command" == --all* && "$seconds" != stopped ]] && check_all_set "$count"
    printf '%-8s %-22s %8s %6s' "$count" "${command/$work\//}" "$seconds" "$megabytes"
    if [[ -n "${ZM880_OLD_CTL:-}" ]]; then
        # shellcheck disable=SC2086
        result=$(time_run "$count" "$ZM880_OLD_CTL" $command)
        read -r old_seconds old_megabytes <<<"$result"
        printf ' %8s %6s %8s' "$old_seconds" "$old_megabytes" "$(ratio "$old_seconds" "$seconds")"
    fi
    printf '\n'
done
