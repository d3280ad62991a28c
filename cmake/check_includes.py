#!/usr/bin/env python3
"""Fails when a quoted #include in src/ or tools/ points upward, or the includes go round.

The house reads downward, one layer on top of the other:

  base      the vocabulary every layer shares: jet/Error.h, Value.h, DateTime.h, Secret.h,
            Bytes.h, Types.h (they include nothing of the engine)
  os        jet/os: files, locks, mappings
  pager     jet/journal, Pager, PageCodec, LockFile, Recovery: numbered pages and the
            transaction
  format    jet/format: one home per on-disk structure
  row       RowDecoder, jet/index, jet/write (index and write never include each other)
  table     Catalog, TableScan, JetDatabase (Jet*), the public Database.h, Dump, jet/verify (the
            verifiers of a whole open database)
  sql       jet/sql
  data      src/data: the DAO-style objects
  check     src/check: the scan, the drill-down, the check state
  repair    src/repair
  dispatch  src/app/dispatch: the window's events, with no toolkit
  top       the window's shells, src/app/qt and src/app/win32, over the dispatch, and tools/
            (the console tool), never each other

A file may include its own layer and the ones below it, and no includes go round: a unit
(a header and its source, X.h and X.cpp) that reaches another unit through its includes is
never reached back by it, within a layer as across them. The toolkits stay in their shells:
Qt's headers only in src/app/qt, the Windows headers only in src/app/win32 and jet/os. The
per-library include roots (cmake/FolderLibrary.cmake) already stop most library-level
mistakes at compile time; this check also sees the layers inside the engine, which is one library. Every file in src/ and
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
    ("src/jet/Bytes.", 0, None),
    ("src/jet/Types.", 0, None),
    ("src/jet/os/", 1, None),
    ("src/jet/journal/", 2, None),
    ("src/jet/Pager.", 2, None),
    ("src/jet/PageCodec.", 2, None),
    ("src/jet/LockFile.", 2, None),
    ("src/jet/Recovery.", 2, None),
    ("src/jet/format/", 3, None),
    ("src/jet/RowDecoder.", 4, None),
    ("src/jet/index/", 4, "index"),
    ("src/jet/write/", 4, "write"),
    ("src/jet/Catalog.", 5, None),
    ("src/jet/TableScan.", 5, None),
    ("src/jet/ScanFilter.", 5, None),
    ("src/jet/TransactionPages.", 5, None),
    ("src/jet/Jet", 5, None),  # JetDatabase and the files its work is split into
    ("src/jet/Database.", 5, None),
    ("src/jet/Dump.", 5, None),
    ("src/jet/verify/", 5, None),
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


def unit_of(rel):
    """A header and its source are one unit: the path without its ending."""
    return os.path.splitext(rel)[0]


def cycles(edges):
    """Each set of units whose includes go round (a strongly connected component of more
    than one unit), as a sorted list, found without recursion."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, targets = work[-1]
            advanced = False
            for target in targets:
                if target not in index:
                    index[target] = low[target] = counter
                    counter += 1
                    stack.append(target)
                    on_stack.add(target)
                    work.append((target, iter(sorted(edges.get(target, ())))))
                    advanced = True
                    break
                if target in on_stack:
                    low[node] = min(low[node], index[target])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return sorted(found)


def check(root):
    """Every upward, sideways, unplaced or unresolved include, and every set of units whose
    includes go round, as a line of text."""
    faults = []
    edges = {}
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
                if unit_of(target) != unit_of(rel):
                    edges.setdefault(unit_of(rel), set()).add(unit_of(target))
                there = layer_of(target)
                if there is None:
                    faults.append(f"{where}: {target} has no layer")
                elif there[0] > here[0]:
                    faults.append(f"{where} reaches up from {NAMES[here[0]]} to {NAMES[there[0]]}")
                elif there[0] == here[0] and here[1] and there[1] and here[1] != there[1]:
                    faults.append(f"{where} reaches sideways from {here[1]} to {there[1]}")
    for units in cycles(edges):
        faults.append(f"{units[0]}: includes go round through {', '.join(units)}")
    return faults


def self_test(root):
    """Each planted include must be found (as an upward or sideways include, or as the
    includes going round) in a copy of the tree, and the copy is clean without them."""
    plants = [
        ("src/jet/format/HeaderPage.h", "jet/Database.h"),
        ("src/jet/Pager.h", "jet/format/HeaderPage.h"),
        ("src/jet/Types.h", "jet/os/Env.h"),
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
        # Round, within one layer: Commands.cpp includes Follow.h.
        ("src/repair/Follow.cpp", "repair/Commands.h"),
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
            if not any(unit_of(file) in fault for fault in found):
                print(f"planted {file} -> {target}: expected a fault naming it, found {found}")
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
        print(f"{len(faults)} include(s) cross the layers or go round")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
