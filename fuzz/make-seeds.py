#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target (fuzz/corpus/<target>/).
Run it again after changing an input layout; commit its output."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes([crc & 0xFF, crc >> 8])


def frame(body):
    return body + crc16(body)


def save(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def chunk(data):
    out = b""
    while data:
        part, data = data[:63], data[63:]
        out += bytes([0x60 | len(part)]) + part
    return out


SERIAL = bytes.fromhex("123456789012")

# Parser: protocol type, address byte, then operations (0x60 | n: n bytes follow).
save("parser", "type1-read", bytes([1, 1]) + chunk(frame(bytes.fromhex("0103020005"))))
save("parser", "type1-write", bytes([1, 1]) + chunk(frame(bytes.fromhex("011000000003"))))
save("parser", "type2-long", bytes([2, 1]) + chunk(frame(bytes([1, 4, 40]) + bytes(range(40)))))
save("parser", "type0-serial", bytes([0, 0x12]) + bytes([0x40 | 0x02]) + chunk(frame(SERIAL + bytes([3, 6]) + SERIAL)))
save("parser", "noise-reset-switch", bytes([1, 1]) + chunk(bytes.fromhex("0103061234")) + bytes([0x20, 0x02]) + chunk(frame(SERIAL + bytes([4, 2, 0, 7]))))

# Simulator: protocol type, then requests (a length byte, that many bytes).
def requests(type_, *frames):
    out = bytes([type_])
    for f in frames:
        out += bytes([len(f)]) + f
    return out

save("sim", "type1-cycle", requests(1, frame(bytes.fromhex("0104002B0002")), frame(bytes.fromhex("0104000A001F"))))
save("sim", "type1-probe", requests(1, frame(bytes.fromhex("FF03003C0001"))))
save("sim", "type2-cycle", requests(2, frame(bytes.fromhex("0003000B0001")), frame(bytes.fromhex("010400000014")), frame(bytes.fromhex("010403E80014"))))
save("sim", "type2-write", requests(2, frame(bytes.fromhex("011001310001028000"))))
save("sim", "type0-serial", requests(0, frame(bytes([0x99] * 6) + bytes.fromhex("049C370003")), frame(SERIAL + bytes.fromhex("050001FF00"))))
save("sim", "type1-settings-write", requests(1, frame(bytes.fromhex("011000260001020001"))))

# Texts: a double, a float, a 16-bit word, then a text.
def texts(value, scale, raw, text):
    return struct.pack("<dfH", value, scale, raw) + text.encode()

save("texts", "scaled", texts(230.46, 10.0, 2305, "12.5"))
save("texts", "overflow", texts(1e308, 10.0, 65535, "IV65536"))
save("texts", "signed", texts(-2.5, -10.0, 65511, "  -3.25"))
save("texts", "label-2011", texts(0.0, 0.1, 50, "AB1C512345"))
save("texts", "label-2010", texts(1.0, 100.0, 83, "30A0B15123"))

# Workbook writer: row, column, kind (odd: text with a length byte), content.
save("xls", "mixed", bytes([0, 0, 1, 5]) + b"Hello" + bytes([1, 0, 0]) + struct.pack("<d", 2305.5) + bytes([2, 3, 0]) + struct.pack("<d", -1.0))
save("xls", "integers", b"".join(bytes([r, 1, 0]) + struct.pack("<d", float(r * 100)) for r in range(20)))

# Reader answers: result, error text, sheets, then per sheet its error text,
# row widths and columns of texts.
def text(t):
    return struct.pack("<q", len(t)) + t


def answer(result, sheets):
    out = struct.pack("<q", result) + text(b"") + struct.pack("<q", len(sheets))
    for rows, columns in sheets:
        out += text(b"") + struct.pack("<q", len(rows)) + b"".join(struct.pack("<q", w) for w in rows)
        out += struct.pack("<q", len(columns))
        for column in columns:
            out += struct.pack("<q", len(column)) + b"".join(text(c) for c in column)
    return out

save("workbook-answer", "two-sheets", answer(0, [([3, 3], [[b"Vac-max", b"Fac-min"], [b"0", b"45"], [b"300", b"55"]]),
                                                  ([2], [[b"3K"], [b"30"]])]))
save("workbook-answer", "open-error", answer(-2, []))
save("workbook-answer", "cut-result", answer(1 << 32, []))

# Note reader: a byte choosing the bounds (even: the program's own; odd:
# small ones from the next ten bytes), then the note. The seeds are the notes
# of the tests and the one delivered.
ROOT = os.path.dirname(HERE)
for source in ["assets/myfile.rtf", "tests/live/data/libreoffice-note.rtf", "tests/live/data/libreoffice-table.rtf",
               "tests/live/data/word-like.rtf", "tests/live/data/wordpad.rtf"]:
    with open(os.path.join(ROOT, source), "rb") as f:
        note = f.read()
    save("rtf", os.path.basename(source)[:-4], bytes([0]) + note)
small = bytes([1, 4]) + struct.pack("<H", 200) + bytes([6, 12, 3, 40, 2])
save("rtf", "small-limits", small + rb"{\rtf1{\fonttbl{\f0 A;}{\f1 B;}{\f2 C;}}{\colortbl;\red255\green0\blue0;}"
     rb"\f1 one {\b two {\i three {{{{{{deep}}}}}}}} \u8364? \'80 \line\par\tx720 \cf1 four\par five\par six}")
