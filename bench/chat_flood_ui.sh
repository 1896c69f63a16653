#!/bin/sh
# Flood benchmark of the chat program with its interface: ircdoor in an 80x24
# pseudo-terminal takes 200,000 channel messages and a PING from a loopback
# server; prints its CPU seconds until the PONG and its peak memory, and the
# same for irssi and WeeChat when they are installed (Debian: irssi weechat).
# Not a test. Usage: bench/chat_flood_ui.sh [number of lines]
set -eu
cd "$(dirname "$0")/.."
LINES=${1:-200000}

cmake --preset release >/dev/null
cmake --build --preset release --target ircdoor >/dev/null

for client in ircdoor irssi weechat; do
    if [ "$client" != ircdoor ] && ! command -v "$client" >/dev/null 2>&1; then
        echo "$client: not installed (apt-get install $client), skipped"
        continue
    fi
    python3 bench/chat_flood_ui.py "$client" --lines "$LINES"
done
