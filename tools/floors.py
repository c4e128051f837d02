#!/usr/bin/env python3
"""Checks the house's floors on the source tree: a file includes only files of its own floor or
of floors listed before it below, no two source files include each other round a cycle (a header
and its .cpp count as one), and each folder's code lives in its program's namespace: it opens no
other (a forward declaration of a shared class in `orv` excepted) and has no code outside one
(the entry points and the engines' call surface excepted). Prints what it finds; exit code 0 when
nothing. usage: tools/floors.py [ROOT]"""
import os
import re
import subprocess
import sys

# The floors, lowest first, each with the namespace its code lives in: the shared foundation,
# then every program of programs.txt (floors_of), then the manifest tool.
COMMON_FLOORS = [
    ("common/rules", "orv"),
    ("common/win", "orv"),
    ("common/manifest", "orv"),
    ("common/tuf", "orv::tuf"),
    ("common/parts", "orv"),
    ("common/browser", "orv"),
]
TOOL_FLOORS = [("tools/manifest", "orv::manifest_tool"), ("tools/tuf", "orv::tuf_client")]
SUBDIRECTORY = re.compile(r"^\s*add_subdirectory\((\w+)\)", re.M)


def program_folders(root):
    """The folders of programs.txt's rows: libraries' (.dll) first, then programs', each in their
    rows' order (a program may use a library's interface, never the other way round)."""
    libraries, programs = [], []
    with open(os.path.join(root, "programs.txt"), encoding="utf-8") as text:
        for line in text:
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            (libraries if fields[2].lower().endswith(".dll") else programs).append(fields[5])
    return libraries + programs


def floors_of(root, folder):
    """A program's floors: the folders its CMakeLists.txt adds, in their order, then itself, all
    in the namespace its folder's last part names."""
    namespace = "orv::" + folder.split("/")[-1]
    with open(os.path.join(root, folder, "CMakeLists.txt"), encoding="utf-8") as text:
        below = SUBDIRECTORY.findall(text.read())
    return [(f"{folder}/{sub}", namespace) for sub in below] + [(folder, namespace)]


def house_floors(root):
    floors = list(COMMON_FLOORS)
    for folder in program_folders(root):
        floors += floors_of(root, folder)
    return floors + TOOL_FLOORS


ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
FLOORS = house_floors(ROOT)
FLOOR_INDEX = {folder: i for i, (folder, _) in enumerate(FLOORS)}
# Code outside any namespace on purpose: the programs' entry points, and the script engines' call
# surface, whose names the core host imports as they are.
OUTSIDE_ALLOWED = {
    "core/main.cpp", "updater/main.cpp", "notifier/main.cpp", "tokenctl/dll_main.cpp",
    "tools/manifest/main.cpp", "tools/tuf/main.cpp", "engines/kavrel/Kavrel.h", "engines/kavrel/kavrel_engine.h",
    "engines/kavrel/kavrel_engine.cpp", "engines/kavrel/kavrel_exports.cpp",
    "engines/jornet/Jornet.h", "engines/jornet/jornet_bridge.cpp",
}
# What is no code of a floor: comments, literals (which may hold braces), preprocessor lines,
# forward declarations (of the engines' classes, say) and the platform's uuid declarations.
NOT_CODE = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|'
                      r'^[ \t]*#(?:[^\n]*\\\n)*[^\n]*|^(?:class|struct) \w+;$|__CRT_UUID_DECL\([^)]*\)',
                      re.S | re.M)
TOKEN = re.compile(r"namespace(?:\s+[\w:]+)?\s*\{|[{}]|[^\s{}]+")
INCLUDE = re.compile(r'^#include "([^"]+)"', re.M)
NAMESPACE = re.compile(r"^namespace (orv[\w:]*) \{\n((?:class \w+;\n)*)(\})?", re.M)


def sources(root):
    listed = subprocess.check_output(
        ["git", "-C", root, "ls-files", *sorted({f.split("/")[0] for f, _ in FLOORS})], text=True)
    return [f for f in listed.split() if f.endswith((".h", ".cpp")) and os.path.dirname(f) in FLOOR_INDEX]


def include_graph(root, files):
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)
    graph = {}
    for f in files:
        unit = os.path.splitext(f)[0]
        with open(os.path.join(root, f), encoding="utf-8") as text:
            for name in INCLUDE.findall(text.read()):
                found = by_name.get(os.path.basename(name), [])
                # A program's own resource.h and the like: the one beside the includer first.
                found = [t for t in found if os.path.dirname(t) == os.path.dirname(f)] or found
                if found and os.path.splitext(found[0])[0] != unit:
                    graph.setdefault(unit, set()).add(os.path.splitext(found[0])[0])
    return graph


def upward(graph):
    return [(a, b) for a, targets in graph.items() for b in targets
            if FLOOR_INDEX[os.path.dirname(b)] > FLOOR_INDEX[os.path.dirname(a)]]


def cycles(graph):
    # Tarjan's strongly connected components, iteratively.
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph.get(start, ()))))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, targets = work[-1]
            step = next(targets, None)
            if step is None:
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
            elif step not in index:
                index[step] = low[step] = len(index)
                stack.append(step)
                on_stack.add(step)
                work.append((step, iter(sorted(graph.get(step, ())))))
            elif step in on_stack:
                low[node] = min(low[node], index[step])
    return found


def foreign_namespaces(root, files):
    wrong = []
    for f in files:
        expected = FLOORS[FLOOR_INDEX[os.path.dirname(f)]][1]
        with open(os.path.join(root, f), encoding="utf-8") as text:
            for name, declarations, closed in NAMESPACE.findall(text.read()):
                shared_declarations = name == "orv" and declarations and closed
                if name != expected and not shared_declarations:
                    wrong.append((f, name))
    return wrong


def code_outside_namespaces(root, files):
    """Files with a declaration or statement that no named namespace encloses. An `extern "C"`
    function (a library's export) may stand outside one."""
    found = []
    for f in sorted(set(files) - OUTSIDE_ALLOWED):
        with open(os.path.join(root, f), encoding="utf-8") as text:
            code = NOT_CODE.sub(" ", text.read())
        named = []  # for each open brace: whether it opens a named namespace
        export = None  # the depth an extern "C" declaration started at, while it lasts
        for token in TOKEN.findall(code):
            if token.startswith("namespace"):
                named.append(bool(re.match(r"namespace\s+\w", token)))
            elif token == "{":
                named.append(False)
            elif token == "}":
                if named:
                    named.pop()
                if export == len(named):
                    export = None
            elif export is not None or any(named):
                if export == len(named) and token.endswith(";"):
                    export = None
            elif token == "extern":
                export = len(named)
            else:
                found.append(f)
                break
    return found


def main():
    root = ROOT
    files = sources(root)
    graph = include_graph(root, files)
    problems = [f"{a} includes {b}, a floor above it" for a, b in upward(graph)]
    problems += ["include cycle: " + " -> ".join(c) for c in cycles(graph)]
    problems += [f"{f} opens namespace {n}" for f, n in foreign_namespaces(root, files)]
    problems += [f"{f} has code outside its program's namespace"
                 for f in code_outside_namespaces(root, files)]
    for line in problems:
        print(line)
    print(f"floors: {len(files)} files, {sum(len(t) for t in graph.values())} includes between them, "
          f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
