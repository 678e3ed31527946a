"""What lumivo.exe's price screen and its boxes show, read from screenshots
with tesseract and compared with what must be there: names within a letter
or two of OCR slips, every digit of a price and a total exactly.

Standard library only, plus ImageMagick (import, convert) and tesseract with
the Polish data.
"""

import os
import re
import time
import unicodedata

from program_session import screenshot
from winebox import run, time_limit

# The price screen's blue, as the program paints it.
SCREEN_BLUE = (0, 50, 150)


def read_ppm(path):
    """Width, height and RGB bytes of an image, through ImageMagick."""
    data = run(["convert", path, "-depth", "8", "ppm:-"]).stdout
    # P6 header: magic, width, height, maxval, each after whitespace.
    # The pixels are the last width*height*3 bytes.
    parts = data.split(maxsplit=3)
    width, height = int(parts[1]), int(parts[2])
    return width, height, data[-width * height * 3:]


def client_area(image):
    """The price screen's rectangle (x, y, w, h) in a screenshot read by
    read_ppm: the bounding box of the screen blue, which fills the whole
    client area."""
    width, height, pixels = image
    blue = bytes(SCREEN_BLUE)
    rows = []
    left, right = width, -1
    for r in range(height):
        line = pixels[r * width * 3:(r + 1) * width * 3]
        columns = [c for c in (line.find(blue), line.rfind(blue)) if c >= 0 and c % 3 == 0]
        if not columns:
            continue
        rows.append(r)
        left = min(left, columns[0] // 3)
        right = max(right, columns[-1] // 3)
    if not rows:
        return None
    return left, rows[0], right - left + 1, rows[-1] - rows[0] + 1


def region_is_blank(image, x, y, w, h):
    """True when every pixel of the rectangle is the screen blue."""
    width, _, pixels = image
    row = bytes(SCREEN_BLUE) * w
    return all(pixels[(r * width + x) * 3:(r * width + x + w) * 3] == row
               for r in range(y, y + h))


def ocr(path, psm=7):
    # tesseract's worker threads only slow it down on a busy two-core machine.
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    result = run(["tesseract", path, "stdout", "-l", "pol", "--psm", str(psm)], env=env,
                 timeout=60)
    return result.stdout.decode("utf-8", errors="replace").strip()


def ocr_region(image, x, y, w, h, psm=7, light_text=True, scale=None):
    """Reads text in one rectangle of an image, as dark letters on white.

    tesseract reads best when a line is about 70 pixels high: the big font
    is read as it is, the small one enlarged. Larger letters make it mistake
    a 7 for a slash."""
    out = image + f".{x}-{y}-{w}-{h}.png"
    if scale is None:
        scale = max(100, round(7000 / max(h, 1)))
    args = ["convert", image, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray"]
    if light_text:
        args.append("-negate")
    args += ["-resize", f"{scale}%", "-bordercolor", "white", "-border", "30", out]
    run(args)
    try:
        return ocr(out, psm)
    finally:
        os.unlink(out)


def read_box(session, window, name="box"):
    """The text of a message box or dialog: dark letters on grey, small."""
    shot = screenshot(session, os.path.join(session.root, name + ".png"), window)
    width, height, _ = read_ppm(shot)
    return ocr_region(shot, 0, 0, width, height, psm=6, light_text=False, scale=200)


# Rows of the price screen in eighths of its height: (first band, height in
# bands). The small font is half a band high, the big one a whole band.
SCREEN_LINES = {
    "extras": (0, 0.5),
    "name1": (1, 0.5),
    "name2": (1.5, 0.5),
    "prompt": (2, 1),
    "price": (4, 1),
    "weight": (5, 0.5),
    "bottom": (7, 0.5),
}


def line_rectangle(area, name):
    """The rectangle (x, y, w, h) of one named line inside the price
    screen's area: the lines sit on bands of an eighth of its height."""
    x, y, w, h = area
    band = h // 8
    first, size = SCREEN_LINES[name]
    top = y + int(first * band)
    height = min(max(1, int(size * band) + 2), y + h - top)
    return x, top, w, height


def read_screen(shot, lines=None):
    """OCR text of the named lines of the price screen in a screenshot."""
    image = read_ppm(shot)
    area = client_area(image)
    if area is None:
        return {}
    texts = {}
    for name in lines or SCREEN_LINES:
        rectangle = line_rectangle(area, name)
        if region_is_blank(image, *rectangle):
            texts[name] = ""
        else:
            texts[name] = ocr_region(shot, *rectangle)
    return texts


def screen_band(shot, name):
    """The pixels of one named line of the price screen, to compare two
    screenshots pixel for pixel; None when the shot shows no price screen."""
    image = read_ppm(shot)
    area = client_area(image)
    if area is None:
        return None
    x, top, w, height = line_rectangle(area, name)
    width, _, pixels = image
    return b"".join(pixels[(r * width + x) * 3:(r * width + x + w) * 3]
                    for r in range(top, top + height))


# --- comparing what OCR read with what must be there --------------------------


def normalise(text):
    """One blank between words; Polish letters kept, case kept."""
    text = unicodedata.normalize("NFC", text)
    return " ".join(text.split())


def edit_distance(a, b):
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1,
                               previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def digits(text):
    return "".join(c for c in text if c.isdigit())


def text_matches(seen, expected):
    """OCR may slip on a letter or two of a long text, never more: at most one
    edit per 12 characters (at least 1), and every digit exactly."""
    seen, expected = normalise(seen), normalise(expected)
    if digits(seen) != digits(expected):
        return False
    allowed = max(1, len(expected) // 12)
    return edit_distance(seen, expected) <= allowed


def amount_after(label, seen):
    """The number OCR read after a label such as "Cena:", as its digits, or
    None when the label is not there. A dot read as a comma is tolerated; a
    wrong digit is not."""
    pattern = r"".join(re.escape(c) + r"\s*" for c in label.rstrip(":"))
    match = re.search(pattern + r"[:;.,]?\s*(-?[0-9][0-9 .,]*[0-9])", seen)
    if not match:
        return None
    number = match.group(1).replace(" ", "")
    if not re.fullmatch(r"-?[0-9]+[.,][0-9]+", number):
        return None
    return number.replace(",", ".")


def screen_shows(texts, name=None, price=None, total=None, prompt=False, code=None,
                 weight=None):
    """Checks an OCR reading of the price screen. Returns a list of what does
    not match (empty when all does)."""
    problems = []

    def need(ok, what):
        if not ok:
            problems.append(what)

    if prompt:
        need(text_matches(texts.get("prompt", ""), "Wprowadź kod towaru"),
             f"prompt: read {texts.get('prompt')!r}")
    if name is not None:
        seen = texts.get("name1", "")
        if len(name) > 40:
            seen += texts.get("name2", "")
        need(text_matches(seen.replace(" ", ""), name[:80].replace(" ", "")),
             f"name {name!r}: read {seen!r}")
    if price is not None:
        need(amount_after("Cena:", texts.get("price", "")) == price,
             f"price {price}: read {texts.get('price')!r}")
    if total is not None:
        need(amount_after("Razem:", texts.get("bottom", "")) == total,
             f"total {total}: read {texts.get('bottom')!r}")
    if code is not None:
        match = re.search(r"K\s*o\s*d\s*[:;.]?\s*([0-9A-Za-z]+)", texts.get("bottom", ""))
        need(match is not None and match.group(1) == code,
             f"code {code}: read {texts.get('bottom')!r}")
    if weight is not None:
        mass, unit, unit_price = weight
        seen = texts.get("weight", "")
        need(amount_after("Masa:", seen) == mass and unit in seen
             and amount_after("Cena/jm:", seen) == unit_price,
             f"weight line {weight}: read {seen!r}")
    return problems


def lines_to_read(expected):
    """The lines of the price screen that hold what screen_shows checks."""
    lines = set()
    if expected.get("prompt"):
        lines.add("prompt")
    if expected.get("name") is not None:
        lines.update(["name1", "name2"] if len(expected["name"]) > 40 else ["name1"])
    if expected.get("price") is not None:
        lines.add("price")
    if expected.get("total") is not None or expected.get("code") is not None:
        lines.add("bottom")
    if expected.get("weight") is not None:
        lines.add("weight")
    return sorted(lines)


def wait_for_screen(session, shot_name, timeout=10, full_screen=False, **expected):
    """Takes screenshots until the screen shows what is expected or time
    runs out. Returns the list of mismatches of the last look (empty: shown).

    full_screen: for a window that covers the whole screen (see screenshot)."""
    lines = lines_to_read(expected)
    deadline = time.monotonic() + time_limit(timeout)
    while True:
        shot = screenshot(session, os.path.join(session.root, shot_name + ".png"),
                          full_screen=full_screen)
        problems = screen_shows(read_screen(shot, lines), **expected)
        if not problems or time.monotonic() > deadline:
            return problems
        time.sleep(0.5)
