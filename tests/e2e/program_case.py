"""The frame every end-to-end test runs in: one display and one template Wine
prefix for the whole script; for every test its own prefix copy, working
folder and helpers, stopped by PID when the test ends, whatever its outcome.

Each script is run as `test_x.py --exe lumivo.exe --prchk prchk --server
checker_server [--windows-prchk prchk.exe] [--windows-server checker_server.exe]
[unittest arguments]` (tests/e2e/CMakeLists.txt); prchk and checker_server are
native programs, the --windows- ones the Windows programs of the same build.
"""

import argparse
import os
import shutil
import sys
import tempfile
import time
import unittest

import program_session as program
import screen_reading as screen
import setup_dat
import winebox

ARGS = None


def start_display():
    """A display of our own, or the one LUMIVO_E2E_DISPLAY names (a caller
    runs it, with a window manager, and stops it)."""
    given = os.environ.get("LUMIVO_E2E_DISPLAY")
    if given:
        return winebox.Display(name=given)
    return winebox.start_display()


def template_path():
    """The template prefix is kept in the build tree across runs."""
    return os.environ.get("LUMIVO_E2E_TEMPLATE") or os.path.join(
        os.getcwd(), "e2e-wine-template")


class ProgramCase(unittest.TestCase):
    display = None
    template = None
    folder = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="lumivo-e2e-data-")
        cls.display = start_display()
        try:
            cls.template = winebox.make_template_prefix(cls.display, template_path())
        except Exception:
            winebox.stop_display(cls.display)
            raise

    @classmethod
    def tearDownClass(cls):
        winebox.stop_display(cls.display)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.session = program.new_session(self.display, self.template)
        self.passed = False
        self.addCleanup(self.end_session)

    def end_session(self):
        keep = None
        test_name = self.id().rsplit(".", 1)[-1]
        if not self.passed:
            keep = os.path.join(os.getcwd(), "e2e-failures", test_name)
        elif os.environ.get("LUMIVO_E2E_KEEP_SHOTS"):
            keep = os.path.join(os.environ["LUMIVO_E2E_KEEP_SHOTS"], test_name)
        program.stop_session(self.session, keep_shots_in=keep)

    def write_price_list(self, text):
        path = os.path.join(self.folder, "items.csv")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def server_setup(self, address, **overrides):
        """setup.dat for server mode asking `address`, no scanner unless named."""
        fields = setup_dat.settings_fields(standaloneMode=0, serverAddress=address, **overrides)
        return setup_dat.write_setup(self.session.workdir, fields)

    def start(self):
        program.start_program(self.session, ARGS.exe)
        program.wait_main_window(self.session)

    def assert_screen(self, what, timeout=10, full_screen=False, **expected):
        problems = screen.wait_for_screen(self.session, what, timeout=timeout,
                                          full_screen=full_screen, **expected)
        self.assertEqual(problems, [], f"screen after {what}")

    def assert_box(self, title, timeout, *texts):
        """Waits for one box of that title, checks its text by OCR, closes it
        with Enter and returns its text."""
        box = program.find_window(self.session, title, timeout=timeout)
        self.assertIsNotNone(box, f"no \"{title}\" box")
        time.sleep(0.5)
        text = screen.read_box(self.session, box, "box")
        for expected in texts:
            self.assertIn(expected, text)
        program.press(self.session, "Return", window=box)
        self.assertTrue(program.wait_window_gone(self.session, box), "the box did not close")
        return text

    def close_and_expect_exit_code_0(self):
        program.press(self.session, "alt+F4")
        self.assertEqual(program.wait_exit(self.session), 0, "exit code")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prchk")
    parser.add_argument("--server", required=True)
    parser.add_argument("--windows-server")
    parser.add_argument("--source")
    parser.add_argument("--windows-prchk", help="the Windows prchk.exe of the same build")
    ARGS, rest = parser.parse_known_args()
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
