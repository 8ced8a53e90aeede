# shellcheck shell=bash disable=SC2034  # it sets variables for its callers
# Puts the display emulator behind the machine's first serial port, ttyS0, for
# one program and its children only, so the real screenprog lists it as COM1
# and talks to it as to a display on the wire. Sourced by scripts/demo,
# bench/run and the end-to-end test.
#
# The program runs in a private mount namespace where:
#   - the emulator's pseudo-terminal is bound over /dev/ttyS0;
#   - a tmpfs over /sys/class/tty holds only a link to ttyS0's real sysfs
#     entry, so Qt's port list shows exactly that port (with NS_LISTING=all,
#     links to all of the machine's entries; with NS_LISTING=none, none);
#   - a tmpfs over /run/lock hides serial-port lock files of other programs.
# As root this is a plain mount namespace; otherwise an unprivileged user
# namespace (unshare -Urm), which the kernel must allow. Nothing outside the
# namespace changes, except /dev/ttyS0 made (as root) when missing.
#
#   ns_prepare           checks the machine; sets NS_UNSHARE
#   emulator_start LOG|- [OPTION...]
#                        starts velta-display-emulator; sets EMULATOR_PID and
#                        EMULATOR_PTY
#   ns_exec PTY COMMAND [ARG...]
#                        runs COMMAND in the namespace, PTY as /dev/ttyS0
#   emulator_stop, ns_cleanup

NS_PORT=ttyS0
# This folder, which holds ns-setup, the part that runs inside the namespace.
NS_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

ns_prepare() {
    if [[ ! -e /sys/class/tty/$NS_PORT ]]; then
        echo "This machine has no serial port $NS_PORT (/sys/class/tty/$NS_PORT is missing)," >&2
        echo "so there is no port for the display emulator to stand in for." >&2
        return 1
    fi
    NS_MADE_NODE=
    if [[ $(id -u) == 0 ]]; then
        NS_UNSHARE=(unshare --mount --propagation private)
        if [[ ! -e /dev/$NS_PORT ]]; then
            # Only a mount point for the pty; removed again by ns_cleanup.
            touch "/dev/$NS_PORT"
            NS_MADE_NODE=1
        fi
    else
        NS_UNSHARE=(unshare --user --map-root-user --mount --propagation private)
        if ! "${NS_UNSHARE[@]}" true 2>/dev/null; then
            echo "Not root, and this kernel allows no unprivileged user namespaces" >&2
            echo "(unshare -Urm failed): run as root, or allow them with" >&2
            echo "sysctl kernel.unprivileged_userns_clone=1." >&2
            return 1
        fi
        if [[ ! -e /dev/$NS_PORT ]]; then
            echo "/dev/$NS_PORT is missing and only root can make it; run as root." >&2
            return 1
        fi
    fi
}

ns_cleanup() {
    if [[ -n ${NS_MADE_NODE:-} ]]; then
        rm -f "/dev/$NS_PORT"
        NS_MADE_NODE=
    fi
}

# ns_exec PTY COMMAND [ARG...]: with NS_LISTING=all, /sys/class/tty keeps all
# of the machine's entries (ttyS0 still the pty), for timing the port listing
# as a real machine has it.
ns_exec() {
    local pty=$1
    shift
    "${NS_UNSHARE[@]}" "$NS_LIB/ns-setup" "$pty" "$NS_PORT" "${NS_LISTING:-one}" "$@"
}

# Starts the emulator with its decoded frames going to the file LOG, or to
# this script's output when LOG is -; the pty path comes from its --link.
emulator_start() {
    local log=$1
    shift
    EMULATOR_LINK=$(mktemp -u "${TMPDIR:-/tmp}/velta-display.XXXXXX")
    if [[ $log == - ]]; then
        "$EMULATOR" --link "$EMULATOR_LINK" "$@" &
    else
        "$EMULATOR" --link "$EMULATOR_LINK" "$@" >"$log" &
    fi
    EMULATOR_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        if [[ -L $EMULATOR_LINK ]]; then
            EMULATOR_PTY=$(readlink "$EMULATOR_LINK")
            return 0
        fi
        kill -0 "$EMULATOR_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "The display emulator did not start." >&2
    emulator_stop
    return 1
}

# stop_process VAR: ends the background process whose pid VAR holds, if any,
# and empties VAR.
stop_process() {
    local -n pid=$1
    if [[ -n ${pid:-} ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        pid=
    fi
}

emulator_stop() {
    stop_process EMULATOR_PID
}
