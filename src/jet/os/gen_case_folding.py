#!/usr/bin/env python3
"""Turns the Unicode Character Database's CaseFolding.txt into C++ at build time (run by
CMake), so that both builds fold letter case from the same table:

    gen_case_folding.py /usr/share/unicode/CaseFolding.txt OUT.cpp

Simple folding (statuses C and S) becomes a two-stage table of deltas: the code point's
block of 256 picks a row, the row gives what to add. Full folding (statuses C and F) keeps
the entries that fold to more than one character, sorted for a binary search.
"""
import sys


def main(source, out):
    simple, full, version = {}, {}, "?"
    with open(source, encoding="utf-8") as f:
        for line in f:
            if line.startswith("# CaseFolding-"):
                version = line[2:].strip()
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            code, status, mapping = [x.strip() for x in line.split(";")[:3]]
            cp = int(code, 16)
            to = [int(x, 16) for x in mapping.split()]
            if status in ("C", "S"):
                simple[cp] = to[0]
            if status == "F":
                full[cp] = to
    blocks, rows, stage1 = {}, [], []
    for block in range(0x110000 >> 8):
        row = tuple(simple.get((block << 8) | i, (block << 8) | i) - ((block << 8) | i)
                    for i in range(256))
        if row not in blocks:
            blocks[row] = len(rows)
            rows.append(row)
        stage1.append(blocks[row])
    w = []
    w.append(f"// Generated from {version} by gen_case_folding.py; do not edit.")
    w.append('#include "jet/os/CaseFoldingTable.h"')
    w.append("namespace jet::os::casefold {")
    w.append(f"const uint16_t kStage1[{len(stage1)}] = {{")
    for i in range(0, len(stage1), 32):
        w.append("  " + ",".join(str(x) for x in stage1[i:i + 32]) + ",")
    w.append("};")
    w.append(f"const int32_t kBlocks[{len(rows)}][256] = {{")
    for row in rows:
        w.append("  {" + ",".join(str(x) for x in row) + "},")
    w.append("};")
    w.append(f"const FullFold kFull[{len(full)}] = {{")
    for cp in sorted(full):
        to = full[cp] + [0] * (3 - len(full[cp]))
        w.append("  {0x%X, {0x%X, 0x%X, 0x%X}}," % (cp, *to))
    w.append("};")
    w.append(f"const size_t kFullCount = {len(full)};")
    w.append("}  // namespace jet::os::casefold")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(w) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
