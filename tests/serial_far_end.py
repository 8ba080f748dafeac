#!/usr/bin/env python3
"""The far end of a serial line, for a test program.

Usage: serial_far_end.py [--wine WINE-RUN PREFIX] PROGRAM [ARGS...]

Opens a pseudo-terminal and runs PROGRAM with KAV_TEST_PORT naming its terminal side; with
--wine, the terminal side is linked into the Wine prefix as a COM port (dosdevices/comN,
which Wine opens for \\\\.\\COMN) and PROGRAM runs through WINE-RUN.  Until the program
ends, answers "S" with the line's settings as termios shows them and a line feed (the speed,
then the flags that are on, in describe's order), and "E", a length byte n and n bytes with
the same n bytes.  Exits with the program's status.
"""
import os
import select
import subprocess
import sys
import termios as t

CMSPAR = getattr(t, "CMSPAR", 0o10000000000)
RATES = {getattr(t, "B%d" % r): r for r in (110, 300, 1200, 2400, 4800, 9600, 19200, 57600)}


def describe(fd):
    iflag, oflag, cflag, lflag, _, ospeed, _ = t.tcgetattr(fd)
    raw = not (lflag & (t.ICANON | t.ECHO | t.ECHONL | t.ISIG | t.IEXTEN)) \
        and not (oflag & t.OPOST) and not (iflag & (t.ICRNL | t.INLCR | t.IGNCR | t.ISTRIP))
    # A pseudo-terminal always has 8 data bits and no parity bit (CS8, no PARENB).
    flags = [("parodd", cflag & t.PARODD), ("cmspar", cflag & CMSPAR),
             ("cstopb", cflag & t.CSTOPB), ("inpck", iflag & t.INPCK), ("ixon", iflag & t.IXON),
             ("ixoff", iflag & t.IXOFF), ("crtscts", cflag & t.CRTSCTS), ("cooked", not raw)]
    return " ".join([str(RATES.get(ospeed, 0))] + [name for name, on in flags if on])


def serve(master, watcher, process):
    pending = b""
    while process.poll() is None:
        if select.select([master], [], [], 0.2)[0]:
            try:
                pending += os.read(master, 4096)
            except OSError:
                pass
        while pending[:1] == b"S" or (pending[:1] == b"E" and len(pending) > 1
                                      and len(pending) >= 2 + pending[1]):
            if pending[:1] == b"S":
                os.write(master, describe(watcher).encode() + b"\n")
                pending = pending[1:]
            else:
                os.write(master, pending[2:2 + pending[1]])
                pending = pending[2 + pending[1]:]


def claim_port(prefix, device):
    """Links device as the first free COM port from 100 on; returns its number."""
    for number in range(100, 200):
        try:
            os.symlink(device, os.path.join(prefix, "dosdevices", "com%d" % number))
            return number
        except FileExistsError:
            continue
    sys.exit("serial_far_end: no free COM port number in the prefix")


def main():
    master, watcher = os.openpty()
    port, link, run, program = os.ttyname(watcher), None, [], sys.argv[1:]
    if sys.argv[1] == "--wine":
        run, program = sys.argv[2:4], sys.argv[4:]
        # Wine makes a new prefix's drive links only in a dosdevices folder it makes itself.
        if not os.path.exists(os.path.join(run[1], "dosdevices", "c:")):
            subprocess.run(run + program + ["--gtest_list_tests"], stdout=subprocess.DEVNULL)
        number = claim_port(run[1], port)
        link, port = os.path.join(run[1], "dosdevices", "com%d" % number), "\\\\.\\COM%d" % number
    try:
        process = subprocess.Popen(run + program, env=dict(os.environ, KAV_TEST_PORT=port))
        serve(master, watcher, process)
        return process.wait()
    finally:
        if link:
            os.unlink(link)


if __name__ == "__main__":
    sys.exit(main())
