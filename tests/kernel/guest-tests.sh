#!/bin/bash
# Runs inside the kernel test guest (scripts/kernel-test), as root in a chroot of the host's
# root: zm880ctl and the window on the Linux backend, against readers that zm880-uhid creates
# behind /dev/uhid; then, given zm880ctl.exe and a wine prefix, zm880ctl.exe under wine
# against the same readers through wine's HID stack. Prints one line per check and a closing
# "result: N passed, N failed".
set -u
build=${1:?usage: guest-tests.sh BUILD_DIR [ZM880CTL_EXE WINE_PREFIX]}
windows_exe=${2:-}
wine_prefix=${3:-}
ctl_bin=$build/src/zm880ctl
uhid_bin=$build/tests/kernel/zm880-uhid
window_test=$build/tests/kernel/window_kernel_test
scratch=$(mktemp -d /tmp/guest.XXXXXX)
export HOME=$scratch XDG_RUNTIME_DIR=$scratch QT_QPA_PLATFORM=offscreen
export ZM880_UHID_CONTROL=$scratch/control ZM880_UHID_REPLY=$scratch/reply
passed=0
failed=0
skipped=0

# ---- helpers ------------------------------------------------------------------------------

# Sends a command to zm880-uhid; prints the reply without its "ok"; fails on "error ...".
uhid() {
    local reply
    echo "$*" >&3
    read -r -t 60 reply <&4 || { echo "zm880-uhid did not answer '$*'" >&2; return 1; }
    [[ $reply == ok* ]] || { echo "zm880-uhid: '$*': $reply" >&2; return 1; }
    reply=${reply#ok}
    echo "${reply# }"
}

# Runs zm880ctl; its stdout and stderr go to $out, its exit code to $rc.
zm() {
    "$ctl_bin" "$@" >"$scratch/out" 2>&1
    rc=$?
    out=$(cat "$scratch/out")
}

fail() {
    echo "$*" >&2
    return 1
}

expect_rc() {
    [[ $rc -eq $1 ]] || fail "exit code $rc, expected $1; output: $out"
}

expect_out() {
    grep -qF -- "$1" <<<"$out" || fail "output lacks '$1': $out"
}

# The same for JSON output, whatever its indentation.
expect_json() {
    tr -d ' \n' <<<"$out" | grep -qF -- "$1" || fail "JSON output lacks '$1': $out"
}

# Byte `index` of a binary file as a decimal number.
byte_at() {
    od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' '
}

# Waits until FILE holds TEXT, for at most SECONDS; a loaded host makes everything slow, so
# nothing waits a fixed time, and every wait has a deadline that fails the check.
wait_for_text() {
    local file=$1 text=$2 seconds=$3
    local deadline=$((SECONDS + seconds))
    until grep -qF -- "$text" "$file" 2>/dev/null; do
        ((SECONDS < deadline)) ||
            fail "no '$text' within $seconds s; it holds: $(cat "$file" 2>/dev/null)" || return 1
        sleep 0.2
    done
}

# Waits until FILE has at least COUNT lines, for at most 60 s.
wait_for_lines() {
    local deadline=$((SECONDS + 60))
    until [[ $(wc -l <"$1") -ge $2 ]]; do
        ((SECONDS < deadline)) ||
            fail "not $2 lines within 60 s; it holds: $(cat "$1")" || return 1
        sleep 0.1
    done
}

# `watch` says this on stderr once it hears plugs: a reader plugged in earlier may go unheard.
watch_ready="watching for readers (Ctrl+C ends)"

# Observations worth showing next to a check's result.
note() {
    sed 's/^/      /' <<<"$*" >>"$scratch/notes"
}

# Runs one check; a check returns 77 when it cannot run in this build.
run_check() {
    local name=$1 started=$SECONDS
    shift
    : >"$scratch/notes"
    "$@" 2>"$scratch/why"
    local status=$?
    if [[ $status -eq 0 ]]; then
        passed=$((passed + 1))
        echo "PASS  $name ($((SECONDS - started)) s)"
    elif [[ $status -eq 77 ]]; then
        skipped=$((skipped + 1))
        echo "SKIP  $name"
    else
        failed=$((failed + 1))
        echo "FAIL  $name"
        sed 's/^/      /' "$scratch/why"
    fi
    cat "$scratch/notes"
    # Every check starts from an empty bus.
    for device in $(uhid list 2>/dev/null); do
        uhid remove "$device" >/dev/null 2>&1
    done
}

# A 20-page update file holding random bytes, and the image it should leave in flash.
make_update_file() {
    head -c 10240 /dev/urandom >"$scratch/image.bin"
    srec_cat "$scratch/image.bin" -binary -offset 0x1400 -o "$scratch/update.hex" -intel \
        -line-length=44
}

# ---- checks -------------------------------------------------------------------------------

list_shows_reader_and_skips_other_devices() {
    local node
    uhid add-keyboard kb >/dev/null || return 1
    node=$(uhid add-reader r1) || return 1
    zm list
    expect_rc 0 || return 1
    expect_out "0  $node  ZM-880 RFID Reader - VID=169B PID=0710  version 0000  feature report 65 bytes  accessible" || return 1
    [[ $(grep -c hidraw <<<"$out") -eq 1 ]] || fail "the keyboard is listed: $out"
}

settings_commands_read_back() {
    uhid add-reader r1 >/dev/null || return 1
    zm set DoubleTimeout=42
    expect_rc 0 || return 1
    uhid dump-settings r1 "$scratch/after-set.bin" >/dev/null || return 1
    [[ $(byte_at "$scratch/after-set.bin" 7) -eq 42 ]] || fail "reader holds double timeout $(byte_at "$scratch/after-set.bin" 7)" || return 1
    zm show
    expect_rc 0 || return 1
    grep -qE 'DoubleTimeout +42 s' <<<"$out" || fail "show did not read 42 back: $out" || return 1

    zm save "$scratch/saved.cfg"
    expect_rc 0 || return 1
    cmp -n 64 "$scratch/saved.cfg" "$scratch/after-set.bin" >&2 || fail "saved file differs from the reader's record" || return 1

    zm defaults
    expect_rc 0 || return 1
    uhid dump-settings r1 "$scratch/defaults.bin" >/dev/null || return 1
    [[ $(byte_at "$scratch/defaults.bin" 7) -ne 42 ]] || fail "defaults left the double timeout" || return 1

    zm load "$scratch/saved.cfg"
    expect_rc 0 || return 1
    uhid dump-settings r1 "$scratch/loaded.bin" >/dev/null || return 1
    cmp "$scratch/loaded.bin" "$scratch/after-set.bin" >&2 || fail "load did not restore the record"
}

raw_reports_and_reset() {
    local before after
    uhid add-reader r1 >/dev/null || return 1
    zm raw get 3 --json
    expect_rc 0 && expect_json '"length":65' && expect_json '"bytes":[3,1,21' || return 1
    zm raw set 3 01 15 00 00 00 00 2B
    expect_rc 0 || return 1
    uhid dump-settings r1 "$scratch/raw.bin" >/dev/null || return 1
    [[ $(byte_at "$scratch/raw.bin" 7) -eq 43 ]] || fail "raw set did not reach the reader" || return 1
    # The reader answers the loader's status with its declared two bytes only.
    zm raw get 5 --json
    expect_rc 0 && expect_json '"bytes":[5,0,0,' || return 1
    zm raw get 0 --json
    [[ $rc -ne 0 ]] || fail "an undeclared report was read: $out" || return 1
    before=$(uhid transfers r1)
    zm reset
    expect_rc 0 || return 1
    after=$(uhid transfers r1)
    [[ $after -gt $before ]] || fail "reset reached no reader"
}

flash_writes_image_and_reports_checksum_error() {
    uhid add-reader r1 >/dev/null || return 1
    make_update_file || return 1
    zm flash "$scratch/update.hex"
    expect_rc 0 || return 1
    uhid dump-flash r1 "$scratch/flash.bin" >/dev/null || return 1
    cmp "$scratch/flash.bin" "$scratch/image.bin" >&2 || fail "flash differs from the image" || return 1

    uhid corrupt-checksum r1 0 >/dev/null || return 1
    zm flash "$scratch/update.hex"
    expect_rc 5 && expect_out "CRC Error during flash write"
}

watch_follows_plug_unplug_and_replug() {
    local node log=$scratch/watch.log watcher arrived heard
    "$ctl_bin" watch >"$log" 2>"$log.err" &
    watcher=$!
    wait_for_text "$log.err" "$watch_ready" 60 &&
        node=$(uhid add-reader w1) && uhid add-keyboard kb >/dev/null &&
        wait_for_lines "$log" 1 &&
        uhid remove w1 >/dev/null && wait_for_lines "$log" 2 &&
        uhid add-reader w1 >/dev/null && wait_for_lines "$log" 3 &&
        # Replugged faster than the watcher looks: the same node name, but a new device.
        uhid remove w1 >/dev/null && uhid add-reader w1 >/dev/null && wait_for_lines "$log" 5
    heard=$?
    kill -TERM "$watcher"
    wait "$watcher"
    ((heard == 0)) || return 1
    out=$(cat "$log")
    arrived="arrived: $node  ZM-880 RFID Reader - VID=169B PID=0710"
    [[ $out == "$(printf '%s\n' "$arrived" "removed: $node" "$arrived" "removed: $node" "$arrived")" ]] ||
        fail "watch printed: $out"
}

wait_for_lines() {
    for _ in $(seq 50); do
        [[ $(wc -l <"$1") -ge $2 ]] && return 0
        sleep 0.1
    done
}

reader_removed_during_flash_ends_with_transfer_error() {
    uhid add-reader r1 >/dev/null || return 1
    make_update_file || return 1
    uhid remove-after r1 60 >/dev/null || return 1
    zm flash "$scratch/update.hex"
    [[ $rc -eq 3 || $rc -eq 4 ]] || fail "exit code $rc, expected a transfer error: $out" || return 1
    note "$(tail -n 1 <<<"$out")"
    expect_out "the reader was removed" || return 1
    expect_out "the update must be run again" || return 1
    [[ $(uhid present r1) == no ]] || fail "the reader is still there"
}

silent_reader_fails_after_kernel_timeout() {
    local started took
    uhid add-reader r1 >/dev/null || return 1
    uhid mute r1 >/dev/null || return 1
    started=$(date +%s%N)
    zm raw get 3
    took=$((($(date +%s%N) - started) / 1000000))
    note "after $took ms: $out"
    [[ $rc -ne 0 ]] || fail "a silent reader was read: $out" || return 1
    [[ $rc -lt 128 ]] || fail "zm880ctl died with signal $((rc - 128))" || return 1
    [[ -n $out ]] || fail "no message" || return 1
    expect_out "the reader did not answer" || return 1
    [[ $took -ge 4000 ]] || fail "failed after $took ms, before the kernel's timeout"
}

# A reader gone between two transfers: the node answers that its device is gone.
removed_reader_is_named_as_removed() {
    uhid add-reader r1 >/dev/null || return 1
    uhid remove-after r1 0 >/dev/null || return 1
    zm raw get 3
    note "$out"
    [[ $rc -eq 1 ]] || fail "exit code $rc, expected 1: $out" || return 1
    expect_out "reading feature report 03 failed: the reader was removed"
}

unprivileged_user_sees_reader_without_access() {
    local node
    node=$(uhid add-reader r1) || return 1
    note "$(ls -l "$node")"
    out=$(chroot --userspec=65534:65534 / "$ctl_bin" list 2>&1)
    rc=$?
    expect_rc 0 || return 1
    expect_out "ZM-880 RFID Reader - VID=169B PID=0710" &&
        expect_out "present but not accessible (install the udev rule"
}

# As udev does for a user at the desk: the node is opened up after the kernel announced it, and
# announced again. The watcher, which could not open it at first, takes it up without a replug.
access_granted_after_plug_is_taken_up() {
    local node log=$scratch/granted.log watcher arrived heard
    chroot --userspec=65534:65534 / "$ctl_bin" watch >"$log" 2>"$log.err" &
    watcher=$!
    wait_for_text "$log.err" "$watch_ready" 60 &&
        node=$(uhid add-reader g1) && wait_for_lines "$log" 1 &&
        out=$(chroot --userspec=65534:65534 / "$ctl_bin" list 2>&1) &&
        expect_out "present but not accessible" &&
        uhid grant g1 >/dev/null && wait_for_lines "$log" 3
    heard=$?
    kill -TERM "$watcher"
    wait "$watcher"
    ((heard == 0)) || return 1
    out=$(chroot --userspec=65534:65534 / "$ctl_bin" raw get 3 --json 2>&1)
    expect_json '"bytes":[3,1,21' || return 1
    out=$(cat "$log")
    arrived="arrived: $node  ZM-880 RFID Reader - VID=169B PID=0710"
    [[ $out == "$(printf '%s\n' "$arrived" "removed: $node" "$arrived")" ]] ||
        fail "watch printed: $out"
}

# ---- the same readers through wine --------------------------------------------------------

# Runs zm880ctl.exe under wine like zm.
zmw() {
    timeout 120 wine "$ctl_exe" "$@" >"$scratch/out" 2>&1
    rc=$?
    out=$(tr -d '\r' <"$scratch/out")
}

# Wine adds devices a while after they appear; waits until `list` shows the reader.
wine_sees_reader() {
    local deadline=$((SECONDS + 240))
    while ((SECONDS < deadline)); do
        zmw list
        grep -qF "ZM-880 RFID Reader - VID=169B PID=0710" <<<"$out" && return 0
        sleep 1
    done
    fail "wine did not list the reader within 240 s: $out"
}

# Wine 8.0 refuses a reader that arrives before it has let go of a removed one of the same name,
# as every check's r1 does after the last check's: waits until wine lists no reader.
wine_lets_go_of_readers() {
    local deadline=$((SECONDS + 240))
    while ((SECONDS < deadline)); do
        zmw list
        grep -qF "ZM-880 RFID Reader - VID=169B PID=0710" <<<"$out" || return 0
        sleep 1
    done
    fail "wine still listed a removed reader after 240 s: $out"
}

wine_lists_reader() {
    [[ -n $wine_prefix ]] || return 77
    uhid add-reader r1 >/dev/null || return 1
    wine_sees_reader || return 1
    note "$out"
    expect_out "feature report 65 bytes  accessible"
}

wine_set_show_raw_read_back() {
    [[ -n $wine_prefix ]] || return 77
    wine_lets_go_of_readers || return 1
    uhid add-reader r1 >/dev/null || return 1
    wine_sees_reader || return 1
    zmw set DoubleTimeout=42
    expect_rc 0 && expect_out "settings written and verified" || return 1
    uhid dump-settings r1 "$scratch/wine-set.bin" >/dev/null || return 1
    [[ $(byte_at "$scratch/wine-set.bin" 7) -eq 42 ]] || fail "reader holds double timeout $(byte_at "$scratch/wine-set.bin" 7)" || return 1
    zmw show
    expect_rc 0 || return 1
    grep -qE 'DoubleTimeout +42 s' <<<"$out" || fail "show did not read 42 back: $out" || return 1
    zmw raw get 3 --json
    expect_rc 0 && expect_json '"length":65' && expect_json '"bytes":[3,1,21'
}

wine_flash_writes_image() {
    [[ -n $wine_prefix ]] || return 77
    wine_lets_go_of_readers || return 1
    uhid add-reader r1 >/dev/null || return 1
    wine_sees_reader || return 1
    make_update_file || return 1
    cp "$scratch/update.hex" "$scratch/wine-update.hex"
    zmw flash "$scratch/wine-update.hex"
    expect_rc 0 || return 1
    uhid dump-flash r1 "$scratch/wine-flash.bin" >/dev/null || return 1
    cmp "$scratch/wine-flash.bin" "$scratch/image.bin" >&2 || fail "flash differs from the image"
}

wine_watch_hears_plug_and_unplug() {
    local log=$scratch/wine-watch.log watcher heard
    [[ -n $wine_prefix ]] || return 77
    # Wine's services are up before the watch starts, and the watch joins them.
    zmw list
    # Wine alone may take most of a minute to start the program on a loaded host.
    timeout 480 wine "$ctl_exe" watch >"$log" 2>"$log.err" &
    watcher=$!
    wait_for_text "$log.err" "$watch_ready" 240 &&
        uhid add-reader w1 >/dev/null && wait_for_text "$log" "arrived: " 120 &&
        uhid remove w1 >/dev/null && wait_for_text "$log" "removed: " 120
    heard=$?
    kill -INT "$watcher" 2>/dev/null
    wait "$watcher"
    out=$(tr -d '\r' <"$log")
    note "$out"
    ((heard == 0)) || return 1
    expect_out "arrived: " && expect_out "ZM-880 RFID Reader - VID=169B PID=0710" &&
        expect_out "removed: " && expect_out "#0&w1."
}

window_finds_reader_and_applies() {
    [[ -x $window_test ]] || return 77
    "$window_test" -o "$scratch/window.txt,txt" >/dev/null 2>&1
    rc=$?
    out=$(grep -E 'PASS|FAIL|Loc:|Totals' "$scratch/window.txt")
    expect_rc 0
}

# ---- run ----------------------------------------------------------------------------------

echo "guest: kernel $(uname -r), $(nproc) CPU"
mkfifo "$ZM880_UHID_CONTROL" "$ZM880_UHID_REPLY"
"$uhid_bin" "$ZM880_UHID_CONTROL" "$ZM880_UHID_REPLY" 2>"$scratch/uhid.err" &
uhid_pid=$!
exec 3>"$ZM880_UHID_CONTROL" 4<"$ZM880_UHID_REPLY"

run_check "list shows the reader and skips other devices" list_shows_reader_and_skips_other_devices
run_check "set, show, save, defaults, load read back" settings_commands_read_back
run_check "raw get/set and reset" raw_reports_and_reset
run_check "flash writes the image; corrupt checksum fails" flash_writes_image_and_reports_checksum_error
run_check "watch follows plug, unplug and replug" watch_follows_plug_unplug_and_replug
run_check "reader removed during flash" reader_removed_during_flash_ends_with_transfer_error
run_check "silent reader fails after the kernel's timeout" silent_reader_fails_after_kernel_timeout
run_check "removed reader is named as removed" removed_reader_is_named_as_removed
run_check "unprivileged user: present but not accessible" unprivileged_user_sees_reader_without_access
run_check "access granted after plug is taken up" access_granted_after_plug_is_taken_up
run_check "window finds the reader and applies" window_finds_reader_and_applies

if [[ -n $windows_exe && -n $wine_prefix ]]; then
    # Wine hears devices come and go from the udev daemon, as on a desktop. The Linux checks
    # above ran without one, as the kernel alone announces devices.
    mount -t tmpfs tmpfs /run
    /lib/systemd/systemd-udevd --daemon 2>"$scratch/udevd.err" ||
        { echo "wine: the udev daemon did not start:"; sed 's/^/      /' "$scratch/udevd.err"; }
    # The prepared prefix is read-only here and large: wine gets links to its files, and its own
    # copies of the files it writes.
    export WINEPREFIX=$scratch/wine-prefix WINEDEBUG=-all
    cp -as "$wine_prefix" "$WINEPREFIX"
    for file in system.reg user.reg userdef.reg .update-timestamp dosdevices; do
        rm -rf "${WINEPREFIX:?}/$file"
        cp -a "$wine_prefix/$file" "$WINEPREFIX/$file" 2>/dev/null
    done
    # Started from the 9p share, the program dies while wine loads it (a jump into its data
    # section, then nested faults until the stack overflows); the same bytes copied here run.
    ctl_exe=$scratch/zm880ctl.exe
    cp "$windows_exe" "$ctl_exe"
    # Wine's services, its device bus among them, stay up for the whole stage. Otherwise every
    # command that starts after the previous one's services have gone (3 s later, as a loaded
    # host easily takes) starts them afresh, which takes most of a minute there, and lists
    # readers before the fresh bus has found them.
    wineserver -p
    started=$SECONDS
    WINEDEBUG=err+all timeout 300 wine "$ctl_exe" --version >"$scratch/wine-start" 2>&1
    rc=$?
    if [[ $rc -ne 0 ]]; then
        echo "wine: cannot start zm880ctl.exe (exit code $rc); its checks are skipped:"
        tail -n 5 "$scratch/wine-start" | sed 's/^/      /'
        dmesg | tail -n 5 | sed 's/^/      kernel: /'
        wine_prefix=
    fi
    echo "wine: started in $((SECONDS - started)) s"
fi
run_check "wine: list shows the reader" wine_lists_reader
run_check "wine: set, show and raw get read back" wine_set_show_raw_read_back
run_check "wine: flash writes the image" wine_flash_writes_image
run_check "wine: watch hears plug and unplug" wine_watch_hears_plug_and_unplug
if [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k
fi

uhid quit >/dev/null
wait "$uhid_pid"
if [[ -s $scratch/uhid.err ]]; then
    cat "$scratch/uhid.err"
fi
if [[ $skipped -gt 0 ]]; then
    echo "result: $passed passed, $failed failed, $skipped skipped"
else
    echo "result: $passed passed, $failed failed"
fi
[[ $failed -eq 0 ]]
