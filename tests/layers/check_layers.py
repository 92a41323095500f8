#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a higher layer.

Layers, lowest first: net, fault, common, sites, blog, images, drafts,
crosspost, multipost, shell. A file may include headers of its own subsystem
and of the subsystems below it; nothing outside src/shell/ includes a shell
header. Within a subsystem the plain logic (src/<name>/*) never includes
window code (a header under some ui/ folder, src/shell/ included).
"""
import pathlib
import re
import sys

LAYERS = ["net", "fault", "common", "sites", "blog", "images", "drafts", "crosspost", "multipost", "shell"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def subsystem(path):
    return path.split("/", 1)[0]


def is_window_code(path):
    parts = path.split("/")
    return parts[0] == "shell" or "ui" in parts[1:-1]


def main(src):
    root = pathlib.Path(src)
    problems = []
    for f in sorted(root.rglob("*")):
        if f.suffix not in (".h", ".cpp"):
            continue
        rel = f.relative_to(root).as_posix()
        own = subsystem(rel)
        if own not in LAYERS:
            problems.append(f"{rel}: the folder {own}/ is no known layer")
            continue
        for header in INCLUDE.findall(f.read_text(encoding="utf-8", errors="replace")):
            target = subsystem(header)
            if target not in LAYERS:
                continue  # a header of a library, or generated
            if LAYERS.index(target) > LAYERS.index(own):
                problems.append(f"{rel}: includes {header} from the higher layer {target}/")
            elif not is_window_code(rel) and is_window_code(header):
                problems.append(f"{rel}: plain logic includes the window code {header}")
    for p in problems:
        print(p)
    print(f"{len(problems)} include(s) against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
