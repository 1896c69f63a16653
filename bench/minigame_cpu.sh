#!/bin/sh
# CPU cost of a 10-second hack minigame played over the door (release build):
# prints the game's CPU seconds and its share of one core. Target: under 2%.
# Not a test. Usage: bench/minigame_cpu.sh [seconds]
set -eu
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-10}

cmake --preset release >/dev/null
cmake --build --preset release --target sysopsim door_launcher >/dev/null

python3 bench/minigame_cpu.py --launcher build/release/tools/door_launcher \
    --game build/release/game/sysopsim --seconds "$SECONDS_TO_RUN"
