#!/usr/bin/env python3
"""Runs a program in a pseudo-terminal of 100 x 40 cells and types each
answer once the screen has been still for a moment, as a person would.

usage: run_in_pty.py PROGRAM ANSWER...

Exits with the program's exit status, or 124 when the program has not ended
by the deadline (it is killed then, and the tail of its output is shown)."""
import fcntl
import os
import select
import signal
import struct
import subprocess
import sys
import termios
import time

STILL = 0.3       # seconds without output before the next answer is typed
DEADLINE = 20.0   # seconds for the whole run


def main():
    program, answers = sys.argv[1], sys.argv[2:]
    master, slave = os.openpty()
    fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack('HHHH', 40, 100, 0, 0))
    child = subprocess.Popen([program], stdin=slave, stdout=slave, stderr=slave,
                             start_new_session=True)
    os.close(slave)
    output = bytearray()
    last_output = time.monotonic()
    end = last_output + DEADLINE
    while time.monotonic() < end:
        ready, _, _ = select.select([master], [], [], 0.05)
        if ready:
            try:
                data = os.read(master, 65536)
            except OSError:  # EIO: the program has closed the terminal
                data = b''
            if data:
                output += data
                last_output = time.monotonic()
                continue
        if child.poll() is not None:
            return child.returncode
        if answers and time.monotonic() - last_output >= STILL:
            os.write(master, answers.pop(0).encode())
            last_output = time.monotonic()
    os.killpg(child.pid, signal.SIGKILL)
    child.wait()
    sys.stderr.write(f'{program} did not end within {DEADLINE} s; its last output:\n')
    sys.stderr.write(output[-2000:].decode('utf-8', 'replace') + '\n')
    return 124


if __name__ == '__main__':
    sys.exit(main())
