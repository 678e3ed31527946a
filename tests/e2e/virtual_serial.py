"""Virtual serial lines for the scanner tests: a socat pseudo-terminal pair
whose near end the session's Wine prefix knows as a COM port, and the far
end, where a test plays the scanner.
"""

import os
import re
import subprocess
import time


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


def start_virtual_serial(session, port="COM1"):
    """A socat pty pair: the program's side behind `port`, the other side
    returned for a test that plays the scanner. The links are named after
    the port, so one session can have several."""
    program_side = os.path.join(session.root, f"{port.lower()}-program")
    scanner_side = os.path.join(session.root, f"{port.lower()}-scanner")
    socat = subprocess.Popen(
        ["socat", f"pty,raw,echo=0,link={program_side}", f"pty,raw,echo=0,link={scanner_side}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.helpers.append(socat)
    deadline = time.monotonic() + 10
    while not (os.path.exists(program_side) and os.path.exists(scanner_side)):
        if time.monotonic() > deadline or socat.poll() is not None:
            raise RuntimeError("socat did not make its pseudo-terminals")
        time.sleep(0.05)
    map_com_port(session.prefix, port, os.path.realpath(program_side))
    return scanner_side


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
