"""The program's speed where a shop feels it: the real lumivo.exe and the
Windows bench programs of tests/bench under Wine on a virtual display, each
figure beside its reference and their ratio. Prints one table, then one
machine-readable line per row ("bench-wine: row=... figure=... ratio=...").

Every run of the program: server mode, a checker server in this process on a
loopback address of its own, no scanner port unless the row needs one (then
COM1, a socat pseudo-terminal pair). The goals are shown, never enforced: a
benchmark reports, the tests decide.

Called by tools/bench-wine.sh, which builds the programs and picks the Wine
that runs them; see main() for the options.
"""

import argparse
import collections
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "tests", "harness")]
import bench_x11  # noqa: E402
import checker_servers as servers  # noqa: E402
import program_session as program  # noqa: E402
import setup_dat  # noqa: E402
import virtual_serial  # noqa: E402
import winebox  # noqa: E402
import wineserver_trace  # noqa: E402

# A 9600-baud scanner sends a byte (start bit, 8 data bits, stop bit) every
# 1.04 ms; a 13-digit code and its carriage return take 14 of them.
SCANNER_BAUD = 9600
BYTE_TIME_S = 10 / SCANNER_BAUD
LINE_TIME_MS = 14 * BYTE_TIME_S * 1000
FRAME_MS = 1000 / 60



@dataclass
class Plan:
    startup_runs: int = 7
    scan_codes: int = 500
    scan_rounds: int = 5     # the floor and the program take turns
    burst_codes: int = 1000
    idle_seconds: int = 30
    largest_price_file: int = 10_000_000


# --quick: the same rows from far fewer runs, for trying the script itself.
QUICK = Plan(startup_runs=2, scan_codes=50, scan_rounds=2, burst_codes=100, idle_seconds=5,
             largest_price_file=100_000)
# The paint rows' display: larger than a 1920 x 1080 client area with its
# frame, caption and menu. The program's own rows run on the display size
# every test uses, from which Wine sizes the program's default window.
PAINT_SCREEN = (2048, 1280)

def note(text):
    """Progress on standard error; the table comes at the end."""
    print(f"bench-wine: {text}", file=sys.stderr, flush=True)


# --- rows of the table ---------------------------------------------------------


@dataclass
class Row:
    key: str            # machine-readable name
    what: str
    figure: float
    unit: str
    reference: float
    reference_what: str
    goal: str = ""      # e.g. "<= 1.2": shown, never enforced
    met: bool = None    # None: no goal
    ratio: float = None
    # The same figure beside further references, each a Row of its own
    # whose key names its fields on this row's machine-readable line.
    also: list = field(default_factory=list)

    def __post_init__(self):
        if self.ratio is None and self.reference:
            self.ratio = self.figure / self.reference


def ratio_goal(row, limit):
    """Marks a row whose goal is its ratio at most `limit`."""
    row.goal = f"ratio <= {limit:g}"
    row.met = row.ratio is not None and row.ratio <= limit
    return row


def number(value):
    if value is None:
        return "-"
    if value == 0 or abs(value) >= 100:
        return f"{value:.0f}"
    if abs(value) >= 1:
        return f"{value:.3g}" if abs(value) < 10 else f"{value:.1f}"
    return f"{value:.2g}" if abs(value) >= 0.01 else f"{value:.1e}"


def print_table(rows, out=sys.stdout):
    header = ("row", "figure", "reference", "ratio", "goal", "met")
    lines = []
    for row in rows:
        for shown in [row] + row.also:
            met = "-" if shown.met is None else ("yes" if shown.met else "NO")
            lines.append(("  " * (shown is not row) + shown.what,
                          f"{number(shown.figure)} {shown.unit}",
                          f"{number(shown.reference)} {shown.unit} {shown.reference_what}",
                          number(shown.ratio), shown.goal or "-", met))
    widths = [max(len(line[i]) for line in lines + [header]) for i in range(len(header))]
    for line in [header] + lines:
        print("  ".join(cell.ljust(width) for cell, width in zip(line, widths)).rstrip(),
              file=out)
    for row in rows:
        also = "".join(f" {other.key}={other.reference:.6g}"
                       f"{machine_fields(other, other.key + '_')}" for other in row.also)
        print(f"bench-wine: row={row.key} figure={row.figure:.6g} unit={row.unit.replace(' ', '_')}"
              f" reference={row.reference:.6g}{machine_fields(row)}{also}", file=out)
    out.flush()


def machine_fields(row, prefix=""):
    ratio = "" if row.ratio is None else f" {prefix}ratio={row.ratio:.4g}"
    met = "" if row.met is None else f" {prefix}met={'yes' if row.met else 'no'}"
    return ratio + met


def idle_cpu_percent(pids, seconds):
    """Percent of one core each process used over `seconds` of waiting."""
    before = [program.cpu_seconds(pid) for pid in pids]
    started = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - started
    return [(program.cpu_seconds(pid) - was) / elapsed * 100 for pid, was in zip(pids, before)]


# --- start-up -------------------------------------------------------------------------


def launch_until_window(session, watch, exe, title):
    """Seconds from launching `exe` until its window is managed on the
    display (looked for every 2 ms); then closes it with Alt+F4."""
    deadline = time.monotonic() + 10
    while watch.find(title) is not None and time.monotonic() < deadline:
        time.sleep(0.05)  # the last run's window is not mistaken for this one's
    started = time.perf_counter()
    program.start_program(session, exe)
    window = None
    while window is None:
        window = watch.find(title)
        if window is None:
            if session.program.poll() is not None or time.perf_counter() - started > 60:
                raise RuntimeError(f"{os.path.basename(exe)} showed no window \"{title}\"")
            time.sleep(0.002)
    seconds = time.perf_counter() - started
    close_program(session, str(window))
    return seconds


def close_program(session, window):
    """Alt+F4 until the program ends: a key sent the moment a window
    appears can be lost before Wine has given it the focus."""
    time.sleep(0.5)
    for _ in range(3):
        program.press(session, "alt+F4", window=window)
        if program.wait_exit(session, timeout=5) is not None:
            time.sleep(0.3)  # let Wine finish with the process before the next start
            return
    raise RuntimeError("the program did not end after Alt+F4")


def startup_rows(session, watch, plan, exe, least):
    note(f"start-up, {plan.startup_runs} runs of each after a warm-up")
    for target in (exe, least):
        launch_until_window(session, watch, *target)  # warm-up: caches, wineserver
    times = {exe: [], least: []}
    for _ in range(plan.startup_runs):
        for target in (exe, least):
            times[target].append(launch_until_window(session, watch, *target))
    figure, reference = statistics.median(times[exe]), statistics.median(times[least])
    what = f"start-up until the main window (median of {plan.startup_runs})"
    return [ratio_goal(Row("startup", what,
                           figure * 1000, "ms", reference * 1000, "least window program"), 1.2)]


# --- the checker server and the scanner ---------------------------------------------------


def one_zloty(request):
    return servers.reply_bytes(request, "Towar testowy", "Cena:           1.00")


def code_of(request):
    return request[3:-2].decode("ascii", errors="replace")


def numbered_codes(first, count):
    return [f"590{number:010d}" for number in range(first, first + count)]


def pause_until(due):
    """Sleeps until shortly before `due` (perf_counter seconds), then spins:
    a plain sleep overshoots by more than the gap between two bytes."""
    remaining = due - time.perf_counter()
    if remaining > 0.0002:
        time.sleep(remaining - 0.0002)
    while time.perf_counter() < due:
        pass


def scan_paced(scanner, data):
    """Writes one byte every 1.04 ms, as a 9600-baud scanner delivers them;
    returns the wall clock (ns) just after the last byte was written."""
    started = time.perf_counter()
    for i, byte in enumerate(data):
        pause_until(started + i * BYTE_TIME_S)
        scanner.send(bytes([byte]))
    return time.time_ns()


@dataclass
class ScanTimes:
    """Scan to request of paced codes: ms from the last byte written to the
    request's arrival at the server, and the codes whose request never came."""
    latencies: list
    lost: int

    def add(self, other):
        self.latencies += other.latencies
        self.lost += other.lost

    def percentile(self, share):
        ordered = sorted(self.latencies)
        return ordered[min(len(ordered) - 1, int(len(ordered) * share))]


def scan_to_request(who, scanner, server, codes):
    note(f"scan to request, {who}, {len(codes)} codes at the scanner's pace")
    times = ScanTimes([], 0)
    for code in codes:
        before = server.count()
        last_byte = scan_paced(scanner, code.encode("ascii") + b"\r")
        if not server.wait_beyond(before, timeout=3):
            times.lost += 1
            continue
        times.latencies.append((server.stamp(before) - last_byte) / 1e6)
        time.sleep(0.03)  # the reply reaches the screen; a person scans the next item
    return times


def scan_to_request_rows(lumivo, floor):
    """Each percentile against the line time of a code and against the
    floor's: the least program of the same design, on the same line."""
    rows = []
    for key, share, what, line_goal in (("scan_p50", 0.5, "p50", 0.05),
                                        ("scan_p99", 0.99, "p99", 0.1)):
        figure = lumivo.percentile(share)
        row = ratio_goal(Row(key, f"scan to request {what} ({len(lumivo.latencies)} codes, "
                             "paced)", figure, "ms", LINE_TIME_MS, "line time of a code"),
                         line_goal)
        row.also.append(ratio_goal(Row("floor", f"against the floor's {what}", figure, "ms",
                                       floor.percentile(share), "scan_floor.exe"), 1.2))
        rows.append(row)
    for key, who, times in (("scan_lost", "lumivo.exe", lumivo),
                            ("scan_floor_lost", "scan_floor.exe", floor)):
        if times.lost:
            rows.append(Row(key, f"paced codes that never reached the server ({who})",
                            times.lost, "codes", 0, "", goal="0", met=False))
    return rows


def paced_scans(session, watch, args, server, scanner, floor, codes, trace=None):
    """scan_floor.exe (`floor`) or lumivo.exe with its scanner on COM1:
    started, warmed up, `codes` scanned at the scanner's pace, closed, so
    the port is free for the next. Returns the ScanTimes and, given the
    path of the wineserver's trace, the part of it those codes made."""
    if floor:
        title, who = "floor", "scan_floor.exe"
        start_and_settle(session, watch, args.floor, title,
                         ["COM1", str(SCANNER_BAUD), server.address])
    else:
        title, who = "lumivo", "lumivo.exe"
        program_setup(session, server, port="COM1")
        start_and_settle(session, watch, args.exe, title)
    scan_to_request("warm-up", scanner, server, numbered_codes(0, 10))
    begin = os.path.getsize(trace) if trace else 0
    times = scan_to_request(who, scanner, server, codes)
    traced = None
    if trace:
        with open(trace, "rb") as f:
            f.seek(begin)
            traced = f.read().decode(errors="replace")
    close_program(session, str(watch.find(title)))
    return times, traced


def burst_rows(scanner, server, codes):
    note(f"a burst of {len(codes)} codes")
    before = server.count()
    started = time.time_ns()
    scanner.send(b"".join(code.encode("ascii") + b"\r" for code in codes))
    deadline = time.monotonic() + 150
    while server.count() < before + len(codes) and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(1)  # nothing more may come
    received = collections.Counter(code_of(request) for request in server.received()[before:])
    lost = sum(1 for code in codes if received[code] == 0)
    duplicated = sum(n - 1 for n in received.values() if n > 1) + \
        sum(n for code, n in received.items() if code not in set(codes))
    last = server.stamp(server.count() - 1) if server.count() > before else started
    per_code = (last - started) / 1e6 / len(codes)
    return [Row("burst_ms_per_code", f"scanner burst of {len(codes)} codes, per code", per_code,
                "ms", LINE_TIME_MS, "line time of a code"),
            Row("burst_lost", "burst: codes lost", lost, "codes", 0, "", goal="0",
                met=lost == 0),
            Row("burst_duplicated", "burst: codes duplicated or garbled", duplicated, "codes",
                0, "", goal="0", met=duplicated == 0)]


# --- the Windows bench programs and the native lookup benchmark ------------------------


def console_lines(session, exe, args=(), prefix="", timeout=600):
    """The lines a console bench program prints under Wine that start with
    `prefix`, each as a dict of its key=value words. Its output goes to a
    file, not a pipe: the helper processes Wine may start for it keep their
    copy of the pipe open long after the program ends."""
    with tempfile.TemporaryFile() as output:
        subprocess.run(["wine", os.path.abspath(exe)] + list(args), env=session.env,
                       cwd=session.workdir, stdin=subprocess.DEVNULL, stdout=output,
                       stderr=subprocess.DEVNULL, timeout=timeout, check=True)
        output.seek(0)
        text = output.read().decode(errors="replace")
    found = []
    for line in text.splitlines():
        if line.startswith(prefix):
            found.append(dict(word.split("=", 1) for word in line.split() if "=" in word))
    return found


def lookup_rows_wine(session, exe, plan):
    folder = os.path.join(session.root, "price-files")
    os.makedirs(folder, exist_ok=True)
    rows = []
    note(f"lookups under Wine, files of up to {plan.largest_price_file:,} records")
    args = [setup_dat.windows_path(folder), str(plan.largest_price_file)]
    for fields in console_lines(session, exe, args, "lookup "):
        what = f"lookup under Wine, {int(fields['records']):,} records, {fields['codes']}"
        rows.append(ratio_goal(Row(
            f"lookup_wine_{fields['records']}_{fields['codes']}", what,
            float(fields["lookup_us"]), "us", float(fields["floor_us"]),
            "Win32 calls alone"), 1.2))
    return rows


def lookup_rows_native(bench):
    """The native lookup benchmark's figures beside the same floor."""
    note("lookups natively")
    result = winebox.run([bench, "--benchmark_filter=BM_Lookup(Found|Missing)",
                          "--benchmark_format=json"], timeout=900)
    rows = []
    for entry in json.loads(result.stdout)["benchmarks"]:
        kind, records = entry["name"].split("/")[:2]
        codes = "found" if kind.endswith("Found") else "missing"
        what = f"lookup natively, {int(records):,} records, {codes}"
        rows.append(ratio_goal(Row(f"lookup_native_{records}_{codes}", what, entry["real_time"],
                                   "us", entry["floor_us"], "open/fstat/pread/close alone"), 1.2))
    return rows


def paint_rows(session, exe):
    note("paints")
    rows = []
    for fields in console_lines(session, exe, [], "paint ", timeout=180):
        target = "memory DC, drawPriceScreen" if fields["target"] == "memory" else \
            "real window, invalidate + update"
        if "error" in fields:
            raise RuntimeError(f"paint {fields['size']}: {fields['error']}")
        rows.append(ratio_goal(Row(
            f"paint_{fields['target']}_{fields['size']}",
            f"paint {fields['size']}, {target} (median)", float(fields["median_ms"]), "ms",
            FRAME_MS, "one display frame"), 0.1))
    return rows


# --- idle and memory -------------------------------------------------------------------------


def start_and_settle(session, watch, exe, title, args=()):
    """Starts `exe`, waits for its window, then a few seconds more for it to
    settle; the program stays up."""
    program.start_program(session, exe, args)
    deadline = time.monotonic() + 60
    while watch.find(title) is None:
        if time.monotonic() > deadline or session.program.poll() is not None:
            raise RuntimeError(f"{os.path.basename(exe)} showed no window \"{title}\"")
        time.sleep(0.01)
    time.sleep(3)


def idle_and_memory(session, watch, plan, exe, title):
    """Starts `exe` and lets it settle, then measures its own process and
    wineserver while it waits; the program stays up. Returns (pid,
    program %, wineserver %, resident kB)."""
    start_and_settle(session, watch, exe, title)
    pid = program.windows_process(session, os.path.basename(exe))
    note(f"{title} at rest, {plan.idle_seconds} s")
    own, server = idle_cpu_percent([pid, program.wineserver_process(session)], plan.idle_seconds)
    return pid, own, server, program.resident_kb(pid)


def idle_rows(plan, lumivo, least):
    """lumivo and least: (pid, program %, wineserver %, resident kB)."""
    what = f"idle at the prompt, port open, {plan.idle_seconds} s: CPU"
    idle = Row("idle_cpu", what, lumivo[1],
               "% of a core", least[1], "least window program", goal="< 0.2 % of a core",
               met=lumivo[1] < 0.2)
    idle.ratio = None if least[1] == 0 else idle.ratio
    server = Row("idle_cpu_wineserver", "idle: wineserver beside the program", lumivo[2],
                 "% of a core", least[2], "beside the least program")
    server.ratio = None if least[2] == 0 else server.ratio
    memory = ratio_goal(Row("memory", "resident memory at the prompt (VmRSS)", lumivo[3] / 1024,
                            "MiB", least[3] / 1024, "least window program"), 1.2)
    return [idle, server, memory]


# --- one session for everything -----------------------------------------------------------------


def program_setup(session, server, port=""):
    fields = setup_dat.settings_fields(standaloneMode=0, serverAddress=server.address,
                                       portName=port, baudRate=SCANNER_BAUD)
    setup_dat.write_setup(session.workdir, fields)


def scanner_rows(session, watch, plan, args, server, scanner):
    """The program with its scanner on COM1: idle, paced scans beside the
    floor's, a burst."""
    least = idle_and_memory(session, watch, plan, args.least, "least")
    close_program(session, str(watch.find("least")))
    scan_rows = scans_beside_the_floor(session, watch, plan, args, server, scanner)
    program_setup(session, server, port="COM1")
    lumivo = idle_and_memory(session, watch, plan, args.exe, "lumivo")
    rows = idle_rows(plan, lumivo, least) + scan_rows
    scan_to_request("warm-up", scanner, server, numbered_codes(0, 10))
    before_kb = program.resident_kb(lumivo[0])
    rows += burst_rows(scanner, server, numbered_codes(10000, plan.burst_codes))
    after_kb = program.resident_kb(lumivo[0])
    rows.append(Row("memory_growth", f"resident memory after the {plan.burst_codes} codes",
                    after_kb / 1024, "MiB", before_kb / 1024, "before them"))
    close_program(session, str(watch.find("lumivo")))
    return rows


def scans_beside_the_floor(session, watch, plan, args, server, scanner):
    """Scan to request of the floor and of the program: the same paced
    codes on the same line, in rounds where the two take turns, so that a
    load coming and going on the machine falls on both alike."""
    floor, lumivo = ScanTimes([], 0), ScanTimes([], 0)
    codes = numbered_codes(100, plan.scan_codes)
    size = -(-len(codes) // plan.scan_rounds)
    for first in range(0, len(codes), size):
        for is_floor, times in ((True, floor), (False, lumivo)):
            block, _ = paced_scans(session, watch, args, server, scanner, is_floor,
                                   codes[first:first + size])
            times.add(block)
    return scan_to_request_rows(lumivo, floor)


def count_requests(session, watch, args, server, scanner):
    """--count-requests: a few paced codes through each program with the
    prefix's server tracing every request (which slows it), then what the
    trace shows between each carriage return and its datagram."""
    path = os.path.join(session.root, "wineserver-trace.txt")
    with open(path, "wb") as trace:
        session.helpers.append(subprocess.Popen(
            ["wineserver", "-f", "-d1"], env=session.env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=trace))
    time.sleep(1)  # up before the first program looks for it
    codes = numbered_codes(100, 20)
    lines = []
    for floor, who in ((True, "scan_floor.exe"), (False, "lumivo.exe")):
        _, traced = paced_scans(session, watch, args, server, scanner, floor, codes, path)
        lines += wineserver_trace.summary(who, traced)
    return lines


def start_server(session):
    """The prefix's wineserver, kept running until the session ends, so
    that no start pays for it. It forks into the background: no pipe may
    wait for it."""
    subprocess.run(["wineserver", "-p"], env=session.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)


def program_rows(args, plan, display, template):
    """Start-up, the scanner rows and the lookup, on a display of the size
    every test uses (the program's default window is sized from it)."""
    session = program.new_session(display, template)
    server = servers.CapturingServer(servers.pick_loopback_address(), answer=one_zloty)
    watch = bench_x11.WindowWatch(display.name)
    scanner = None
    try:
        # The port is mapped while the prefix's server is down.
        scanner = virtual_serial.ScannerEnd(virtual_serial.start_virtual_serial(session, "COM1"))
        if args.count_requests:
            return count_requests(session, watch, args, server, scanner)
        start_server(session)
        if args.scan_only:
            return scans_beside_the_floor(session, watch, plan, args, server, scanner)
        program_setup(session, server)
        rows = startup_rows(session, watch, plan, (args.exe, "lumivo"), (args.least, "least"))
        rows += scanner_rows(session, watch, plan, args, server, scanner)
        rows += lookup_rows_wine(session, args.lookup, plan)
        return rows
    finally:
        watch.close()
        if scanner is not None:
            scanner.close()
        server.close()
        program.stop_session(session)


def paint_rows_on_large_display(args, template):
    display = winebox.start_display(*PAINT_SCREEN)
    session = program.new_session(display, template)
    try:
        start_server(session)
        return paint_rows(session, args.paint)
    finally:
        program.stop_session(session)
        winebox.stop_display(display)


def measure(args, plan):
    display = winebox.start_display()
    try:
        template = winebox.make_template_prefix(display, args.template)
        rows = program_rows(args, plan, display, template)
    finally:
        winebox.stop_display(display)
    if args.scan_only or args.count_requests:
        return rows
    rows += paint_rows_on_large_display(args, template)
    if args.native_lookup:
        rows += lookup_rows_native(args.native_lookup)
    return rows


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True, help="lumivo.exe")
    parser.add_argument("--least", required=True, help="the least window program")
    parser.add_argument("--floor", required=True,
                        help="scan_floor.exe, the least program from scanned byte to request")
    parser.add_argument("--lookup", required=True, help="bench_lookup_win32.exe")
    parser.add_argument("--paint", required=True, help="bench_paint_win32.exe")
    parser.add_argument("--native-lookup", help="the native lumivo_bench, for its lookup rows")
    parser.add_argument("--template", required=True, help="the template Wine prefix (made once)")
    parser.add_argument("--quick", action="store_true",
                        help="far fewer runs and codes, smaller files: to try the script")
    parser.add_argument("--scan-only", action="store_true",
                        help="only scan to request, the program's beside its floor's")
    parser.add_argument("--count-requests", action="store_true",
                        help="instead of the table: the wineserver requests between the last "
                             "byte of a code and its datagram, in each program")
    args = parser.parse_args(argv)
    plan = QUICK if args.quick else Plan()

    print(f"bench-wine: load average before: {program.read_proc('/proc/loadavg').decode().strip()}")
    rows = measure(args, plan)
    print(f"bench-wine: load average after: {program.read_proc('/proc/loadavg').decode().strip()}")
    if args.count_requests:
        print("\n".join(f"bench-wine: {line}" for line in rows))
    else:
        print_table(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
