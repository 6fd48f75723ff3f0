"""The About window of the real program: modal, readable, and its links reach the session.desktop."""

import os
import stat
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.quorvel import Session  # noqa: E402
from harness.desktop import wait_for  # noqa: E402

session = Session(tray=True)
setUpModule, tearDownModule = session.start, session.stop


class About(unittest.TestCase):
    def setUp(self):
        # Whatever the program hands to the session.desktop is written down instead of opened.
        bindir = os.path.join(session.desktop.tmp, "bin")
        self.opened = os.path.join(session.desktop.tmp, "opened.txt")
        os.makedirs(bindir, exist_ok=True)
        for tool in ("xdg-open", "xdg-email"):
            path = os.path.join(bindir, tool)
            with open(path, "w") as script:
                script.write(f'#!/bin/sh\necho "{tool} $*" >> "{self.opened}"\n')
            os.chmod(path, os.stat(path).st_mode | stat.S_IEXEC)
        env = {"PATH": bindir + os.pathsep + os.environ["PATH"]}
        self.proc = session.run(self, env=env)
        self.wid = wait_for(lambda: session.desktop.find_window("^Quorvel$"), "the main window", 20)
        self.app = atspi.application("Quorvel", self.proc.pid)

    def opened_urls(self):
        if not os.path.exists(self.opened):
            return []
        with open(self.opened) as f:
            return f.read().splitlines()

    def test_modal_about_window_and_its_links(self):
        atspi.press(atspi.find(self.app, "push button", "关   于"))
        about = wait_for(lambda: session.desktop.find_window("^关于$"), "the About window", 10)
        x, y, width, height = session.desktop.geometry(about)
        self.assertEqual(width, 338)
        self.assertGreaterEqual(height, 142)
        time.sleep(0.3)
        session.desktop.screenshot(os.path.join(session.artifacts, "about.png"), about)
        atspi.find(self.app, "label", "版本：1.0.0         发布日期：2009.9")

        # The main window takes no input meanwhile: a click on its start button does nothing.
        mx, my, _, _ = session.desktop.geometry(self.wid)
        start = (mx + 3720 // 15 + 30, my + 120 // 15 + 15)
        self.assertFalse(x <= start[0] < x + width and y <= start[1] < y + height)
        session.desktop.xdotool("mousemove", *start, "click", 1)
        time.sleep(0.5)
        state = atspi.find(self.app, "push button",
                           predicate=lambda n: n.description == "定时状态")
        self.assertEqual(state.name, "停止")

        # The links, each at its place in the window.
        for count, (left, top) in enumerate(((1680, 840), (1680, 1200)), start=1):
            session.desktop.xdotool("mousemove", x + left // 15 + 20, y + top // 15 + 6)
            time.sleep(0.2)
            session.desktop.xdotool("click", 1)
            wait_for(lambda: len(self.opened_urls()) == count, "the link to be handed over", 10)
        urls = [line.split(" ", 1)[1] for line in self.opened_urls()]
        self.assertEqual(urls, ["https://www.example.org/quorvel", "mailto:quorvel@example.org"])

        session.desktop.xdotool("windowclose", about)
        wait_for(lambda: session.desktop.find_window("^关于$") is None,
                 "the About window to close")
        atspi.press(atspi.find(self.app, "push button", "退   出"))
        self.assertEqual(self.proc.wait(10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
