"""A virtual display with a window manager, and Wine prefixes for lumivo.exe.

The one recipe for each, used by the test command, the demo, the screenshot
script, ctest's Wine runner and the end-to-end tests. Python scripts import
it; shell scripts use the command line below through tests/harness/wine-host.sh.

The plain "wine" command must run the Windows build: on a host that cannot
run 32-bit programs, tests/harness/wine-host.sh (lumivo_pick_wine) puts 64-bit Wine
first on PATH, and everything here inherits that PATH.

Standard library only, plus Xvfb, openbox, xprop and wine from Debian.
"""

import fcntl
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

# --- processes ---------------------------------------------------------------


def time_limit(seconds):
    """A time limit that holds for Wine at native speed, stretched by
    $LUMIVO_WINE_TIME_FACTOR. Under qemu's user-mode emulation (the shop's
    32-bit build on a host that refuses 32-bit programs) every 32-bit
    instruction is translated: a process start takes about a minute instead
    of half a second, and the smoke step that runs there sets the factor."""
    return seconds * float(os.environ.get("LUMIVO_WINE_TIME_FACTOR") or 1)


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


def start_display(width=1024, height=768, attempts=3):
    """A fresh Xvfb on a free display number, with openbox managing focus:
    without a window manager the first key after a focus change can be lost.

    Tried again when openbox does not come up: while other runs start and
    stop displays on the same machine, it has once failed to appear in 15 s."""
    for attempt in range(attempts):
        try:
            return start_display_once(width, height)
        except RuntimeError:
            if attempt == attempts - 1:
                raise
    return None


def start_display_once(width, height):
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
    """Stops what start_display started; a display given by a caller
    (no processes of ours) is left alone."""
    stop_process(display.openbox)
    stop_process(display.xvfb)
    display.openbox = display.xvfb = None


# --- Wine prefixes -------------------------------------------------------------

TEMPLATE_MARK = "lumivo-template-1"

# What a Polish shop PC has and a fresh prefix lacks. Windows maps the
# central-European "Arial CE" face to Arial; Wine falls back to a monospaced
# face unless told.
TEMPLATE_REGISTRY = [
    ["HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
     "/v", "Arial CE", "/t", "REG_SZ", "/d", "Liberation Sans", "/f"],
]


def wine_variables(prefix):
    """What Wine needs besides DISPLAY to run the program in `prefix`."""
    return {
        "WINEPREFIX": os.path.abspath(prefix),
        "WINEDEBUG": "-all",
        # No Mono or Gecko installer while the prefix is made.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # A Polish Windows: ANSI code page 1250 for message boxes and titles.
        "LC_ALL": os.environ.get("LUMIVO_WINE_LOCALE") or "pl_PL.UTF-8",
    }


def wine_env(prefix, display):
    env = x_env(display)
    env.update(wine_variables(prefix))
    return env


def make_template_prefix(display, path):
    """A prefix for lumivo.exe, made once, then kept: tests copy it, the
    demo and ctest's Wine runner use it as it is.

    Safe when several scripts start at once: one makes it, the others wait
    on the lock."""
    path = os.path.abspath(path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # The mark records Wine's version: a prefix made by another Wine is
        # remade rather than upgraded in the middle of a test. A prefix
        # without it was left half made.
        version = run(["wine", "--version"]).stdout.decode().strip()
        mark = os.path.join(path, TEMPLATE_MARK)
        if os.path.exists(mark):
            with open(mark) as f:
                if f.read().strip() == version:
                    return path
        shutil.rmtree(path, ignore_errors=True)
        fill_prefix(path, display)
        with open(mark, "w") as f:
            f.write(version + "\n")
    return path


def fill_prefix(path, display):
    env = wine_env(path, display)
    # Nothing here browses the web: without Internet Explorer's registration
    # the prefix is made with one 32-bit process fewer, a minute under
    # emulation.
    env["WINEDLLOVERRIDES"] += ";iexplore.exe=d"
    try:
        run(["wineboot", "--init"], env=env, timeout=time_limit(180))
        for args in TEMPLATE_REGISTRY:
            run(["wine", "reg", "add"] + args, env=env, timeout=time_limit(60))
        run(["wineserver", "-w"], env=env, timeout=time_limit(120))
    finally:
        run(["wineserver", "-k"], env=env, check=False, timeout=time_limit(30))


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


def registry_value(prefix, key, name, hive="system.reg"):
    """A string or DWORD value as a prefix's registry file holds it (HKLM keys in
    system.reg, relative to HKLM), or None. Read from the file rather than by
    starting reg.exe, which costs a Wine process start: about a minute under
    emulation. Wine writes the file when its server ends (wineserver -w)."""
    with open(os.path.join(prefix, hive), encoding="utf-8", errors="surrogateescape") as f:
        text = f.read()
    escaped = key.replace("\\", "\\\\")
    section = re.search(r"^\[" + re.escape(escaped) + r"\][^\n]*\n(.*?)(?:\n\n|\Z)", text,
                        re.M | re.S | re.I)
    if not section:
        return None
    value = re.search(r'^"' + re.escape(name) + r'"=(?:"((?:[^"\\]|\\.)*)"|dword:([0-9a-f]+))',
                      section.group(1), re.M | re.I)
    if not value:
        return None
    if value.group(2) is not None:
        return int(value.group(2), 16)
    return re.sub(r"\\(.)", r"\1", value.group(1))


# --- command line, for the shell scripts (through tests/harness/wine-host.sh) ----------


def keep_display():
    """Starts a display, prints its name and keeps it until TERM, INT or HUP,
    or until the shell that started it is gone, then stops it: the shell
    owns one process and stops it by PID."""
    stopping = []
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, lambda *_: stopping.append(True))
    shell = os.getppid()
    display = start_display()
    try:
        print(display.name, flush=True)
        while not stopping and os.getppid() == shell:
            time.sleep(0.2)
    finally:
        stop_display(display)
    return 0


def watch_emulated(emulator):
    """Prints a line for each process that runs under `emulator` for a
    second or more (a 32-bit Wine process start under emulation takes about
    a minute), until TERM or INT, then their number. A process is told by its
    PID and start time: an exec inside it (Wine's loader starts its
    preloader) is the same start, and the short-lived forks that Wine makes
    to start a program do not count."""
    stopping = []
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: stopping.append(True))
    emulator = os.path.realpath(emulator)
    began = time.monotonic()
    first_seen = {}
    counted = set()
    while not stopping:
        now = time.monotonic()
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink(f"/proc/{entry}/exe") != emulator:
                    continue
                with open(f"/proc/{entry}/stat", "rb") as f:
                    key = (entry, f.read().rsplit(b")", 1)[1].split()[19])
                if key in counted or now - first_seen.setdefault(key, now) < 1:
                    continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    command = f.read().replace(b"\0", b" ").decode(errors="replace")
            except OSError:
                continue
            counted.add(key)
            print(f"  emulated from {first_seen[key] - began:4.0f} s: {command.strip()}",
                  flush=True)
        time.sleep(0.2)
    print(f"{len(counted)} emulated Wine process starts", flush=True)
    return 0


def main(argv):
    """usage: winebox.py display       start Xvfb with openbox, print ":N", keep
                                      it until TERM, then stop it
       winebox.py prefix PATH     make the prefix at PATH once, on $DISPLAY
       winebox.py env PATH        print the shell exports that run Wine in PATH
       winebox.py watch EMULATOR  print each process started under EMULATOR
                                  until TERM, then their number"""
    if argv == ["display"]:
        return keep_display()
    if len(argv) == 2 and argv[0] == "watch":
        return watch_emulated(argv[1])
    if len(argv) == 2 and argv[0] == "prefix":
        make_template_prefix(Display(name=os.environ["DISPLAY"]), argv[1])
        return 0
    if len(argv) == 2 and argv[0] == "env":
        for name, value in wine_variables(argv[1]).items():
            print(f"export {name}={shlex.quote(value)}")
        return 0
    print(main.__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
