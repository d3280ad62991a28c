#!/usr/bin/env python3
"""Turns the committed text-key code tables into C++ at build time (run by CMake):

    gen_text_key_tables.py general-legacy.txt general-2010.txt chinese.txt OUT.cpp

general-legacy.txt and general-2010.txt list every UTF-16 code unit but the surrogates as runs
"FIRST LAST KIND FIELDS"; each becomes one CodeRun row. chinese.txt holds, per sort order
("[0x0804 ...]", "[0x0404 ...]"), runs "FIRST LAST S CODE" of 2-byte codes that replace the
General Legacy entries; each becomes one SimpleRun row. Any line the encoder could not use
stops the build, so a damaged table never turns into wrong keys."""
import sys


def fail(path, lineno, why):
    sys.exit("%s:%d: %s" % (path, lineno, why))


def hexbytes(s, path, lineno):
    if len(s) % 2:
        fail(path, lineno, "odd hex field " + s)
    try:
        return [int(s[i:i + 2], 16) for i in range(0, len(s), 2)]
    except ValueError:
        fail(path, lineno, "bad hex field " + s)


def lines(path):
    for lineno, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].strip()
        if line:
            yield lineno, line


def full_table(path):
    """Rows (first, last, kind, code, extra, flag) covering U+0000-U+FFFF minus surrogates."""
    rows = []
    expect = 0
    for lineno, line in lines(path):
        f = line.split()
        if len(f) < 3:
            fail(path, lineno, "too few fields")
        first, last, kind = int(f[0], 16), int(f[1], 16), f[2]
        if first != expect and not (expect == 0xD800 and first == 0xE000):
            fail(path, lineno, "gap or overlap before %04X" % first)
        if last < first or last > 0xFFFF:
            fail(path, lineno, "bad run %04X-%04X" % (first, last))
        expect = last + 1
        code, extra, flag = [], [], 0
        want = {"S": 4, "U": 4, "I": 5, "Z": 6, "P": 4, "X": 3}.get(kind)
        if want is None:
            fail(path, lineno, "unknown kind " + kind)
        if len(f) != want:
            fail(path, lineno, "kind %s needs %d fields" % (kind, want))
        if kind in ("S", "U"):
            code = hexbytes(f[3], path, lineno)
        elif kind == "I":
            code, extra = hexbytes(f[3], path, lineno), hexbytes(f[4], path, lineno)
        elif kind == "Z":
            code = hexbytes(f[3], path, lineno)
            extra = [] if f[4] == "-" else hexbytes(f[4], path, lineno)
            flag = int(f[5])
            if flag not in (2, 3):
                fail(path, lineno, "flag must be 2 or 3")
        elif kind == "P":
            extra = hexbytes(f[3], path, lineno)
            if len(extra) != 1:
                fail(path, lineno, "a modifier is one byte")
        if len(code) > 8 or len(extra) > 3:
            fail(path, lineno, "field too long")
        if kind == "S" and code[-1] + (last - first) > 0xFF:
            fail(path, lineno, "simple run crosses a byte boundary")
        rows.append((first, last, kind, code, extra, flag))
    if expect != 0x10000:
        sys.exit("%s: table does not reach FFFF" % path)
    return rows


def chinese_tables(path):
    """{lcid: [(first, last, code)]} from the sections of chinese.txt."""
    tables, current, expect = {}, None, 0
    for lineno, line in lines(path):
        if line.startswith("["):
            current = int(line[1:].split()[0], 16)
            if current in tables:
                fail(path, lineno, "section repeated")
            tables[current], expect = [], 0
            continue
        if current is None:
            fail(path, lineno, "run before the first section")
        f = line.split()
        if len(f) != 4 or f[2] != "S" or len(f[3]) != 4:
            fail(path, lineno, "expected FIRST LAST S CODE (2 bytes)")
        first, last, code = int(f[0], 16), int(f[1], 16), int(f[3], 16)
        if first < expect or last < first or last > 0xFFFF or 0xD800 <= first <= 0xDFFF:
            fail(path, lineno, "runs must ascend without overlap, outside the surrogates")
        if code == 0 or code + (last - first) > 0xFFFF:
            fail(path, lineno, "code out of range")
        expect = last + 1
        tables[current].append((first, last, code))
    for lcid in (0x0804, 0x0404):
        if not tables.get(lcid):
            sys.exit("%s: no section for 0x%04X" % (path, lcid))
    return tables


def padded(b, n):
    return ", ".join("0x%02X" % x for x in b + [0] * (n - len(b)))


def write_full(out, name, rows):
    out.write("const CodeRun %s[] = {\n" % name)
    for first, last, kind, code, extra, flag in rows:
        out.write("    {0x%04X, 0x%04X, '%s', %d, {%s}, %d, {%s}, %d},\n"
                  % (first, last, kind, len(code), padded(code, 8), len(extra), padded(extra, 3), flag))
    out.write("};\nconst int %sCount = %d;\n\n" % (name, len(rows)))


def write_simple(out, name, rows):
    out.write("const SimpleRun %s[] = {\n" % name)
    for first, last, code in rows:
        out.write("    {0x%04X, 0x%04X, 0x%04X},\n" % (first, last, code))
    out.write("};\nconst int %sCount = %d;\n\n" % (name, len(rows)))


def main(legacy, general2010, chinese, target):
    legacy_rows = full_table(legacy)
    rows2010 = full_table(general2010)
    cn = chinese_tables(chinese)
    with open(target, "w", encoding="utf-8") as out:
        out.write("// Generated at build time by gen_text_key_tables.py from src/jet/index/tables.\n")
        out.write('#include "jet/index/TextKeyTables.h"\n\n')
        out.write("namespace jet::index::detail {\n\n")
        write_full(out, "kGeneralLegacyRuns", legacy_rows)
        write_full(out, "kGeneral2010Runs", rows2010)
        write_simple(out, "kChinesePrcRuns", cn[0x0804])
        write_simple(out, "kChineseTaiwanRuns", cn[0x0404])
        out.write("}  // namespace jet::index::detail\n")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
