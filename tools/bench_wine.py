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
from dataclasses import dataclass

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "tests", "harness")]
import bench_x11  # noqa: E402
import checker_servers as servers  # noqa: E402
import program_session as program  # noqa: E402
import setup_dat  # noqa: E402
import virtual_serial  # noqa: E402
import winebox  # noqa: E402

# A 9600-baud scanner sends a byte (start bit, 8 data bits, stop bit) every
# 1.04 ms; a 13-digit code and its carriage return take 14 of them.
BYTE_TIME_S = 10 / 9600
LINE_TIME_MS = 14 * BYTE_TIME_S * 1000
FRAME_MS = 1000 / 60



@dataclass
class Plan:
    startup_runs: int = 7
    scan_codes: int = 500
    burst_codes: int = 1000
    idle_seconds: int = 30
    largest_price_file: int = 10_000_000


# --quick: the same rows from far fewer runs, for trying the script itself.
QUICK = Plan(startup_runs=2, scan_codes=50, burst_codes=100, idle_seconds=5,
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
        met = "-" if row.met is None else ("yes" if row.met else "NO")
        lines.append((row.what, f"{number(row.figure)} {row.unit}",
                      f"{number(row.reference)} {row.unit} {row.reference_what}",
                      number(row.ratio), row.goal or "-", met))
    widths = [max(len(line[i]) for line in lines + [header]) for i in range(len(header))]
    for line in [header] + lines:
        print("  ".join(cell.ljust(width) for cell, width in zip(line, widths)).rstrip(),
              file=out)
    for row in rows:
        met = "" if row.met is None else f" met={'yes' if row.met else 'no'}"
        ratio = "" if row.ratio is None else f" ratio={row.ratio:.4g}"
        print(f"bench-wine: row={row.key} figure={row.figure:.6g} unit={row.unit.replace(' ', '_')}"
              f" reference={row.reference:.6g}{ratio}{met}", file=out)
    out.flush()


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


def scan_to_request_rows(scanner, server, codes):
    note(f"scan to request, {len(codes)} codes at the scanner's pace")
    latencies = []
    lost = 0
    for code in codes:
        before = server.count()
        last_byte = scan_paced(scanner, code.encode("ascii") + b"\r")
        if not server.wait_beyond(before, timeout=3):
            lost += 1
            continue
        latencies.append((server.stamp(before) - last_byte) / 1e6)
        time.sleep(0.03)  # the reply reaches the screen; a person scans the next item
    latencies.sort()
    p50 = latencies[len(latencies) // 2]
    p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))]
    rows = [Row("scan_p50", f"scan to request p50 ({len(codes)} codes, paced)", p50, "ms",
                LINE_TIME_MS, "line time of a code"),
            Row("scan_p99", "scan to request p99", p99, "ms", LINE_TIME_MS,
                "line time of a code")]
    ratio_goal(rows[0], 0.05)
    ratio_goal(rows[1], 0.1)
    if lost:
        rows.append(Row("scan_lost", "paced codes that never reached the server", lost,
                        "codes", 0, "", goal="0", met=False))
    return rows


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


def idle_and_memory(session, watch, plan, exe, title):
    """Starts `exe`, waits for its window and for it to settle, then
    measures its own process and wineserver while it waits; the program
    stays up. Returns (pid, program %, wineserver %, resident kB)."""
    program.start_program(session, exe)
    deadline = time.monotonic() + 60
    while watch.find(title) is None:
        if time.monotonic() > deadline:
            raise RuntimeError(f"{os.path.basename(exe)} showed no window \"{title}\"")
        time.sleep(0.01)
    pid = program.windows_process(session, os.path.basename(exe))
    note(f"{title} at rest, {plan.idle_seconds} s")
    time.sleep(3)
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
                                       portName=port)
    setup_dat.write_setup(session.workdir, fields)


def scanner_rows(session, watch, plan, args, server, scanner):
    """The program with its scanner on COM1: idle, paced scans, a burst."""
    least = idle_and_memory(session, watch, plan, args.least, "least")
    close_program(session, str(watch.find("least")))
    program_setup(session, server, port="COM1")
    lumivo = idle_and_memory(session, watch, plan, args.exe, "lumivo")
    rows = idle_rows(plan, lumivo, least)
    scan_to_request_rows(scanner, server, numbered_codes(0, 10))  # warm-up
    before_kb = program.resident_kb(lumivo[0])
    rows += scan_to_request_rows(scanner, server, numbered_codes(100, plan.scan_codes))
    rows += burst_rows(scanner, server, numbered_codes(10000, plan.burst_codes))
    after_kb = program.resident_kb(lumivo[0])
    codes = plan.scan_codes + plan.burst_codes
    rows.append(Row("memory_growth", f"resident memory after the {codes} codes",
                    after_kb / 1024, "MiB", before_kb / 1024, "before them"))
    close_program(session, str(watch.find("lumivo")))
    return rows


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
        start_server(session)
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
    rows += paint_rows_on_large_display(args, template)
    if args.native_lookup:
        rows += lookup_rows_native(args.native_lookup)
    return rows


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True, help="lumivo.exe")
    parser.add_argument("--least", required=True, help="the least window program")
    parser.add_argument("--lookup", required=True, help="bench_lookup_win32.exe")
    parser.add_argument("--paint", required=True, help="bench_paint_win32.exe")
    parser.add_argument("--native-lookup", help="the native lumivo_bench, for its lookup rows")
    parser.add_argument("--template", required=True, help="the template Wine prefix (made once)")
    parser.add_argument("--quick", action="store_true",
                        help="far fewer runs and codes, smaller files: to try the script")
    args = parser.parse_args(argv)
    plan = QUICK if args.quick else Plan()

    print(f"bench-wine: load average before: {program.read_proc('/proc/loadavg').decode().strip()}")
    rows = measure(args, plan)
    print(f"bench-wine: load average after: {program.read_proc('/proc/loadavg').decode().strip()}")
    print_table(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
