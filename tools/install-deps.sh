#!/bin/sh
# Installs the Debian packages a set of work needs, when missing:
#   tools/install-deps.sh game        build and run the game (make run)
#   tools/install-deps.sh game chat   build everything (make chat, install, bench)
#   tools/install-deps.sh game chat test
#                                     build and run every test and fuzz target
#                                     (make test, make fuzz)
# Runs apt-get through sudo when not root, and refreshes the package lists
# first when they are empty (a fresh machine or container).
set -eu

# The game links only the C and C++ runtime.
GAME_PACKAGES="g++ gcc make cmake ninja-build"
# The chat program links OpenSSL 3.
CHAT_PACKAGES="pkg-config libssl-dev"
# Tests: GoogleTest, the terminal emulator, real IRC servers and their TLS
# certificates, the telnet caller, the network tools of the dead-line test,
# and clang for the fuzz targets.
TEST_PACKAGES="libgtest-dev libgmock-dev googletest libvterm-dev
ngircd inspircd atheme-services openssl telnet iproute2
clang libclang-rt-14-dev"

[ $# -gt 0 ] || set -- game chat test
PACKAGES=""
for set in "$@"; do
    case "$set" in
    game) PACKAGES="$PACKAGES $GAME_PACKAGES" ;;
    chat) PACKAGES="$PACKAGES $CHAT_PACKAGES" ;;
    test) PACKAGES="$PACKAGES $TEST_PACKAGES" ;;
    *) echo "usage: $0 [game] [chat] [test]" >&2; exit 2 ;;
    esac
done

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" != 0 ]; then
    SUDO="sudo"
fi
echo "Installing:$missing"
if [ -z "$(ls /var/lib/apt/lists/ 2>/dev/null | grep -v -e '^lock$' -e '^partial$' -e '^auxfiles$')" ]; then
    $SUDO apt-get update
fi
# Server packages must not start system-wide daemons while they install.
export DEBIAN_FRONTEND=noninteractive
$SUDO env DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 apt-get install -y --no-install-recommends $missing
