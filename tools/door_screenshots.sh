#!/bin/bash
# Renders each program's main screen as a door caller sees it, from the
# program's real output: the door launcher starts the program on a caller's
# socket, this script is the caller (a bare TCP line, code page 437), and the
# bytes received go through the test terminal (screen_snapshot) and ansilove
# (Debian package "ansilove") into a PNG.
#
#   tools/door_screenshots.sh [BUILD_DIR] [OUT_DIR]     (defaults build/dev, docs)
set -euo pipefail

build=${1:-build/dev}
out=${2:-docs}
work=$(mktemp -d)
launcher_pid=""
trap '[ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null; rm -rf "$work"' EXIT

# call NAME PROGRAM COLS ROWS KEYS...: one caller on a fresh board; each key
# is sent after a pause, then the screen is rendered.
call() {
    local name=$1 program=$2 cols=$3 rows=$4
    shift 4
    mkdir -p "$work/$name"
    HOME="$work/$name" "$build/tools/door_launcher" --door "$program" --dir "$work/$name" --port 0 \
        --user Ada >"$work/$name.log" &
    launcher_pid=$!
    local port=""
    for _ in $(seq 50); do
        port=$(awk '/^listening on/ {print $NF}' "$work/$name.log")
        [ -n "$port" ] && break
        sleep 0.1
    done
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    sleep 3  # the chat program waits for size reports this caller never sends
    for key in "$@"; do
        printf '%s' "$key" >&3
        sleep 1
    done
    timeout 1 cat <&3 >"$work/$name.bin" || true
    exec 3>&-
    kill "$launcher_pid" 2>/dev/null || true
    wait "$launcher_pid" 2>/dev/null || true
    launcher_pid=""
    "$build/tests/tools/screen_snapshot" "$cols" "$rows" <"$work/$name.bin" >"$work/$name.ans"
    ansilove -q -i -c "$cols" -R 2 -o "$out/$name.png" "$work/$name.ans" >/dev/null
    echo "$out/$name.png"
}

mkdir -p "$out"
call sysopsim-door "$build/game/sysopsim" 80 25 1 " "
call ircdoor-door "$build/chat/ircdoor" 80 24
