#!/usr/bin/env python3
"""Checks the house's floors on the source tree: a file includes only files of its own floor or
of floors listed before it below, no two source files include each other round a cycle (a header
and its .cpp count as one), and each folder's code opens only its program's namespace (a
forward declaration of a shared class in `orv` excepted). Prints what it finds; exit code 0 when
nothing. usage: tools/floors.py [ROOT]"""
import os
import re
import subprocess
import sys

# The floors, lowest first, each with the namespace its code lives in.
FLOORS = [
    ("common/rules", "orv"),
    ("common/win", "orv"),
    ("common/manifest", "orv"),
    ("common/tuf", "orv::tuf"),
    ("common/parts", "orv"),
    ("common/browser", "orv"),
    ("engines/kavrel", "orv::kavrel"),
    ("engines/jornet", "orv::jornet"),
    ("core/rules", "orv::core"),
    ("core/events", "orv::core"),
    ("core/app", "orv::core"),
    ("core", "orv::core"),
    ("updater/rules", "orv::updater"),
    ("updater/ops", "orv::updater"),
    ("updater/app", "orv::updater"),
    ("updater", "orv::updater"),
    ("notifier/rules", "orv::notifier"),
    ("notifier/app", "orv::notifier"),
    ("notifier", "orv::notifier"),
    ("tokenctl/rules", "orv::tokenctl"),
    ("tokenctl/control", "orv::tokenctl"),
    ("tokenctl", "orv::tokenctl"),
    ("tools/manifest", "orv::manifest_tool"),
    ("tools/tuf", "orv::tuf_client"),
]
FLOOR_INDEX = {folder: i for i, (folder, _) in enumerate(FLOORS)}
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


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    files = sources(root)
    graph = include_graph(root, files)
    problems = [f"{a} includes {b}, a floor above it" for a, b in upward(graph)]
    problems += ["include cycle: " + " -> ".join(c) for c in cycles(graph)]
    problems += [f"{f} opens namespace {n}" for f, n in foreign_namespaces(root, files)]
    for line in problems:
        print(line)
    print(f"floors: {len(files)} files, {sum(len(t) for t in graph.values())} includes between them, "
          f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
