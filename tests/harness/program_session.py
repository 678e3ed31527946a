"""One run of the real lumivo.exe under Wine on a virtual display: its own
copy of a template prefix and its own working folder, its windows, keys typed
into them with xdotool, and screenshots. Everything the run started is
stopped by PID when it ends.

Standard library only, plus xdotool, xwininfo and ImageMagick's import.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

from winebox import Display, copy_prefix, run, stop_process, time_limit, wine_env


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


def start_program(session, exe, args=()):
    """lumivo.exe (or a bench program with its `args`) under Wine, working
    directory = the session's working folder."""
    session.program = subprocess.Popen(
        ["wine", os.path.abspath(exe)] + list(args), cwd=session.workdir, env=session.env,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    return session.program


def start_another(session, exe, workdir):
    """One more lumivo.exe in the session's prefix, in `workdir`; the caller
    waits for it or stops it (stop_session ends it with the prefix)."""
    return subprocess.Popen(
        ["wine", os.path.abspath(exe)], cwd=workdir, env=session.env,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)


def active_window(session):
    """The X window id that has the focus now, as xdotool names windows."""
    return xdotool(session, "getactivewindow", check=False).stdout.decode().strip()


def stop_session(session, keep_shots_in=None):
    """Ends everything the session started and deletes its folders."""
    try:
        if session.program is not None and session.program.poll() is None:
            run(["wineserver", "-k"], env=session.env, check=False, timeout=time_limit(30))
            try:
                session.program.wait(timeout=time_limit(10))
            except subprocess.TimeoutExpired:
                session.program.kill()
                session.program.wait()
        # The prefix's server and its helper processes (explorer, services).
        run(["wineserver", "-k"], env=session.env, check=False, timeout=time_limit(30))
        run(["wineserver", "-w"], env=session.env, check=False, timeout=time_limit(30))
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
        return session.program.wait(timeout=time_limit(timeout))
    except subprocess.TimeoutExpired:
        return None


# --- windows and keys ------------------------------------------------------------


def xdotool(session, *args, timeout=30, check=True):
    return run(["xdotool"] + list(args), env=session.env, timeout=timeout, check=check)


def find_window(session, title, timeout=30):
    """The id of a visible window whose title is exactly `title`, or None.
    Every wait for a window of the program goes through here (or
    wait_window_gone): the time limit grows with emulation."""
    deadline = time.monotonic() + time_limit(timeout)
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


def window_absent(session, title, seconds):
    """True when no visible window of that title shows up for `seconds`."""
    return find_window(session, title, timeout=seconds) is None


def count_windows(session, title):
    found = xdotool(session, "search", "--onlyvisible", "--name", f"^{re.escape(title)}$",
                    check=False)
    return len(found.stdout.split())


def wait_window_gone(session, window, timeout=10):
    """True once the window is no longer visible."""
    deadline = time.monotonic() + time_limit(timeout)
    while time.monotonic() < deadline:
        result = run(["xwininfo", "-id", window], env=session.env, check=False)
        if result.returncode != 0 or b"IsViewable" not in result.stdout:
            return True
        time.sleep(0.1)
    return False


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


def open_config_dialog(session):
    """Escape typed in the main window; returns the dialog's window id."""
    press(session, "Escape")
    dialog = find_window(session, "Konfiguracja", timeout=15)
    if dialog is None:
        raise AssertionError("Escape opened no \"Konfiguracja\" dialog")
    time.sleep(0.5)
    return dialog


def set_port_and_confirm(session, dialog, port_name):
    """Replaces the port field (which has the focus when the dialog opens)
    and presses Enter, which is the dialog's default button, OK."""
    activate(session, dialog)
    xdotool(session, "key", "End", "shift+Home", "BackSpace")
    if port_name:
        xdotool(session, "type", "--delay", "40", port_name)
    xdotool(session, "key", "Return")


# --- screenshots ------------------------------------------------------------------


def window_geometry(session, window):
    """Absolute x, y, width, height of an X window."""
    info = run(["xwininfo", "-id", window], env=session.env).stdout.decode()

    def value(label):
        return int(re.search(label + r":\s+(-?\d+)", info).group(1))

    return (value("Absolute upper-left X"), value("Absolute upper-left Y"),
            value("Width"), value("Height"))


def screenshot(session, path, window=None, full_screen=False):
    """The window as it shows on screen. Grabbing the window itself misses
    Wine's child controls, so grab the root and crop to the window.

    full_screen: the whole screen instead. A full-screen window reaches past
    the screen's edges (caption and borders lie outside), so its client area
    is the screen."""
    crop = []
    if not full_screen:
        x, y, w, h = window_geometry(session, window or session.window)
        crop = ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    run(["import", "-window", "root"] + crop + [path], env=session.env)
    session.shots.append(path)
    return path


# --- the programs' processes under Wine ----------------------------------------------


def read_proc(path):
    """A file of /proc, or b"" once the process has gone."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def _in_session(entry, session):
    wanted = ("WINEPREFIX=" + session.prefix).encode()
    return wanted in read_proc(f"/proc/{entry}/environ").split(b"\0")


def windows_process(session, exe_name="lumivo.exe", timeout=10):
    """The PID of the Linux process that runs `exe_name` in the session's
    prefix: Wine runs it apart from the launcher that start_program made."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for entry in filter(str.isdigit, os.listdir("/proc")):
            if exe_name.lower().encode() in read_proc(f"/proc/{entry}/cmdline").lower() and \
                    _in_session(entry, session):
                return int(entry)
        time.sleep(0.05)
    raise RuntimeError(f"no process runs {exe_name}")


def wineserver_process(session):
    """The PID of the session's wineserver, which keeps the windows'
    message queues."""
    for entry in filter(str.isdigit, os.listdir("/proc")):
        if read_proc(f"/proc/{entry}/comm").startswith(b"wineserver") and \
                _in_session(entry, session):
            return int(entry)
    raise RuntimeError("no wineserver runs for the session's prefix")


def cpu_seconds(pid):
    """User and system time of a process so far (utime + stime)."""
    text = read_proc(f"/proc/{pid}/stat").decode()
    fields = text[text.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_kb(pid, field="VmRSS"):
    """A memory figure of /proc/PID/status in KiB: VmRSS, the resident
    memory now, or VmHWM, its peak."""
    for line in read_proc(f"/proc/{pid}/status").decode().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(f"no {field} for process {pid}")
