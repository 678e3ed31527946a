"""The real lumivo.exe in server mode, under Wine on a virtual display, asking
the checker-server simulator on a loopback address of its own.

Typed codes must reach the server as the shop's server expects them, with the
sequence byte counting up; the customer must see the item the server names,
and when the server fails, the error text with the running total kept, and
the checker must go on working.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "harness")]
import checker_servers as servers  # noqa: E402
import program_case  # noqa: E402
import program_session as program  # noqa: E402
import setup_dat  # noqa: E402
from checker_servers import BREAD, BUTTER, PRICE_LIST  # noqa: E402
from program_case import ProgramCase  # noqa: E402

SERVER_ERROR = "Błąd komunikacji z serwerem sprawdzarek"
UNKNOWN_LINE = "Nieznany kod towaru"

# The checker waits 3 s for an answer; a little more before looking.
REPLY_TIMEOUT_S = 3


class ServerMode(ProgramCase):

    def setUp(self):
        super().setUp()
        self.address = servers.pick_loopback_address()

    def start_simulator(self, address, mode="normal"):
        return servers.start_simulator(self.session, program_case.ARGS.sim, address,
                                       self.write_price_list(PRICE_LIST), mode)

    def assert_requests(self, simulator, expected):
        """The simulator saw exactly these (sequence byte, code) requests and
        found none of them malformed."""
        seen = simulator.wait_requests(len(expected))
        time.sleep(0.3)  # nothing more may follow
        seen = simulator.requests()
        self.assertEqual([(seq, code) for seq, code, _ in seen], expected)
        self.assertEqual(simulator.notes(), [])

    def test_codes_reach_the_server_and_its_lines_show(self):
        setup = self.server_setup(self.address)
        simulator = self.start_simulator(self.address)
        self.start()
        self.assert_screen("start", prompt=True)

        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2], total="12.50",
                           code=BUTTER[0])
        self.assert_requests(simulator, [(0x80, BUTTER[0])])

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
        self.assert_requests(simulator, asked)
        # Enter with nothing typed asks nothing.
        program.press(self.session, "Return")
        self.assert_requests(simulator, asked)

        self.close_and_expect_exit_code_0()
        self.assertEqual(setup_dat.read_setup(self.session.workdir), setup)
        self.passed = True

    def test_silent_server_shows_the_error_and_the_checker_runs_on(self):
        self.server_setup(self.address)
        simulator = self.start_simulator(self.address)
        self.start()
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", name=BUTTER[1], price=BUTTER[2], total="12.50")

        servers.stop_simulator(self.session, simulator)
        silent = self.start_simulator(self.address, mode="silent")
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
        servers.stop_simulator(self.session, silent)
        simulator = self.start_simulator(self.address)
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("back", name=BREAD[1], price=BREAD[2], total="17.49")
        self.assert_requests(simulator, [(0x82, BREAD[0])])

        self.close_and_expect_exit_code_0()
        self.passed = True

    def test_full_screen_failures_show_no_box_and_the_server_comes_back(self):
        self.server_setup(self.address, fullScreen=1)
        simulator = self.start_simulator(self.address)
        self.start()
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("butter", full_screen=True, name=BUTTER[1], price=BUTTER[2],
                           total="12.50")

        # A silent server: the error text after the time-out, and no box.
        servers.stop_simulator(self.session, simulator)
        silent = self.start_simulator(self.address, mode="silent")
        program.enter_code(self.session, BREAD[0])
        self.assertTrue(program.window_absent(self.session, "Uwaga", REPLY_TIMEOUT_S + 2),
                        "a message box in full-screen mode")
        self.assert_screen("silent", full_screen=True, name=SERVER_ERROR, total="12.50")
        self.assertEqual(len(silent.requests()), 1)

        # No server at all: the port is unreachable. Still no box.
        servers.stop_simulator(self.session, silent)
        program.enter_code(self.session, BUTTER[0])
        self.assertTrue(program.window_absent(self.session, "Uwaga", REPLY_TIMEOUT_S + 2),
                        "a message box in full-screen mode")
        self.assert_screen("no server", full_screen=True, name=SERVER_ERROR, total="12.50")

        # Back: the next code is answered, with the counter counting every
        # request that was sent meanwhile.
        simulator = self.start_simulator(self.address)
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("back", full_screen=True, name=BREAD[1], price=BREAD[2],
                           total="17.49")
        self.assert_requests(simulator, [(0x83, BREAD[0])])

        # Garbage: a reply too long and without a price adds nothing.
        servers.stop_simulator(self.session, simulator)
        garbage = self.start_simulator(self.address, mode="garbage")
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("garbage", full_screen=True, price="0.00", total="17.49")
        self.assertEqual([seq for seq, _, _ in garbage.wait_requests(1)], [0x84])

        servers.stop_simulator(self.session, garbage)
        simulator = self.start_simulator(self.address)
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("back after garbage", full_screen=True, name=BREAD[1],
                           total="22.48")
        self.assert_requests(simulator, [(0x85, BREAD[0])])

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


if __name__ == "__main__":
    program_case.main()
