"""The real lumivo.exe with a barcode scanner on a virtual serial line, under
Wine on a virtual display, in server mode against the checker-server
server on a loopback address of its own.

The scanner is played by writing to the far end of a socat pseudo-terminal
pair whose near end the Wine prefix knows as COM1 (and a second as COM2).
Counting the requests at the server shows how many lookups the bytes made.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "harness")]
import checker_servers as servers  # noqa: E402
import program_case  # noqa: E402
import program_session as program  # noqa: E402
import screen_reading as screen  # noqa: E402
import setup_dat  # noqa: E402
import virtual_serial  # noqa: E402
from checker_servers import BREAD, BUTTER, PRICE_LIST  # noqa: E402
from program_case import ProgramCase  # noqa: E402

# How long bytes get to show an effect when none is expected: the reader
# wakes at least every 100 ms, and a loopback exchange takes milliseconds.
QUIET_S = 1.5
# How long the program is watched for a busy reader.
IDLE_WATCH_S = 2
# How long a reader takes at most to open a line again: about a second of
# failed reads, then a try every second.
REOPEN_S = 3


class Scanner(ProgramCase):

    def setUp(self):
        super().setUp()
        self.ends = []
        self.address = servers.pick_loopback_address()

    def end_session(self):
        for end in self.ends:
            end.close()
        super().end_session()

    def scanner(self, port):
        end = virtual_serial.ScannerEnd(virtual_serial.start_virtual_serial(self.session, port))
        self.ends.append(end)
        return end

    def assert_requests(self, expected, what):
        """The server saw exactly these (sequence byte, code) requests."""
        self.server.wait_requests(len(expected), timeout=10)
        time.sleep(QUIET_S)  # and nothing more comes
        seen = [(seq, code) for seq, code, _ in self.server.requests()]
        self.assertEqual(seen, expected, what)
        self.assertEqual(self.server.notes(), [])

    def assert_program_idle(self, what):
        """The program's process uses next to no processor time while
        nothing happens; a reader that spins keeps a core busy."""
        pid = program.windows_process(self.session)
        before = program.cpu_seconds(pid)
        time.sleep(IDLE_WATCH_S)
        used = program.cpu_seconds(pid) - before
        print(f"\nprocessor time over {IDLE_WATCH_S} s {what}: {used:.2f} s", file=sys.stderr)
        self.assertLess(used, IDLE_WATCH_S / 4, f"busy {what}")

    def start_with_scanner(self, port_name=""):
        """Server mode with the scanner on `port_name` (none when empty); no
        warning at start-up."""
        self.server_setup(self.address, portName=port_name)
        self.server = servers.start_checker_server(
            self.session, program_case.ARGS.server, self.address, self.write_price_list(PRICE_LIST))
        self.start()
        self.assertIsNone(program.find_window(self.session, "Uwaga", timeout=0.5),
                          "a warning at start-up")

    def confirm_dialog(self, port_name, what, dialog=None):
        """OK in the dialog (opened with Escape unless given), with the port
        replaced by `port_name` (None: left as it is); no warning may follow."""
        dialog = dialog or program.open_config_dialog(self.session)
        if port_name is None:
            program.press(self.session, "Return", window=dialog)
        else:
            program.set_port_and_confirm(self.session, dialog, port_name)
        self.assertTrue(program.wait_window_gone(self.session, dialog), "dialog stayed open")
        self.assertIsNone(program.find_window(self.session, "Uwaga", timeout=QUIET_S),
                          f"a warning after OK {what}")

    def saved_port(self):
        return setup_dat.unpack_settings(setup_dat.read_setup(self.session.workdir))["portName"]

    # --- tests -----------------------------------------------------------------

    def test_scanned_codes_end_at_cr_and_read_like_typed_ones(self):
        com1 = self.scanner("COM1")
        self.start_with_scanner("COM1")

        # A scanned code gives the screen a typed one gives: name, price and
        # prompt pixel for pixel; only the total has grown.
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("typed", name=BUTTER[1], price=BUTTER[2], total="12.50")
        typed = self.session.shots[-1]
        com1.send(BUTTER[0].encode() + b"\r")
        self.assert_screen("scanned", name=BUTTER[1], price=BUTTER[2], total="25.00",
                           code=BUTTER[0])
        scanned = self.session.shots[-1]
        for band in ("extras", "name1", "name2", "prompt", "price", "weight"):
            typed_pixels = screen.screen_band(typed, band)
            self.assertIsNotNone(typed_pixels, "no price screen in the shot")
            self.assertEqual(typed_pixels, screen.screen_band(scanned, band),
                             f"{band} differs")

        # CR LF: the line feed finds nothing entered and asks nothing.
        com1.send(BREAD[0].encode() + b"\r\n")
        self.assert_screen("cr lf", name=BREAD[1], price=BREAD[2], total="29.99")
        self.assert_requests([(0x80, BUTTER[0]), (0x81, BUTTER[0]), (0x82, BREAD[0])], "CR LF")

        # Escape from the scanner is a code character, not the dialog's key;
        # the code is cut at it.
        com1.send(b"12\x1b34\r")
        self.assertTrue(program.window_absent(self.session, "Konfiguracja", QUIET_S),
                        "a scanned Escape opened the dialog")
        self.assert_requests([(0x80, BUTTER[0]), (0x81, BUTTER[0]), (0x82, BREAD[0]),
                              (0x83, "12")], "Escape")
        self.close_and_expect_exit_code_0()
        self.passed = True

    def test_dialog_ok_moves_reopens_and_stops_the_scanner(self):
        com1 = self.scanner("COM1")
        com2 = self.scanner("COM2")
        self.start_with_scanner("COM1")
        com1.send(BUTTER[0].encode() + b"\r")
        self.assert_screen("on com1", name=BUTTER[1], price=BUTTER[2], total="12.50")
        asked = [(0x80, BUTTER[0])]
        self.assert_requests(asked, "on COM1")

        # Escape typed opens the dialog; OK with COM2 moves the scanner there.
        dialog = program.open_config_dialog(self.session)
        self.assertIn("Port komunikacji", screen.read_box(self.session, dialog, "dialog"))
        self.confirm_dialog("COM2", "with COM2", dialog)
        self.assertEqual(self.saved_port(), "COM2")
        com1.send(BUTTER[0].encode() + b"\r")  # the old port is closed: lost
        com2.send(BREAD[0].encode() + b"\r")
        self.assert_screen("com2", name=BREAD[1], price=BREAD[2], total="17.49")
        asked.append((0x81, BREAD[0]))
        self.assert_requests(asked, "after the move to COM2")

        # OK with the port unchanged closes and at once reopens it.
        self.confirm_dialog(None, "with the same port")
        com2.send(BUTTER[0].encode() + b"\r")
        self.assert_screen("com2 again", name=BUTTER[1], price=BUTTER[2], total="29.99")
        asked.append((0x82, BUTTER[0]))
        self.assert_requests(asked, "after reopening COM2")

        # The line vanishes under the open port (its pseudo-terminal pair
        # ends), as a pulled USB adapter does. Under Wine the open port stays
        # dead for good: a read gets no byte after polling the hung-up line
        # for its whole time-out, only the port's status fails. The reader
        # runs on without spinning, typing still works, and once a line is
        # back under the same name the reader opens it again by itself: the
        # next scan gets through without a box and without the dialog.
        virtual_serial.end_line(self.session, "COM2")
        self.assert_program_idle("with the line gone")
        program.enter_code(self.session, BREAD[0])
        self.assert_screen("line gone", name=BREAD[1], price=BREAD[2], total="34.98")
        asked.append((0x83, BREAD[0]))
        com2 = virtual_serial.ScannerEnd(virtual_serial.start_line(self.session, "COM2"))
        self.ends.append(com2)
        time.sleep(REOPEN_S)
        com2.send(BUTTER[0].encode() + b"\r")
        self.assert_screen("line back", name=BUTTER[1], price=BUTTER[2], total="47.48")
        asked.append((0x84, BUTTER[0]))
        self.assert_requests(asked, "after the line came back")
        self.assertIsNone(program.find_window(self.session, "Uwaga", timeout=0.5),
                          "a box for the line that came back")

        # An emptied port stops the scanner without a word.
        self.confirm_dialog("", "with no port")
        self.assertEqual(self.saved_port(), "")
        com2.send(BUTTER[0].encode() + b"\r")
        self.assert_requests(asked, "with the scanner stopped")
        self.close_and_expect_exit_code_0()
        self.passed = True

    def test_missing_port_gives_one_warning_naming_it(self):
        self.start_with_scanner()
        dialog = program.open_config_dialog(self.session)
        program.set_port_and_confirm(self.session, dialog, "COM5")
        box = program.find_window(self.session, "Uwaga", timeout=15)
        self.assertIsNotNone(box, "no warning for COM5")
        time.sleep(0.5)
        self.assertEqual(program.count_windows(self.session, "Uwaga"), 1)
        text = screen.read_box(self.session, box, "com5")
        self.assertIn("Nie otwarto portu komunikacyjnego: COM5", screen.normalise(text))
        program.press(self.session, "Return", window=box)
        self.assertTrue(program.wait_window_gone(self.session, box))
        self.assertIsNone(program.find_window(self.session, "Uwaga", timeout=QUIET_S),
                          "a second warning for COM5")
        self.assertTrue(program.wait_window_gone(self.session, dialog), "dialog stayed open")
        self.assertEqual(self.saved_port(), "COM5")

        # Typing still works, and the program ends as usual.
        program.enter_code(self.session, BUTTER[0])
        self.assert_screen("typed at the end", name=BUTTER[1], total="12.50")
        self.assert_requests([(0x80, BUTTER[0])], "typed at the end")
        self.close_and_expect_exit_code_0()
        self.passed = True


if __name__ == "__main__":
    program_case.main()
