#!/usr/bin/env python3
"""Writes small hand-made Jet 4 files for the fuzzer's seed corpus (fuzz/seeds/jet).

Each file has ten pages: the header, a page of usage maps, the catalog's definition and
rows, a table `b1` (n Long, m1 OLE object, t Text) whose rows cover every kind of long value
(inline, one page, a chain of pages), a moved row and a deleted row, two long-value pages and
one usage-map page. One variant sets a database password and encodes its pages.
Run: python3 fuzz/jet/make_seeds.py fuzz/seeds/jet
"""
import struct
import sys
from pathlib import Path

PAGE = 4096


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray(data)
    i = j = 0
    for n in range(len(out)):
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out[n] ^= s[(s[i] + s[j]) & 0xFF]
    return bytes(out)


def utf16(text):
    return text.encode("utf-16-le")


def data_page(tdef, rows, flags=None, lval=False):
    """Rows are stored from the end of the page downwards, slot 0 last."""
    page = bytearray(PAGE)
    page[0:2] = b"\x01\x01"
    page[4:8] = b"LVAL" if lval else struct.pack("<I", tdef)
    struct.pack_into("<H", page, 12, len(rows))
    end = PAGE
    for slot, row in enumerate(rows):
        start = end - len(row)
        page[start:end] = row
        struct.pack_into("<H", page, 14 + 2 * slot, start | (flags or {}).get(slot, 0))
        end = start
    struct.pack_into("<H", page, 2, end - (14 + 2 * len(rows)))
    return page


def tdef_page(columns, usage_map, system):
    """columns: (name, type, fixed, col_num, var_index, fixed_offset, length)."""
    body = bytearray(55)
    struct.pack_into("<I", body, 8, 1)  # rows
    body[32] = 0x53 if system else 0x4E
    struct.pack_into("<HHH", body, 33, len(columns), sum(1 for c in columns if not c[2]), len(columns))
    struct.pack_into("<II", body, 39, 0, 0)
    struct.pack_into("<II", body, 47, usage_map, usage_map)
    for name, ctype, fixed, num, var_index, fixed_offset, length in columns:
        entry = bytearray(25)
        entry[0] = ctype
        struct.pack_into("<HHH", entry, 5, num, var_index, num)
        entry[15] = (0x01 if fixed else 0x00) | 0x02
        struct.pack_into("<HH", entry, 21, fixed_offset, length)
        body += entry
    for column in columns:
        body += struct.pack("<H", len(utf16(column[0]))) + utf16(column[0])
    page = bytearray(PAGE)
    page[0:2] = b"\x02\x01"
    struct.pack_into("<I", page, 8, len(body))
    page[8 : 8 + len(body)] = body
    struct.pack_into("<I", page, 8, len(body))
    return page


def row(column_count, fixed, variable):
    """A Jet 4 row: column count, fixed area, variable data, offset table, null mask.
    `fixed` is bytes; `variable` is a list of bytes or None (null) by var index; the null
    mask sets every fixed column present and each variable column that is not None."""
    out = bytearray(struct.pack("<H", column_count)) + fixed
    offsets = []
    for value in variable:
        offsets.append(len(out))
        out += value or b""
    eod = len(out)
    for offset in [eod] + offsets[::-1]:
        out += struct.pack("<H", offset)
    out += struct.pack("<H", len(variable))
    return out


def null_mask(column_count, present):
    mask = bytearray((column_count + 7) // 8)
    for bit in present:
        mask[bit // 8] |= 1 << (bit % 8)
    return bytes(mask)


def catalog_row(obj_id, name, obj_type, flags):
    fixed = struct.pack("<IIhI", obj_id, 0x0F000001, obj_type, flags)
    return row(5, fixed, [utf16(name)]) + null_mask(5, [0, 1, 2, 3, 4])


def b1_row(n, m1, t):
    present = [0] + ([1] if m1 is not None else []) + ([2] if t is not None else [])
    return row(3, struct.pack("<i", n), [m1, t]) + null_mask(3, present)


def long_field(length, flags, pointer, inline=b""):
    return struct.pack("<III", length | flags, pointer, 0) + inline


def build(password="", page_key=0):
    pages = [bytearray(PAGE) for _ in range(10)]
    header = pages[0]
    header[0:4] = b"\x00\x01\x00\x00"
    header[4:20] = b"Standard Jet DB\x00"
    header[0x14] = 0x01
    created = 44568.5
    region = bytearray(128)
    struct.pack_into("<I", region, 0x3E - 0x18, page_key)
    mask = struct.pack("<i", int(created))
    secret = utf16(password).ljust(40, b"\x00")
    region[0x42 - 0x18 : 0x42 - 0x18 + 40] = bytes(b ^ mask[i % 4] for i, b in enumerate(secret))
    struct.pack_into("<d", region, 0x72 - 0x18, created)
    header[0x18 : 0x18 + 128] = rc4(bytes([0xC7, 0xDA, 0x39, 0x6B]), region)

    # Page 1: usage maps. Row 0 (catalog): inline map from page 0 with page 3 set.
    # Row 1 (b1): a list of map pages, the first being page 9.
    catalog_map = bytes([0x00]) + struct.pack("<I", 0) + bytes([0x08]) + bytes(7)
    b1_map = bytes([0x01]) + struct.pack("<I", 9) + bytes(12)
    pages[1] = data_page(0, [catalog_map, b1_map])

    pages[2] = tdef_page(
        [("Id", 0x04, True, 0, 0, 0, 4), ("ParentId", 0x04, True, 1, 0, 4, 4), ("Name", 0x0A, False, 2, 0, 0, 510),
         ("Type", 0x03, True, 3, 0, 8, 2), ("Flags", 0x04, True, 4, 0, 10, 4)],
        usage_map=(1 << 8) | 0, system=True)
    pages[3] = data_page(2, [catalog_row(2, "MSysObjects", 1, 0x80000002), catalog_row(4, "b1", 1, 0),
                             catalog_row(99, "Tables", 3, 0)])
    pages[4] = tdef_page(
        [("n", 0x04, True, 0, 0, 0, 4), ("m1", 0x0B, False, 1, 0, 0, 0), ("t", 0x0A, False, 2, 1, 0, 100)],
        usage_map=(1 << 8) | 1, system=False)

    chapter = bytes((i * 7) & 0xFF for i in range(5000))
    one_page = b"<html>one page</html>" * 10
    compressed_text = b"\xff\xfe" + "abc".encode("latin-1")
    moved_target = b1_row(4, long_field(5, 0x80000000, 0, b"moved"), utf16("moved"))
    rows = [
        b1_row(1, long_field(6, 0x80000000, 0, b"inline"), utf16("first")),
        b1_row(2, long_field(len(one_page), 0x40000000, (7 << 8) | 0), compressed_text),
        b1_row(3, long_field(len(chapter), 0, (7 << 8) | 1), None),
        struct.pack("<I", (5 << 8) | 0),  # moved: the row lives on page 5, slot 0
        b1_row(5, None, utf16("deleted")),
        b1_row(6, long_field(0, 0x80000000, 0), utf16("")),
    ]
    pages[6] = data_page(4, rows, flags={3: 0x4000, 4: 0x8000})
    pages[5] = data_page(4, [moved_target], flags={0: 0x8000})
    first, rest = chapter[:3000], chapter[3000:]
    pages[7] = data_page(0, [one_page, struct.pack("<I", (8 << 8) | 0) + first], lval=True)
    pages[8] = data_page(0, [struct.pack("<I", 0) + rest], lval=True)
    usage = bytearray(PAGE)
    usage[0:2] = b"\x05\x01"
    usage[4] = (1 << 6) | (1 << 5)  # pages 5 and 6, in that order
    pages[9] = usage

    if page_key:
        for n in range(1, len(pages)):
            key = struct.pack("<I", page_key ^ n)
            pages[n] = bytearray(rc4(key, pages[n]))
    return b"".join(pages)


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "fuzz/seeds/jet")
    out.mkdir(parents=True, exist_ok=True)
    (out / "plain.mdb").write_bytes(build())
    (out / "password_encoded.mdb").write_bytes(build(password="38pondwick71", page_key=0x1234ABCD))


if __name__ == "__main__":
    main()
