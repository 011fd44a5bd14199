#!/usr/bin/python3
"""What a program's windows show, read as a screen reader reads them (AT-SPI).

  window_text.py bus              starts the accessibility bus of the session (before the program)
  window_text.py text PID          every text the program's windows show, one per line, after
                                   the role of what shows it ("label: 开始", "push button: 打开")
  window_text.py button PID CAPTION  the screen point "X Y" of the middle of the shown button
                                   captioned CAPTION

The program must run on the accessibility bus of the caller's session bus (Qt programs join it
when QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1; one started before the bus is not seen). Exit status 1
when the program or the button is not found.
"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except gi.repository.GLib.Error:
            continue
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.get_child_count()
    except gi.repository.GLib.Error:
        return
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except gi.repository.GLib.Error:
            continue
        yield from walk(child, depth + 1)


def showing(node):
    try:
        return node.get_state_set().contains(Atspi.StateType.SHOWING)
    except gi.repository.GLib.Error:
        return False


def texts(node):
    """The name and the text content of a node, whichever it has."""
    out = []
    try:
        name = node.get_name()
        if name:
            out.append(name)
    except gi.repository.GLib.Error:
        pass
    try:
        if "Text" in node.get_interfaces():
            content = Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node))
            if content and content not in out:
                out.append(content)
    except gi.repository.GLib.Error:
        pass
    return out


def main(argv):
    if len(argv) == 2 and argv[1] == "bus":
        Atspi.get_desktop(0).get_child_count()
        return 0
    if len(argv) < 3 or argv[1] not in ("text", "button") or (argv[1] == "button" and len(argv) < 4):
        print(__doc__, file=sys.stderr)
        return 2
    app = application(int(argv[2]))
    if app is None:
        print(f"window_text: no accessible program with process {argv[2]}", file=sys.stderr)
        return 1
    if argv[1] == "text":
        for node in walk(app):
            if showing(node):
                for t in texts(node):
                    print(f"{node.get_role_name()}: {t}".replace("\n", " "))
        return 0
    caption = argv[3]
    for node in walk(app):
        try:
            if node.get_role() != Atspi.Role.PUSH_BUTTON or node.get_name() != caption or not showing(node):
                continue
            r = node.get_extents(Atspi.CoordType.SCREEN)
        except gi.repository.GLib.Error:
            continue
        print(r.x + r.width // 2, r.y + r.height // 2)
        return 0
    print(f"window_text: no shown button {caption!r}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
