#!/usr/bin/env python3
"""Flood benchmark of a terminal IRC client, interface included.

Starts the client in an 80x24 pseudo-terminal (its screen output is read and
thrown away as fast as it comes), joins it to a loopback server that sends
200,000 PRIVMSG lines to the channel and then a PING, and reports the
client's CPU seconds (user + system, from its start) and peak resident
memory at the moment its PONG arrives.

    chat_flood_ui.py CLIENT [--lines N] [--ircdoor PATH]

CLIENT is ircdoor, irssi or weechat.
"""

import argparse
import fcntl
import os
import pty
import select
import shutil
import socket
import struct
import sys
import tempfile
import termios
import threading
import time

NICK = "benchuser"
CHANNEL = "#bench"
COLS, ROWS = 80, 24
PING_TOKEN = "flood-done"


def flood_bytes(count):
    """The channel flood: count PRIVMSG lines from a few senders, then a PING."""
    senders = [f"user{i}!u{i}@flood.test" for i in range(8)]
    text = "the quick brown fox jumps over the lazy dog while the modem hums along"
    lines = [f":{senders[i % 8]} PRIVMSG {CHANNEL} :{i} {text}\r\n" for i in range(count)]
    lines.append(f"PING :{PING_TOKEN}\r\n")
    return "".join(lines).encode()


def welcome_bytes():
    return (
        f":flood.test 001 {NICK} :Welcome to the flood\r\n"
        f":flood.test 002 {NICK} :Your host is flood.test\r\n"
        f":flood.test 003 {NICK} :This server was created today\r\n"
        f":flood.test 004 {NICK} flood.test bench o o\r\n"
        f":flood.test 005 {NICK} CHANTYPES=# PREFIX=(ov)@+ NETWORK=Flood :are supported\r\n"
        f":flood.test 376 {NICK} :End of MOTD command\r\n"
        f":{NICK}!b@flood.test JOIN :{CHANNEL}\r\n"
        f":flood.test 353 {NICK} = {CHANNEL} :{NICK} @user0 user1 user2 user3 user4 user5 user6 user7\r\n"
        f":flood.test 366 {NICK} {CHANNEL} :End of /NAMES list.\r\n"
    ).encode()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime


def peak_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def start_in_pty(argv, env, cwd):
    pid, master = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execvpe(argv[0], argv, env)
    fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLS, 0, 0))
    return pid, master


def drain(master, stop):
    """Reads the client's screen output and throws it away."""
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                if not os.read(master, 1 << 16):
                    return
            except OSError:
                return


def client_command(name, port, home, ircdoor):
    env = dict(os.environ, HOME=home, TERM="xterm-256color", LANG="C.UTF-8")
    if name == "ircdoor":
        with open(os.path.join(home, ".vexon_irc_bookmarks"), "w") as f:
            f.write(f"Bench|127.0.0.1|{port}|{NICK}|{CHANNEL}|0|\n")
        return [ircdoor], env, b"c"
    if name == "irssi":
        return ["irssi", f"--home={home}/irssi", "-c", "127.0.0.1", "-p", str(port), "-n", NICK], env, b""
    if name == "weechat":
        commands = (f"/server add bench 127.0.0.1/{port} -notls -nicks={NICK};"
                    "/set irc.server.bench.capabilities \"\";/connect bench")
        return ["weechat", "--dir", f"{home}/weechat", "-r", commands], env, b""
    raise SystemExit(f"unknown client {name}")


class flood_server:
    """One client: registration, the join, then the flood; waits for the PONG."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]

    def serve(self, count, on_pong, timeout):
        self.listener.settimeout(timeout)
        conn, _ = self.listener.accept()
        conn.settimeout(timeout)
        buffer = b""
        registered = False
        flood = flood_bytes(count)
        sender = None
        while True:
            data = conn.recv(65536)
            if not data:
                raise SystemExit("the client closed the connection")
            buffer += data
            *lines, buffer = buffer.split(b"\n")
            for raw in lines:
                line = raw.strip().decode(errors="replace")
                if line.startswith("CAP LS"):
                    conn.sendall(b":flood.test CAP * LS :\r\n")
                elif line.startswith("PING"):
                    conn.sendall(b":flood.test PONG flood.test :" + line.split(" ", 1)[-1].lstrip(":").encode() + b"\r\n")
                elif line.startswith("USER") and not registered:
                    registered = True
                    conn.sendall(welcome_bytes())
                    sender = threading.Thread(target=conn.sendall, args=(flood,), daemon=True)
                    sender.start()
                elif line.startswith("PONG") and PING_TOKEN in line:
                    on_pong()
                    conn.close()
                    return


def run(name, count, ircdoor, timeout):
    home = tempfile.mkdtemp(prefix=f"flood-{name}-")
    try:
        server = flood_server()
        argv, env, keys = client_command(name, server.port, home, ircdoor)
        started = time.monotonic()
        pid, master = start_in_pty(argv, env, home)
        stop = threading.Event()
        reader = threading.Thread(target=drain, args=(master, stop), daemon=True)
        reader.start()
        if keys:
            time.sleep(1.0)  # the startup manager is up
            os.write(master, keys)
        figures = {}

        def at_pong():
            figures["cpu"] = cpu_seconds(pid)
            figures["mib"] = peak_mib(pid)
            figures["wall"] = time.monotonic() - started

        try:
            server.serve(count, at_pong, timeout)
        finally:
            stop.set()
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            os.close(master)
        return figures
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("client", choices=["ircdoor", "irssi", "weechat"])
    parser.add_argument("--lines", type=int, default=200000)
    parser.add_argument("--ircdoor", default="build/release/chat/ircdoor")
    parser.add_argument("--timeout", type=float, default=600)
    args = parser.parse_args()
    f = run(args.client, args.lines, os.path.abspath(args.ircdoor), args.timeout)
    print(f"{args.client:8s} {args.lines} lines: {f['cpu']:7.2f} CPU s  {f['mib']:7.1f} MiB peak  "
          f"{f['wall']:7.2f} s wall")


if __name__ == "__main__":
    sys.exit(main())
