"""Drives the real lumivo.exe under Wine on a virtual X display.

Plain functions over a few small records. A test run makes one Wine prefix
template (the slow part, about 15 s) and keeps it in the build tree; every
test gets its own copy of it, its own working folder with setup.dat and a
price file, and stops every process it started, by PID, when it ends.

Standard library only, plus these programs from Debian: Xvfb, openbox,
xdotool, xwininfo, xprop, ImageMagick (import, convert), tesseract with the
Polish data, socat, wine.
"""

import fcntl
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unicodedata
from dataclasses import dataclass, field

# --- setup.dat -------------------------------------------------------------

# The 500-byte settings record, little-endian, no padding.
SETTINGS_LAYOUT = [
    ("portName", "44s"),
    ("baudRate", "i"),
    ("priceFilePath", "196s"),
    ("shortItemCode", "i"),
    ("valuePrefixes", "9s"),
    ("weightPrefixes", "9s"),
    ("reserved", "2s"),
    ("showNet1", "i"),
    ("showNet2", "i"),
    ("showGross1", "i"),
    ("showGross2", "i"),
    ("standaloneMode", "i"),
    ("serverAddress", "104s"),
    ("fullScreen", "i"),
    ("fontName", "104s"),
]
SETTINGS_FORMAT = "<" + "".join(kind for _, kind in SETTINGS_LAYOUT)
SETTINGS_SIZE = 500
assert struct.calcsize(SETTINGS_FORMAT) == SETTINGS_SIZE

# Texts in the settings record are Windows-1250, like everything the
# program shows.
TEXT_ENCODING = "cp1250"


def prefix_slots(prefixes):
    """Three 3-byte slots of up to two characters each, e.g. ["21", "27"]."""
    slots = b""
    for prefix in (list(prefixes) + ["", "", ""])[:3]:
        slots += prefix.encode("ascii")[:2].ljust(3, b"\0")
    return slots


def settings_fields(**overrides):
    """A standalone-free, scanner-free record to start from, with overrides.

    Text fields may be given as str (encoded in Windows-1250) or bytes;
    prefix fields as a list of strings."""
    fields = {
        "portName": "",
        "baudRate": 9600,
        "priceFilePath": "",
        "shortItemCode": 0,
        "valuePrefixes": [],
        "weightPrefixes": [],
        "reserved": b"",
        "showNet1": 0,
        "showNet2": 0,
        "showGross1": 0,
        "showGross2": 0,
        "standaloneMode": 1,
        "serverAddress": "127.0.0.1",
        "fullScreen": 0,
        "fontName": "Arial CE",
    }
    fields.update(overrides)
    return fields


def pack_settings(fields):
    values = []
    for name, kind in SETTINGS_LAYOUT:
        value = fields[name]
        if name in ("valuePrefixes", "weightPrefixes") and not isinstance(value, bytes):
            value = prefix_slots(value)
        elif isinstance(value, str):
            value = value.encode(TEXT_ENCODING)
        if kind.endswith("s"):
            width = int(kind[:-1])
            # Texts keep room for the terminating zero the program expects.
            limit = width if name in ("valuePrefixes", "weightPrefixes", "reserved") else width - 1
            assert len(value) <= limit, f"{name} too long"
        values.append(value)
    return struct.pack(SETTINGS_FORMAT, *values)


def text_field(raw):
    """A fixed-width text field up to its first zero byte, as str."""
    return raw.split(b"\0", 1)[0].decode(TEXT_ENCODING)


def unpack_settings(data):
    """The fields of a 500-byte record; texts decoded, prefixes as lists."""
    values = struct.unpack(SETTINGS_FORMAT, data[:SETTINGS_SIZE])
    fields = {}
    for (name, kind), value in zip(SETTINGS_LAYOUT, values):
        if name in ("valuePrefixes", "weightPrefixes"):
            fields[name] = [text_field(value[i:i + 3]) for i in range(0, 9, 3)]
        elif name == "reserved":
            fields[name] = value
        elif kind.endswith("s"):
            fields[name] = text_field(value)
        else:
            fields[name] = value
    return fields


def write_setup(workdir, fields):
    data = pack_settings(fields)
    with open(os.path.join(workdir, "setup.dat"), "wb") as f:
        f.write(data)
    return data


def read_setup(workdir):
    """The raw bytes of setup.dat, or None when there is none."""
    path = os.path.join(workdir, "setup.dat")
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def windows_path(unix_path):
    """A Unix path as the program sees it through Wine's Z: drive."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


# --- processes ---------------------------------------------------------------


def run(args, env=None, timeout=60, check=True, cwd=None):
    result = subprocess.run(args, env=env, cwd=cwd, timeout=timeout,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if check and result.returncode != 0:
        raise RuntimeError(f"{args[0]} failed ({result.returncode}): "
                           f"{result.stderr.decode(errors='replace').strip()}")
    return result


def stop_process(proc, grace=5):
    """Ends one process we started, by its PID: TERM, then KILL."""
    if proc is None or proc.poll() is not None:
        if proc is not None:
            proc.wait()
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


# --- display -----------------------------------------------------------------


@dataclass
class Display:
    name: str                   # ":N"
    xvfb: subprocess.Popen = None
    openbox: subprocess.Popen = None


def x_env(display):
    env = dict(os.environ)
    env["DISPLAY"] = display.name
    return env


def start_display(width=1024, height=768):
    """A fresh Xvfb on a free display number, with openbox managing focus.

    When LUMIVO_E2E_DISPLAY names a display that a caller already runs (with
    a window manager), that one is used and nothing is started."""
    given = os.environ.get("LUMIVO_E2E_DISPLAY")
    if given:
        return Display(name=given)
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
         "-nolisten", "tcp"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        # Xvfb writes the display number and a newline once it listens.
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip().isdigit():
        stop_process(xvfb)
        raise RuntimeError("Xvfb did not start")
    display = Display(name=":" + number.strip().decode(), xvfb=xvfb)
    try:
        display.openbox = subprocess.Popen(
            ["openbox", "--sm-disable"], env=x_env(display),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for_window_manager(display)
    except Exception:
        stop_display(display)
        raise
    return display


def wait_for_window_manager(display, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=x_env(display),
                     check=False)
        if b"window id" in result.stdout:
            return
        time.sleep(0.1)
    raise RuntimeError("openbox did not start")


def stop_display(display):
    stop_process(display.openbox)
    stop_process(display.xvfb)
    display.openbox = display.xvfb = None


# --- Wine prefixes -------------------------------------------------------------

TEMPLATE_MARK = "lumivo-template-1"

# What a Polish shop PC has and a fresh prefix lacks. Windows maps the
# central-European "Arial CE" face to Arial; Wine needs to be told.
TEMPLATE_REGISTRY = [
    ["HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
     "/v", "Arial CE", "/t", "REG_SZ", "/d", "Liberation Sans", "/f"],
]


def wine_env(prefix, display):
    env = x_env(display)
    env.update({
        "WINEPREFIX": prefix,
        "WINEDEBUG": "-all",
        # No Mono or Gecko installer while the prefix is made.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # A Polish Windows: ANSI code page 1250 for message boxes and titles.
        "LC_ALL": "pl_PL.UTF-8",
    })
    return env


def default_template_path():
    return os.environ.get("LUMIVO_E2E_TEMPLATE") or os.path.join(
        os.getcwd(), "e2e-wine-template")


def make_template_prefix(display, path=None):
    """The shared prefix every test copies; made once, then kept.

    Safe when several test scripts start at once: one makes it, the others
    wait on the lock."""
    path = os.path.abspath(path or default_template_path())
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # The mark records Wine's version: a prefix made by another Wine is
        # remade rather than upgraded in the middle of a test.
        version = run(["wine", "--version"]).stdout.decode().strip()
        mark = os.path.join(path, TEMPLATE_MARK)
        if os.path.exists(mark):
            with open(mark) as f:
                if f.read().strip() == version:
                    return path
        shutil.rmtree(path, ignore_errors=True)
        env = wine_env(path, display)
        try:
            run(["wineboot", "--init"], env=env, timeout=180)
            for args in TEMPLATE_REGISTRY:
                run(["wine", "reg", "add"] + args, env=env, timeout=60)
            run(["wineserver", "-w"], env=env, timeout=120)
        finally:
            run(["wineserver", "-k"], env=env, check=False, timeout=30)
        with open(mark, "w") as f:
            f.write(version + "\n")
    return path


def copy_prefix(template, dest):
    """A private prefix: hard links for the (read-only) DLLs, real copies of
    the registry files that Wine rewrites."""
    run(["cp", "-al", template, dest], timeout=120)
    for name in os.listdir(dest):
        if name.endswith(".reg") or name == TEMPLATE_MARK:
            target = os.path.join(dest, name)
            os.unlink(target)
            if name.endswith(".reg"):
                shutil.copy2(os.path.join(template, name), target)
    return dest


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


# --- one test's world ----------------------------------------------------------


@dataclass
class Session:
    display: Display
    root: str                  # temp folder holding everything below
    prefix: str
    workdir: str
    env: dict
    program: subprocess.Popen = None
    window: str = None         # X window id of the main window
    helpers: list = field(default_factory=list)   # socat and the like
    shots: list = field(default_factory=list)     # screenshot paths, kept on failure


def new_session(display, template):
    """Own prefix copy and working folder, next to the template so that the
    hard links stay on one file system."""
    root = tempfile.mkdtemp(prefix="lumivo-e2e-", dir=os.path.dirname(template))
    prefix = copy_prefix(template, os.path.join(root, "prefix"))
    workdir = os.path.join(root, "work")
    os.makedirs(workdir)
    return Session(display=display, root=root, prefix=prefix, workdir=workdir,
                   env=wine_env(prefix, display))


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


def start_program(session, exe):
    """lumivo.exe under Wine, working directory = the session's working folder."""
    session.program = subprocess.Popen(
        ["wine", os.path.abspath(exe)], cwd=session.workdir, env=session.env,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    return session.program


def stop_session(session, keep_shots_in=None):
    """Ends everything the session started and deletes its folders."""
    try:
        if session.program is not None and session.program.poll() is None:
            run(["wineserver", "-k"], env=session.env, check=False, timeout=30)
            try:
                session.program.wait(timeout=10)
            except subprocess.TimeoutExpired:
                session.program.kill()
                session.program.wait()
        # The prefix's server and its helper processes (explorer, services).
        run(["wineserver", "-k"], env=session.env, check=False, timeout=30)
        run(["wineserver", "-w"], env=session.env, check=False, timeout=30)
    finally:
        for helper in session.helpers:
            stop_process(helper)
        if keep_shots_in:
            os.makedirs(keep_shots_in, exist_ok=True)
            for shot in session.shots:
                if os.path.exists(shot):
                    shutil.copy(shot, keep_shots_in)
        shutil.rmtree(session.root, ignore_errors=True)


def wait_exit(session, timeout=20):
    """The program's exit code, or None when it is still running."""
    try:
        return session.program.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


# --- windows and keys ------------------------------------------------------------


def xdotool(session, *args, timeout=30, check=True):
    return run(["xdotool"] + list(args), env=session.env, timeout=timeout, check=check)


def find_window(session, title, timeout=30):
    """The id of a visible window whose title is exactly `title`, or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = xdotool(session, "search", "--onlyvisible", "--name", f"^{re.escape(title)}$",
                        check=False)
        ids = found.stdout.split()
        if ids:
            return ids[-1].decode()
        if session.program is not None and session.program.poll() is not None:
            return None
        time.sleep(0.1)
    return None


def wait_main_window(session, timeout=30):
    session.window = find_window(session, "lumivo", timeout)
    if session.window is None:
        raise AssertionError("the main window \"lumivo\" did not appear")
    # A window found by its title may not be painted yet.
    time.sleep(0.5)
    return session.window


def activate(session, window=None):
    xdotool(session, "windowactivate", "--sync", window or session.window)


def type_text(session, text, window=None):
    activate(session, window)
    xdotool(session, "type", "--delay", "40", text)


def press(session, *keys, window=None):
    activate(session, window)
    for key in keys:
        xdotool(session, "key", key)


def enter_code(session, code):
    type_text(session, code)
    press(session, "Return")


# --- screen ----------------------------------------------------------------------

# The price screen's blue, as the program paints it.
SCREEN_BLUE = (0, 50, 150)


def window_geometry(session, window):
    """Absolute x, y, width, height of an X window."""
    info = run(["xwininfo", "-id", window], env=session.env).stdout.decode()

    def value(label):
        return int(re.search(label + r":\s+(-?\d+)", info).group(1))

    return (value("Absolute upper-left X"), value("Absolute upper-left Y"),
            value("Width"), value("Height"))


def screenshot(session, path, window=None):
    """The window as it shows on screen. Grabbing the window itself misses
    Wine's child controls, so grab the root and crop to the window."""
    x, y, w, h = window_geometry(session, window or session.window)
    run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path],
        env=session.env)
    session.shots.append(path)
    return path


def read_ppm(path):
    """Width, height and RGB bytes of an image, through ImageMagick."""
    data = run(["convert", path, "-depth", "8", "ppm:-"]).stdout
    # P6 header: magic, width, height, maxval, each after whitespace.
    # The pixels are the last width*height*3 bytes.
    parts = data.split(maxsplit=3)
    width, height = int(parts[1]), int(parts[2])
    return width, height, data[-width * height * 3:]


def client_area(image):
    """The price screen's rectangle (x, y, w, h) in a screenshot read by
    read_ppm: the bounding box of the screen blue, which fills the whole
    client area."""
    width, height, pixels = image
    blue = bytes(SCREEN_BLUE)
    rows = []
    left, right = width, -1
    for r in range(height):
        line = pixels[r * width * 3:(r + 1) * width * 3]
        columns = [c for c in (line.find(blue), line.rfind(blue)) if c >= 0 and c % 3 == 0]
        if not columns:
            continue
        rows.append(r)
        left = min(left, columns[0] // 3)
        right = max(right, columns[-1] // 3)
    if not rows:
        return None
    return left, rows[0], right - left + 1, rows[-1] - rows[0] + 1


def region_is_blank(image, x, y, w, h):
    """True when every pixel of the rectangle is the screen blue."""
    width, _, pixels = image
    row = bytes(SCREEN_BLUE) * w
    return all(pixels[(r * width + x) * 3:(r * width + x + w) * 3] == row
               for r in range(y, y + h))


def ocr(path, psm=7):
    # tesseract's worker threads only slow it down on a busy two-core machine.
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    result = run(["tesseract", path, "stdout", "-l", "pol", "--psm", str(psm)], env=env,
                 timeout=60)
    return result.stdout.decode("utf-8", errors="replace").strip()


def ocr_region(image, x, y, w, h, psm=7, light_text=True, scale=None):
    """Reads text in one rectangle of an image, as dark letters on white.

    tesseract reads best when a line is about 70 pixels high: the big font
    is read as it is, the small one enlarged. Larger letters make it mistake
    a 7 for a slash."""
    out = image + f".{x}-{y}-{w}-{h}.png"
    if scale is None:
        scale = max(100, round(7000 / max(h, 1)))
    args = ["convert", image, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray"]
    if light_text:
        args.append("-negate")
    args += ["-resize", f"{scale}%", "-bordercolor", "white", "-border", "30", out]
    run(args)
    try:
        return ocr(out, psm)
    finally:
        os.unlink(out)


def read_box(session, window, name="box"):
    """The text of a message box or dialog: dark letters on grey, small."""
    shot = screenshot(session, os.path.join(session.root, name + ".png"), window)
    width, height, _ = read_ppm(shot)
    return ocr_region(shot, 0, 0, width, height, psm=6, light_text=False, scale=200)


# Rows of the price screen in eighths of its height: (first band, height in
# bands). The small font is half a band high, the big one a whole band.
SCREEN_LINES = {
    "extras": (0, 0.5),
    "name1": (1, 0.5),
    "name2": (1.5, 0.5),
    "prompt": (2, 1),
    "price": (4, 1),
    "weight": (5, 0.5),
    "bottom": (7, 0.5),
}


def read_screen(shot, lines=None):
    """OCR text of the named lines of the price screen in a screenshot."""
    image = read_ppm(shot)
    area = client_area(image)
    if area is None:
        return {}
    x, y, w, h = area
    band = h // 8
    texts = {}
    for name in lines or SCREEN_LINES:
        first, size = SCREEN_LINES[name]
        top = y + int(first * band)
        height = min(max(1, int(size * band) + 2), y + h - top)
        if region_is_blank(image, x, top, w, height):
            texts[name] = ""
        else:
            texts[name] = ocr_region(shot, x, top, w, height)
    return texts


# --- comparing what OCR read with what must be there --------------------------


def normalise(text):
    """One blank between words; Polish letters kept, case kept."""
    text = unicodedata.normalize("NFC", text)
    return " ".join(text.split())


def edit_distance(a, b):
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1,
                               previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def digits(text):
    return "".join(c for c in text if c.isdigit())


def text_matches(seen, expected):
    """OCR may slip on a letter or two of a long text, never more: at most one
    edit per 12 characters (at least 1), and every digit exactly."""
    seen, expected = normalise(seen), normalise(expected)
    if digits(seen) != digits(expected):
        return False
    allowed = max(1, len(expected) // 12)
    return edit_distance(seen, expected) <= allowed


def amount_after(label, seen):
    """The number OCR read after a label such as "Cena:", as its digits, or
    None when the label is not there. A dot read as a comma is tolerated; a
    wrong digit is not."""
    pattern = r"".join(re.escape(c) + r"\s*" for c in label.rstrip(":"))
    match = re.search(pattern + r"[:;.,]?\s*(-?[0-9][0-9 .,]*[0-9])", seen)
    if not match:
        return None
    number = match.group(1).replace(" ", "")
    if not re.fullmatch(r"-?[0-9]+[.,][0-9]+", number):
        return None
    return number.replace(",", ".")


def screen_shows(texts, name=None, price=None, total=None, prompt=False, code=None,
                 weight=None):
    """Checks an OCR reading of the price screen. Returns a list of what does
    not match (empty when all does)."""
    problems = []

    def need(ok, what):
        if not ok:
            problems.append(what)

    if prompt:
        need(text_matches(texts.get("prompt", ""), "Wprowadź kod towaru"),
             f"prompt: read {texts.get('prompt')!r}")
    if name is not None:
        seen = texts.get("name1", "")
        if len(name) > 40:
            seen += texts.get("name2", "")
        need(text_matches(seen.replace(" ", ""), name[:80].replace(" ", "")),
             f"name {name!r}: read {seen!r}")
    if price is not None:
        need(amount_after("Cena:", texts.get("price", "")) == price,
             f"price {price}: read {texts.get('price')!r}")
    if total is not None:
        need(amount_after("Razem:", texts.get("bottom", "")) == total,
             f"total {total}: read {texts.get('bottom')!r}")
    if code is not None:
        match = re.search(r"K\s*o\s*d\s*[:;.]?\s*([0-9A-Za-z]+)", texts.get("bottom", ""))
        need(match is not None and match.group(1) == code,
             f"code {code}: read {texts.get('bottom')!r}")
    if weight is not None:
        mass, unit, unit_price = weight
        seen = texts.get("weight", "")
        need(amount_after("Masa:", seen) == mass and unit in seen
             and amount_after("Cena/jm:", seen) == unit_price,
             f"weight line {weight}: read {seen!r}")
    return problems


def wait_for_screen(session, shot_name, timeout=10, **expected):
    """Takes screenshots until the screen shows what is expected or time
    runs out. Returns the list of mismatches of the last look (empty: shown)."""
    lines = set()
    if expected.get("prompt"):
        lines.add("prompt")
    if expected.get("name") is not None:
        lines.update(["name1", "name2"] if len(expected["name"]) > 40 else ["name1"])
    if expected.get("price") is not None:
        lines.add("price")
    if expected.get("total") is not None or expected.get("code") is not None:
        lines.add("bottom")
    if expected.get("weight") is not None:
        lines.add("weight")
    deadline = time.monotonic() + timeout
    while True:
        shot = screenshot(session, os.path.join(session.root, shot_name + ".png"))
        texts = read_screen(shot, sorted(lines))
        problems = screen_shows(texts, **expected)
        if not problems or time.monotonic() > deadline:
            return problems
        time.sleep(0.5)


# --- command line, for tools/run-demo.sh -------------------------------------------


def main(argv):
    """usage: harness.py setup DIR server|standalone PRICE_FILE [SERVER_ADDRESS]
       harness.py prefix PATH    (makes a prefix for lumivo, on $DISPLAY)"""
    if len(argv) >= 4 and argv[0] == "setup":
        workdir, mode, price_file = argv[1], argv[2], argv[3]
        fields = settings_fields(
            priceFilePath=windows_path(price_file),
            standaloneMode=1 if mode == "standalone" else 0,
            serverAddress=argv[4] if len(argv) > 4 else "127.0.0.1",
            weightPrefixes=["21"], valuePrefixes=["22"])
        write_setup(workdir, fields)
        return 0
    if len(argv) == 2 and argv[0] == "prefix":
        make_template_prefix(Display(name=os.environ["DISPLAY"]), argv[1])
        return 0
    print(main.__doc__)
    return 2


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv[1:]))
