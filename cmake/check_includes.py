#!/usr/bin/env python3
"""Fails when a quoted #include in src/ or tools/ points upward.

The house reads downward, one layer on top of the other:

  base      the vocabulary every layer shares: jet/Error.h, Value.h, DateTime.h, Secret.h,
            format/Bytes.h, format/Types.h (they include nothing of the engine)
  os        jet/os: files, locks, mappings
  pager     jet/journal, Pager, PageCodec, LockFile, Recovery: numbered pages and the
            transaction
  format    jet/format: one home per on-disk structure
  row       RowDecoder, jet/index, jet/write (index and write never include each other)
  table     Catalog, TableScan, JetDatabase, the public Database.h, Dump, the verifiers
  sql       jet/sql
  data      src/data: the DAO-style objects
  check     src/check: the scan, the drill-down, the check state
  repair    src/repair
  dispatch  src/app/dispatch: the window's events, with no toolkit
  top       the window's shells, src/app/qt and src/app/win32, over the dispatch, and tools/
            (the console tool), never each other

A file may include its own layer and the ones below it. The toolkits stay in their shells:
Qt's headers only in src/app/qt, the Windows headers only in src/app/win32 and jet/os. The per-library include roots
(cmake/FolderLibrary.cmake) already stop most library-level mistakes at compile time; this
check also sees the layers inside the engine, which is one library. Every file in src/ and
tools/ must have a layer, so a new folder is placed here before it builds.

Usage: check_includes.py ROOT            check the tree at ROOT
       check_includes.py --self-test ROOT  plant upward includes in a copy; each must fail
"""
import os
import re
import shutil
import sys
import tempfile

# (path prefix relative to the root, layer rank, sibling group). The first match wins, so
# single files come before their folder.
LAYERS = [
    ("src/jet/Error.", 0, None),
    ("src/jet/Value.", 0, None),
    ("src/jet/DateTime.", 0, None),
    ("src/jet/Secret.", 0, None),
    ("src/jet/format/Bytes.", 0, None),
    ("src/jet/format/Types.", 0, None),
    ("src/jet/os/", 1, None),
    ("src/jet/journal/", 2, None),
    ("src/jet/Pager.", 2, None),
    ("src/jet/PageCodec.", 2, None),
    ("src/jet/LockFile.", 2, None),
    ("src/jet/Recovery.", 2, None),
    ("src/jet/format/", 3, None),
    ("src/jet/RowDecoder.", 4, None),
    # The verifiers walk a whole open database: they sit with it, above rows and indexes.
    ("src/jet/index/VerifyIndexes.", 5, None),
    ("src/jet/write/Verify.", 5, None),
    ("src/jet/index/", 4, "index"),
    ("src/jet/write/", 4, "write"),
    ("src/jet/Catalog.", 5, None),
    ("src/jet/TableScan.", 5, None),
    ("src/jet/ScanFilter.", 5, None),
    ("src/jet/TransactionPages.", 5, None),
    ("src/jet/JetDatabase.", 5, None),
    ("src/jet/Database.", 5, None),
    ("src/jet/Dump.", 5, None),
    ("src/jet/sql/", 6, None),
    ("src/data/", 7, None),
    ("src/check/", 8, None),
    ("src/repair/", 9, None),
    ("src/app/dispatch/", 10, None),
    ("src/app/qt/", 11, "qt"),
    ("src/app/win32/", 11, "win32"),
    ("tools/", 11, "tools"),
]
NAMES = {0: "base", 1: "os", 2: "pager", 3: "format", 4: "row", 5: "table", 6: "sql",
         7: "data", 8: "check", 9: "repair", 10: "dispatch", 11: "top"}
SOURCE_EXT = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<([^>]+)>')
# (name of the toolkit, its headers, the folders that may include them)
TOOLKITS = [
    ("Qt", re.compile(r"^Q[A-Za-z]*(/|$)"), ("src/app/qt/",)),
    ("Windows", re.compile(r"^(windows|windowsx|commctrl|commdlg|shellapi|shlobj|shlwapi|"
                           r"shellscalingapi|uxtheme|winuser|wingdi|winbase|objbase|dwmapi)\.h$",
                           re.IGNORECASE),
     ("src/app/win32/", "src/jet/os/")),
]


def layer_of(rel):
    for prefix, rank, group in LAYERS:
        if rel.startswith(prefix):
            return rank, group
    return None


def resolve(root, including, target):
    """The included file relative to root: beside the including file, else under src/."""
    for base in (os.path.dirname(os.path.join(root, including)), os.path.join(root, "src")):
        path = os.path.normpath(os.path.join(base, target))
        if os.path.isfile(path):
            return os.path.relpath(path, root)
    return None


def sources(root):
    for top in ("src", "tools"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if name.endswith(SOURCE_EXT):
                    yield os.path.relpath(os.path.join(folder, name), root)


def check(root):
    """Every upward, sideways, unplaced or unresolved include as a line of text."""
    faults = []
    for rel in sources(root):
        here = layer_of(rel)
        if here is None:
            faults.append(f"{rel}: has no layer (place it in cmake/check_includes.py)")
            continue
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                system = SYSTEM_INCLUDE.match(line)
                if system:
                    for toolkit, headers, homes in TOOLKITS:
                        if headers.match(system.group(1)) and not rel.startswith(homes):
                            faults.append(f"{rel}:{number}: #include <{system.group(1)}>: "
                                          f"{toolkit} belongs in {' or '.join(homes)}")
                    continue
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(root, rel, m.group(1))
                where = f"{rel}:{number}: #include \"{m.group(1)}\""
                if target is None:
                    faults.append(f"{where} names no file in the tree")
                    continue
                there = layer_of(target)
                if there is None:
                    faults.append(f"{where}: {target} has no layer")
                elif there[0] > here[0]:
                    faults.append(f"{where} reaches up from {NAMES[here[0]]} to {NAMES[there[0]]}")
                elif there[0] == here[0] and here[1] and there[1] and here[1] != there[1]:
                    faults.append(f"{where} reaches sideways from {here[1]} to {there[1]}")
    return faults


def self_test(root):
    """Each planted include must be found in a copy of the tree, and the copy is clean
    without them."""
    plants = [
        ("src/jet/format/HeaderPage.h", "jet/Database.h"),
        ("src/jet/Pager.h", "jet/format/HeaderPage.h"),
        ("src/jet/index/IndexWriter.h", "jet/write/RowWriter.h"),
        ("src/jet/write/RowWriter.cpp", "jet/index/IndexWriter.h"),
        ("src/jet/os/Env.h", "jet/Pager.h"),
        ("src/jet/JetDatabase.cpp", "jet/sql/Query.h"),
        ("src/check/Commands.h", "repair/Commands.h"),
        ("src/repair/Commands.h", "app/dispatch/Dispatch.h"),
        ("src/app/dispatch/Dispatch.h", "app/qt/frmMain.h"),
        ("tools/mdbcheck-cli/CheckSession.h", "app/qt/frmMain.h"),
        ("src/app/dispatch/Dispatch.h", "<QString>"),
        ("src/app/dispatch/Dispatch.cpp", "<windows.h>"),
        ("src/check/Commands.cpp", "<QtCore/QTimer>"),
        ("src/jet/format/Row.h", "does/not/Exist.h"),
    ]
    failed = False
    with tempfile.TemporaryDirectory() as tmp:
        for top in ("src", "tools"):
            shutil.copytree(os.path.join(root, top), os.path.join(tmp, top), symlinks=True)
        if check(tmp):
            print("the copied tree is not clean to begin with")
            return 1
        for file, target in plants:
            path = os.path.join(tmp, file)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            with open(path, "a", encoding="utf-8") as f:
                f.write(f'\n#include {target}\n' if target.startswith("<")
                        else f'\n#include "{target}"\n')
            found = check(tmp)
            if len(found) != 1 or file not in found[0]:
                print(f"planted {file} -> {target}: expected one fault, found {found}")
                failed = True
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        # A file in a folder that no layer names.
        stray = os.path.join(tmp, "src", "stray")
        os.makedirs(stray)
        open(os.path.join(stray, "Stray.h"), "w").close()
        if not any("Stray.h" in fault for fault in check(tmp)):
            print("a file without a layer went unnoticed")
            failed = True
    return 1 if failed else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "--self-test":
        return self_test(argv[2])
    if len(argv) != 2:
        print(__doc__)
        return 2
    faults = check(argv[1])
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) cross the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
