"""The real program on a Desktop, driven as a user would: through the accessibility interface,
the mouse and the keyboard."""

import datetime
import os
import shutil
import unittest

from .desktop import Desktop, wait_for

pyatspi = None


class Journey(unittest.TestCase):
    """A test class whose cases share one desktop and a private copy of the program (so that
    its config.ini is its own). Set `desktop_options` in the subclass."""

    desktop_options = {}

    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop(**cls.desktop_options).__enter__()
        cls.addClassCleanup(cls.desktop.__exit__)
        if os.environ.get("QUORVEL_INSTALLED"):  # the installed program, settings per user
            cls.binary = os.environ["QUORVEL_BINARY"]
            cls.settings = os.path.join(cls.desktop.env["HOME"], ".config/Quorvel/config.ini")
        else:
            folder = os.path.join(cls.desktop.tmp, "program")
            os.makedirs(folder)
            cls.binary = os.path.join(folder, "quorvel")
            shutil.copy(os.environ["QUORVEL_BINARY"], cls.binary)
            cls.settings = os.path.join(folder, "config.ini")
        connect_atspi()

    def start(self, argv=(), name=None, env=None):
        """The program, stopped when the case ends."""
        proc = self.desktop.spawn(name or self.id().rsplit(".", 1)[1], [self.binary, *argv], env)
        self.addCleanup(self.desktop.stop, proc)
        return proc

    def screenshot(self, name, wid="root"):
        self.desktop.screenshot(f"{self.id().rsplit('.', 1)[1]}-{name}.png", wid)


def connect_atspi():
    global pyatspi
    import pyatspi as module  # connects at import, to the desktop named in os.environ
    pyatspi = module
    # A Qt program registers with the registry synchronously at start-up: start it now.
    wait_for(lambda: pyatspi.Registry.getDesktop(0) is not None, "the registry")


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def first(nodes, test, what, timeout=10):
    """Waits for an accessible that passes test; those that go away meanwhile are skipped."""
    def look():
        for node in nodes():
            try:
                if test(node):
                    return node
            except Exception:
                continue
    return wait_for(look, what, timeout)


def find(root, role, name=None, predicate=lambda node: True, timeout=10):
    return first(lambda: walk(root), lambda n: n.getRoleName() == role and
                 name in (None, n.name) and predicate(n), f"{role} {name!r}", timeout)


def application(pid):
    return first(lambda: pyatspi.Registry.getDesktop(0), lambda app: app.get_process_id() == pid,
                 "the program on the accessibility bus", 20)


def press(node):
    """The default action: a button's press, a check box's toggle."""
    node.queryAction().doAction(0)


def has(node, state):
    """Whether an accessible is in a state: "ENABLED", "CHECKED", "SHOWING"..."""
    return node.getState().contains(getattr(pyatspi, "STATE_" + state))


class Window:
    """The main window of one running copy."""

    def __init__(self, desktop, proc):
        self.desktop, self.proc = desktop, proc
        self.app = application(proc.pid)
        if desktop.wayland:
            # Frameless where it draws its own title bar: a "filler" then.
            self.frame = find(self.app, "filler", "Quorvel", timeout=20)
        else:
            self.wid = wait_for(lambda: desktop.windows("^Quorvel$"), "the main window", 20)[0]

    def find(self, role, name):
        return find(self.app, role, name)

    def press(self, caption):
        press(self.find("push button", caption))

    def field(self, description):
        """A status field by what it shows: 系统时间, 任务状态 or 定时状态."""
        return find(self.app, "push button", predicate=lambda n: n.description == description)

    def run_state(self):
        return self.field("定时状态").name

    def set_time(self, when):
        picker = find(self.app, "spin button", "时间")
        picker.queryEditableText().setTextContents(when.strftime("%H:%M:%S"))
        wait_for(lambda: picker.queryText().getText(0, -1) == when.strftime("%H:%M:%S"),
                 "the picker to take the time")


def target_in(seconds):
    """A time of day that many whole seconds ahead, and the instant its second begins."""
    start = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(seconds=seconds)
    return start, start.timestamp()
