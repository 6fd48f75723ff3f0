"""Driving a program through the accessibility interface, as a screen-reader user would.

pyatspi connects to the accessibility bus of the desktop named by DISPLAY and
DBUS_SESSION_BUS_ADDRESS when it is first imported, so call `connect(desktop)` once per
process, after the desktop is up.
"""

import os

from .desktop import wait_for

pyatspi = None


def connect(desktop):
    global pyatspi
    os.environ["DISPLAY"] = desktop.env["DISPLAY"]
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = desktop.env["DBUS_SESSION_BUS_ADDRESS"]
    import pyatspi as module  # noqa: E402  (needs the environment above)
    pyatspi = module
    # Start the registry now: a Qt program registers with it synchronously at start-up, and
    # would otherwise wait on its activation (seconds on a loaded machine) before showing.
    wait_for(lambda: module.Registry.getDesktop(0) is not None, "the accessibility registry")
    return module


def application(name, pid=None, timeout=15):
    """The program's accessible root, by its application name (and process, if given)."""
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.name == name and (
                        pid is None or app.get_process_id() == pid):
                    return app
            except Exception:  # an application that went away meanwhile
                continue
        return None
    return wait_for(find, f"application {name!r} on the accessibility bus", timeout)


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(root, role=None, name=None, timeout=10, predicate=None):
    """The first node under root with the given role name and accessible name."""
    def look():
        for node in walk(root):
            try:
                if role is not None and node.getRoleName() != role:
                    continue
                if name is not None and node.name != name:
                    continue
                if predicate is not None and not predicate(node):
                    continue
                return node
            except Exception:  # a node that went away while walking
                continue
        return None
    return wait_for(look, f"{role or 'node'} named {name!r}", timeout)


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click", "Toggle", "toggle"):
            action.doAction(i)
            return
    raise AssertionError(f"{node.name!r} has no press action")


def is_enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def is_checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def set_text(node, text):
    node.queryEditableText().setTextContents(text)
