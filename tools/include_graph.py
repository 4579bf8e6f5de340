#!/usr/bin/env python3
"""Checks the include graph of src/: no cycle between modules, SDL only in platform/, board alone.

Usage: tools/include_graph.py SRC_DIR. A module is a .hpp/.cpp pair such as image/pictures;
it depends on every module whose header one of its files includes. Prints the edges, then a
summary; exits 1 on a cycle, on an SDL header outside platform/, or on board/ including
another subsystem.
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def read_graph(src):
    edges, sdl_users, problems = {}, [], []
    for path in sorted(src.rglob("*.[ch]pp")):
        module = path.relative_to(src).with_suffix("").as_posix()
        edges.setdefault(module, set())
        for kind, name in INCLUDE.findall(path.read_text()):
            target = str(pathlib.PurePosixPath(name).with_suffix(""))
            if kind == "<" and name.startswith("SDL"):
                sdl_users.append(path.relative_to(src).as_posix())
                if not module.startswith("platform/"):
                    problems.append(f"SDL header outside platform/: {module} includes {name}")
            elif kind == '"' and target != module:
                edges[module].add(target)
                if module.startswith("board/") and not target.startswith("board/"):
                    problems.append(f"board/ includes another subsystem: {module} -> {target}")
    return edges, sdl_users, problems


def find_cycle(edges):
    """A list of modules forming a cycle, or None (depth-first search)."""
    state, stack = {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state and (cycle := visit(nxt)):
                return cycle
        state[node] = "done"
        stack.pop()
        return None

    for node in sorted(edges):
        if node not in state and (cycle := visit(node)):
            return cycle
    return None


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    edges, sdl_users, problems = read_graph(src)
    for module in sorted(edges):
        for target in sorted(edges[module]):
            print(f"{module} -> {target}")
    if cycle := find_cycle(edges):
        problems.append("include cycle between modules: " + " -> ".join(cycle))
    count = sum(len(targets) for targets in edges.values())
    print(f"{count} edges between {len(edges)} modules; SDL headers in {sorted(set(sdl_users))}")
    for problem in problems:
        print(problem, file=sys.stderr)
    print("FAIL" if problems else "no cycle; SDL only in platform/; board/ includes only board/")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
