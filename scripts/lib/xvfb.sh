# shellcheck shell=bash
# A private X server for a run without a screen. Sourced by scripts/demo and
# bench/run.
#
#   xvfb_start   starts Xvfb on a free display number and exports DISPLAY
#   xvfb_stop

xvfb_start() {
    local numberFile
    numberFile=$(mktemp)
    # Xvfb picks a free number itself and writes it once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$numberFile" 2>/dev/null &
    XVFB_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        if [[ -s $numberFile ]]; then
            DISPLAY=":$(<"$numberFile")"
            export DISPLAY
            rm -f "$numberFile"
            return 0
        fi
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$numberFile"
    echo "Xvfb did not start." >&2
    xvfb_stop
    return 1
}

xvfb_stop() {
    if [[ -n ${XVFB_PID:-} ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
