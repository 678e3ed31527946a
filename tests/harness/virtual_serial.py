"""Virtual serial lines for the scanner tests: a socat pseudo-terminal pair
whose near end the session's Wine prefix knows as a COM port, and the far
end, where a test plays the scanner.
"""

import os
import re
import subprocess
import time

from winebox import stop_process


def map_com_port(prefix, port, device):
    """Points a COM port of a stopped prefix at a device (e.g. a socat pty).

    Wine rewrites dosdevices/comN whenever its server starts; the registry
    value under Software\\Wine\\Ports wins over it."""
    path = os.path.join(prefix, "system.reg")
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        text = f.read()
    header = re.search(r"^\[Software\\\\Wine\\\\Ports\][^\n]*\n(#time=[^\n]*\n)?", text, re.M)
    line = f'"{port}"="{device}"\n'
    if header:
        text = text[:header.end()] + line + text[header.end():]
    else:
        text += f"\n[Software\\\\Wine\\\\Ports]\n{line}"
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write(text)


def link_paths(session, port):
    """Where a line's two ends are linked, named after the port, so one
    session can have several lines."""
    return (os.path.join(session.root, f"{port.lower()}-program"),
            os.path.join(session.root, f"{port.lower()}-scanner"))


def start_line(session, port):
    """A socat pty pair, linked at link_paths; returns the scanner's end."""
    program_side, scanner_side = link_paths(session, port)
    socat = subprocess.Popen(
        ["socat", f"pty,raw,echo=0,link={program_side}", f"pty,raw,echo=0,link={scanner_side}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.helpers.append(socat)
    deadline = time.monotonic() + 10
    while not (os.path.exists(program_side) and os.path.exists(scanner_side)):
        if time.monotonic() > deadline or socat.poll() is not None:
            raise RuntimeError("socat did not make its pseudo-terminals")
        time.sleep(0.05)
    return scanner_side


def end_line(session, port):
    """Ends a line: its socat, and with it both pseudo-terminals, are gone,
    as when a scanner's USB adapter is pulled."""
    program_side, scanner_side = link_paths(session, port)
    for helper in list(session.helpers):
        if f"link={program_side}" in " ".join(helper.args):
            stop_process(helper)
            session.helpers.remove(helper)
    for link in (program_side, scanner_side):
        if os.path.lexists(link):
            os.unlink(link)


def start_virtual_serial(session, port="COM1"):
    """A line whose program's end the session's (stopped) prefix knows as
    `port`; returns the scanner's end.

    The port is mapped to the link rather than to the pseudo-terminal it
    points at, so a line ended and started again under the same name is the
    same port to Wine."""
    scanner_side = start_line(session, port)
    map_com_port(session.prefix, port, link_paths(session, port)[0])
    return scanner_side


ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


def soak_codes(count):
    """Codes of every length a checker asks about (1 to 13 characters), of
    digits and letters, from a fixed pseudo-random sequence."""
    state = 20240601
    codes = []
    for i in range(count):
        length = 1 + i % 13
        code = ""
        for _ in range(length):
            state = (state * 1103515245 + 12345) % (1 << 31)
            code += ALPHABET[(state >> 8) % len(ALPHABET)]
        codes.append(code)
    return codes


class ScannerEnd:
    """The scanner's end of a virtual serial line, open for writing."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_WRONLY | os.O_NOCTTY)

    def send(self, data):
        view = memoryview(data)
        while view:
            written = os.write(self.fd, view)
            view = view[written:]

    def close(self):
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None
