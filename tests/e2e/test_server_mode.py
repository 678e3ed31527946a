"""The real lumivo.exe in server mode, under Wine on a virtual display, asking
the checker server on a loopback address of its own.

Typed codes must reach the server as the shop's server expects them, with the
sequence byte counting up; the customer must see the item the server names,
and when the server fails, the error text with the running total kept, and
the checker must go on working. Every code of the demo shows what a
standalone checker shows; and the checker server runs as a Windows service.
"""

import os
import re
import shutil
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "harness")]
import checker_servers as servers  # noqa: E402
import program_case  # noqa: E402
import program_session as program  # noqa: E402
import setup_dat  # noqa: E402
import winebox  # noqa: E402
from checker_servers import BREAD, BUTTER, PRICE_LIST  # noqa: E402
from program_case import ProgramCase  # noqa: E402

SERVER_ERROR = "Błąd komunikacji z serwerem sprawdzarek"
UNKNOWN_LINE = "Nieznany kod towaru"

# The checker waits 3 s for an answer; a little more before looking.
REPLY_TIMEOUT_S = 3

STANDALONE_UNKNOWN = "Towar nieznany"

# The codes of tools/demo/README.md's tables and what a checker shows for
# them: the name (None: unknown) and the price. The second table is read
# with 6-character item codes in in-store codes.
DEMO_CODES = [
    ("5901234000017", "Chleb żytni razowy 500 g", "6.49"),
    ("5901234000192", "Kawa ziarnista Arabica 100% z małej palarni, średnio palona, "
                      "intensywność 4/5, opakowanie z zaworkiem 1 kg", "79.99"),
    ("5901234000161", "Pierogi ruskie z cebulką, mrożone, opakowanie rodzinne 900 g", "14.99"),
    ("012345678905", "Płyn do naczyń cytrynowy 900 ml", "8.99"),
    ("59012344", "Guma do żucia miętowa", "2.99"),
    ("2100012", "Szynka wędzona z beczki", "39.99"),
    ("2100012012348", "Szynka wędzona z beczki", "49.35"),
    ("2200017012500", "Sernik krakowski domowy", "12.50"),
    ("2100012012349", None, "0.00"),
    ("5901234000024", "Masło ekstra 82% 200 g", "7.99"),
    ("1234", None, "0.00"),
]
DEMO_CODES_SHORT_ITEMS = [
    ("2100060012505", "Ogórki małosolne luz", "12.49"),
    ("2200020008996", "Ciasto drożdżowe ze śliwkami", "8.99"),
]

SERVICE_NAME = "lumivo_test_server"


class ServerMode(ProgramCase):

    def setUp(self):
        super().setUp()
        self.address = servers.pick_loopback_address()

    def start_checker_server(self, address, mode="normal"):
        return servers.start_checker_server(self.session, program_case.ARGS.server, address,
                                       self.write_price_list(PRICE_LIST), mode)

    def assert_requests(self, server, expected):
        """The server saw exactly these (sequence byte, code) requests and
        found none of them malformed."""
        seen = server.wait_requests(len(expected))
        time.sleep(0.3)  # nothing more may follow
        seen = server.requests()
        self.assertEqual([(seq, code) for seq, code, _ in seen], expected)
        self.assertEqual(server.notes(), [])

    def demo_codes_show(self, mode, codes):
        """Each code typed in turn shows its name (in server mode the first
        20 characters the server sends) and its price."""
        for code, name, price in codes:
            program.enter_code(self.session, code)
            if name is None:
                name = STANDALONE_UNKNOWN if mode == "standalone" else UNKNOWN_LINE
            elif mode == "server":
                name = name[:20]
            self.assert_screen(f"{mode} {code}", name=name, price=price)

    def run_demo_codes(self, mode, codes, short_item_code, price_file, server_at=None):
        fields = setup_dat.demo_fields(mode, price_file, server_at or "127.0.0.1")
        fields["shortItemCode"] = short_item_code
        setup_dat.write_setup(self.session.workdir, fields)
        server = None
        if server_at:
            # The server takes its prefixes from the same setup.dat.
            demo = os.path.join(program_case.ARGS.source, "tools", "demo", "demo_items.csv")
            server = servers.start_checker_server(
                self.session, program_case.ARGS.server, server_at, demo,
                more=("--setup", os.path.join(self.session.workdir, "setup.dat"),
                      "--unknown", os.path.join(self.session.root, "nieznane-kody.csv")))
        self.start()
        self.demo_codes_show(mode, codes)
        self.close_and_expect_exit_code_0()
        if server:
            servers.stop_checker_server(self.session, server)

    def test_codes_reach_the_server_and_its_lines_show(self):
        setup = self.server_setup(self.address)
        server = self.start_checker_server(self.address)
        self.start()
        self.assert_screen("start", prompt=True)

        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2], total="12.50",
                           code=BUTTER[0])
        self.assert_requests(server, [(0x80, BUTTER[0])])

        # An unknown code: the server's second line is the name; nothing is
        # added to the total.
        program.enter_code(self.session, "123")
        self.assert_screen("unknown", name=UNKNOWN_LINE, price="0.00", total="12.50")

        program.enter_code(self.session, BREAD[0])
        self.assert_screen("bread", name=BREAD[1], price=BREAD[2], total="17.49")

        # What a cashier types is cleaned before it is asked: at most 13
        # characters, up to the first that is no digit or letter.
        program.enter_code(self.session, "A1b2C3d4E5f6G7h")
        program.enter_code(self.session, "77-12")
        self.assert_screen("cleaned", name=UNKNOWN_LINE, total="17.49")

        asked = [(0x80, BUTTER[0]), (0x81, "123"), (0x82, BREAD[0]), (0x83, "A1b2C3d4E5f6G"),
                 (0x84, "77")]
        self.assert_requests(server, asked)
        # Enter with nothing typed asks nothing.
        program.press(self.session, "Return")
        self.assert_requests(server, asked)

        self.close_and_expect_exit_code_0()
        self.assertEqual(setup_dat.read_setup(self.session.workdir), setup)
        self.passed = True

    def test_silent_server_shows_the_error_and_the_checker_runs_on(self):
        self.server_setup(self.address)
        server = self.start_checker_server(self.address)
        self.start()
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2], total="12.50")

        servers.stop_checker_server(self.session, server)
        silent = self.start_checker_server(self.address, mode="silent")
        asked = time.monotonic()
        program.enter_code(self.session, BREAD[0])
        # While its box is up the lookup has not ended: a window resized then
        # (or restored, uncovered) must be painted as it was before the Enter,
        # the typed code under the prompt, never the butter at "Cena: 0.00".
        self.assertIsNotNone(program.find_window(self.session, "Uwaga", 15), "no box")
        program.xdotool(self.session, "windowsize", "--sync", self.session.window, "700", "520")
        self.assert_screen("resized during the box", prompt=True)
        # The time-out ends in the exchange's message, outside full screen.
        self.assert_box("Uwaga", 15, "recv")
        self.assertGreater(time.monotonic() - asked, REPLY_TIMEOUT_S - 0.5,
                           "no wait for the answer")
        self.assert_screen("silent", name=SERVER_ERROR, price="0.00", total="12.50")
        self.assertEqual([(seq, code) for seq, code, _ in silent.requests()], [(0x81, BREAD[0])])

        # The server is back: the next code is answered and added.
        servers.stop_checker_server(self.session, silent)
        server = self.start_checker_server(self.address)
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("back", name=BREAD[1], price=BREAD[2], total="17.49")
        self.assert_requests(server, [(0x82, BREAD[0])])

        self.close_and_expect_exit_code_0()
        self.passed = True

    def test_full_screen_failures_show_no_box_and_the_server_comes_back(self):
        self.server_setup(self.address, fullScreen=1)
        server = self.start_checker_server(self.address)
        self.start()
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", full_screen=True, name=BUTTER[1], price=BUTTER[2],
                           total="12.50")

        # A silent server: the error text after the time-out, and no box.
        servers.stop_checker_server(self.session, server)
        silent = self.start_checker_server(self.address, mode="silent")
        program.enter_code(self.session, BREAD[0])
        self.assertTrue(program.window_absent(self.session, "Uwaga", REPLY_TIMEOUT_S + 2),
                        "a message box in full-screen mode")
        self.assert_screen("silent", full_screen=True, name=SERVER_ERROR, total="12.50")
        self.assertEqual(len(silent.requests()), 1)

        # No server at all: the port is unreachable. Still no box.
        servers.stop_checker_server(self.session, silent)
        program.enter_code(self.session, BUTTER[0])
        self.assertTrue(program.window_absent(self.session, "Uwaga", REPLY_TIMEOUT_S + 2),
                        "a message box in full-screen mode")
        self.assert_screen("no server", full_screen=True, name=SERVER_ERROR, total="12.50")

        # Back: the next code is answered, with the counter counting every
        # request that was sent meanwhile.
        server = self.start_checker_server(self.address)
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("back", full_screen=True, name=BREAD[1], price=BREAD[2],
                           total="17.49")
        self.assert_requests(server, [(0x83, BREAD[0])])

        # Garbage: a reply too long and without a price adds nothing.
        servers.stop_checker_server(self.session, server)
        garbage = self.start_checker_server(self.address, mode="garbage")
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("garbage", full_screen=True, price="0.00", total="17.49")
        self.assertEqual([seq for seq, _, _ in garbage.wait_requests(1)], [0x84])

        servers.stop_checker_server(self.session, garbage)
        server = self.start_checker_server(self.address)
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("back after garbage", full_screen=True, name=BREAD[1],
                           total="22.48")
        self.assert_requests(server, [(0x85, BREAD[0])])

        self.close_and_expect_exit_code_0()
        self.passed = True

    def test_unusable_server_address_does_not_end_the_program(self):
        # Not a host name (it begins with a digit) and no dotted address:
        # refused without any name lookup, so nothing leaves the machine.
        setup = self.server_setup("3server")
        self.start()
        program.enter_code(self.session, BUTTER[0])
        text = self.assert_box("Uwaga", 15)
        self.assertIn("3server", text)
        self.assertIsNone(self.session.program.poll(), "the program ended")
        self.assert_screen("bad address", name=SERVER_ERROR, price="0.00", total="0.00")

        # Every further code gets the same treatment; the checker runs on.
        program.enter_code(self.session, BREAD[0])
        self.assert_box("Uwaga", 15, "3server")
        self.assert_screen("bad address again", name=SERVER_ERROR)

        self.close_and_expect_exit_code_0()
        self.assertEqual(setup_dat.read_setup(self.session.workdir), setup)
        self.passed = True

    def test_on_an_english_windows_the_address_box_keeps_its_letters(self):
        """Code page 1252, as on an English Windows: the box for an address
        that is no dotted address reads as on a Polish one."""
        self.session.env["LC_ALL"] = "en_US.UTF-8"
        self.server_setup("10.0.0.999")
        self.start()
        program.enter_code(self.session, BUTTER[0])
        # On such a PC MessageBoxA would show "Nie mo¿na ... B³¹d".
        self.assert_box("Uwaga", 15, "Nie można", "adresu:[10.0.0.999]", "Błąd")
        self.close_and_expect_exit_code_0()
        self.passed = True


    def test_every_demo_code_shows_as_on_a_standalone_checker(self):
        readme = os.path.join(program_case.ARGS.source, "tools", "demo", "README.md")
        with open(readme, encoding="utf-8") as f:
            table_codes = set(re.findall(r"^\| `([0-9]+)`(?: then `([0-9]+)`)?", f.read(), re.M))
        self.assertEqual({c for pair in table_codes for c in pair if c},
                         {code for code, _, _ in DEMO_CODES + DEMO_CODES_SHORT_ITEMS},
                         "the codes of the README's tables")

        demo = os.path.join(program_case.ARGS.source, "tools", "demo", "demo_items.csv")
        price_file = os.path.join(self.session.workdir, "PRCHK.DAT")
        winebox.run([program_case.ARGS.prchk, "build", demo, price_file])
        for codes, short_item_code in ((DEMO_CODES, 0), (DEMO_CODES_SHORT_ITEMS, 1)):
            self.run_demo_codes("standalone", codes, short_item_code, price_file)
            self.run_demo_codes("server", codes, short_item_code, price_file, self.address)
        self.passed = True

    def sc(self, *args, timeout=60):
        """Wine's sc.exe in the session's own prefix: an auto-start service
        left in a shared prefix would hold port 1001 for every later run."""
        return winebox.run(["wine", "sc", *args], env=self.session.env, timeout=timeout,
                           check=False)

    @staticmethod
    def wait_log(path, text, timeout=10):
        """The service's log once it holds `text`, or as it is after `timeout`."""
        deadline = time.monotonic() + timeout
        log = ""
        while text not in log and time.monotonic() < deadline:
            time.sleep(0.2)
            if os.path.exists(path):
                with open(path, encoding="utf-8") as f:
                    log = f.read()
        return log

    def test_the_checker_server_runs_as_a_service(self):
        exe = os.path.join(self.session.workdir, "checker_server.exe")
        shutil.copy(program_case.ARGS.windows_server, exe)
        price_list = os.path.join(self.session.workdir, "items.csv")
        shutil.copy(self.write_price_list(PRICE_LIST), price_list)
        # Wine ends its services with the prefix's last program: the checker
        # runs first, and asks the service. Under Wine a socket bound to one
        # loopback address answers from 127.0.0.1, which a checker asking
        # another address ignores: the service listens on all addresses, as
        # in a shop, and the checker asks 127.0.0.1.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            probe.bind(("0.0.0.0", servers.CHECKER_PORT))  # fails while another server runs
        self.server_setup("127.0.0.1")
        self.start()
        command = (f'"{setup_dat.windows_path(exe)}" --service --verbose '
                   f'--csv "{setup_dat.windows_path(price_list)}"')
        created = self.sc("create", SERVICE_NAME, "binPath=", command)
        self.assertEqual(created.returncode, 0, created.stderr)
        self.addCleanup(self.sc, "delete", SERVICE_NAME)
        self.assertEqual(self.sc("start", SERVICE_NAME).returncode, 0)

        # It answers, from the list it loaded after it reported running.
        log_path = os.path.join(self.session.workdir, "checker_server.log")
        self.assertIn("list: loaded 2 items", self.wait_log(log_path, "list: "))
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2])
        program.enter_code(self.session, "5909999999999")
        self.assert_screen("unknown", name=UNKNOWN_LINE, price="0.00")

        # A stop ends it within a few seconds, its unknown codes written.
        self.assertEqual(self.sc("stop", SERVICE_NAME).returncode, 0)
        log = self.wait_log(log_path, "checker_server: stopped")
        for line in ("listening on", "list: loaded 2 items", "known 1, unknown 1",
                     "checker_server: stopped"):
            self.assertIn(line, log)
        with open(os.path.join(self.session.workdir, "nieznane-kody.csv"),
                  encoding="utf-8-sig") as f:
            self.assertIn("\n5909999999999;;;1;", f.read())
        self.assertEqual(self.sc("delete", SERVICE_NAME).returncode, 0)
        self.close_and_expect_exit_code_0()
        self.passed = True


if __name__ == "__main__":
    program_case.main()
