#!/usr/bin/env python3
"""Records what a caller receives in a real visit, for tools/render-screens.sh.

The real door binary gets one end of a socket pair as its caller (-H<fd>), as a BBS hands it over,
and joins #lobby on the private IRC server at --port, where a second user, bob, talks to it.
The caller's bytes from the last screen clear on, without telnet negotiation, are written to
OUT/visit-cp437.ans for ansilove. The visit then goes on in two channels: bob talks in the one
that is not active and names Wolf in the active one, and that screen goes to
OUT/comforts-cp437.ans.
"""
import argparse
import os
import shutil
import socket
import subprocess
import time

TIMEOUT_S = 15


class Peer:
    """A socket read into a growing byte log, with bounded waits for text in it."""

    def __init__(self, sock):
        self.sock = sock
        self.sock.settimeout(0.1)
        self.log = b""

    def pump(self):
        try:
            data = self.sock.recv(65536)
            if data:
                self.log += data
        except socket.timeout:
            pass

    def wait_for(self, needle, since=0):
        deadline = time.monotonic() + TIMEOUT_S
        while needle not in self.log[since:]:
            if time.monotonic() > deadline:
                raise SystemExit("timed out waiting for %r; got %r" % (needle, self.log[-400:]))
            self.pump()

    def send(self, data):
        self.sock.sendall(data)


def strip_telnet(data):
    """Drops telnet option negotiation (IAC WILL/WONT/DO/DONT x) and undoubles IAC IAC."""
    out = bytearray()
    i = 0
    while i < len(data):
        if data[i] == 0xFF and i + 1 < len(data):
            if data[i + 1] == 0xFF:
                out.append(0xFF)
                i += 2
                continue
            if 0xFB <= data[i + 1] <= 0xFE:
                i += 3
                continue
        out.append(data[i])
        i += 1
    return bytes(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--door", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    door_dir = os.path.join(args.out, "door")
    os.makedirs(door_dir, exist_ok=True)
    binary = os.path.join(door_dir, "zelkirc")
    shutil.copy(args.door, binary)
    with open(os.path.join(door_dir, "zelkirc.ini"), "w") as ini:
        ini.write("[general]\nusername=Joe Smith\nhandle=Wolf\nidletime=600\nserver=1\n"
                  "[Local]\n127.0.0.1=%d\npass=0\n" % args.port)

    bob = Peer(socket.create_connection(("127.0.0.1", args.port), timeout=TIMEOUT_S))
    bob.send(b"NICK bob\r\nUSER bob 0 * :Bob Jones\r\n")
    bob.wait_for(b" 001 ")
    bob.send(b"JOIN #lobby\r\nTOPIC #lobby :Welcome to the lobby of the ZelkIRC demo board\r\n")
    bob.wait_for(b"JOIN")

    door_end, caller_end = socket.socketpair()
    door = subprocess.Popen([binary, "-H%d" % door_end.fileno()], pass_fds=[door_end.fileno()],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, cwd=door_dir)
    door_end.close()
    caller = Peer(caller_end)
    try:
        caller.wait_for(b"Highest connection count")  # the end of the server's welcome
        time.sleep(0.3)
        mark = len(caller.log)
        caller.send(b"/CLEAR\r")
        caller.wait_for(b"\x1b[2J", mark)

        def say(peer_line, shown):
            mark = len(caller.log)
            bob.send(peer_line)
            caller.wait_for(shown, mark)

        def typed(line, shown):
            mark = len(caller.log)
            caller.send(line)
            caller.wait_for(shown, mark)

        def screen(name):
            """The caller's screen from the last clear on, for ansilove (no bell in it)."""
            time.sleep(0.3)
            caller.pump()
            shown = caller.log
            with open(os.path.join(args.out, name), "wb") as ans:
                ans.write(strip_telnet(shown[shown.rfind(b"\x1b[2J"):]).replace(b"\x07", b""))

        typed(b"/JOIN #lobby\r", b"[#lobby] ")
        say(b"PRIVMSG #lobby :hi Wolf, welcome to the board!\r\n", b"welcome to the board")
        typed(b"hello bob, this door is neat\r", b"this door is neat")
        say(b"PRIVMSG #lobby :\x01ACTION waves from the IRC side\x01\r\n", b"waves from the IRC side")
        typed(b"/WHOIS bob\r", b"hannels : ")
        say(b"PRIVMSG Wolf :psst, private messages show up too\r\n", b"private messages")
        typed(b"see you l", b"see you l")
        screen("visit-cp437.ans")

        # Activity and a highlight: #help is joined, #lobby active again with Ctrl-X.
        typed(b"\x15/JOIN #help\r", b"[#help]")
        bob.send(b"JOIN #help\r\n")
        caller.wait_for(b"has joined #help")
        typed(b"\x18", b"[#lobby]")
        typed(b"/MSG bob later\r", b"later")  # seen: bob's count goes
        typed(b"/CLEAR\r", b"\x1b[2J")
        say(b"PRIVMSG #lobby :the new file area is up\r\n", b"file area")
        say(b"PRIVMSG #help :how do I set up SyncTERM?\r\n", b"+#help:1")
        say(b"PRIVMSG #help :it keeps asking for a port\r\n", b"+#help:2")
        say(b"PRIVMSG Wolf :got a minute?\r\n", b"+bob:1")
        say(b"PRIVMSG #lobby :Wolf: did you see the new doors?\r\n", b"new doors")
        say(b"PRIVMSG #help :never mind, found it\r\n", b"+#help:3")
        typed(b"yes, the IRC o", b"IRC o")
        screen("comforts-cp437.ans")
        caller.send(b"\x15/QUIT\r")
        door.wait(timeout=TIMEOUT_S)
    finally:
        if door.poll() is None:
            door.kill()
            door.wait()


if __name__ == "__main__":
    main()
