"""The installer under Wine, around the Windows programs of this build: a
silent installation with the logon option, the program started from its
shortcut's working folder and ended from its menu, a silent upgrade to a
higher version, and a silent uninstallation; apart, an upgrade while the
program runs, which closes it and starts it again.

Wine enforces no ACLs and has no logon, so what the installer wrote is
checked instead of its effect: the shortcuts' targets and working folders,
and the icacls command it ran (from Wine's process trace).

usage: test_installer.py --programs lumivo.exe prchk.exe checker_server.exe
           --version V --file-version W --arch x86|amd64 --template PREFIX
           [--setup SETUP.EXE]
With --setup the first installation is that installer's (a release's, which
must carry --programs); the upgrade is built around --programs all the same.
Runs in a private copy of the template Wine prefix, with winemenubuilder
off so that no desktop entries leak, on $LUMIVO_E2E_DISPLAY or a display of
its own.
"""

import argparse
import glob
import ntpath
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:0] = [os.path.join(SOURCE, "installer"), os.path.join(SOURCE, "tests", "harness")]
import package  # noqa: E402
import setup_dat  # noqa: E402
import winebox  # noqa: E402

ARGS = None
DATA_DIR = r"C:\ProgramData\lumivo"
PROGRAMS_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\lumivo"


def read_shell_link(path):
    """(target, working folder) of a .lnk file, from its LinkInfo and its
    string data (the layout of Microsoft's shell link format)."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    if flags & 0x01:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = None
    if flags & 0x02:  # HasLinkInfo: LocalBasePath, a zero-ended ANSI text
        size, _, info_flags, _, base = struct.unpack_from("<IIIII", data, pos)
        if info_flags & 0x01:
            target = data[pos + base:data.index(b"\0", pos + base)].decode("cp1252")
        pos += size
    texts = []
    unicode = flags & 0x80
    for bit in (0x04, 0x08, 0x10):  # name, relative path, working folder
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            width = 2 if unicode else 1
            raw = data[pos + 2:pos + 2 + count * width]
            # Wine counts a terminating zero, Windows does not.
            texts.append(raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0"))
            pos += 2 + count * width
        else:
            texts.append(None)
    return target, texts[2]


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="lumivo-install-")
        self.addCleanup(shutil.rmtree, self.work, True)
        given = os.environ.get("LUMIVO_E2E_DISPLAY")
        self.display = winebox.Display(name=given) if given else winebox.start_display()
        self.addCleanup(winebox.stop_display, self.display)
        template = winebox.make_template_prefix(self.display, ARGS.template)
        self.prefix = winebox.copy_prefix(template, os.path.join(self.work, "prefix"))
        self.env = winebox.wine_env(self.prefix, self.display)
        self.env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
        self.addCleanup(winebox.run, ["wineserver", "-k"], env=self.env, check=False)

    def unix(self, windows_path):
        assert windows_path[:3].upper() == "C:\\", windows_path
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def wine(self, *args, trace=False, timeout=120):
        """Runs a Windows program to its end and returns its output. Through a
        file, not a pipe: the checker that an installer starts again inherits
        the output and would hold a pipe open."""
        env = dict(self.env, WINEDEBUG="+process") if trace else self.env
        with tempfile.TemporaryFile(dir=self.work) as output:
            subprocess.run(["wine", *args], env=env, stdout=output, stderr=output,
                           timeout=winebox.time_limit(timeout), check=True)
            output.seek(0)
            return output.read().decode(errors="replace")

    def make_installer(self, version, file_version):
        out = os.path.join(self.work, f"lumivo-{version}-setup.exe")
        return package.build_installer(self.stage, out, version, file_version, ARGS.arch)

    def checker_windows(self):
        result = winebox.run(["xdotool", "search", "--name", "^lumivo$"],
                             env=winebox.x_env(self.display), check=False)
        return result.stdout.split()

    def wait_for(self, condition, what, timeout=30):
        deadline = time.monotonic() + winebox.time_limit(timeout)
        while not condition():
            self.assertLess(time.monotonic(), deadline, f"timed out waiting for {what}")
            time.sleep(0.2)

    def installers(self):
        """The installer under test (the release's, when given) and a second
        one, of a higher version, around the same programs."""
        self.stage = os.path.join(self.work, "stage")
        package.stage(self.stage, ARGS.programs, ARGS.version, allow_missing_images=True)
        first = ARGS.setup or self.make_installer(ARGS.version, ARGS.file_version)
        major = int(ARGS.file_version.split(".")[0]) + 1
        return first, self.make_installer(f"{major}.0.0", f"{major}.0.0.0"), f"{major}.0.0"

    def test_install_start_upgrade_uninstall(self):
        # Also the smoke run of the shop's 32-bit installer under emulation
        # (tools/smoke-shop-build.sh): seven Wine process starts in all.
        first, second, upgrade_version = self.installers()
        trace = self.wine(first, "/S", "/AUTOSTART", trace=True)
        program = self.check_installed(trace)
        running = self.start_from_shortcut(program)
        self.assertEqual(self.end_from_menu(running), 0, "exit code")
        self.check_settings_kept("orderly end")

        self.wine(second, "/S")
        winebox.run(["wineserver", "-w"], env=self.env, timeout=winebox.time_limit(90))
        self.check_settings_kept("upgrade")
        self.assertTrue(os.path.exists(self.unix(PROGRAMS_MENU + r"\StartUp\lumivo.lnk")),
                        "the upgrade dropped the logon option")
        self.assertEqual(self.uninstall_entry("DisplayVersion"), upgrade_version)

        uninstaller = ntpath.join(ntpath.dirname(program), "uninstall.exe")
        self.wine(uninstaller, "/S")
        # The uninstaller runs on from a copy of itself: wait for every process.
        winebox.run(["wineserver", "-w"], env=self.env, timeout=winebox.time_limit(90))
        self.assertFalse(os.path.exists(self.unix(ntpath.dirname(program))))
        self.assertFalse(os.path.exists(self.unix(PROGRAMS_MENU + r"\lumivo")))
        self.assertFalse(os.path.exists(self.unix(PROGRAMS_MENU + r"\StartUp\lumivo.lnk")))
        self.assertIsNone(self.uninstall_entry("DisplayName"))
        self.check_settings_kept("uninstallation")
        leaked = glob.glob(os.path.expanduser("~/.local/share/applications/**/*lumivo*"),
                           recursive=True)
        self.assertEqual(leaked, [])

    def test_upgrade_closes_a_running_checker_and_starts_it_again(self):
        first, second, _ = self.installers()
        self.wine(first, "/S", "/AUTOSTART")
        running = self.start_from_shortcut(self.check_installed(None))
        self.wine(second, "/S")
        self.assertEqual(running.wait(timeout=winebox.time_limit(30)), 0,
                         "the installer did not close the checker")
        self.check_settings_kept("upgrade")
        self.wait_for(self.checker_windows, "the checker to run again after the upgrade")

    def sixty_four_bit_prefix(self):
        return os.path.isdir(os.path.join(self.prefix, "drive_c", "windows", "syswow64"))

    def uninstall_entry(self, name):
        """A value of the uninstall entry, in the registry view the
        installer's bitness writes to."""
        view = "Software\\Wow6432Node\\" if (ARGS.arch == "x86" and self.sixty_four_bit_prefix()) \
            else "Software\\"
        return winebox.registry_value(self.prefix, UNINSTALL_KEY.replace("HKLM\\Software\\", view),
                                      name)

    def end_from_menu(self, running):
        """"Koniec" in the checker's menu bar (Alt+K); its exit code. Pressed
        again while it runs: under emulation the window shows well before
        the program reads its keys, and a key may be lost."""
        env = winebox.x_env(self.display)
        for _ in range(10):
            found = winebox.run(["xdotool", "search", "--onlyvisible", "--name", "^lumivo$"],
                                env=env, check=False).stdout.split()
            if found:
                winebox.run(["xdotool", "windowactivate", "--sync", found[-1]], env=env)
                winebox.run(["xdotool", "key", "alt+k"], env=env)
            try:
                return running.wait(timeout=winebox.time_limit(3))
            except subprocess.TimeoutExpired:
                pass
        return None

    def check_installed(self, trace):
        """The files (the programs as given), both shortcuts and the icacls
        call (when traced); returns the program's path from the Start-menu
        shortcut. A 32-bit installer on 64-bit Windows installs into
        "Program Files (x86)"."""
        program, folder = read_shell_link(self.unix(PROGRAMS_MENU + r"\lumivo\lumivo.lnk"))
        programs = "Program Files (x86)" if (ARGS.arch == "x86" and self.sixty_four_bit_prefix()) \
            else "Program Files"
        self.assertEqual(program.lower(), f"C:\\{programs}\\lumivo\\lumivo.exe".lower())
        self.assertEqual(folder.lower(), DATA_DIR.lower())
        self.assertEqual(read_shell_link(self.unix(PROGRAMS_MENU + r"\StartUp\lumivo.lnk")),
                         (program, folder))
        for name in package.PROGRAMS + [package.GUIDE_HTML, "uninstall.exe"]:
            self.assertTrue(os.path.isfile(self.unix(ntpath.join(ntpath.dirname(program), name))),
                            name)
        for given in ARGS.programs:
            with open(given, "rb") as f, \
                    open(self.unix(ntpath.join(ntpath.dirname(program),
                                               os.path.basename(given))), "rb") as installed:
                self.assertEqual(f.read(), installed.read(), os.path.basename(given))
        if trace is None:
            return program
        # Wine traces each new process's command line (more than once), with
        # \\ and \" escaped.
        quoted = re.findall(r'cmdline L"((?:[^"\\]|\\.)*)"', trace)
        commands = {re.sub(r"\\(.)", r"\1", text) for text in quoted}
        icacls = [c for c in commands if re.match(r'(?i)"[^"]*\\icacls\.exe" ', c)]
        self.assertEqual(icacls, [f'"C:\\windows\\system32\\icacls.exe" "{DATA_DIR}" '
                                  "/grant *S-1-5-32-545:(OI)(CI)M /T"])
        return program

    def start_from_shortcut(self, program):
        """The shop's settings and a price file in the data folder, then the
        program in the shortcut's working folder. The settings name no
        scanner port, so no message box holds the start."""
        data = self.unix(DATA_DIR)
        self.settings_bytes = setup_dat.write_setup(
            data, setup_dat.settings_fields(standaloneMode=0, serverAddress="127.0.0.1"))
        with open(os.path.join(data, "PRCHK.DAT"), "wb") as f:
            f.write(b"\x01" * 194)
        # An old time: a save by the program at its orderly end shows.
        os.utime(os.path.join(data, "setup.dat"), (1e9, 1e9))
        # Wine runs the program in a process of its own: its window tells
        # that it started.
        running = subprocess.Popen(["wine", program], cwd=data, env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(winebox.stop_process, running)
        self.wait_for(self.checker_windows, "the checker's window")
        return running

    def check_settings_kept(self, step):
        data = self.unix(DATA_DIR)
        with open(os.path.join(data, "setup.dat"), "rb") as f:
            self.assertEqual(f.read(), self.settings_bytes, f"setup.dat after the {step}")
        self.assertGreater(os.path.getmtime(os.path.join(data, "setup.dat")), 1e9,
                           f"the checker did not save setup.dat before the {step}")
        self.assertEqual(os.path.getsize(os.path.join(data, "PRCHK.DAT")), 194)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--programs", nargs=3, required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--file-version", required=True)
    parser.add_argument("--arch", choices=["x86", "amd64"], required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--setup", help="the installer to test, e.g. a release's; "
                        "else one is built around --programs")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
