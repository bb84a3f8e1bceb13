# shellcheck shell=bash
# The Wine session of the Wine and the real-audio stages, sourced by scripts/test.sh and
# scripts/real-audio.sh: one persistent server from the boot to the last program, the prefix
# booted in it with its services, the desktop process and the RPC service up before the first
# program. Left to itself, Wine boots the session in the first program that runs after a server
# start, and starts a desktop process (explorer.exe) in every program that opens a window (a COM
# apartment does) and stops it soon after the program ends; that process holds the program's
# output open, and a program launched while one stops can die before printing anything.

# wine_environment PREFIX: Wine on that prefix, quiet, without a display, and without the Mono
# and Gecko installers and the menu builder.
wine_environment() {
    export WINEPREFIX=$1 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
}

wine_processes() {  # the processes running in the prefix, one id a line
    local pid
    for pid in $(pgrep -f '\.exe|wineserver'); do
        grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
    done
}

# wineboot and the services go on starting things after they return: waits until the prefix's
# processes stay the same for two seconds (at most a minute).
wine_settle() {
    local before="" now stable=0 i
    for ((i = 0; i < 120 && stable < 4; i++)); do
        sleep 0.5
        now=$(wine_processes)
        if [[ $now == "$before" ]]; then stable=$((stable + 1)); else stable=0; fi
        before=$now
    done
}

# Starts the session on $WINEPREFIX (wine_environment); the caller stops it with wineserver -k.
wine_session() {
    # A server left running on the prefix (a developer's persistent one) goes, with all it ran.
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    # Creating or updating the prefix restarts its services; let that server end by itself.
    wineboot --init || return 1
    wineserver -w
    # The session's server. Its first program boots the session (Wine runs wineboot for it and
    # waits), and the services stay up with the server.
    wineserver -p || return 1
    wine cmd.exe /c exit || return 1
    wine explorer.exe /desktop </dev/null &
    wine_settle
    # COM's service, else started by the first program that uses COM.
    wine net start rpcss || true
    wine_settle
}
