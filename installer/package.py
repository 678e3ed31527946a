"""What a shop PC gets, made from the Windows programs of one build: the
user guide as one HTML file, the NSIS installer and the portable zip.
tools/make-release.sh runs it; the installer test imports it, so both build
the installer the same way.

Needs Debian's python3-markdown (run it with /usr/bin/python3) and makensis.

  package.py stage --version V FOLDER lumivo.exe prchk.exe checker_server.exe
                   lumivo-setup.exe lumivo-start.exe
      copies the programs and the sample price list into FOLDER and writes
      the guide beside them
  package.py installer --version V --file-version W --arch x86|amd64
                       [--sign COMMAND] FOLDER SETUP.EXE
  package.py zip --version V FOLDER ZIP

Reproducible: the zip's entries come in a fixed order with the time of
$SOURCE_DATE_EPOCH (the release passes its commit's time), the installer
holds no file times, and the guide no date.
"""

import argparse
import base64
import html
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDE = os.path.join(SOURCE, "docs", "podrecznik.md")
NOTE = os.path.join(SOURCE, "installer", "CZYTAJ.txt")
NSIS_SCRIPT = os.path.join(SOURCE, "installer", "lumivo.nsi")

# What both packages hold besides the programs. The NSIS script names the
# same files.
PROGRAMS = ["lumivo.exe", "prchk.exe", "checker_server.exe", "lumivo-setup.exe", "lumivo-start.exe"]
GUIDE_HTML = "podrecznik.html"
# The demo price list as a Polish spreadsheet saves it (Windows-1250, ";"),
# which a spreadsheet opens directly and prchk builds and the simulator
# serves as it is.
SAMPLE_LIST = "przyklad.csv"
SAMPLE_SOURCE = os.path.join(SOURCE, "tools", "demo", "demo_items_arkusz.csv")

PAGE = """<!DOCTYPE html>
<html lang="pl">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: "Segoe UI", Arial, sans-serif; max-width: 60em; margin: 1em auto;
       padding: 0 1em; line-height: 1.45; color: #222; }}
table {{ border-collapse: collapse; margin: 0.8em 0; }}
th, td {{ border: 1px solid #aaa; padding: 0.25em 0.5em; vertical-align: top; }}
th {{ background: #e8eef8; }}
code {{ background: #f2f2f2; padding: 0 0.2em; }}
img {{ max-width: 100%; border: 1px solid #888; }}
.toc {{ background: #f6f6f6; border: 1px solid #ccc; padding: 0.3em 1em; }}
.version {{ color: #666; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def guide_html(version, allow_missing_images=False):
    """The guide as one page: Markdown with tables and a table of contents,
    every screenshot embedded, so the file can be copied and opened alone."""
    import markdown  # Debian's python3-markdown

    with open(GUIDE, encoding="utf-8") as f:
        text = f.read()
    # The contents list starts below the title.
    body = markdown.markdown(text, extensions=["tables", "toc"], output_format="html",
                             extension_configs={"toc": {"toc_depth": "2-3"}})
    body = re.sub(r'(<img [^>]*src=")([^"]+)(")',
                  lambda m: m.group(1) + embedded_image(m.group(2), allow_missing_images)
                  + m.group(3), body)
    heading = re.search(r"<h1[^>]*>(.*?)</h1>", body)
    body = (body[:heading.end()] + f'\n<p class="version">Wersja programu: {html.escape(version)}</p>'
            + body[heading.end():])
    return PAGE.format(title=heading.group(1), body=body)


def embedded_image(name, allow_missing):
    path = os.path.join(os.path.dirname(GUIDE), html.unescape(name))
    if not os.path.exists(path):
        if not allow_missing:
            raise SystemExit(f"package: the guide shows {name}, which is missing: "
                             "make the screenshots first (tools/make-screenshots.sh)")
        print(f"package: warning: the guide shows {name}, which is missing", file=sys.stderr)
        return name
    with open(path, "rb") as f:
        return "data:image/png;base64," + base64.b64encode(f.read()).decode("ascii")


def stage(folder, programs, version, allow_missing_images=False):
    """FOLDER gets the programs (by their file names) and the guide."""
    os.makedirs(folder, exist_ok=True)
    for program in programs:
        if os.path.basename(program) not in PROGRAMS:
            raise SystemExit(f"package: {program} is not one of {', '.join(PROGRAMS)}")
        shutil.copy2(program, folder)
    shutil.copyfile(SAMPLE_SOURCE, os.path.join(folder, SAMPLE_LIST))
    with open(os.path.join(folder, GUIDE_HTML), "w", encoding="utf-8") as f:
        f.write(guide_html(version, allow_missing_images))


def build_installer(folder, out, version, file_version, arch, sign=None):
    """Runs makensis on the NSIS script around the staged FOLDER."""
    defines = {"VERSION": version, "FILE_VERSION": file_version, "ARCH": arch,
               "STAGE": os.path.abspath(folder), "OUTFILE": os.path.abspath(out)}
    if sign:
        defines["SIGN"] = sign
    command = ["makensis", "-V2", "-WX", "-INPUTCHARSET", "UTF8"]
    command += [f"-D{name}={value}" for name, value in defines.items()]
    result = subprocess.run(command + [NSIS_SCRIPT], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise SystemExit(f"package: makensis failed:\n{result.stdout}")
    return out


def build_zip(folder, out, version):
    """The portable zip: one folder lumivo-VERSION with the programs, the
    guide, the sample price list and the note on where setup.dat lives, for
    Windows' Notepad (UTF-8 with a byte-order mark, CRLF). Every entry has
    the same time and rights, so one commit gives one zip."""
    with open(NOTE, encoding="utf-8") as f:
        note = f.read().replace("@VERSION@", version).replace("\n", "\r\n")
    top = f"lumivo-{version}"
    entries = [(name, read_bytes(os.path.join(folder, name)))
               for name in PROGRAMS + [GUIDE_HTML, SAMPLE_LIST]]
    entries.append(("CZYTAJ.txt", ("\ufeff" + note).encode("utf-8")))
    stamp = zip_time()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in sorted(entries):
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # made on "MS-DOS": no Unix rights in the entry
            entry.external_attr = 0
            archive.writestr(entry, data)
    return out


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def zip_time():
    """$SOURCE_DATE_EPOCH as a zip entry's local time (zip holds no zone),
    else 1980-01-01, the earliest a zip can hold."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        return (1980, 1, 1, 0, 0, 0)
    return time.gmtime(max(int(epoch), 315532800))[:6]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["stage", "installer", "zip"])
    parser.add_argument("--version", required=True)
    parser.add_argument("--file-version")
    parser.add_argument("--arch", choices=["x86", "amd64"], default="x86")
    parser.add_argument("--sign")
    parser.add_argument("folder")
    parser.add_argument("rest", nargs="+")
    args = parser.parse_args(argv)
    if args.what == "stage":
        stage(args.folder, args.rest, args.version)
    elif args.what == "installer":
        if not args.file_version:
            parser.error("installer needs --file-version")
        build_installer(args.folder, args.rest[0], args.version, args.file_version, args.arch,
                        args.sign)
    else:
        build_zip(args.folder, args.rest[0], args.version)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
