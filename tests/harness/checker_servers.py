"""Checker servers for the end-to-end tests: the shop's checker server
(server/checker_server) with its per-request lines, and a capturing server in
this process that keeps every request datagram as it came off the wire. Also
the short price list both serve.

Every network address here is a loopback address (127.0.0.0/8).
"""

import random
import re
import socket
import subprocess
import threading
import time

from winebox import stop_process

CHECKER_PORT = 1001

STX = 0x02
ETX = 0x03
CR = 0x0D


# --- the checker server (server/checker_server) ----------------------------------

# One line per well-formed request with --verbose, e.g.
#   2026-12-10 12:00:01.234 127.0.0.2:40000 seq=0x80 code=5901234000017 -> known "..." price 6.49
SERVER_REQUEST = re.compile(r"seq=0x([0-9A-F]{2}) code=(\S+) -> (.*)$")


class CheckerServer:
    """A running checker_server whose standard output is collected line by line."""

    def __init__(self, proc):
        self.proc = proc
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._collect, daemon=True)
        self.reader.start()

    def _collect(self):
        for raw in self.proc.stdout:
            with self.lock:
                self.lines.append(raw.decode("utf-8", errors="replace").rstrip("\n"))
        self.proc.stdout.close()

    def all_lines(self):
        with self.lock:
            return list(self.lines)

    def requests(self):
        """(sequence byte, code, what was answered) for each well-formed request."""
        found = []
        for line in self.all_lines():
            match = SERVER_REQUEST.search(line)
            if match:
                code = "" if match.group(2) == "(empty)" else match.group(2)
                found.append((int(match.group(1), 16), code, match.group(3)))
        return found

    def notes(self):
        """Lines about datagrams the server did not answer (malformed, from an
        address not allowed, over the rate)."""
        return [line for line in self.all_lines() if " note: " in line]

    def wait_requests(self, count, timeout=15):
        """The requests once at least `count` have come, or all so far when
        time runs out."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.requests()
            if len(found) >= count:
                return found
            time.sleep(0.05)
        return self.requests()


def pick_loopback_address():
    """A loopback address whose port 1001 is free. The checker always asks
    port 1001, so each test needs an address of its own; picking one at
    random lets two runs of the same tests share the machine."""
    chooser = random.SystemRandom()
    for _ in range(100):
        address = (f"127.{chooser.randint(64, 254)}.{chooser.randint(0, 255)}."
                   f"{chooser.randint(2, 254)}")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            try:
                probe.bind((address, CHECKER_PORT))
            except OSError:
                continue
        return address
    raise RuntimeError("no free loopback address for port 1001")


def receive_stamp(ancillary):
    """The kernel's receive time stamp among a datagram's ancillary data,
    or now when there is none."""
    for level, kind, value in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
            seconds = int.from_bytes(value[:8], "little")
            return seconds * 10**9 + int.from_bytes(value[8:16], "little")
    return time.time_ns()


def require_loopback(address):
    """Tests talk to servers on this machine only."""
    if not address.startswith("127."):
        raise ValueError(f"{address} is no loopback address")


def start_checker_server(session, server_exe, address, list_path, mode="normal", more=()):
    """checker_server on address:1001 with its per-request lines, once its
    list has loaded (or failed to); stopped by PID with the session. `more`:
    further options, e.g. ("--setup", path) or ("--rate", "0")."""
    require_loopback(address)
    form = "--dat" if list_path.upper().endswith(".DAT") else "--csv"
    proc = subprocess.Popen(
        [server_exe, "--address", address, "--port", str(CHECKER_PORT), form, list_path,
         "--mode", mode, "--verbose", *more],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    session.helpers.append(proc)
    server = CheckerServer(proc)
    deadline = time.monotonic() + 10
    while not any(" list: " in line for line in server.all_lines()):
        if proc.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f"checker_server did not start: {server.all_lines()}")
        time.sleep(0.02)
    return server


def stop_checker_server(session, server):
    stop_process(server.proc)
    if server.proc in session.helpers:
        session.helpers.remove(server.proc)




# --- a checker server in this process -------------------------------------------


def request_bytes(sequence, code):
    """The datagram the checker must send for a code: STX, the counter with
    its top bit, "1", the code, CR, ETX."""
    return bytes([STX, 0x80 | (sequence & 0x7F)]) + b"1" + code.encode("ascii") + bytes([CR, ETX])


def reply_bytes(request, line1, line2):
    """An answer laid out as the shop's server lays it out: a 5-byte head,
    two 20-character lines in CP852, CR, ETX."""
    head = bytes([STX, request[1] if len(request) > 1 else 0]) + b"100"
    body = line1.encode("cp852")[:20].ljust(20, b" ") + line2.encode("cp852")[:20].ljust(20, b" ")
    return head + body + bytes([CR, ETX])


def unknown_item_reply(request):
    code = request[3:-2].decode("ascii", errors="replace")
    return reply_bytes(request, code, "Nieznany kod towaru")


# Linux's receive time stamp option (not named by every Python).
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)


class CapturingServer:
    """A UDP checker server on loopback that keeps every datagram it gets,
    in order, with the kernel's receive time stamp (wall clock, ns: this
    process's own scheduling does not count), and answers each with what
    `answer` makes of it (nothing when `answer` is None)."""

    def __init__(self, address, answer=unknown_item_reply):
        require_loopback(address)
        self.address = address
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        # A big receive buffer, so a burst of requests is never dropped here.
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        self.sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        self.sock.bind((address, CHECKER_PORT))
        self.sock.settimeout(0.1)
        self.answer = answer
        self.datagrams = []
        self.stamps = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping.is_set():
            try:
                data, ancillary, _, peer = self.sock.recvmsg(65536, 64)
            except socket.timeout:
                continue
            except OSError:
                return
            with self.lock:
                self.datagrams.append(data)
                self.stamps.append(receive_stamp(ancillary))
            if self.answer is not None:
                self.sock.sendto(self.answer(data), peer)

    def received(self):
        with self.lock:
            return list(self.datagrams)

    def count(self):
        with self.lock:
            return len(self.datagrams)

    def stamp(self, index):
        """When request `index` reached the socket, in ns of the wall clock."""
        with self.lock:
            return self.stamps[index]

    def wait_count(self, count, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.count() < count:
            time.sleep(0.05)
        return self.received()

    def wait_beyond(self, count, timeout, step=0.001):
        """True once more than `count` requests have come."""
        deadline = time.monotonic() + timeout
        while self.count() <= count:
            if time.monotonic() > deadline:
                return False
            time.sleep(step)
        return True

    def close(self):
        self.stopping.set()
        self.thread.join(timeout=5)
        self.sock.close()


# --- the price list the checker server serves -------------------------------------

# A short price list for the server and scanner tests. Names of at most 20
# characters: the server sends one display line of 20.
PRICE_LIST = """\
code,name,price,gross2,net1,net2,unit
5900001000011,Masło ekstra 200 g,12.50,0,0,0,szt
5900001000028,Chleb żytni 500 g,4.99,0,0,0,szt
"""
BUTTER = ("5900001000011", "Masło ekstra 200 g", "12.50")
BREAD = ("5900001000028", "Chleb żytni 500 g", "4.99")
