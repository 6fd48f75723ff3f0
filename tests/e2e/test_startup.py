"""The real program on a real X server: start-up, the single-copy rule, exit."""

import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.quorvel import Session  # noqa: E402
from harness.desktop import wait_for  # noqa: E402

session = Session(tray=True)
setUpModule, tearDownModule = session.start, session.stop


class Startup(unittest.TestCase):
    def setUp(self):
        # Runs last: the next test starts on an empty screen.
        self.addCleanup(lambda: wait_for(
            lambda: not [w for w in session.desktop.find_windows(name="^(Quorvel|错误！)$")
                         if session.desktop.is_mapped(w)], "the windows to go"))

    def start(self, binary=None, name="quorvel"):
        return session.run(self, [binary or session.binary], name=name)

    def confirm_refusal(self, proc):
        """Presses OK in the refusal box of that copy, if it shows one."""
        try:
            app = atspi.application("Quorvel", proc.pid, timeout=2)
        except AssertionError:
            return
        for node in atspi.walk(app):
            try:
                if node.getRoleName() == "label" and node.name == "程序已经运行！":
                    atspi.press(atspi.find(app, "push button", "OK"))
                    return
            except Exception:
                continue

    def main_window(self):
        return wait_for(lambda: session.desktop.find_window("^Quorvel$"), "the main window", 20)

    def refusal_boxes(self):
        d = session.desktop
        return [w for w in d.find_windows(name="^错误！$") if d.is_mapped(w)]

    def test_window_maps_with_its_title_and_designed_size(self):
        started = time.monotonic()
        proc = self.start()
        wid = self.main_window()
        mapped_after = time.monotonic() - started
        x, y, width, height = session.desktop.geometry(wid)
        self.assertEqual((width, height), (323, 289))
        # Centred on the 1024x768 screen (the frame adds a little at the top).
        self.assertLess(abs(x + width / 2 - 512), 3)
        self.assertLess(abs(y + height / 2 - 384), 20)
        self.assertLess(mapped_after, 10)
        app = atspi.application("Quorvel", proc.pid)
        state = atspi.find(app, "push button", "停止")
        self.assertFalse(atspi.is_enabled(state))
        clock = atspi.find(app, "push button", predicate=lambda n: n.description == "系统时间")
        wait_for(lambda: clock.name.count(":") == 2, "the clock caption")
        first = clock.name
        wait_for(lambda: clock.name != first, "the clock to move on", 3)
        time.sleep(1.2)  # let the clock tick past its empty first second
        session.desktop.screenshot(os.path.join(session.artifacts, "main-window.png"), wid)
        self.assertIsNone(proc.poll())

    def test_second_copy_is_refused_and_the_first_goes_on(self):
        first = self.start()
        wid = self.main_window()
        second = self.start(name="second")
        box = wait_for(self.refusal_boxes, "the refusal message box", 20)[0]
        self.assertEqual(second.poll(), None)
        refusal = atspi.application("Quorvel", second.pid)
        atspi.find(refusal, "label", "程序已经运行！")
        session.desktop.screenshot(os.path.join(session.artifacts, "refusal.png"), box)
        self.confirm_refusal(second)
        self.assertEqual(second.wait(10), 0)
        self.assertEqual(self.refusal_boxes(), [])
        self.assertIsNone(first.poll())
        self.assertEqual(session.desktop.find_window("^Quorvel$"), wid)
        self.assertEqual(len(session.desktop.tray_icons("quorvel")), 1)

    def test_exit_button_ends_the_process_and_removes_the_icon(self):
        proc = self.start()
        self.main_window()
        wait_for(lambda: session.desktop.tray_icons("quorvel"), "the tray icon")
        app = atspi.application("Quorvel", proc.pid)
        atspi.press(atspi.find(app, "push button", "退   出"))
        self.assertEqual(proc.wait(10), 0)
        self.assertEqual(session.desktop.tray_icons("quorvel"), [])

    def test_ten_copies_at_once_leave_exactly_one_running(self):
        copies = [self.start(name=f"burst{i}") for i in range(10)]
        wait_for(lambda: len(self.refusal_boxes()) == 9, "nine refusal boxes", 30)
        self.assertEqual(len([w for w in session.desktop.find_windows(name="^Quorvel$")
                              if session.desktop.is_mapped(w)]), 1)
        for p in copies:
            self.confirm_refusal(p)
        wait_for(lambda: sum(p.poll() is None for p in copies) == 1, "the refused copies to end",
                 20)
        self.assertEqual([p.returncode for p in copies if p.poll() is not None], [0] * 9)

    def test_a_killed_copy_does_not_block_the_next_start(self):
        proc = self.start()
        self.main_window()
        proc.send_signal(signal.SIGKILL)
        proc.wait(10)
        wait_for(lambda: session.desktop.find_window("^Quorvel$") is None, "the window to go")
        again = self.start(name="again")
        self.main_window()
        time.sleep(0.5)
        self.assertEqual(self.refusal_boxes(), [])
        self.assertIsNone(again.poll())

    def test_two_installed_copies_run_side_by_side(self):
        other_dir = os.path.join(session.desktop.tmp, "elsewhere")
        os.makedirs(other_dir, exist_ok=True)
        other = os.path.join(other_dir, "quorvel")
        subprocess.run(["cp", session.binary, other], check=True)
        self.start()
        self.main_window()
        self.start(binary=other, name="elsewhere")
        wait_for(lambda: len([w for w in session.desktop.find_windows(name="^Quorvel$")
                              if session.desktop.is_mapped(w)]) == 2, "two main windows", 20)
        self.assertEqual(self.refusal_boxes(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
