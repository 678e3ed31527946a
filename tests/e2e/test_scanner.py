"""The real lumivo.exe with a barcode scanner on a virtual serial line, under
Wine on a virtual display, in server mode against the checker-server
simulator on a loopback address of its own.

The scanner is played by writing to the far end of a socat pseudo-terminal
pair whose near end the Wine prefix knows as COM1 (and a second as COM2).
Counting the requests at the simulator shows how many lookups the bytes made.
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_extra  # noqa: E402
import harness  # noqa: E402
from e2e_extra import ProgramCase  # noqa: E402

from e2e_extra import BREAD, BUTTER, PRICE_LIST  # noqa: E402

# How long bytes get to show an effect when none is expected: the reader
# wakes at least every 100 ms, and a loopback exchange takes milliseconds.
QUIET_S = 1.5


class Scanner(ProgramCase):

    def setUp(self):
        super().setUp()
        self.ends = []
        self.address = e2e_extra.pick_loopback_address()

    def end_session(self):
        for end in self.ends:
            end.close()
        super().end_session()

    def scanner(self, port):
        end = e2e_extra.ScannerEnd(harness.start_virtual_serial(self.session, port))
        self.ends.append(end)
        return end

    def assert_requests(self, expected, what):
        """The simulator saw exactly these (sequence byte, code) requests."""
        self.simulator.wait_requests(len(expected), timeout=10)
        time.sleep(QUIET_S)  # and nothing more comes
        seen = [(seq, code) for seq, code, _ in self.simulator.requests()]
        self.assertEqual(seen, expected, what)
        self.assertEqual(self.simulator.notes(), [])

    def test_scanned_codes_and_the_configuration_dialog(self):
        com1 = self.scanner("COM1")
        com2 = self.scanner("COM2")
        self.server_setup(self.address, portName="COM1")
        self.simulator = e2e_extra.start_simulator(
            self.session, e2e_extra.ARGS.sim, self.address, self.write_price_list(PRICE_LIST))
        self.start()
        self.assertIsNone(harness.find_window(self.session, "Uwaga", timeout=0.5),
                          "a warning at start-up")

        # A scanned code gives the screen a typed one gives: name, price and
        # prompt pixel for pixel; only the total has grown.
        harness.enter_code(self.session, BUTTER[0])
        self.assert_screen("typed", name=BUTTER[1], price=BUTTER[2], total="12.50")
        typed = self.session.shots[-1]
        com1.send(BUTTER[0].encode() + b"\r")
        self.assert_screen("scanned", name=BUTTER[1], price=BUTTER[2], total="25.00",
                           code=BUTTER[0])
        scanned = self.session.shots[-1]
        for band in ("extras", "name1", "name2", "prompt", "price", "weight"):
            typed_pixels = e2e_extra.screen_band(typed, band)
            self.assertIsNotNone(typed_pixels, "no price screen in the shot")
            self.assertEqual(typed_pixels, e2e_extra.screen_band(scanned, band),
                             f"{band} differs")

        # CR LF: the line feed finds nothing entered and asks nothing.
        com1.send(BREAD[0].encode() + b"\r\n")
        self.assert_screen("cr lf", name=BREAD[1], price=BREAD[2], total="29.99")
        self.assert_requests([(0x80, BUTTER[0]), (0x81, BUTTER[0]), (0x82, BREAD[0])], "CR LF")

        # Escape from the scanner is a code character, not the dialog's key;
        # the code is cut at it.
        com1.send(b"12\x1b34\r")
        self.assertTrue(e2e_extra.window_absent(self.session, "Konfiguracja", QUIET_S),
                        "a scanned Escape opened the dialog")
        self.assert_requests([(0x80, BUTTER[0]), (0x81, BUTTER[0]), (0x82, BREAD[0]),
                              (0x83, "12")], "Escape")

        # Escape typed opens the dialog; OK with COM2 moves the scanner there.
        dialog = e2e_extra.open_config_dialog(self.session)
        self.assertIn("Port komunikacji", harness.read_box(self.session, dialog, "dialog"))
        e2e_extra.set_port_and_confirm(self.session, dialog, "COM2")
        self.assertTrue(e2e_extra.wait_window_gone(self.session, dialog), "dialog stayed open")
        self.assertIsNone(harness.find_window(self.session, "Uwaga", timeout=QUIET_S),
                          "a warning after OK with COM2")
        self.assertEqual(self.saved_port(), "COM2")
        com1.send(BUTTER[0].encode() + b"\r")  # the old port is closed: lost
        com2.send(BREAD[0].encode() + b"\r")
        self.assert_screen("com2", name=BREAD[1], price=BREAD[2], total="34.98")
        asked = [(0x80, BUTTER[0]), (0x81, BUTTER[0]), (0x82, BREAD[0]), (0x83, "12"),
                 (0x84, BREAD[0])]
        self.assert_requests(asked, "after the move to COM2")

        # OK with the port unchanged closes and at once reopens it.
        dialog = e2e_extra.open_config_dialog(self.session)
        harness.press(self.session, "Return", window=dialog)
        self.assertTrue(e2e_extra.wait_window_gone(self.session, dialog), "dialog stayed open")
        self.assertIsNone(harness.find_window(self.session, "Uwaga", timeout=QUIET_S),
                          "a warning after OK with the same port")
        com2.send(BUTTER[0].encode() + b"\r")
        self.assert_screen("com2 again", name=BUTTER[1], price=BUTTER[2], total="47.48")
        asked.append((0x85, BUTTER[0]))
        self.assert_requests(asked, "after reopening COM2")

        # An emptied port stops the scanner without a word.
        dialog = e2e_extra.open_config_dialog(self.session)
        e2e_extra.set_port_and_confirm(self.session, dialog, "")
        self.assertTrue(e2e_extra.wait_window_gone(self.session, dialog), "dialog stayed open")
        self.assertIsNone(harness.find_window(self.session, "Uwaga", timeout=QUIET_S),
                          "a warning after OK with no port")
        self.assertEqual(self.saved_port(), "")
        com2.send(BUTTER[0].encode() + b"\r")
        self.assert_requests(asked, "with the scanner stopped")

        # A port that does not exist: one box, naming it as typed.
        dialog = e2e_extra.open_config_dialog(self.session)
        e2e_extra.set_port_and_confirm(self.session, dialog, "COM5")
        box = harness.find_window(self.session, "Uwaga", timeout=15)
        self.assertIsNotNone(box, "no warning for COM5")
        time.sleep(0.5)
        self.assertEqual(e2e_extra.count_windows(self.session, "Uwaga"), 1)
        text = harness.read_box(self.session, box, "com5")
        self.assertIn("Nie otwarto portu komunikacyjnego: COM5", harness.normalise(text))
        harness.press(self.session, "Return", window=box)
        self.assertTrue(e2e_extra.wait_window_gone(self.session, box))
        self.assertIsNone(harness.find_window(self.session, "Uwaga", timeout=QUIET_S),
                          "a second warning for COM5")
        self.assertTrue(e2e_extra.wait_window_gone(self.session, dialog), "dialog stayed open")
        self.assertEqual(self.saved_port(), "COM5")

        # Typing still works, and the program ends as usual.
        harness.enter_code(self.session, BUTTER[0])
        self.assert_screen("typed at the end", name=BUTTER[1], total="59.98")
        self.assert_requests(asked + [(0x86, BUTTER[0])], "typed at the end")
        self.close_and_expect_exit_code_0()
        self.passed = True

    def saved_port(self):
        return harness.unpack_settings(harness.read_setup(self.session.workdir))["portName"]


if __name__ == "__main__":
    e2e_extra.main()
