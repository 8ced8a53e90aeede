# shellcheck shell=bash
# Wine for the Windows programs' tests and screenshots. Sourced by
# scripts/lib/wine-run and tests/wine/run_wine_e2e (which
# scripts/screenshots-windows runs).
#
# Everything runs as root in private mount and process namespaces whose /dev
# is a small tmpfs: null, zero, full, random, urandom, tty, a pts instance of
# its own and shm (TMPDIR). Wine maps every /dev/ttyS* it finds to a COM port,
# and a program that opens the machine's real ttyS0 hangs; here there is none,
# and the ports are only what the session points them at.
#
#   wine_in_namespace COMMAND [ARG...]
#                   re-runs COMMAND in the namespace (once; inside, it just runs)
#   wine_session    in the namespace: the prepared prefix (prepared once per
#                   machine and cached) under an overlay of its own, Xvfb;
#                   sets WINEPREFIX and DISPLAY
#   WINE_COM1       the path COM1 of the prepared prefix opens, in the
#                   namespace's own /dev
#   wine_device_map [VALUE PORT PATH]...
#                   the serial device map of a real PC: only these ports,
#                   each registered under its driver's VALUE name
#   wine_no_ports   takes every port away, so the programs find none
#   wine_logpixels DPI          Windows' scaling: 96 is 100 %, 144 is 150 %
#   wine_windows_version VERSION  the Windows that Wine poses as: win10, win81...
#   wine_end        stops Wine and Xvfb and removes the session
#   wine_window TITLE           waits (a minute at most) for the window; prints its id
#   wine_click WINDOW X Y       clicks at client-area pixel X, Y
#   wine_paste TEXT             pastes TEXT where the keyboard focus is
#   wine_shot WINDOW FILE.png   the window's client area, as the Linux screenshots

# Booted with Wine's 32-bit half, which the installer needs (a prefix booted
# without it lacks the 32-bit system folder and registry view); a folder of
# its own, so that a checkout that still uses the earlier one keeps it.
WINE_TEMPLATE=/var/cache/screenprog/wine-prefix-wow64
# This folder, which holds wine-ns-setup, the part that runs in the namespace.
WINE_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE_COM1=/dev/screenprog-com1
export WINEDEBUG=-all
# No Mono or Gecko prompts, no menu entries on this machine for what an
# installer puts in Wine's Start menu, and no debugger waiting on a crash: the
# program just ends.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"

wine_in_namespace() {
    if [[ -n ${SCREENPROG_WINE_NAMESPACE:-} ]]; then
        "$@"
        return
    fi
    if [[ $(id -u) != 0 ]]; then
        echo "The Wine tests run as root (a private mount namespace with its own /dev)." >&2
        return 1
    fi
    # A process namespace of its own too: whatever is left running in it
    # (Xvfb, Wine's server, the emulator) ends with it, however it ends.
    unshare --mount --propagation private --pid --fork --mount-proc \
        "$WINE_LIB/wine-ns-setup" "$@"
}

# The prepared prefix: booted once (about 20 s), posing as Windows 10, the
# oldest the programs run on (Wine 8 poses as Windows 7 by default), with COM1
# on WINE_COM1 and Liberation Sans in place of the dialog fonts Wine lacks.
# Marked complete
# with Wine's version and the recipe's number.
wine_template() {
    local stamp=$WINE_TEMPLATE/.prepared version lock
    # The recipe below changes with its number.
    version="$(wine --version) 3"
    mkdir -p "${WINE_TEMPLATE%/*}"
    exec {lock}>"$WINE_TEMPLATE.lock"
    flock "$lock"
    if [[ -f $stamp && $(<"$stamp") == "$version" ]]; then
        exec {lock}>&-
        return 0
    fi
    rm -rf "$WINE_TEMPLATE"
    mkdir -p "$WINE_TEMPLATE"
    local font
    WINEPREFIX=$WINE_TEMPLATE wineboot -i >/dev/null 2>&1
    WINEPREFIX=$WINE_TEMPLATE wine_windows_version win10
    # Without a window manager, Wine waits for one to take each closed window
    # away (about 2 s); unmanaged windows close at once.
    WINEPREFIX=$WINE_TEMPLATE wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N \
        /f >/dev/null 2>&1
    for font in "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif"; do
        WINEPREFIX=$WINE_TEMPLATE wine reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
            /v "$font" /d "Liberation Sans" /f >/dev/null 2>&1
    done
    WINEPREFIX=$WINE_TEMPLATE wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$WINE_COM1" \
        /f >/dev/null 2>&1
    WINEPREFIX=$WINE_TEMPLATE wineserver -w
    echo "$version" >"$stamp"
    exec {lock}>&-
}

# wine_windows_version win10|win81|...: the Windows that Wine poses as.
wine_windows_version() {
    wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}

wine_session() {
    wine_template
    # On the namespace's own tmpfs (TMPDIR): gone with it, however it ends.
    WINE_SESSION=$(mktemp -d "$TMPDIR/screenprog-wine.XXXXXX")
    export WINEPREFIX=$WINE_SESSION/prefix
    # The prefix is mostly Wine's own DLLs (about 700 MB): an overlay over the
    # prepared one costs nothing, where a copy takes seconds.
    mkdir -p "$WINEPREFIX" "$WINE_SESSION/upper" "$WINE_SESSION/work"
    mount -t overlay overlay -o "lowerdir=$WINE_TEMPLATE,upperdir=$WINE_SESSION/upper,workdir=$WINE_SESSION/work" \
        "$WINEPREFIX" 2>/dev/null || cp -a "$WINE_TEMPLATE/." "$WINEPREFIX"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp \
        3>"$WINE_SESSION/display" >/dev/null 2>&1 &
    WINE_XVFB_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        [[ -s $WINE_SESSION/display ]] && break
        sleep 0.05
    done
    export DISPLAY=:$(<"$WINE_SESSION/display")
    wine_server
}

# The Wine server of the session, started quietly: it dumps its objects on
# the way out.
wine_server() { wineserver >/dev/null 2>&1; }

# Wine lists its own ports as \Device\Serial0, \Device\Serial1, ... in the
# map, as only the built-in driver of Windows does; adapters register under
# their drivers' names (\Device\VCP0 for FTDI, \Device\Silabser0 for CP210x).
# The map is volatile, made by Wine's mount manager as it starts and lost
# when the Wine server ends, so a Wine process waits from here to the
# session's end, keeping it. PORT opens PATH (COM5 as dosdevices/com5).
wine_device_map() {
    local key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' expected=
    sleep infinity | wine cmd >/dev/null 2>&1 &
    wine reg delete "$key" /va /f >/dev/null 2>&1 || true
    while (($# >= 3)); do
        ln -sfn "$3" "$WINEPREFIX/dosdevices/${2,,}"
        wine reg add "$key" /v "$1" /d "$2" /f >/dev/null 2>&1
        expected+="$1 REG_SZ $2"$'\n'
        shift 3
    done
    [[ $(wine reg query "$key" 2>/dev/null | tr -d '\r' | awk 'NF == 3 { print $1, $2, $3 }' |
        sort) == "$(sort <<<"${expected%$'\n'}")" ]] ||
        { echo "The serial device map was not rewritten." >&2; return 1; }
}

wine_no_ports() {
    wine reg delete 'HKLM\Software\Wine\Ports' /va /f >/dev/null 2>&1
    rm -f "$WINEPREFIX"/dosdevices/com*
    # A new Wine server makes the map again, from no port at all.
    wineserver -k 2>/dev/null || true
    wineserver -w
    wine_server
}

# Wine's title bar grows with the scaling (see wine_click): its client area
# starts 22 px down at 96 dpi and 31 px down at 144, as measured.
WINE_CLIENT_TOP=22
wine_logpixels() {
    case $1 in
    96) WINE_CLIENT_TOP=22 ;;
    144) WINE_CLIENT_TOP=31 ;;
    *) echo "wine_logpixels: 96 or 144, not $1" >&2; return 1 ;;
    esac
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

wine_end() {
    if [[ -n ${WINE_SESSION:-} ]]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        [[ -n ${WINE_XVFB_PID:-} ]] && kill "$WINE_XVFB_PID" 2>/dev/null
        wait "${WINE_XVFB_PID:-}" 2>/dev/null || true
        umount "$WINEPREFIX" 2>/dev/null || true
        rm -rf "$WINE_SESSION"
        WINE_SESSION=
    fi
}

# Only a window on screen: Qt may create one early and show it later.
# xdotool gives up on an X error when a window goes while it looks (Wine
# makes and drops short-lived windows), so it looks again until time is up.
wine_window() {
    local end=$((SECONDS + 60)) id
    while ((SECONDS < end)); do
        id=$(xdotool search --onlyvisible --limit 1 --name "^$1\$" 2>/dev/null) && [[ -n $id ]] &&
            { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Wine draws the windows' frames itself: the client area starts 3 px in and
# WINE_CLIENT_TOP down.
wine_click() { xdotool mousemove --window "$1" $(($2 + 3)) $(($3 + WINE_CLIENT_TOP)) click 1; }
# Qt paints a moment after the window shows: the picture is taken again (for
# 5 s at most) while it is all one colour.
wine_shot() {
    local i
    for ((i = 0; i < 50; i++)); do
        import -window "$1" png:- |
            convert - -chop "3x$WINE_CLIENT_TOP" -gravity southeast -chop 3x3 +repage "$2"
        (($(identify -format %k "$2") > 1)) && return
        sleep 0.1
    done
}

# Keyboard layouts do not reach Wine's windows reliably (letters beyond the
# layout come out wrong); the clipboard carries any text.
wine_paste() { printf %s "$1" | xclip -selection clipboard; xdotool key ctrl+v; }
