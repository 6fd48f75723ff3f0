"""Driving the real Quorvel window through the accessibility interface and the keyboard."""

import datetime
import os
import time

from . import atspi
from .desktop import Desktop, wait_for


class Session:
    """One private desktop per test module and a private copy of the program on it, so that
    the copy's config.ini is its own and not the build tree's. In a test module:

        session = Session(tray=True)
        setUpModule, tearDownModule = session.start, session.stop
    """

    def __init__(self, **desktop_args):
        self.desktop_args = desktop_args
        self.desktop = None
        self.binary = None
        self.artifacts = os.environ.get("QUORVEL_ARTIFACTS", os.getcwd())

    def start(self):
        self.desktop = Desktop(atspi=True, **self.desktop_args).__enter__()
        try:
            atspi.connect(self.desktop)
            self.binary = copy_program(os.environ["QUORVEL_BINARY"],
                                       os.path.join(self.desktop.tmp, "program"))
        except BaseException:
            # unittest skips the module's tear-down when its set-up fails.
            self.stop()
            raise

    def stop(self):
        self.desktop.__exit__(None, None, None)

    def run(self, test, argv=None, env=None, name="quorvel"):
        """Starts the program (or argv) for a test case, logged under the case's name, and
        ends it when the case ends."""
        proc = self.desktop.start(argv or [self.binary], env=env, name=name,
                                  log=os.path.join(self.artifacts, f"{test.id()}-{name}.log"))

        def end():
            if proc.poll() is None:
                proc.terminate()
                proc.wait(10)
        test.addCleanup(end)
        return proc


class Window:
    """The main window of one running copy."""

    def __init__(self, desktop, proc, timeout=20):
        self.desktop = desktop
        self.proc = proc
        self.wid = wait_for(lambda: desktop.find_window("^Quorvel$"), "the main window", timeout)
        self.app = atspi.application("Quorvel", proc.pid)

    def field(self, description):
        """A status field by what it shows: 系统时间, 任务状态 or 定时状态."""
        return atspi.find(self.app, "push button",
                          predicate=lambda n: n.description == description)

    def run_state(self):
        return self.field("定时状态").name

    def task_caption(self):
        return self.field("任务状态").name

    def button(self, caption):
        return atspi.find(self.app, "push button", caption)

    def press(self, caption):
        atspi.press(self.button(caption))

    def check_box(self, caption):
        return atspi.find(self.app, "check box", caption)

    def click(self, node):
        box = node.queryComponent().getExtents(atspi.pyatspi.DESKTOP_COORDS)
        self.desktop.xdotool("mousemove", box.x + box.width // 2, box.y + box.height // 2,
                             "click", 1)

    def choose(self, list_name, entry):
        """Picks an entry of a drop-down list with the mouse, as a user would."""
        combo = atspi.find(self.app, "combo box", list_name)
        self.click(combo)
        item = atspi.find(combo, "list item", entry)
        wait_for(lambda: item.queryComponent().getExtents(atspi.pyatspi.DESKTOP_COORDS).height
                 > 0 and item.getState().contains(atspi.pyatspi.STATE_VISIBLE),
                 "the list to open")
        time.sleep(0.2)
        self.click(item)
        wait_for(lambda: combo.name == entry, f"{entry!r} chosen in {list_name}")

    def set_time(self, when):
        picker = atspi.find(self.app, "spin button", "时间")
        text = when.strftime("%H:%M:%S")
        atspi.set_text(picker, text)
        wait_for(lambda: picker.queryText().getText(0, -1) == text, "the picker to take the time")


def target_in(seconds):
    """A time of day that many whole seconds ahead, and the instant its second begins."""
    now = datetime.datetime.now()
    start = now.replace(microsecond=0) + datetime.timedelta(seconds=seconds)
    return start, start.timestamp()


def sleep_until(timestamp):
    delay = timestamp - time.time()
    if delay > 0:
        time.sleep(delay)


def copy_program(binary, directory):
    """A private copy of the program, so its config.ini can sit next to it."""
    os.makedirs(directory, exist_ok=True)
    target = os.path.join(directory, "quorvel")
    with open(binary, "rb") as src, open(target, "wb") as dst:
        dst.write(src.read())
    os.chmod(target, 0o755)
    return target
