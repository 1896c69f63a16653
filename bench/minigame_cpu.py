#!/usr/bin/env python3
"""CPU cost of the hack minigame over the door.

Starts the door launcher with sysopsim, calls in over loopback TCP as a new
player, opens the underground, attacks a target and lets the minigame run for
the given seconds without a key (its output is read and thrown away as it
comes). Prints the game's CPU seconds (user + system) over that time and the
share of one core they make.

    minigame_cpu.py --launcher PATH --game PATH [--seconds N]
"""

import argparse
import os
import re
import socket
import subprocess
import sys
import tempfile
import time


def read_until(sock, marker, timeout=30.0):
    """Reads the game's output until marker has arrived."""
    seen = b""
    end = time.monotonic() + timeout
    while marker not in seen:
        sock.settimeout(max(0.01, end - time.monotonic()))
        chunk = sock.recv(65536)
        if not chunk:
            sys.exit("the game hung up before " + marker.decode(errors="replace"))
        seen += chunk
        if time.monotonic() > end:
            sys.exit("no " + marker.decode(errors="replace"))
    return seen


def cpu_seconds(pid):
    """User + system CPU seconds of a process, from /proc."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])
    return ticks / os.sysconf("SC_CLK_TCK")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--launcher", required=True)
    ap.add_argument("--game", required=True)
    ap.add_argument("--seconds", type=float, default=10.0)
    args = ap.parse_args()

    with tempfile.TemporaryDirectory() as home:
        launcher = subprocess.Popen(
            [args.launcher, "--game", args.game, "--dir", home, "--port", "0", "--user", "Bench"],
            stdout=subprocess.PIPE, text=True)
        try:
            port = int(re.search(r"port (\d+)", launcher.stdout.readline()).group(1))
            sock = socket.create_connection(("127.0.0.1", port))
            pid = int(re.search(r"started pid (\d+)", launcher.stdout.readline()).group(1))
            read_until(sock, b"[1] New BBS")
            for key, marker in ((b"1", b"Welcome!"), (b" ", b"BBS CONSOLE"), (b"5", b"THE PIRATE COVE"),
                                (b"8", b"Attempt hack?"), (b"y", b"BREAKING IN")):
                sock.sendall(key)
                read_until(sock, marker)

            start_cpu = cpu_seconds(pid)
            start = time.monotonic()
            received = 0
            while time.monotonic() - start < args.seconds:
                sock.settimeout(0.2)
                try:
                    received += len(sock.recv(65536))
                except socket.timeout:
                    pass
            cpu = cpu_seconds(pid) - start_cpu
            wall = time.monotonic() - start
            sock.sendall(b"\x1b")
            read_until(sock, b"Aborted")
            sock.close()
        finally:
            launcher.terminate()
            launcher.wait()

    print(f"minigame over the door: {wall:.1f} s wall, {cpu:.3f} CPU seconds, "
          f"{100.0 * cpu / wall:.2f}% of one core, {received} bytes sent "
          f"({received / wall:.0f} bytes/s)")


if __name__ == "__main__":
    main()
