# shellcheck shell=bash
# A private desktop session for a run without a screen: an X server (Xvfb) and
# a D-Bus session bus, as a desktop has. Without a bus, Qt has one started
# for the X display (dbus-launch) that outlives the program. Sourced by
# scripts/demo, bench/run and the end-to-end test, after scripts/lib/namespace.sh (stop_process).
#
#   xvfb_start          starts Xvfb on a free display number; exports DISPLAY
#   session_bus_start [COMMAND...]
#                       starts a session bus; exports DBUS_SESSION_BUS_ADDRESS;
#                       through COMMAND (setpriv ...) for another user's programs
#   xvfb_stop, session_bus_stop

# wait_for_file FILE PID: waits until FILE holds something or PID has ended.
wait_for_file() {
    local i
    for ((i = 0; i < 100; i++)); do
        [[ -s $1 ]] && return 0
        kill -0 "$2" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

xvfb_start() {
    local numberFile
    numberFile=$(mktemp)
    # Xvfb picks a free number itself and writes it once it accepts clients.
    # Its own session keeps Ctrl+C in the terminal from ending it before the
    # program it serves.
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$numberFile" 2>/dev/null &
    XVFB_PID=$!
    if wait_for_file "$numberFile" "$XVFB_PID"; then
        DISPLAY=":$(<"$numberFile")"
        export DISPLAY
        rm -f "$numberFile"
        return 0
    fi
    rm -f "$numberFile"
    echo "Xvfb did not start." >&2
    xvfb_stop
    return 1
}

xvfb_stop() {
    stop_process XVFB_PID
}

session_bus_start() {
    local addressFile
    addressFile=$(mktemp)
    setsid "$@" dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$addressFile" >/dev/null 2>&1 &
    BUS_PID=$!
    if wait_for_file "$addressFile" "$BUS_PID"; then
        DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$addressFile")
        export DBUS_SESSION_BUS_ADDRESS
        rm -f "$addressFile"
        return 0
    fi
    rm -f "$addressFile"
    echo "The D-Bus session bus did not start." >&2
    session_bus_stop
    return 1
}

session_bus_stop() {
    stop_process BUS_PID
}
