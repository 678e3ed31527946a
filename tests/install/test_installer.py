"""The installer under Wine, around the Windows programs of this build:
silent installations with the settings switches and the kiosk option, the
program started from its shortcut's working folder, silent upgrades while a
checker runs (in its window, in its start-up box, or from another folder so
that a file stays held), the switches refused, the settings tool and the
kiosk's watchdog, every page of the interactive installer over a
full-screen checker, a signed installer, and a silent uninstallation.

Wine enforces no ACLs and has no logon, UAC or sessions; its schtasks
registers a task but cannot run one, and stores its settings without its
user, trigger or action. What the installer wrote is checked instead of its
effect: the shortcuts' targets and working folders, the commands it ran
(from Wine's process trace), the registry as written in the prefix's
system.reg, and the task's definition as the installer registered it (its
copy in the data folder) and as Wine stored it. A process killed from
outside reports exit code 0 to its parent under Wine, so a program that
ends with an error stands for a crashed checker.

usage: test_installer.py --programs lumivo.exe prchk.exe checker_server.exe
           lumivo-setup.exe lumivo-start.exe --version V --file-version W
           --arch x86|amd64 --template PREFIX [--setup SETUP.EXE]
With --setup the first installation is that installer's (a release's, which
must carry --programs); the upgrade is built around --programs all the same.
Runs in a private copy of the template Wine prefix, with winemenubuilder
off so that no desktop entries leak, on $LUMIVO_E2E_DISPLAY or a display of
its own. $LUMIVO_INSTALLER_SHOTS names a folder that keeps the pages'
screenshots.
"""

import argparse
import glob
import ntpath
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:0] = [os.path.join(SOURCE, "installer"), os.path.join(SOURCE, "tests", "harness")]
import checker_servers  # noqa: E402
import package  # noqa: E402
import program_session  # noqa: E402
import setup_dat  # noqa: E402
import winebox  # noqa: E402

ARGS = None
DATA_DIR = r"C:\ProgramData\lumivo"
PROGRAMS_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\lumivo"
TASK_FILE = r"C:\windows\system32\tasks\lumivo"
SERVICE_KEY = r"System\CurrentControlSet\Services\lumivo-serwer"
EXIT_WRONG_USE, EXIT_IN_USE = 2, 5


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


def text_file(path):
    """A text file in the encoding its byte-order mark names."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    return data.decode("utf-8-sig")


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = tempfile.mkdtemp(prefix="lumivo-installers-")
        cls.stage = os.path.join(cls.build, "stage")
        package.stage(cls.stage, ARGS.programs, ARGS.version, allow_missing_images=True)
        cls.first = ARGS.setup or cls.make_installer(ARGS.version, ARGS.file_version)
        major = int(ARGS.file_version.split(".")[0]) + 1
        cls.next_version = f"{major}.0.0"
        cls.second = cls.make_installer(cls.next_version, f"{major}.0.0.0")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.build, True)

    @classmethod
    def make_installer(cls, version, file_version, sign=None):
        out = os.path.join(cls.build, version, f"lumivo-{version}-setup.exe")
        os.makedirs(os.path.dirname(out), exist_ok=True)
        return package.build_installer(cls.stage, out, version, file_version, ARGS.arch, sign)

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

    # --- the prefix's files ----------------------------------------------------

    def unix(self, windows_path):
        assert windows_path[:3].upper() == "C:\\", windows_path
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def program_dir(self):
        folders = glob.glob(os.path.join(self.prefix, "drive_c", "Program Files*", "lumivo"))
        return folders[0] if folders else None

    def data(self, name=""):
        return os.path.join(self.unix(DATA_DIR), name)

    def install_log(self):
        return text_file(self.data("install.log"))

    def sixty_four_bit_prefix(self):
        return os.path.isdir(os.path.join(self.prefix, "drive_c", "windows", "syswow64"))

    def uninstall_value(self, name):
        """A value of the uninstall key, in the registry view the
        installer's bitness writes to, as system.reg holds it. Wine writes
        the registry out when its server ends: this ends every program of
        the prefix first."""
        winebox.run(["wineserver", "-k"], env=self.env, check=False)
        winebox.run(["wineserver", "-w"], env=self.env, check=False,
                    timeout=winebox.time_limit(60))
        view = "Wow6432Node\\" if ARGS.arch == "x86" and self.sixty_four_bit_prefix() else ""
        return winebox.registry_value(self.prefix, UNINSTALL_KEY.replace(
            "Software\\", "Software\\" + view, 1), name)

    def service_value(self, name):
        """A value of the checker server's service, once uninstall_value has
        had the registry written."""
        return winebox.registry_value(self.prefix, SERVICE_KEY, name)

    def settings(self):
        with open(self.data("setup.dat"), "rb") as f:
            return setup_dat.unpack_settings(f.read())

    # --- running Windows programs ----------------------------------------------

    def wine(self, *args, trace=False, timeout=120, cwd=None):
        """Runs a Windows program to its end: (exit code, output). Through
        a file, not a pipe: a checker that an installer starts inherits the
        output and would hold a pipe open."""
        env = dict(self.env, WINEDEBUG="+process") if trace else self.env
        with tempfile.TemporaryFile(dir=self.work) as output:
            result = subprocess.run(["wine", *args], env=env, stdout=output, stderr=output,
                                    timeout=winebox.time_limit(timeout), cwd=cwd)
            output.seek(0)
            return result.returncode, output.read().decode(errors="replace")

    def install(self, installer, *switches, expect=0, trace=False):
        code, output = self.wine(installer, "/S", *switches, trace=trace)
        self.assertEqual(code, expect, self.install_log() if os.path.exists(self.data(
            "install.log")) else output)
        return output

    def tool(self, *args):
        return self.wine(os.path.join(self.program_dir(), "lumivo-setup.exe"), *args)

    def start(self, program, folder, *args):
        """A Windows program left running, stopped by PID at the end."""
        os.makedirs(folder, exist_ok=True)
        running = subprocess.Popen(["wine", program, *args], cwd=folder, env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        self.addCleanup(winebox.stop_process, running)
        return running

    def windows(self, title):
        result = winebox.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                             env=winebox.x_env(self.display), check=False)
        return result.stdout.split()

    def wait_for(self, condition, what, timeout=30):
        deadline = time.monotonic() + winebox.time_limit(timeout)
        while not condition():
            self.assertLess(time.monotonic(), deadline, f"timed out waiting for {what}")
            time.sleep(0.2)

    def checker_processes(self):
        """PIDs of the Linux processes that run lumivo.exe in this prefix."""
        wanted = ("WINEPREFIX=" + self.prefix).encode()
        found = []
        for entry in filter(str.isdigit, os.listdir("/proc")):
            command = program_session.read_proc(f"/proc/{entry}/cmdline").lower()
            if b"lumivo.exe" in command and \
                    wanted in program_session.read_proc(f"/proc/{entry}/environ").split(b"\0"):
                found.append(int(entry))
        return found

    def commands(self, trace):
        """The command lines of the processes in Wine's +process trace
        (each more than once, with \\\\ and \\" escaped)."""
        quoted = re.findall(r'cmdline L"((?:[^"\\]|\\.)*)"', trace)
        return {re.sub(r"\\(.)", r"\1", text) for text in quoted}

    # --- the tests -------------------------------------------------------------

    def test_install_start_upgrade_uninstall(self):
        # Also the smoke run of the shop's 32-bit installer under emulation
        # (tools/smoke-shop-build.sh, with --setup).
        # The all-users Startup shortcut of 1.1.0's kiosk option: the task
        # replaces it.
        startup = self.unix(PROGRAMS_MENU + r"\StartUp\lumivo.lnk")
        os.makedirs(os.path.dirname(startup), exist_ok=True)
        open(startup, "wb").close()
        trace = self.install(self.first, "/AUTOSTART=SKLEP\\kasa", "/PORT=",
                             f"/STANDALONE={DATA_DIR}\\PRCHK.DAT", trace=True)
        program = self.check_installed(trace)
        running = self.start_from_shortcut(program)

        trace = self.install(self.second, "/SERVER=127.0.0.1", trace=True)
        self.assertEqual(running.wait(timeout=winebox.time_limit(30)), 0,
                         "the installer did not end the checker")
        self.assertEqual(self.settings(), dict(self.settings_before, standaloneMode=0,
                                               serverAddress="127.0.0.1"),
                         "the upgrade changed more than /SERVER")
        self.assertGreater(os.path.getmtime(self.data("setup.dat")), 1e9,
                           "the checker did not save setup.dat before the upgrade")
        self.assertEqual(self.uninstall_value("DisplayVersion"), self.next_version)
        self.assertEqual(self.uninstall_value("AutostartUser"), "SKLEP\\kasa")
        self.assertIsNone(self.service_value("Start"), "a service without /CHECKERSERVER")
        # The checker starts again through its task, as its user; Wine's
        # schtasks accepts the command but runs nothing.
        self.assertIn('"C:\\windows\\system32\\schtasks.exe" /Run /TN "lumivo"',
                      {c.replace("syswow64", "system32") for c in self.commands(trace)})

        uninstaller = ntpath.join(ntpath.dirname(program), "uninstall.exe")
        self.wine(uninstaller, "/S")
        # The uninstaller runs on from a copy of itself: wait for every process.
        winebox.run(["wineserver", "-w"], env=self.env, timeout=winebox.time_limit(90))
        self.assertIsNone(self.program_dir())
        self.assertFalse(os.path.exists(self.unix(PROGRAMS_MENU + r"\lumivo")))
        self.assertFalse(os.path.exists(self.unix(TASK_FILE)))
        self.assertIsNone(self.uninstall_value("DisplayName"))
        self.assertTrue(os.path.exists(self.data("setup.dat")), "setup.dat went with the program")
        leaked = glob.glob(os.path.expanduser("~/.local/share/applications/**/*lumivo*"),
                           recursive=True)
        self.assertEqual(leaked, [])

    def check_installed(self, trace):
        """The files, the shortcut, the settings the switches wrote, the
        icacls call and the task; returns the program's path."""
        program, folder = read_shell_link(self.unix(PROGRAMS_MENU + r"\lumivo\lumivo.lnk"))
        # A 32-bit installer on 64-bit Windows installs into "Program Files (x86)".
        programs = "Program Files (x86)" if (ARGS.arch == "x86" and self.sixty_four_bit_prefix()) \
            else "Program Files"
        self.assertEqual(program.lower(), f"C:\\{programs}\\lumivo\\lumivo.exe".lower())
        self.assertEqual(folder.lower(), DATA_DIR.lower())
        self.assertFalse(os.path.exists(self.unix(PROGRAMS_MENU + r"\StartUp\lumivo.lnk")))
        installed = sorted(os.listdir(self.program_dir()))
        self.assertEqual(installed, sorted(package.PROGRAMS + [package.GUIDE_HTML,
                                                               package.SAMPLE_LIST,
                                                               "uninstall.exe"]))
        for given in ARGS.programs:
            with open(given, "rb") as f, \
                    open(os.path.join(self.program_dir(), os.path.basename(given)), "rb") as ours:
                self.assertEqual(f.read(), ours.read(), os.path.basename(given))
        self.assertEqual(self.settings(), dict(
            setup_dat.unpack_settings(setup_dat.pack_settings(setup_dat.settings_fields())),
            portName="", priceFilePath=DATA_DIR + "\\PRCHK.DAT", standaloneMode=1,
            serverAddress=self.settings()["serverAddress"], weightPrefixes=["", "", ""],
            valuePrefixes=["", "", ""]))
        commands = {c.replace("syswow64", "system32") for c in self.commands(trace)}
        self.assertIn(f'"C:\\windows\\system32\\icacls.exe" "{DATA_DIR}" '
                      "/grant *S-1-5-32-545:(OI)(CI)M /T", commands)
        self.check_task(program, "SKLEP\\kasa")
        log = self.install_log()
        for line in ("początek instalacji", "Zapisano plik setup.dat", "Zarejestrowano zadanie",
                     "koniec instalacji"):
            self.assertIn(line, log)
        return program

    def check_task(self, program, user):
        """The task as registered: the watchdog in the data folder, as the
        kiosk's user, un-elevated in that user's session, at its logon, never
        stopped for running long."""
        self.assertIn("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
                      text_file(self.unix(TASK_FILE)))  # what Wine keeps of it
        task = text_file(self.data("lumivo-task.xml"))
        starter = ntpath.join(ntpath.dirname(program), "lumivo-start.exe")
        for part in (f"<Command>\"{starter}\"</Command>",
                     f"<Arguments>/FOLDER=\"{DATA_DIR}\" /LOG=\"{DATA_DIR}\\lumivo-start.log\""
                     "</Arguments>",
                     f"<WorkingDirectory>{DATA_DIR}</WorkingDirectory>",
                     f"<LogonTrigger>", f"<UserId>{user}</UserId>",
                     "<LogonType>InteractiveToken</LogonType>",
                     "<RunLevel>LeastPrivilege</RunLevel>",
                     "<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"):
            self.assertIn(part, task.replace("\r\n", "\n").replace("\n    ", "").replace(
                "\n  ", ""))

    def start_from_shortcut(self, program):
        """A price file in the data folder, then the program in the
        shortcut's working folder. The settings name no scanner port, so no
        message box holds the start."""
        with open(self.data("PRCHK.DAT"), "wb") as f:
            f.write(b"\x01" * 194)
        self.settings_before = self.settings()
        # An old time: a save by the program at its orderly end shows.
        os.utime(self.data("setup.dat"), (1e9, 1e9))
        running = self.start(program, self.data())
        self.wait_for(lambda: self.windows("lumivo"), "the checker's window")
        return running

    # A checker still in its start-up "Brak pliku" box has no window and
    # does not hear its end event: the upgrade ends it by its process id.
    def test_silent_upgrade_ends_a_checker_in_its_start_up_box(self):
        self.install(self.first, "/PORT=", "/STANDALONE=C:\\brak\\PRCHK.DAT")
        program = os.path.join(self.program_dir(), "lumivo.exe")
        running = self.start(program, self.data())
        self.wait_for(lambda: self.windows("Uwaga"), "the \"Brak pliku\" box")
        before = os.path.getmtime(program)
        self.install(self.second)
        self.assertIsNotNone(running.poll(), "the checker in its box still runs")
        self.assertEqual(self.checker_processes(), [])
        self.assertEqual(self.uninstall_value("DisplayVersion"), self.next_version)
        self.assertGreater(os.path.getmtime(program), before, "lumivo.exe was not replaced")
        self.assertIn("nie zamknęła się na prośbę: zakończono jej proces", self.install_log())

    # A checker of another folder holds lumivo.exe: the silent upgrade
    # fails with its exit code and says why, and changes no file.
    def test_a_held_file_fails_the_upgrade_and_keeps_the_old_program(self):
        self.install(self.first, "/PORT=")
        program = os.path.join(self.program_dir(), "lumivo.exe")
        holder = self.start(program, os.path.join(self.work, "other"))
        self.wait_for(lambda: self.windows("lumivo"), "the other folder's checker")
        stamps = {name: os.path.getmtime(os.path.join(self.program_dir(), name))
                  for name in os.listdir(self.program_dir())}
        self.install(self.second, expect=EXIT_IN_USE)
        self.assertIsNone(holder.poll(), "the other folder's checker was ended")
        self.assertEqual({name: os.path.getmtime(os.path.join(self.program_dir(), name))
                          for name in os.listdir(self.program_dir())}, stamps)
        self.assertEqual(self.uninstall_value("DisplayVersion"), ARGS.version)
        log = self.install_log()
        self.assertRegex(log, r"Nie można zastąpić pliku C:\\Program Files[^\\]*\\lumivo\\"
                              r"lumivo\.exe \(błąd 32\)")
        self.assertIn(f"BŁĄD (kod {EXIT_IN_USE})", log)

    # Wrong switches are refused before anything changes.
    def test_wrong_switches_are_refused(self):
        for switches in (["/SERVER=10.0.0.5", "/STANDALONE=C:\\Ceny\\PRCHK.DAT"],
                         ["/SEVRER=10.0.0.5"],
                         ["/BAUD=szybko"]):
            self.install(self.first, *switches, expect=EXIT_WRONG_USE)
            self.assertIsNone(self.program_dir(), switches)
            self.assertIsNone(self.uninstall_value("DisplayName"))
            self.assertFalse(os.path.exists(self.data("setup.dat")))
        self.assertEqual(self.install_log().count(f"BŁĄD (kod {EXIT_WRONG_USE})"), 3)

    # The checker server's component. Wine stores no recovery actions and
    # has no firewall: the commands' exit codes in install.log stand for them.
    def test_checker_server_service(self):
        os.makedirs(self.data())
        shutil.copy(os.path.join(SOURCE, "tools", "demo", "demo_items.csv"), self.data("cennik.csv"))
        self.install(self.first, f"/CHECKERSERVER={DATA_DIR}\\cennik.csv",
                     "/CHECKERSERVERWEIGHT=21,27", "/CHECKERSERVERVALUE=22",
                     "/CHECKERSERVERITEMCODE=7")
        self.assertEqual(self.uninstall_value("CheckerServerList"), DATA_DIR + "\\cennik.csv")
        program = ntpath.join("C:\\", os.path.relpath(self.program_dir(), self.unix("C:\\")))
        self.assertEqual(self.service_value("ImagePath"),
                         f'"{program}\\checker_server.exe" --service --csv "{DATA_DIR}\\cennik.csv" '
                         f'--setup "{DATA_DIR}\\serwer-setup.dat"'.replace("/", "\\"))
        self.assertEqual(self.service_value("Start"), 2)
        self.assertIn("sc.exe\" failure lumivo-serwer reset= 86400 actions= "
                      "restart/5000/restart/5000/restart/60000: kod wyjścia 0", self.install_log())

        # Wine starts the auto service with its server; the upgrade stops
        # it before the files and starts it again, changing one prefix.
        self.install(self.second, "/CHECKERSERVERVALUE=23")
        with open(self.data("serwer-setup.dat"), "rb") as f:
            record = setup_dat.unpack_settings(f.read())
        self.assertEqual((record["weightPrefixes"], record["valuePrefixes"], record["shortItemCode"]),
                         (["21", "27", ""], ["23", "", ""], 0))
        self.assertIn("sc.exe\" stop lumivo-serwer: kod wyjścia 0", self.install_log())
        line2 = self.ask_server("2100012012348")[25:45].decode("cp852")
        self.assertRegex(line2, r"^Cena: +49\.35 *$")

        self.wine(ntpath.join(program, "uninstall.exe"), "/S")
        winebox.run(["wineserver", "-w"], env=self.env, timeout=winebox.time_limit(90))
        self.assertIsNone(self.service_value("Start"))
        self.assertTrue(os.path.exists(self.data("serwer-setup.dat")))

    def ask_server(self, code):
        """The server's answer on the loopback port the checkers ask."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
            sock.settimeout(1)
            deadline = time.monotonic() + winebox.time_limit(30)
            while True:
                sock.sendto(checker_servers.request_bytes(1, code), ("127.0.0.1", 1001))
                try:
                    return sock.recv(100)
                except OSError:
                    self.assertLess(time.monotonic(), deadline, "no answer from the service")

    # The settings tool as a technician uses it, against the checker server
    # that ships, serving the sample list that ships. On 127.0.0.1: under
    # Wine a server bound to another loopback address answers from 127.0.0.1,
    # which the checker does not take for its server's answer.
    def test_settings_tool_show_set_check(self):
        self.install(self.first, "/SERVER=127.0.0.1", "/PORT=")
        server = self.start(os.path.join(self.program_dir(), "checker_server.exe"),
                            self.program_dir(), "--csv", "przyklad.csv", "--address", "127.0.0.1")
        folder = f"/FOLDER={DATA_DIR}"
        answers = []
        self.wait_for(lambda: answers.append(self.tool("check", folder, "/CODE=5901234000017"))
                      or answers[-1][0] == 0, "the server's answer")
        self.assertIn("„Chleb żytni razowy 5”, Cena: 6.49", answers[-1][1])
        winebox.stop_process(server)
        code, output = self.tool("show", folder)
        self.assertEqual(code, 0, output)
        self.assertIn("Adres IP serwera: 127.0.0.1", output)
        running = self.start(os.path.join(self.program_dir(), "lumivo.exe"), self.data())
        self.wait_for(lambda: self.windows("lumivo"), "the checker's window")
        self.assertEqual(self.tool("set", folder, "/FULLSCREEN=1")[0], 4)
        code, output = self.tool("stop", folder)
        self.assertEqual((code, running.wait(timeout=winebox.time_limit(20))), (0, 0), output)
        self.assertEqual(self.tool("set", folder, "/FULLSCREEN=1")[0], 0)
        self.assertEqual(self.settings()["fullScreen"], 1)

    # The kiosk's watchdog: a program that keeps ending with an error is
    # started again after growing pauses until the watchdog is stopped; the
    # checker ended with "Koniec" is let go.
    def test_watchdog_restarts_after_errors_and_stops_on_koniec(self):
        self.install(self.first, "/PORT=", "/SERVER=127.0.0.1")
        starter = os.path.join(self.program_dir(), "lumivo-start.exe")
        folder, log = f"/FOLDER={DATA_DIR}", f"/LOG={DATA_DIR}\\lumivo-start.log"
        # prchk.exe without arguments ends at once with exit code 2.
        stand_in = ntpath.join(self.uninstall_value("InstallLocation"), "prchk.exe")
        failing = self.start(starter, self.data(), folder, log, f"/PROGRAM={stand_in}")
        self.wait_for(lambda: os.path.exists(self.data("lumivo-start.log")) and
                      "za 4 s" in text_file(self.data("lumivo-start.log")), "three failed starts")
        self.assertEqual(self.tool("stop", folder)[0], 0)
        self.assertEqual(failing.wait(timeout=winebox.time_limit(20)), 0)
        text = text_file(self.data("lumivo-start.log"))
        for pause in (1, 2, 4):
            self.assertIn(f"z kodem 2 (0x00000002): ponowne uruchomienie za {pause} s", text)
        self.assertIn("zakończony na żądanie", text)

        watchdog = self.start(starter, self.data(), folder, log)
        self.wait_for(lambda: self.windows("lumivo"), "the checker's window")
        session = program_session.Session(self.display, self.work, self.prefix, self.data(),
                                          self.env)
        program_session.press(session, "alt+k", window=self.windows("lumivo")[-1])
        self.assertEqual(watchdog.wait(timeout=winebox.time_limit(20)), 0)
        self.assertIn("(Koniec, kod 0): koniec nadzoru", text_file(self.data("lumivo-start.log")))

    # Every page of the interactive installer, opened while a full-screen
    # checker runs: the checker is ended before the first page, so each
    # page is in sight; the screenshots are kept for a person to look at.
    def test_every_page_over_a_full_screen_checker(self):
        os.makedirs(self.data())
        setup_dat.write_setup(self.data(), setup_dat.settings_fields(
            standaloneMode=0, fullScreen=1, portName=""))
        build_program = os.path.join(self.stage, "lumivo.exe")
        checker = self.start(build_program, self.data())
        self.wait_for(lambda: self.windows("lumivo"), "the full-screen checker")
        installer = self.start(self.first, self.work)
        session = program_session.Session(self.display, self.work, self.prefix, self.data(),
                                          self.env)
        shots = os.environ.get("LUMIVO_INSTALLER_SHOTS") or os.path.join(self.work, "shots")
        os.makedirs(shots, exist_ok=True)
        # The pages between the first and the last add a blank to the title.
        title = re.escape(f"Instalator lumivo {ARGS.version}") + " ?"
        for page, keys in (("1-powitanie", ["Return"]), ("2-skladniki", ["Return"]),
                           ("3-folder", ["Return"]), ("4-instalacja", ["Return"]),
                           ("5-zakonczenie", ["Return"])):
            time.sleep(1)
            self.wait_for(lambda: self.windows(title), f"the page {page}", timeout=60)
            window = self.windows(title)[-1]
            if page == "4-instalacja":
                time.sleep(8)  # until the copying has ended and "Dalej" is enabled
            self.assertIsNotNone(checker.poll(), f"the checker still runs under {page}")
            program_session.screenshot(session, os.path.join(shots, page + ".png"), window)
            program_session.press(session, *keys, window=window)
        self.assertEqual(installer.wait(timeout=winebox.time_limit(30)), 0)

    # Signing: the installer and the uninstaller it writes carry their
    # signatures; a certificate named by a relative path fails the build.
    def test_signed_installer_and_uninstaller(self):
        key, cert, pfx = (os.path.join(self.work, name) for name in ("k.pem", "c.pem", "t.pfx"))
        winebox.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                     "-out", cert, "-days", "2", "-subj", "/CN=lumivo test"])
        winebox.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                     "-passout", "pass:test"])
        sign = os.path.join(SOURCE, "installer", "sign.sh")
        os.environ.update(LUMIVO_SIGN_PASSWORD="test", LUMIVO_SIGN_CAFILE=cert,
                          LUMIVO_SIGN_PFX="t.pfx")
        self.addCleanup(lambda: [os.environ.pop(name, None) for name in (
            "LUMIVO_SIGN_PASSWORD", "LUMIVO_SIGN_CAFILE", "LUMIVO_SIGN_PFX")])
        with self.assertRaises(SystemExit):
            self.make_installer("9.9.9", "9.9.9.0", sign=sign)
        os.environ["LUMIVO_SIGN_PFX"] = pfx
        signed = self.make_installer("9.9.9", "9.9.9.0", sign=sign)
        winebox.run([sign, "--verify", signed])
        self.install(signed, "/PORT=")
        winebox.run([sign, "--verify", os.path.join(self.program_dir(), "uninstall.exe")])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--programs", nargs=len(package.PROGRAMS), required=True)
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
