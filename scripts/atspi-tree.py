#!/usr/bin/python3
"""Prints what a screen reader sees of a running program over AT-SPI: one line per accessible
object, indented by depth, as `[role] 'name' (children)` with `*` before the ones on screen.
Usage: atspi-tree.py APPLICATION_NAME (used by scripts/interop.sh)."""
import sys

import pyatspi


def walk(accessible, depth, lines):
    try:
        role = accessible.getRoleName()
        name = accessible.name
        count = accessible.childCount
        showing = accessible.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # the object went away while we read it
        return
    lines.append(f"{'  ' * depth}{'*' if showing else ' '}[{role}] {name!r} ({count})")
    for index in range(min(count, 500)):
        try:
            walk(accessible.getChildAtIndex(index), depth + 1, lines)
        except Exception:
            pass


def main():
    wanted = sys.argv[1]
    desktop = pyatspi.Registry.getDesktop(0)
    lines = []
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is not None and application.name == wanted:
            walk(application, 0, lines)
    if not lines:
        print(f"{wanted} is not on the accessibility bus", file=sys.stderr)
        return 1
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
