"""Soaks of the real lumivo.exe under Wine, full screen, its scanner on a
virtual serial line (tools/soak-wine.sh builds what it needs and runs this).

  server      100 000 codes asked of the checker server: every code
              must reach it once, in order, byte for byte.
  standalone  100 000 codes looked up in a price file of 1 000 000 records,
              each costing 0.01: the running total must end at 1000.00 (the
              idle timer never fires while codes keep coming, so a lost or
              doubled code shows in it).

The codes are written to the scanner's end of the line as fast as the line
takes them (blocking writes), first 1 000, then the rest. The resident memory
of the process that runs lumivo.exe is read after the first 1 000 codes and
after the last; the two may differ by at most 1 MiB. Prints one report per run and
ends non-zero when a check failed.

usage: soak_wine.py --exe lumivo.exe --prchk prchk --server checker_server
                    --template PREFIX [--codes N] [server] [standalone]
"""

import argparse
import os
import re
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "tests", "harness")]
import checker_servers as servers  # noqa: E402
import program_session as program  # noqa: E402
import screen_reading as screen  # noqa: E402
import setup_dat  # noqa: E402
import virtual_serial  # noqa: E402
import winebox  # noqa: E402

FIRST_CODES = 1000
PRICE_FILE_RECORDS = 1_000_000
MEMORY_LIMIT_KB = 1024
# A run that stops making progress for this long has failed.
STALL_S = 60
UNKNOWN_LINE = "Nieznany kod towaru"


class Run:
    """One soak: the session, the scanner's end of the line and the figures."""

    def __init__(self, mode, session, codes):
        self.mode = mode
        self.session = session
        self.codes = codes
        self.problems = []
        self.seconds = 0.0
        self.rss_kb = []
        self.total = None
        self.wineserver_peak_kb = None

    def check(self, ok, what):
        if not ok:
            self.problems.append(what)
        return ok


class LineWriter(threading.Thread):
    """Writes the codes, each ended by CR, to the scanner's end of the line:
    blocking writes, so the line's buffers set the pace. Counts what the
    line has taken."""

    def __init__(self, scanner, codes):
        super().__init__(daemon=True)
        self.fd = scanner.fd
        self.data = b"".join(code.encode("ascii") + b"\r" for code in codes)
        self.written = 0

    def run(self):
        while self.written < len(self.data):
            self.written += os.write(self.fd, self.data[self.written:self.written + 4096])


def wait_progress(count_done, target, what):
    """Waits until count_done() reaches target; fails after STALL_S
    without progress."""
    last, moved = count_done(), time.monotonic()
    while last < target:
        time.sleep(0.05)
        now = count_done()
        if now != last:
            last, moved = now, time.monotonic()
        elif time.monotonic() - moved > STALL_S:
            raise RuntimeError(f"{what}: stuck at {last} of {target}")


def scan(scanner, codes):
    """Scans the codes and returns once the line has taken them all."""
    writer = LineWriter(scanner, codes)
    writer.start()
    wait_progress(lambda: writer.written, len(writer.data), "bytes the line took")
    writer.join()


def wait_idle(pid, codes):
    """Returns once the process has used next to no processor time for a
    second; fails when that takes longer than 20 ms per code and a minute."""
    deadline = time.monotonic() + STALL_S + codes * 0.02
    while time.monotonic() < deadline:
        before = program.cpu_seconds(pid)
        time.sleep(1)
        if program.cpu_seconds(pid) - before < 0.1:
            return
    raise RuntimeError(f"still busy after {codes} codes")


def shows_code(text, code):
    """Whether OCR of the bottom line read "Kod:" and `code`, a number,
    which OCR may split with a blank."""
    joined = "".join(text.split())
    return re.search("Kod[:;.]?" + re.escape(code) + "(?![0-9])", joined) is not None


def read_bottom_line(run, code, timeout):
    """OCR of the full screen's bottom line until it shows `code`; returns
    whether it did and the text of the last look."""
    deadline = time.monotonic() + timeout
    while True:
        shot = program.screenshot(run.session, os.path.join(run.session.root, "soak.png"),
                                  full_screen=True)
        text = screen.read_screen(shot, ["bottom"]).get("bottom", "")
        if shows_code(text, code):
            return True, text
        if time.monotonic() > deadline:
            return False, text
        time.sleep(0.2)


def soak(run, scanner, done_at):
    """Scans the first 1 000 codes, then the rest; done_at(n) returns once
    the program has handled n codes. Records time and memory."""
    pid = program.windows_process(run.session)
    seconds = 0.0
    for part in (run.codes[:FIRST_CODES], run.codes[FIRST_CODES:]):
        started = time.monotonic()
        scan(scanner, part)
        done_at(FIRST_CODES if len(run.rss_kb) == 0 else len(run.codes))
        run.rss_kb.append(program.resident_kb(pid))
        seconds += time.monotonic() - started
    run.seconds = seconds
    # Bytes scanned faster than they are looked up wait as posted messages,
    # which Wine keeps in its server.
    server = program.wineserver_process(run.session)
    run.wineserver_peak_kb = program.resident_kb(server, "VmHWM")
    change = run.rss_kb[1] - run.rss_kb[0]
    run.check(abs(change) <= MEMORY_LIMIT_KB,
              f"resident memory changed by {change} KiB (limit {MEMORY_LIMIT_KB})")


def total_text(count):
    """The running total of `count` items at 0.01."""
    return f"{count // 100}.{count % 100:02d}"


def start_program(args, run, fields):
    """lumivo.exe full screen with its scanner on COM1, a virtual serial
    line whose far end is returned."""
    scanner = virtual_serial.ScannerEnd(virtual_serial.start_virtual_serial(run.session))
    setup_dat.write_setup(run.session.workdir, setup_dat.settings_fields(
        portName="COM1", fullScreen=1, **fields))
    program.start_program(run.session, args.exe)
    program.wait_main_window(run.session)
    return scanner


def server_soak(args, run):
    address = servers.pick_loopback_address()
    csv_path = os.path.join(run.session.root, "items.csv")
    with open(csv_path, "w", encoding="utf-8") as f:
        f.write(servers.PRICE_LIST)
    # No rate limit: the scanner's codes come far faster than a checker's.
    server = servers.start_checker_server(run.session, args.server, address, csv_path,
                                          more=("--rate", "0"))
    scanner = start_program(args, run, {"standaloneMode": 0, "serverAddress": address})

    def done_at(count):
        wait_progress(lambda: len(server.requests()), count, "requests at the checker server")

    try:
        soak(run, scanner, done_at)
    finally:
        scanner.close()
    # The server knows none of the codes: the screen tells so, and the
    # total stays at nothing.
    problems = screen.wait_for_screen(run.session, "soak-end", full_screen=True,
                                      name=UNKNOWN_LINE, price="0.00", total="0.00")
    run.check(not problems, f"screen at the end: {problems}")
    run.total = "0.00" if not problems else None
    time.sleep(1)  # nothing more may come
    asked = [(seq, code) for seq, code, _ in server.requests()]
    expected = [(0x80 | (i & 0x7F), code) for i, code in enumerate(run.codes)]
    run.check(len(asked) == len(expected), f"{len(asked)} requests for {len(expected)} codes")
    for i, (seen, due) in enumerate(zip(asked, expected)):
        if not run.check(seen == due, f"request {i}: {seen} where {due} was due"):
            break
    run.check(not server.notes(), f"malformed requests: {server.notes()[:3]}")


def price_file_codes(count):
    """The price file's codes: 13 digits, ascending, so sorted byte for byte."""
    return [f"{2000000000000 + 7 * i:013d}" for i in range(count)]


def make_price_file(args, folder, codes):
    """PRCHK.DAT of the given codes, each costing 0.01, built by prchk."""
    csv_path = os.path.join(folder, "soak.csv")
    with open(csv_path, "w", encoding="utf-8") as f:
        f.write("code,name,price\n")
        f.writelines(f"{code},Towar {i:07d},0.01\n" for i, code in enumerate(codes))
    dat_path = os.path.join(folder, "PRCHK.DAT")
    winebox.run([args.prchk, "build", csv_path, dat_path], timeout=600)
    os.unlink(csv_path)
    return dat_path


def scanned_from_file(count):
    """Distinct codes from all over the price file: a stride prime to its
    size."""
    in_file = price_file_codes(PRICE_FILE_RECORDS)
    return [in_file[(i * 7919 + 13) % len(in_file)] for i in range(count)]


def standalone_soak(args, run):
    dat_path = make_price_file(args, run.session.workdir, price_file_codes(PRICE_FILE_RECORDS))
    scanner = start_program(args, run, {"priceFilePath": setup_dat.windows_path(dat_path)})

    def done_at(count):
        # Nothing counts lookups from outside, and the screen shows nothing
        # new until all is done: the reader posts every byte to the window
        # as it comes, the lookups run behind it on the window's thread, and
        # a window is painted only when no posted message waits. So wait
        # until the program has nothing left to do, then read the screen,
        # well within the 15 s after which the idle timer clears the total.
        wait_idle(program.windows_process(run.session), count)
        shown, text = read_bottom_line(run, run.codes[count - 1], 5)
        if not shown:
            raise RuntimeError(f"the screen never showed code {count}, {run.codes[count - 1]}; "
                               f"its bottom line read {text!r}")
        run.total = screen.amount_after("Razem:", text)
        if run.total != total_text(count):
            raise RuntimeError(f"total read {run.total} after {count} codes")

    try:
        soak(run, scanner, done_at)
    finally:
        scanner.close()


def report(run):
    rate = len(run.codes) / run.seconds if run.seconds else 0
    rss = " -> ".join(f"{kb} KiB" for kb in run.rss_kb)
    print(f"soak {run.mode}: {len(run.codes)} codes in {run.seconds:.1f} s ({rate:.0f} codes/s); "
          f"resident memory after {FIRST_CODES} codes and after the last: {rss} "
          f"(wineserver's peak: {run.wineserver_peak_kb} KiB); total read: {run.total}")
    for problem in run.problems:
        print(f"soak {run.mode}: FAILED: {problem}")
    if not run.problems:
        print(f"soak {run.mode}: passed")


def one_soak(args, display, mode):
    session = program.new_session(display, args.template)
    if mode == "server":
        run = Run(mode, session, virtual_serial.soak_codes(args.codes))
    else:
        run = Run(mode, session, scanned_from_file(args.codes))
    try:
        (server_soak if mode == "server" else standalone_soak)(args, run)
        program.press(session, "alt+F4")
        run.check(program.wait_exit(session) == 0, "exit code not 0")
    except (RuntimeError, AssertionError, subprocess.SubprocessError) as error:
        run.problems.append(str(error))
    finally:
        program.stop_session(session)
    report(run)
    return not run.problems


def main(argv):
    parser = argparse.ArgumentParser(description="Soaks of lumivo.exe under Wine.")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prchk", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--template", required=True, help="the template Wine prefix")
    parser.add_argument("--codes", type=int, default=100_000)
    parser.add_argument("modes", nargs="*", help="server, standalone (default: both)")
    args = parser.parse_args(argv)
    for mode in args.modes:
        if mode not in ("server", "standalone"):
            parser.error(f"no soak called {mode}")
    display = winebox.start_display()
    try:
        winebox.make_template_prefix(display, args.template)
        results = [one_soak(args, display, mode) for mode in args.modes or ["server", "standalone"]]
    finally:
        winebox.stop_display(display)
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
