#!/usr/bin/env python3
"""The far end of a serial line, for a Windows test program under Wine.

Usage: serial_far_end.py WINE-RUN PREFIX PROGRAM [ARGS...]

Opens a pseudo-terminal, links its terminal side into the Wine prefix as a COM port
(dosdevices/comN, which Wine opens for \\\\.\\COMN), runs PROGRAM through WINE-RUN with
KAV_TEST_PORT naming the port, and answers on the line until the program ends:

  "S"                  the line's settings as termios shows them, then a line feed:
                       the speed, then the flags that are on, in the order of FLAGS
                       (8 data bits and raw mode are not listed; "cooked" means not raw)
  "E", n, n bytes      the same n bytes back

Exits with the program's status; the link is removed again.
"""
import os
import select
import subprocess
import sys
import termios

CMSPAR = getattr(termios, "CMSPAR", 0o10000000000)
RATES = {getattr(termios, "B%d" % rate): rate
         for rate in (110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}


def describe(fd):
    iflag, oflag, cflag, lflag, _, ospeed, _ = termios.tcgetattr(fd)
    size = cflag & termios.CSIZE
    raw = not (lflag & (termios.ICANON | termios.ECHO | termios.ECHONL | termios.ISIG |
                        termios.IEXTEN)) \
        and not (oflag & termios.OPOST) \
        and not (iflag & (termios.ICRNL | termios.INLCR | termios.IGNCR | termios.ISTRIP))
    flags = [("cs5", size == termios.CS5), ("cs6", size == termios.CS6),
             ("cs7", size == termios.CS7), ("parenb", cflag & termios.PARENB),
             ("parodd", cflag & termios.PARODD), ("cmspar", cflag & CMSPAR),
             ("cstopb", cflag & termios.CSTOPB), ("inpck", iflag & termios.INPCK),
             ("ixon", iflag & termios.IXON), ("ixoff", iflag & termios.IXOFF),
             ("crtscts", cflag & termios.CRTSCTS), ("cooked", not raw)]
    words = [str(RATES.get(ospeed, 0))] + [name for name, on in flags if on]
    return " ".join(words)


def answer(master, watcher, pending):
    """Answers the complete requests at the start of pending; returns what is left."""
    while pending:
        if pending[:1] == b"S":
            os.write(master, describe(watcher).encode() + b"\n")
            pending = pending[1:]
        elif pending[:1] == b"E":
            if len(pending) < 2 or len(pending) < 2 + pending[1]:
                break
            os.write(master, pending[2:2 + pending[1]])
            pending = pending[2 + pending[1]:]
        else:
            pending = pending[1:]
    return pending


def serve(master, watcher, process):
    pending = b""
    while process.poll() is None:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                pending += os.read(master, 4096)
            except OSError:
                pass
        pending = answer(master, watcher, pending)


def claim_port(prefix, device):
    """Links device as the first free COM port from 100 on; returns (link, number)."""
    for number in range(100, 200):
        link = os.path.join(prefix, "dosdevices", "com%d" % number)
        try:
            os.symlink(device, link)
            return link, number
        except FileExistsError:
            continue
    sys.exit("serial_far_end: no free COM port number in the prefix")


def main():
    wine_run, prefix, program = sys.argv[1], sys.argv[2], sys.argv[3:]
    # A new prefix must be made by Wine itself: into a dosdevices folder that exists already,
    # Wine puts no drive links.
    if not os.path.exists(os.path.join(prefix, "dosdevices", "c:")):
        subprocess.run([wine_run, prefix] + program + ["--gtest_list_tests"],
                       stdout=subprocess.DEVNULL, check=True)
    master, watcher = os.openpty()
    link, number = claim_port(prefix, os.ttyname(watcher))
    try:
        env = dict(os.environ, KAV_TEST_PORT="\\\\.\\COM%d" % number)
        process = subprocess.Popen([wine_run, prefix] + program, env=env)
        serve(master, watcher, process)
        return process.wait()
    finally:
        os.unlink(link)


if __name__ == "__main__":
    sys.exit(main())
