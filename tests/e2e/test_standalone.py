"""The real lumivo.exe in standalone mode, under Wine on a virtual display.

Codes are typed with xdotool as a cashier would type them; what the customer
sees is read off a screenshot with tesseract and compared with the price
list: names within a letter or two of OCR slips, every digit of a price and a
total exactly.
"""

import os
import shutil
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "harness")]
import checker_servers as servers  # noqa: E402
import program_case  # noqa: E402
import program_session as program  # noqa: E402
import screen_reading as screen  # noqa: E402
import setup_dat  # noqa: E402
import virtual_serial  # noqa: E402
import winebox  # noqa: E402
from program_case import ProgramCase  # noqa: E402

PRICE_LIST = """\
code,name,price,gross2,net1,net2,unit
5900001000011,Masło ekstra 200 g,12.50,0,0,0,szt
5900001000028,Chleb żytni razowy 500 g,4.99,0,0,0,szt
5901234123457,Czekolada gorzka 70% kakao z całymi orzechami laskowymi 100 g,8.79,0,0,0,szt
2100042,Schab wieprzowy bez kości,21.99,0,0,0,kg
2200077,Ser żółty Gouda w plastrach,39.90,0,0,0,kg
"""
BUTTER = ("5900001000011", "Masło ekstra 200 g", "12.50")
BREAD = ("5900001000028", "Chleb żytni razowy 500 g", "4.99")
CHOCOLATE = ("5901234123457",
             "Czekolada gorzka 70% kakao z całymi orzechami laskowymi 100 g", "8.79")


# How long prchk.exe rebuilds the price file under steady scans.
REBUILD_SECONDS = 20


def with_check_digit(data):
    """The GS1 check digit appended to 12 data digits."""
    odd = sum(int(d) for d in data[-1::-2])
    even = sum(int(d) for d in data[-2::-2])
    return data + str((10 - (odd * 3 + even) % 10) % 10)


def is_local_address(address):
    """True for an IPv4 address of this machine: one a socket can bind to."""
    try:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            probe.bind((address, 0))
        return True
    except OSError:
        return False


class StandaloneScreen(ProgramCase):
    price_file = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.price_file = cls.build_price_file(PRICE_LIST, "PRCHK.DAT")

    @classmethod
    def build_price_file(cls, price_list, name):
        csv_path = os.path.join(cls.folder, "items.csv")
        with open(csv_path, "w", encoding="utf-8") as f:
            f.write(price_list)
        path = os.path.join(cls.folder, name)
        winebox.run([program_case.ARGS.prchk, "build", csv_path, path])
        return path

    def standalone_setup(self, **overrides):
        """setup.dat for standalone mode with the test price list."""
        price_file = os.path.join(self.session.workdir, "PRCHK.DAT")
        shutil.copy(self.price_file, price_file)
        fields = setup_dat.settings_fields(priceFilePath=setup_dat.windows_path(price_file),
                                           **overrides)
        return setup_dat.write_setup(self.session.workdir, fields)

    def build_with_windows_prchk(self):
        """PRCHK.DAT in the working folder, built and verified by the Windows
        prchk.exe: byte for byte what the native prchk makes of the same list."""
        with open(os.path.join(self.session.workdir, "items.csv"), "w", encoding="utf-8") as f:
            f.write(PRICE_LIST)
        for args in (["build", "items.csv", "PRCHK.DAT"], ["verify", "PRCHK.DAT"]):
            result = winebox.run(["wine", program_case.ARGS.windows_prchk] + args,
                                 env=self.session.env, cwd=self.session.workdir, check=False,
                                 timeout=winebox.time_limit(60))
            self.assertEqual(result.returncode, 0, f"prchk.exe {args[0]}: {result.stderr!r}")
        path = os.path.join(self.session.workdir, "PRCHK.DAT")
        with open(path, "rb") as built, open(self.price_file, "rb") as native:
            self.assertEqual(built.read(), native.read(), "prchk.exe and prchk differ")
        return path

    def assert_ends_cleanly(self, original_setup):
        code = program.wait_exit(self.session)
        self.assertEqual(code, 0, "exit code")
        self.assertEqual(setup_dat.read_setup(self.session.workdir), original_setup,
                         "setup.dat written back at exit")

    # --- tests -----------------------------------------------------------------

    def test_found_items_add_up_until_the_idle_time_clears_the_screen(self):
        setup = self.standalone_setup()
        self.start()
        self.assert_screen("start", prompt=True)

        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2], total="12.50",
                           code=BUTTER[0])

        # The check itself must notice a wrong name, price or total.
        shot = self.session.shots[-1]
        texts = screen.read_screen(shot)
        self.assertTrue(screen.screen_shows(texts, name=BREAD[1]))
        self.assertTrue(screen.screen_shows(texts, name="Masło ekstra 250 g"))
        self.assertTrue(screen.screen_shows(texts, price="12.05"))
        self.assertTrue(screen.screen_shows(texts, price="2.50"))
        self.assertTrue(screen.screen_shows(texts, total="12.51"))
        self.assertTrue(screen.screen_shows(texts, prompt=True))

        # A name of more than 40 characters goes on two lines.
        program.enter_code(self.session, CHOCOLATE[0])
        self.assert_screen("chocolate", name=CHOCOLATE[1], price=CHOCOLATE[2], total="21.29")

        # An unknown code adds nothing to the total.
        program.enter_code(self.session, "5909999999999")
        self.assert_screen("unknown", name="Towar nieznany", price="0.00", total="21.29")
        last_key = time.monotonic()

        # Fifteen seconds after the last key the prompt comes back and the
        # total starts again from zero.
        self.assert_screen("idle", timeout=30, prompt=True)
        self.assertGreater(time.monotonic() - last_key, 10, "screen cleared too early")
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("after idle", name=BREAD[1], price=BREAD[2], total="4.99")

        # setup.dat spoilt while running: the exit writes the settings back.
        with open(os.path.join(self.session.workdir, "setup.dat"), "wb") as f:
            f.write(b"spoilt")
        program.press(self.session, "alt+F4")
        self.assert_ends_cleanly(setup)
        self.passed = True

    def test_in_store_weight_and_value_codes(self):
        setup = self.standalone_setup(weightPrefixes=["21"], valuePrefixes=["22"])
        self.start()

        # 1.234 kg of an item sold at 21.99 per kg: 27.14.
        program.enter_code(self.session, with_check_digit("210004201234"))
        self.assert_screen("weight code", name="Schab wieprzowy bez kości", price="27.14",
                           weight=("1.234", "kg", "21.99"), total="27.14")

        # A value code carries its price: 12.50.
        program.enter_code(self.session, with_check_digit("220007701250"))
        self.assert_screen("value code", name="Ser żółty Gouda w plastrach", price="12.50",
                           total="39.64")

        self.assert_one_checker_per_folder()

        # The menu-bar item "&Koniec" ends the program at once.
        os.unlink(os.path.join(self.session.workdir, "setup.dat"))
        program.press(self.session, "alt+k")
        self.assert_ends_cleanly(setup)
        self.passed = True

    def assert_one_checker_per_folder(self):
        """A second start in the running checker's folder (the Start-menu
        shortcut, a double click) brings the first to the front and ends
        with exit code 0; a checker of another folder runs beside it."""
        program.xdotool(self.session, "windowminimize", "--sync", self.session.window)
        second = program.start_another(self.session, program_case.ARGS.exe, self.session.workdir)
        self.assertEqual(second.wait(timeout=60), 0, "exit code of the second start")
        deadline = time.monotonic() + 10
        while program.active_window(self.session) != self.session.window:
            self.assertLess(time.monotonic(), deadline, "the first checker did not come to the front")
            time.sleep(0.2)
        self.assertEqual(program.count_windows(self.session, "lumivo"), 1)

        other = os.path.join(self.session.root, "other")
        os.makedirs(other)
        setup_dat.write_setup(other, setup_dat.settings_fields(standaloneMode=0))
        neighbour = program.start_another(self.session, program_case.ARGS.exe, other)
        deadline = time.monotonic() + 60
        while program.count_windows(self.session, "lumivo") < 2:
            self.assertLess(time.monotonic(), deadline, "the other folder's checker did not start")
            time.sleep(0.2)
        windows = program.xdotool(self.session, "search", "--onlyvisible", "--name",
                                  "^lumivo$").stdout.split()
        program.press(self.session, "alt+F4",
                      window=[w.decode() for w in windows if w.decode() != self.session.window][0])
        self.assertEqual(neighbour.wait(timeout=30), 0, "exit code of the other folder's checker")

    def test_on_an_english_windows_paths_boxes_and_dialogs_keep_their_letters(self):
        """Code page 1252, as on an English Windows: a price file in a
        folder with Polish letters is found, and the boxes, the settings
        and the About box show their Polish letters; OK stores the path's
        Windows-1250 bytes unchanged."""
        self.session.env["LC_ALL"] = "en_US.UTF-8"
        folder = os.path.join(self.session.prefix, "drive_c", "Cenniki", "Łódź")
        os.makedirs(folder)
        shutil.copy(self.price_file, os.path.join(folder, "PRCHK.DAT"))
        setup = setup_dat.write_setup(self.session.workdir, setup_dat.settings_fields(
            priceFilePath="C:\\Cenniki\\Łódź\\PRCHK.DAT"))
        self.start()
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("polish path", name=BUTTER[1], price=BUTTER[2], total="12.50")

        program.press(self.session, "alt+slash")
        about = program.find_window(self.session, "O programie", timeout=15)
        self.assertIsNotNone(about, "no About box")
        time.sleep(0.5)
        self.assertIn("zespół", screen.read_box(self.session, about, "about"))
        program.press(self.session, "Return", window=about)
        self.assertTrue(program.wait_window_gone(self.session, about))

        os.unlink(os.path.join(folder, "PRCHK.DAT"))
        program.press(self.session, "Escape")
        self.assert_box("Uwaga", 15, "Brak pliku", "Cenniki", "Łód")  # not "£ód"
        dialog = program.find_window(self.session, "Konfiguracja", timeout=15)
        self.assertIsNotNone(dialog, "no dialog after the warning")
        time.sleep(0.5)
        labels = screen.read_box(self.session, dialog, "dialog")
        for label in ("Szybkość", "Położenie pliku", "Szerokość kodu wagowego",
                      "Pokaż cenę brutto 1", "wartością", "Zakończ", "Łód"):
            self.assertIn(label, labels)
        program.press(self.session, "Return", window=dialog)  # OK
        self.assertTrue(program.wait_window_gone(self.session, dialog))
        self.assertEqual(setup_dat.read_setup(self.session.workdir), setup)
        program.press(self.session, "alt+F4")
        self.assert_ends_cleanly(setup)
        self.passed = True

    def test_price_list_rebuilt_while_scans_are_looked_up(self):
        """prchk.exe replaces PRCHK.DAT again and again while the scanner
        sends a code every 100 ms: every lookup answers from the old or the
        new list, never "no file" or "Towar nieznany" (the total counts each
        one), and every build succeeds."""
        scanner = virtual_serial.ScannerEnd(
            virtual_serial.start_virtual_serial(self.session, "COM1"))
        self.addCleanup(scanner.close)
        setup = self.standalone_setup(portName="COM1")
        self.start()
        lists = []
        for bread in ("4.99", "5.19"):  # the butter costs the same in both
            lists.append(os.path.join(self.session.workdir, f"ceny-{bread}.csv"))
            with open(lists[-1], "w", encoding="utf-8") as f:
                f.write(PRICE_LIST.replace("4.99", bread))
        target = setup_dat.windows_path(os.path.join(self.session.workdir, "PRCHK.DAT"))
        stop, builds = threading.Event(), []

        def rebuild():
            while not stop.is_set():
                source = setup_dat.windows_path(lists[len(builds) % 2])
                done = subprocess.run(["wine", program_case.ARGS.windows_prchk, "build", source, target],
                                      env=self.session.env, capture_output=True, timeout=120)
                builds.append((done.returncode, done.stdout + done.stderr))

        builder = threading.Thread(target=rebuild)
        builder.start()
        scans = 0
        try:
            deadline = time.monotonic() + REBUILD_SECONDS
            while time.monotonic() < deadline:
                scanner.send(BUTTER[0].encode() + b"\r")
                scans += 1
                time.sleep(0.1)
        finally:
            stop.set()
            builder.join()
        print(f"\n{scans} scans during {len(builds)} builds", file=sys.stderr)
        self.assertGreater(len(builds), 3, "too few builds to show anything")
        self.assertEqual([b for b in builds if b[0] != 0], [], "failed builds")
        self.assert_screen("after the rebuilds", name=BUTTER[1], price=BUTTER[2],
                           total=f"{scans * 12.5:.2f}")
        program.press(self.session, "alt+F4")
        self.assert_ends_cleanly(setup)
        self.passed = True

    def test_shop_build_in_one_run(self):
        """Everything a shop sees, in one start of the program: the smoke run
        of the shop's 32-bit build under emulation (tools/smoke-shop-build.sh), where
        each Wine process start costs about a minute."""
        if not program_case.ARGS.windows_prchk:
            self.skipTest("no --windows-prchk")
        price_file = self.build_with_windows_prchk()
        address = servers.pick_loopback_address()
        setup_dat.write_setup(self.session.workdir, setup_dat.settings_fields(
            priceFilePath=setup_dat.windows_path(price_file), weightPrefixes=["21"],
            serverAddress=address))
        self.start()
        self.assert_screen("start", prompt=True)
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2], total="12.50")
        program.enter_code(self.session, "5909999999999")
        self.assert_screen("unknown", name="Towar nieznany", price="0.00", total="12.50")
        program.enter_code(self.session, with_check_digit("210004201234"))
        self.assert_screen("weight code", name="Schab wieprzowy bez kości", price="27.14",
                           weight=("1.234", "kg", "21.99"), total="39.64")
        program.press(self.session, "alt+slash")
        self.assert_box("O programie", 15, "lumivo")

        # Server mode from the dialog (Alt+P reaches its radio button first),
        # in force from the next Enter; the checker server answers.
        dialog = program.open_config_dialog(self.session)
        program.press(self.session, "alt+p", "Return", window=dialog)
        self.assertTrue(program.wait_window_gone(self.session, dialog), "the dialog stayed")
        server = servers.start_checker_server(self.session, program_case.ARGS.server, address,
                                              self.write_price_list(servers.PRICE_LIST))
        program.enter_code(self.session, servers.BREAD[0])
        self.assert_screen("server", name=servers.BREAD[1], price=servers.BREAD[2],
                           total="44.63")
        self.assertEqual([(seq, code) for seq, code, _ in server.wait_requests(1)],
                         [(0x80, servers.BREAD[0])])

        program.press(self.session, "alt+k")
        self.assertEqual(program.wait_exit(self.session), 0, "exit code")
        saved = setup_dat.read_setup(self.session.workdir)
        self.assertEqual(len(saved), setup_dat.SETTINGS_SIZE)
        fields = setup_dat.unpack_settings(saved)
        self.assertEqual((fields["standaloneMode"], fields["serverAddress"]), (0, address))
        self.passed = True

    def test_first_start_writes_the_defaults(self):
        # The default scanner port is COM1: give it a virtual serial line so
        # the start is the same on every machine.
        virtual_serial.start_virtual_serial(self.session, "COM1")
        program.start_program(self.session, program_case.ARGS.exe)
        window = program.find_window(self.session, "lumivo", timeout=30)
        warning = program.find_window(self.session, "Uwaga", timeout=1)
        if warning is not None:
            self.fail(f"unexpected warning: {screen.read_box(self.session, warning)!r}")
        self.assertIsNotNone(window, "the main window did not appear")
        self.session.window = window
        time.sleep(0.5)
        self.assert_screen("defaults", prompt=True)
        program.press(self.session, "alt+F4")
        self.assertEqual(program.wait_exit(self.session), 0, "exit code")

        data = setup_dat.read_setup(self.session.workdir)
        self.assertEqual(len(data), setup_dat.SETTINGS_SIZE)
        # Server mode, asking the local host; everything not named is zero.
        address = setup_dat.unpack_settings(data)["serverAddress"]
        self.assertEqual(data, setup_dat.pack_settings(setup_dat.settings_fields(
            portName="COM1", priceFilePath="C:\\QXR\\!!u$unac\\PRCHK.DAT", standaloneMode=0,
            serverAddress=address)))
        self.assertTrue(is_local_address(address), f"server address {address!r}")
        self.passed = True

    def test_missing_price_file_warns_and_each_scan_reads_the_file_as_it_is_then(self):
        missing = "C:\\Sklep\\Źródła cen\\PRCHK.DAT"
        setup = setup_dat.write_setup(self.session.workdir, setup_dat.settings_fields(
            priceFilePath=missing, fullScreen=1))
        program.start_program(self.session, program_case.ARGS.exe)
        warning = program.find_window(self.session, "Uwaga", timeout=30)
        self.assertIsNotNone(warning, "no warning box")
        time.sleep(0.5)
        text = screen.read_box(self.session, warning, "warning")
        self.assertIn("Brak pliku", text)
        # The Windows-1250 letters of the path come through as they were typed.
        self.assertIn("Źródła cen", text)

        program.press(self.session, "Return", window=warning)
        program.wait_main_window(self.session)
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("no price file", full_screen=True, name="Towar nieznany",
                           price="0.00", total="0.00")

        # Between scans the file comes, is replaced, loses its second half
        # and goes again: each scan reads it as it is then.
        path = os.path.join(self.session.prefix, "drive_c", "Sklep", "Źródła cen", "PRCHK.DAT")
        os.makedirs(os.path.dirname(path))
        shutil.copy(self.price_file, path)
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("file come", full_screen=True, name=BUTTER[1], price=BUTTER[2],
                           total="12.50")
        os.replace(self.build_price_file(PRICE_LIST.replace("12.50", "13.10"), "new.DAT"), path)
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("file replaced", full_screen=True, price="13.10", total="25.60")
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) // 2)  # two whole records and half the butter's
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("file halved", full_screen=True, name="Towar nieznany", total="25.60")
        program.enter_code(self.session, "2100042")
        self.assert_screen("first record", full_screen=True, price="21.99", total="47.59")
        os.unlink(path)
        program.enter_code(self.session, "2100042")
        self.assert_screen("file gone", full_screen=True, name="Towar nieznany", total="47.59")
        # The dialog reads setup.dat again and warns again: that box must come
        # up above the topmost full-screen window, where the shop can see it.
        program.press(self.session, "Escape")
        self.assert_box("Uwaga", 15, "Brak pliku")
        dialog = program.find_window(self.session, "Konfiguracja", timeout=15)
        self.assertIsNotNone(dialog, "no dialog after the warning")
        program.press(self.session, "Escape", window=dialog)
        self.assertTrue(program.wait_window_gone(self.session, dialog))
        program.press(self.session, "alt+F4")
        self.assert_ends_cleanly(setup)
        self.passed = True


if __name__ == "__main__":
    program_case.main()
