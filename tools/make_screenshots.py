"""Makes the pictures of lumivo.exe for the README and the user guide, from
the demo price list, in standalone mode on a virtual display of its own.
Each picture is taken only once OCR reads on it what it is meant to show.

usage: make_screenshots.py --exe lumivo.exe --prchk prchk --docs DIR --work DIR
(tools/make-screenshots.sh builds the program and the tool and runs this.)
"""

import argparse
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, "tests", "harness"))
import program_session as program  # noqa: E402
import screen_reading as screen  # noqa: E402
import setup_dat  # noqa: E402
import winebox  # noqa: E402

DEMO_ITEMS = os.path.join(HERE, "demo", "demo_items.csv")

# Where a shop keeps its price file, as the dialog's picture shows it: on the
# prefix's drive C:, not in a build folder.
SHOP_PRICE_FILE = "C:\\Sklep\\PRCHK.DAT"


class Pictures:
    """Copies checked screenshots into the documentation folder."""

    def __init__(self, session, docs):
        self.session = session
        self.docs = docs

    def save(self, shot, *names):
        for name in names:
            shutil.copy(shot, os.path.join(self.docs, name + ".png"))
            print(f"make-screenshots: {os.path.join(self.docs, name)}.png")

    def screen(self, names, timeout=10, **expected):
        problems = screen.wait_for_screen(self.session, names[0], timeout=timeout, **expected)
        if problems:
            raise SystemExit(f"make-screenshots: {names[0]}: {problems}")
        self.save(self.session.shots[-1], *names)

    def box(self, window, name, text):
        """A dialog or message box, grabbed from the root and cropped to it:
        grabbing the box's own window misses Wine's child controls."""
        time.sleep(0.5)
        read = screen.read_box(self.session, window, name)
        if text not in screen.normalise(read):
            raise SystemExit(f"make-screenshots: {name}: no {text!r} in {read!r}")
        self.save(self.session.shots[-1], name)


def end_program(session):
    program.press(session, "alt+k")
    code = program.wait_exit(session)
    if code != 0:
        raise SystemExit(f"make-screenshots: lumivo.exe ended with {code}")


def shoot_price_screens(session, exe, prchk, docs):
    """The prompt, two items with their total, a weighed item, and the
    configuration dialog over them."""
    shop = os.path.join(session.prefix, "drive_c", "Sklep")
    os.makedirs(shop)
    winebox.run([prchk, "build", DEMO_ITEMS, os.path.join(shop, "PRCHK.DAT")])
    setup_dat.write_setup(session.workdir, setup_dat.settings_fields(
        priceFilePath=SHOP_PRICE_FILE, weightPrefixes=["21"], valuePrefixes=["22"]))
    program.start_program(session, exe)
    program.wait_main_window(session)
    pictures = Pictures(session, docs)
    pictures.screen(["screenshot-prompt", "podrecznik-ekran-powitalny"], prompt=True)
    program.enter_code(session, "5901234000017")
    program.enter_code(session, "5901234000024")
    pictures.screen(["screenshot-result", "podrecznik-wynik"], price="7.99", total="14.48")
    program.enter_code(session, "2100012012348")
    pictures.screen(["screenshot-weight", "podrecznik-waga"], price="49.35",
                    weight=("1.234", "kg", "39.99"), total="63.83")
    dialog = program.open_config_dialog(session)
    pictures.box(dialog, "podrecznik-konfiguracja", "Port komunikacji")
    program.press(session, "Escape", window=dialog)
    if not program.wait_window_gone(session, dialog):
        raise SystemExit("make-screenshots: the dialog did not close")
    end_program(session)


def shoot_missing_price_file(session, exe, docs):
    """The warning standalone mode gives at start when its price file is
    not where the settings say: this session's drive C: has none."""
    setup_dat.write_setup(session.workdir, setup_dat.settings_fields(
        priceFilePath=SHOP_PRICE_FILE))
    program.start_program(session, exe)
    warning = program.find_window(session, "Uwaga", timeout=30)
    if warning is None:
        raise SystemExit("make-screenshots: no \"Uwaga\" box for the missing price file")
    Pictures(session, docs).box(warning, "podrecznik-brak-pliku", "Brak pliku")
    program.press(session, "Return", window=warning)
    program.wait_main_window(session)
    end_program(session)


def in_session(display, template, shoot, *args):
    """Runs `shoot` with a fresh session (prefix copy, working folder) and
    stops everything it started."""
    session = program.new_session(display, template)
    try:
        shoot(session, *args)
    finally:
        program.stop_session(session)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prchk", required=True)
    parser.add_argument("--docs", required=True)
    parser.add_argument("--work", required=True, help="keeps the template Wine prefix")
    args = parser.parse_args()
    os.makedirs(args.docs, exist_ok=True)
    display = winebox.start_display(1024, 768)
    try:
        template = winebox.make_template_prefix(display, os.path.join(args.work, "wine-template"))
        in_session(display, template, shoot_price_screens, args.exe, args.prchk, args.docs)
        in_session(display, template, shoot_missing_price_file, args.exe, args.docs)
    finally:
        winebox.stop_display(display)
    return 0


if __name__ == "__main__":
    sys.exit(main())
