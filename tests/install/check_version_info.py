"""Reads the version resource of every built exe back with windres and checks
what Windows' file properties will show: file and product version from the
build's one version, product name "lumivo", a Polish description, language
Polish in code page 1250. lumivo.exe's About box names the same version, and a program named
"setup" asks to run as its user.

With --release, the output folder of tools/make-release.sh instead: one
installer and one zip of one version, SHA256SUMS that verify, the zip's
programs 32-bit with those version resources, and the installer a 32-bit
program that carries exactly those programs.

usage: check_version_info.py --windres WINDRES --version V --file-version W EXE...
       check_version_info.py --windres WINDRES --release FOLDER
"""

import argparse
import hashlib
import lzma
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

PROGRAMS = ["lumivo.exe", "prchk.exe", "checker_server.exe"]
LARGE_ADDRESS_AWARE = {"checker_server.exe"}
I386 = 0x14C


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
    # Without a requested level Windows asks for an administrator before it
    # starts a program whose name holds "setup", taking it for an installer.
    if "setup" in os.path.basename(exe) and 'level=""asInvoker""' not in rc_text:
        found.append(f"{exe}: no manifest asking to run as the user who starts it")
    return found


def pe_header(data):
    """The machine and characteristics fields of a PE file's header (machine
    0x14C for 32-bit x86), or (None, 0)."""
    if data[:2] != b"MZ":
        return None, 0
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None, 0
    return tuple(struct.unpack_from("<H", data, offset + at)[0] for at in (4, 22))


def pe_machine(data):
    return pe_header(data)[0]


def installer_contents(data):
    """What a solid-LZMA NSIS installer unpacks, as one byte string: the
    data after its first header is one raw LZMA stream (5 bytes of
    properties first), which holds the script and each file."""
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst") - 4
    if at < 0:
        return b""
    length = struct.unpack_from("<I", data, at + 24)[0]
    stream = data[at + 28:at + length]
    settings, dict_size = stream[0], struct.unpack_from("<I", stream, 1)[0]
    decompressor = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[{
        "id": lzma.FILTER_LZMA1, "dict_size": dict_size, "lc": settings % 9,
        "lp": settings // 9 % 5, "pb": settings // 45}])
    try:
        return decompressor.decompress(stream[5:])
    except lzma.LZMAError:
        return b""


def release_problems(folder, windres):
    names = sorted(os.listdir(folder))
    setups = [n for n in names if re.fullmatch(r"lumivo-(.+)-setup\.exe", n)]
    zips = [n for n in names if re.fullmatch(r"lumivo-(.+)-win32\.zip", n)]
    if len(setups) != 1 or len(zips) != 1 or "SHA256SUMS" not in names:
        return [f"{folder}: not one installer, one zip and SHA256SUMS: {names}"]
    version = setups[0][len("lumivo-"):-len("-setup.exe")]
    file_version = ".".join(re.match(r"(\d+)\.(\d+)\.(\d+)", version).groups()) + ".0"
    problems = [] if zips[0] == f"lumivo-{version}-win32.zip" else [f"{zips[0]}: not {version}"]
    with open(os.path.join(folder, "SHA256SUMS")) as f:
        sums = dict(reversed(line.split()) for line in f if line.strip())
    for name in setups + zips:
        with open(os.path.join(folder, name), "rb") as f:
            if sums.get(name) != hashlib.sha256(f.read()).hexdigest():
                problems.append(f"SHA256SUMS: {name} does not verify")
    with open(os.path.join(folder, setups[0]), "rb") as f:
        setup = f.read()
    if pe_machine(setup) != I386:
        problems.append(f"{setups[0]}: not a 32-bit program")
    carried = installer_contents(setup)
    with zipfile.ZipFile(os.path.join(folder, zips[0])) as archive, \
            tempfile.TemporaryDirectory() as unpacked:
        for name in PROGRAMS:
            data = archive.read(f"lumivo-{version}/{name}")
            if pe_machine(data) != I386:
                problems.append(f"{zips[0]}: {name} is not a 32-bit program")
            # The checker server holds a million items and, while it reloads,
            # a second list: it needs more than 2 GB of address space.
            if name in LARGE_ADDRESS_AWARE and not pe_header(data)[1] & 0x20:
                problems.append(f"{zips[0]}: {name} is not large-address-aware")
            if data not in carried:
                problems.append(f"{setups[0]}: does not carry the zip's {name}")
            path = os.path.join(unpacked, name)
            with open(path, "wb") as f:
                f.write(data)
            problems += problems_of(path, read_resources(windres, path), version, file_version)
    print(f"release {version}: {setups[0]}, {zips[0]}, SHA256SUMS")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windres", required=True)
    parser.add_argument("--release")
    parser.add_argument("--version")
    parser.add_argument("--file-version")
    parser.add_argument("exes", nargs="*")
    args = parser.parse_args()
    problems = []
    if args.release:
        problems = release_problems(args.release, args.windres)
    elif not (args.version and args.file_version and args.exes):
        parser.error("give --release, or --version, --file-version and the exes")
    for exe in args.exes:
        problems += problems_of(exe, read_resources(args.windres, exe), args.version,
                                args.file_version)
    for problem in problems:
        print(problem)
    print(f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
