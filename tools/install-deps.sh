#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
# Runs apt-get through sudo when not root, and refreshes the package lists
# first when they are empty (a fresh machine or container).
set -eu

PACKAGES="g++ gcc make cmake ninja-build pkg-config libssl-dev openssl
libgtest-dev libgmock-dev googletest libvterm-dev
ngircd inspircd atheme-services telnet"

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
