"""setup.dat, the program's 500-byte settings record, written and read the
way lumivo.exe lays it out: for the demo, the screenshot script and the
end-to-end tests, which give the program its settings before it starts and
check what it saved.

Command line (the demo's settings):
  setup_dat.py DIR server|standalone PRICE_FILE [SERVER_ADDRESS]
"""

import os
import struct
import sys

# The 500-byte settings record, little-endian, no padding.
SETTINGS_LAYOUT = [
    ("portName", "44s"),
    ("baudRate", "i"),
    ("priceFilePath", "196s"),
    ("shortItemCode", "i"),
    ("valuePrefixes", "9s"),
    ("weightPrefixes", "9s"),
    ("reserved", "2s"),
    ("showNet1", "i"),
    ("showNet2", "i"),
    ("showGross1", "i"),
    ("showGross2", "i"),
    ("standaloneMode", "i"),
    ("serverAddress", "104s"),
    ("fullScreen", "i"),
    ("fontName", "104s"),
]
SETTINGS_FORMAT = "<" + "".join(kind for _, kind in SETTINGS_LAYOUT)
SETTINGS_SIZE = 500
assert struct.calcsize(SETTINGS_FORMAT) == SETTINGS_SIZE

# Texts in the settings record are Windows-1250, like everything the
# program shows.
TEXT_ENCODING = "cp1250"


def prefix_slots(prefixes):
    """Three 3-byte slots of up to two characters each, e.g. ["21", "27"]."""
    slots = b""
    for prefix in (list(prefixes) + ["", "", ""])[:3]:
        slots += prefix.encode("ascii")[:2].ljust(3, b"\0")
    return slots


def settings_fields(**overrides):
    """A record to start from: standalone mode, no scanner; with overrides.

    Text fields may be given as str (encoded in Windows-1250) or bytes;
    prefix fields as a list of strings."""
    fields = {
        "portName": "",
        "baudRate": 9600,
        "priceFilePath": "",
        "shortItemCode": 0,
        "valuePrefixes": [],
        "weightPrefixes": [],
        "reserved": b"",
        "showNet1": 0,
        "showNet2": 0,
        "showGross1": 0,
        "showGross2": 0,
        "standaloneMode": 1,
        "serverAddress": "127.0.0.1",
        "fullScreen": 0,
        "fontName": "Arial CE",
    }
    fields.update(overrides)
    return fields


def pack_settings(fields):
    values = []
    for name, kind in SETTINGS_LAYOUT:
        value = fields[name]
        if name in ("valuePrefixes", "weightPrefixes") and not isinstance(value, bytes):
            value = prefix_slots(value)
        elif isinstance(value, str):
            value = value.encode(TEXT_ENCODING)
        if kind.endswith("s"):
            width = int(kind[:-1])
            # Texts keep room for the terminating zero the program expects.
            limit = width if name in ("valuePrefixes", "weightPrefixes", "reserved") else width - 1
            assert len(value) <= limit, f"{name} too long"
        values.append(value)
    return struct.pack(SETTINGS_FORMAT, *values)


def text_field(raw):
    """A fixed-width text field up to its first zero byte, as str."""
    return raw.split(b"\0", 1)[0].decode(TEXT_ENCODING)


def unpack_settings(data):
    """The fields of a 500-byte record; texts decoded, prefixes as lists."""
    values = struct.unpack(SETTINGS_FORMAT, data[:SETTINGS_SIZE])
    fields = {}
    for (name, kind), value in zip(SETTINGS_LAYOUT, values):
        if name in ("valuePrefixes", "weightPrefixes"):
            fields[name] = [text_field(value[i:i + 3]) for i in range(0, 9, 3)]
        elif name == "reserved":
            fields[name] = value
        elif kind.endswith("s"):
            fields[name] = text_field(value)
        else:
            fields[name] = value
    return fields


def write_setup(workdir, fields):
    data = pack_settings(fields)
    with open(os.path.join(workdir, "setup.dat"), "wb") as f:
        f.write(data)
    return data


def read_setup(workdir):
    """The raw bytes of setup.dat, or None when there is none."""
    path = os.path.join(workdir, "setup.dat")
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def windows_path(unix_path):
    """A Unix path as the program sees it through Wine's Z: drive."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")



def demo_fields(mode, price_file, server_address="127.0.0.1"):
    """The demo's settings: its price file, its server, and the in-store
    prefixes of tools/demo/demo_items.csv (21 weighed, 22 with a value)."""
    return settings_fields(
        priceFilePath=windows_path(price_file),
        standaloneMode=1 if mode == "standalone" else 0,
        serverAddress=server_address,
        weightPrefixes=["21"], valuePrefixes=["22"])


def main(argv):
    if len(argv) in (3, 4) and argv[1] in ("server", "standalone"):
        write_setup(argv[0], demo_fields(argv[1], *argv[2:]))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
