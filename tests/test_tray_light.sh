#!/usr/bin/env bash
# The tray light on a real X display: Xvfb, Debian's tray host trayer, and the window test's
# trayLightOnADesktop run against them. Skipped (77) where either is missing. Everything the
# test starts is ended by its PID, also after a failure.
#   test_tray_light.sh <test_window>
set -u
test_window=$1
for tool in Xvfb trayer; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: needs $tool (Debian packages xvfb and trayer) for a desktop with a tray"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
finish() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display and writes its number when it is ready.
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:"
    cat "$work/xvfb.log"
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_RUNTIME_DIR=$work # mode 0700, as Qt wants

trayer --edge top --align right --widthtype request --height 24 2>"$work/trayer.log" &
pids+=($!)

# libxkbcommon-x11 hands strndup a buffer with its length and no NUL, which the sanitizers'
# strict string checks read as an overflow: they stay on for the station's own code elsewhere.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi
QT_QPA_PLATFORM=xcb VARNETIX_TRAY_HOST=1 "$test_window" trayLightOnADesktop
