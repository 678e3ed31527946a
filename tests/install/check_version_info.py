"""Reads the version resource of every built exe back with windres and checks
what Windows' file properties will show: file and product version from the
build's one version, product name "lumivo", a Polish description, language
Polish in code page 1250. lumivo.exe's About box names the same version.

usage: check_version_info.py --windres WINDRES --version V --file-version W EXE...
"""

import argparse
import re
import subprocess
import sys


def decode_rc_string(text):
    """A string as windres writes it: \\ooo octal and \\xhhhh escapes."""
    return re.sub(r"\\x([0-9a-fA-F]{4})|\\([0-7]{3})|\\(.)",
                  lambda m: chr(int(m.group(1), 16)) if m.group(1)
                  else chr(int(m.group(2), 8)) if m.group(2) else m.group(3), text)


def read_resources(windres, exe):
    return subprocess.run([windres, "-i", exe, "-O", "rc"], check=True, text=True,
                          stdout=subprocess.PIPE).stdout


def version_info(rc_text):
    """The fields of the one VERSIONINFO resource, or None without one."""
    match = re.search(r"VERSIONINFO\n(.*?)\nEND\n", rc_text, re.S)
    if not match:
        return None
    block = match.group(1)
    info = {"blocks": re.findall(r'BLOCK "([0-9A-Fa-f]{8})"', block)}
    for key in ("FILEVERSION", "PRODUCTVERSION"):
        numbers = re.search(key + r" (\d+), (\d+), (\d+), (\d+)", block).groups()
        info[key] = ".".join(numbers)
    for key, text in re.findall(r'VALUE "(\w+)", L?"((?:[^"\\]|\\.)*)"', block):
        info[key] = decode_rc_string(text)
    translation = re.search(r'VALUE "Translation", (0x[0-9a-fA-F]+), (\d+)', block)
    info["Translation"] = (int(translation.group(1), 16), int(translation.group(2)))
    return info


def problems_of(exe, rc_text, version, file_version):
    info = version_info(rc_text)
    if info is None:
        return [f"{exe}: no version resource"]
    expected = {"FILEVERSION": file_version, "PRODUCTVERSION": file_version,
                "FileVersion": version, "ProductVersion": version, "ProductName": "lumivo",
                "blocks": ["041504E2"], "Translation": (0x0415, 1250)}
    found = [f"{exe}: {key} is {info.get(key)!r}, not {value!r}"
             for key, value in expected.items() if info.get(key) != value]
    # UTF-8 read in another code page shows as "Ä™" for "ę", "â€“" for "–".
    description = info.get("FileDescription", "")
    if not description or re.search("[ÃÄÅâ]", description):
        found.append(f"{exe}: FileDescription is {description!r}")
    if exe.endswith("lumivo.exe") and f'"lumivo {version} ' not in rc_text:
        found.append(f"{exe}: the About box does not say lumivo {version}")
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windres", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--file-version", required=True)
    parser.add_argument("exes", nargs="+")
    args = parser.parse_args()
    problems = []
    for exe in args.exes:
        problems += problems_of(exe, read_resources(args.windres, exe), args.version,
                                args.file_version)
    for problem in problems:
        print(problem)
    print(f"{len(args.exes)} programs, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
