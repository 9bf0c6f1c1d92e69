#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal, as a person at a terminal would: types each input
after the previous one has been answered (a short quiet pause), then prints everything the
terminal showed and the command's exit status on the last line.

usage: pty_run.py INPUT_FILE -- COMMAND [ARGS...]
INPUT_FILE holds one chunk of keystrokes per line, with \\r, \\n and \\x1b escapes
(\\x04 is Ctrl-D)."""
import os
import pty
import select
import sys
import time


def read_quiet(fd, out, quiet=0.4, limit=20.0):
    """Reads until nothing came for `quiet` seconds after something came (or `limit` passed):
    a slow program (a sanitizer build) is waited for; False at EOF."""
    start = time.time()
    got = False
    while time.time() - start < limit:
        ready, _, _ = select.select([fd], [], [], quiet)
        if not ready:
            if got:
                return True
            continue
        try:
            data = os.read(fd, 4096)
        except OSError:
            return False
        if not data:
            return False
        out.append(data)
        got = True
    return True


def main():
    split = sys.argv.index("--")
    with open(sys.argv[1], encoding="utf-8") as f:
        chunks = [line.rstrip("\n").encode("utf-8").decode("unicode_escape").encode("latin-1")
                  for line in f if line.strip()]
    command = sys.argv[split + 1:]
    pid, fd = pty.fork()
    if pid == 0:
        os.environ.setdefault("TERM", "xterm")
        os.execvp(command[0], command)
    out = []
    alive = read_quiet(fd, out)
    for chunk in chunks:
        if not alive:
            break
        os.write(fd, chunk)
        alive = read_quiet(fd, out)
    deadline = time.time() + 60  # a shell that never ends is stopped, and its status shows it
    while alive and time.time() < deadline:
        alive = read_quiet(fd, out, quiet=2.0)
    if alive:
        os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(b"".join(out).decode("utf-8", "replace"))
    sys.stdout.write("\nexit %d\n" % (os.waitstatus_to_exitcode(status)))


main()
