#!/bin/sh
# Checks the install as a new sysop meets it: clones this repository's
# committed HEAD into a temporary directory, runs `make install PREFIX=...`
# there, and plays the installed game as a door through the installed
# launcher (the game_install end-to-end test, pointed at that prefix).
#   tools/check-install.sh [e2e_game_tests binary]
# The test binary defaults to build/dev/tests/e2e/e2e_game_tests of this tree.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
tests=${1:-$src/build/dev/tests/e2e/e2e_game_tests}
work=$(mktemp -d /tmp/vexon-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

git clone -q "$src" "$work/clone"
make -C "$work/clone" install PREFIX="$work/prefix"
echo "installed:"
(cd "$work/prefix" && find . -type f | sort)
VEXON_INSTALLED_PREFIX="$work/prefix" "$tests" --gtest_filter='game_install.*'
