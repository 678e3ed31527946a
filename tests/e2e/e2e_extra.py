"""Helpers for the server-mode, scanner and soak end-to-end tests.

They add to harness.py what those tests need: the checker-server simulator
with its per-request lines, a capturing checker server in this process that
keeps every request datagram as it came off the wire, more than one virtual
serial port per session, the configuration dialog, and comparing parts of
two screenshots pixel for pixel.

Every network address here is a loopback address (127.0.0.0/8).
"""

import argparse
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import harness

CHECKER_PORT = 1001

STX = 0x02
ETX = 0x03
CR = 0x0D


# --- the checker-server simulator (tools/checker_sim) --------------------------

# One line per well-formed request, e.g.
#   12:00:01.234 127.0.0.2:40000 seq=0x80 code=5901234000017 -> known "..." price 6.49
SIM_REQUEST = re.compile(r"seq=0x([0-9A-F]{2}) code=(\S+) -> (.*)$")


class Simulator:
    """A running checker_sim whose standard output is collected line by line."""

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
            match = SIM_REQUEST.search(line)
            if match:
                code = "" if match.group(2) == "(empty)" else match.group(2)
                found.append((int(match.group(1), 16), code, match.group(3)))
        return found

    def notes(self):
        """Lines about datagrams the simulator found malformed."""
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


def require_loopback(address):
    """Tests talk to servers on this machine only."""
    if not address.startswith("127."):
        raise ValueError(f"{address} is no loopback address")


def start_simulator(session, sim_exe, address, csv_path, mode="normal"):
    """checker_sim on address:1001, stopped by PID with the session."""
    require_loopback(address)
    proc = subprocess.Popen(
        [sim_exe, "--address", address, "--port", str(CHECKER_PORT), "--csv", csv_path,
         "--mode", mode],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    session.helpers.append(proc)
    simulator = Simulator(proc)
    deadline = time.monotonic() + 10
    while not any("listening on" in line for line in simulator.all_lines()):
        if proc.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f"checker_sim did not start: {simulator.all_lines()}")
        time.sleep(0.02)
    return simulator


def stop_simulator(session, simulator):
    harness.stop_process(simulator.proc)
    if simulator.proc in session.helpers:
        session.helpers.remove(simulator.proc)


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


class CapturingServer:
    """A UDP checker server on loopback that keeps every datagram it gets,
    in order, and answers each with what `answer` makes of it (nothing when
    `answer` is None)."""

    def __init__(self, address, answer=unknown_item_reply):
        require_loopback(address)
        self.address = address
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        # A big receive buffer, so a burst of requests is never dropped here.
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        self.sock.bind((address, CHECKER_PORT))
        self.sock.settimeout(0.1)
        self.answer = answer
        self.datagrams = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping.is_set():
            try:
                data, peer = self.sock.recvfrom(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            with self.lock:
                self.datagrams.append(data)
            if self.answer is not None:
                self.sock.sendto(self.answer(data), peer)

    def received(self):
        with self.lock:
            return list(self.datagrams)

    def wait_count(self, count, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and len(self.received()) < count:
            time.sleep(0.05)
        return self.received()

    def close(self):
        self.stopping.set()
        self.thread.join(timeout=5)
        self.sock.close()


# --- virtual serial ports ----------------------------------------------------------


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


# --- windows ----------------------------------------------------------------------------


def window_absent(session, title, seconds):
    """True when no visible window of that title shows up for `seconds`."""
    return harness.find_window(session, title, timeout=seconds) is None


def count_windows(session, title):
    found = harness.xdotool(session, "search", "--onlyvisible", "--name",
                            f"^{re.escape(title)}$", check=False)
    return len(found.stdout.split())


def wait_window_gone(session, window, timeout=10):
    """True once the window is no longer visible."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = harness.run(["xwininfo", "-id", window], env=session.env, check=False)
        if result.returncode != 0 or b"IsViewable" not in result.stdout:
            return True
        time.sleep(0.1)
    return False


def open_config_dialog(session):
    """Escape typed in the main window; returns the dialog's window id."""
    harness.press(session, "Escape")
    dialog = harness.find_window(session, "Konfiguracja", timeout=15)
    if dialog is None:
        raise AssertionError("Escape opened no \"Konfiguracja\" dialog")
    time.sleep(0.5)
    return dialog


def set_port_and_confirm(session, dialog, port_name):
    """Replaces the port field (which has the focus when the dialog opens)
    and presses Enter, which is the dialog's default button, OK."""
    harness.activate(session, dialog)
    harness.xdotool(session, "key", "End", "shift+Home", "BackSpace")
    if port_name:
        harness.xdotool(session, "type", "--delay", "40", port_name)
    harness.xdotool(session, "key", "Return")


# --- screens ------------------------------------------------------------------------------


def screen_band(shot, name):
    """The pixels of one named line of the price screen (harness.SCREEN_LINES)."""
    image = harness.read_ppm(shot)
    area = harness.client_area(image)
    if area is None:
        return None
    x, y, w, h = area
    band = h // 8
    first, size = harness.SCREEN_LINES[name]
    top = y + int(first * band)
    height = min(max(1, int(size * band) + 2), y + h - top)
    width, _, pixels = image
    return b"".join(pixels[(r * width + x) * 3:(r * width + x + w) * 3]
                    for r in range(top, top + height))


def screenshot_root(session, path):
    """The whole screen: in full-screen mode the window reaches past its
    edges (caption and borders lie outside), so its client area is the
    screen."""
    harness.run(["import", "-window", "root", path], env=session.env)
    session.shots.append(path)
    return path


def wait_for_full_screen(session, shot_name, timeout=10, **expected):
    """harness.wait_for_screen for a window that covers the whole screen."""
    lines = set()
    if expected.get("prompt"):
        lines.add("prompt")
    if expected.get("name") is not None:
        lines.add("name1")
    if expected.get("price") is not None:
        lines.add("price")
    if expected.get("total") is not None or expected.get("code") is not None:
        lines.add("bottom")
    deadline = time.monotonic() + timeout
    while True:
        shot = screenshot_root(session, os.path.join(session.root, shot_name + ".png"))
        problems = harness.screen_shows(harness.read_screen(shot, sorted(lines)), **expected)
        if not problems or time.monotonic() > deadline:
            return problems
        time.sleep(0.5)


def start_display(attempts=3):
    """harness.start_display, tried again when the window manager does not
    come up: while other test runs start and stop displays on the same
    machine, openbox has once failed to appear within its 15 s."""
    for attempt in range(attempts):
        try:
            return harness.start_display()
        except RuntimeError:
            if attempt == attempts - 1:
                raise
    return None


# --- the frame every test of these scripts runs in ----------------------------------

# A short price list for the server and scanner tests. Names of at most 20
# characters: the server sends one display line of 20.
PRICE_LIST = """\
code,name,price,gross2,net1,net2,unit
5900001000011,Masło ekstra 200 g,12.50,0,0,0,szt
5900001000028,Chleb żytni 500 g,4.99,0,0,0,szt
"""
BUTTER = ("5900001000011", "Masło ekstra 200 g", "12.50")
BREAD = ("5900001000028", "Chleb żytni 500 g", "4.99")

ARGS = None


class ProgramCase(unittest.TestCase):
    """One display and one prefix template for the whole script; for every
    test its own prefix copy, working folder and helpers, stopped by PID
    when the test ends, whatever its outcome."""

    display = None
    template = None
    folder = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="lumivo-e2e-data-")
        cls.display = start_display()
        try:
            cls.template = harness.make_template_prefix(cls.display)
        except Exception:
            harness.stop_display(cls.display)
            raise

    @classmethod
    def tearDownClass(cls):
        harness.stop_display(cls.display)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.session = harness.new_session(self.display, self.template)
        self.passed = False
        self.addCleanup(self.end_session)

    def end_session(self):
        keep = None
        test_name = self.id().rsplit(".", 1)[-1]
        if not self.passed:
            keep = os.path.join(os.getcwd(), "e2e-failures", test_name)
        elif os.environ.get("LUMIVO_E2E_KEEP_SHOTS"):
            keep = os.path.join(os.environ["LUMIVO_E2E_KEEP_SHOTS"], test_name)
        harness.stop_session(self.session, keep_shots_in=keep)

    def write_price_list(self, text):
        path = os.path.join(self.folder, "items.csv")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def server_setup(self, address, **overrides):
        """setup.dat for server mode asking `address`, no scanner unless named."""
        fields = harness.settings_fields(standaloneMode=0, serverAddress=address, **overrides)
        return harness.write_setup(self.session.workdir, fields)

    def start(self):
        harness.start_program(self.session, ARGS.exe)
        harness.wait_main_window(self.session)

    def assert_screen(self, what, timeout=10, **expected):
        problems = harness.wait_for_screen(self.session, what, timeout=timeout, **expected)
        self.assertEqual(problems, [], f"screen after {what}")

    def assert_box(self, title, timeout, *texts):
        """Waits for one box of that title, checks its text by OCR, closes it
        with Enter and returns its text."""
        box = harness.find_window(self.session, title, timeout=timeout)
        self.assertIsNotNone(box, f"no \"{title}\" box")
        time.sleep(0.5)
        text = harness.read_box(self.session, box, "box")
        for expected in texts:
            self.assertIn(expected, text)
        harness.press(self.session, "Return", window=box)
        self.assertTrue(wait_window_gone(self.session, box), "the box did not close")
        return text

    def close_and_expect_exit_code_0(self):
        harness.press(self.session, "alt+F4")
        self.assertEqual(harness.wait_exit(self.session), 0, "exit code")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prchk")
    parser.add_argument("--sim", required=True)
    parser.add_argument("--source")
    ARGS, rest = parser.parse_known_args()
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
