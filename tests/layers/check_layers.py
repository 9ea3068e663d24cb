#!/usr/bin/env python3
"""Checks the source layers: every #include of a project header stays inside the folders a
folder may include and links (its tsubame_library DEPENDS), every library links only what the
table allows, the folder graph has no cycle, and the GUI-free folders include no Qt."""
import pathlib
import re
import sys

ALLOWED = {
    "core": set(),
    "store": {"core"},
    "settings": {"core"},
    "net": {"core"},
    "mime": {"core"},
    "pop3": {"net", "core"},
    "smtp": {"net", "mime", "core"},
    # The calls and their loader; the real library is its module's (maillib/module).
    "maillib": {"core"},
    "maillib/module": {"maillib", "pop3", "smtp", "mime", "net", "core"},
    "receive": {"maillib", "store", "settings", "core"},
    "send": {"maillib", "store", "settings", "core"},
    "ui": set(),
    "editor": {"ui", "core"},
}
GUI_FREE = ["core", "store", "settings", "net", "mime", "pop3", "smtp", "maillib", "maillib/module",
            "receive", "send"]
ALLOWED["context"] = set(GUI_FREE) | {"editor", "ui"}
ALLOWED["setup"] = {"context", "settings", "ui", "core"}
WINDOWS = ["viewer", "compose", "reply", "addressbook"]
for window in WINDOWS:
    ALLOWED[window] = set(GUI_FREE) | {"context", "editor", "ui"} | (set(WINDOWS) - {window})
ALLOWED["app"] = set(ALLOWED) - {"app", "maillib/module"}
# Sub-folders with a table row of their own; the module links its layers by its own rules.
SUBFOLDERS = ["maillib/module"]

PROJECT_INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/', re.M)
QT_INCLUDE = re.compile(r"^\s*#\s*include\s+<Q", re.M)
LIBRARY = re.compile(r"tsubame_library\(\s*([a-z0-9_]+)([^)]*)\)", re.S)


def linked_folders(folder: pathlib.Path) -> set:
    """The DEPENDS list of the folder's tsubame_library call."""
    match = LIBRARY.search((folder / "CMakeLists.txt").read_text(encoding="utf-8"))
    if not match:
        return set()
    words = match.group(2).split()
    if "DEPENDS" not in words:
        return set()
    depends = words[words.index("DEPENDS") + 1:]
    stop = [i for i, w in enumerate(depends) if w.isupper()]
    return set(depends[: stop[0]] if stop else depends)


def main(src: pathlib.Path) -> int:
    faults = []
    edges = {}
    folders = [p for p in src.iterdir() if p.is_dir()] + [src / s for s in SUBFOLDERS]
    for folder in sorted(folders):
        name = folder.relative_to(src).as_posix()
        if name not in ALLOWED:
            faults.append(f"{name}: a folder the layer table does not know")
            continue
        # A folder's own parts (app_console of app) are the folder.
        linked = ALLOWED[name] if name in SUBFOLDERS else {
            d for d in linked_folders(folder) if not d.startswith(name + "_")}
        for extra in sorted(linked - ALLOWED[name]):
            faults.append(f"{name}/CMakeLists.txt: links {extra}, not allowed")
        for file in sorted(folder.glob("*")):
            if file.suffix not in (".h", ".cpp"):
                continue
            text = file.read_text(encoding="utf-8", errors="replace")
            for target in PROJECT_INCLUDE.findall(text):
                if target == name:
                    continue
                edges.setdefault(name, set()).add(target)
                if target not in ALLOWED[name]:
                    faults.append(f"{file.relative_to(src)}: includes {target}/, not allowed")
                elif target not in linked:
                    faults.append(f"{file.relative_to(src)}: includes {target}/, not linked")
            if name in GUI_FREE and QT_INCLUDE.search(text):
                faults.append(f"{file.relative_to(src)}: includes Qt in a GUI-free folder")

    # A cycle among the folders, found by depth-first search.
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                faults.append("cycle: " + " -> ".join(path + [node, nxt]))
            elif nxt not in state:
                visit(nxt, path + [node])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node, [])

    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
