"""The real program in a real notification area (XEmbed, with trayer), without one, and with
a StatusNotifierItem host whose balloons become session.desktop notifications."""

import os
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


PYTHON = "/usr/bin/python3"




class TrayCase(unittest.TestCase):
    def setUp(self):
        self.addCleanup(self.wait_until_gone)
        self.proc = session.run(self)
        self.wid = wait_for(lambda: session.desktop.find_window("^Quorvel$"), "the main window", 20)
        self.app = atspi.application("Quorvel", self.proc.pid)

    def wait_until_gone(self):
        wait_for(lambda: session.desktop.find_window("^Quorvel$") is None, "the window to go")

    def icon(self):
        icons = wait_for(lambda: session.desktop.tray_icons("quorvel"), "the docked tray icon")
        self.assertEqual(len(icons), 1)
        x, y, w, h = session.desktop.geometry(icons[0])
        return x + w // 2, y + h // 2

    last_click = 0.0

    def click_icon(self, button, count=1):
        # Clicks closer together than the double-click interval (400 ms) make a double click,
        # which the icon reports as one: space separate clicks out as a person would.
        time.sleep(max(0.0, TrayCase.last_click + 0.6 - time.monotonic()))
        x, y = self.icon()
        session.desktop.xdotool("mousemove", x, y, "click", "--repeat", count, "--delay", 80,
                                button)
        TrayCase.last_click = time.monotonic()

    def hidden(self):
        d = session.desktop
        return d.wm_state(self.wid) is None and self.wid not in d.client_list()

    def shown(self):
        d = session.desktop
        return d.wm_state(self.wid) == "Normal" and d.is_mapped(self.wid)

    def popups(self, window_type):
        """Our mapped windows of a given _NET_WM_WINDOW_TYPE (balloons are tooltips)."""
        return [w for w in session.desktop.find_windows(cls="quorvel")
                if session.desktop.is_mapped(w) and window_type in session.desktop.x(
                    "xprop", "-id", str(w), "_NET_WM_WINDOW_TYPE").split("=")[-1].split(",")[0]]

    def balloons(self):
        # Qt draws its own balloon next to an XEmbed icon.
        return self.popups("_NET_WM_WINDOW_TYPE_TOOLTIP")

    def minimise(self):
        session.desktop.xdotool("windowminimize", self.wid)
        wait_for(self.hidden, "the window to be withdrawn into the tray")

    def menus(self):
        """Our popup menus on screen: mapped windows that are neither the main window, the
        docked icon nor a balloon."""
        icons = set(session.desktop.tray_icons("quorvel"))
        return [w for w in session.desktop.find_windows(cls="quorvel")
                if w != self.wid and w not in icons and session.desktop.is_mapped(w)
                and w not in self.balloons()]

    def open_menu(self):
        self.click_icon(3)
        return wait_for(self.menus, "the tray menu", 5)[0]

    def run_state(self):
        field = atspi.find(self.app, "push button",
                           predicate=lambda n: n.description == "定时状态")
        return field.name


class XEmbedTray(TrayCase):
    def test_icon_docks_with_the_program_tip(self):
        x, y = self.icon()
        session.desktop.xdotool("mousemove", x, y)
        tip = atspi.find(self.app, predicate=lambda n: "QuorvelV1.0.0" in (n.name or ""),
                         timeout=10)
        self.assertEqual(tip.name, "QuorvelV1.0.0")

    def test_minimise_double_click_and_single_click(self):
        self.minimise()
        balloon = wait_for(self.balloons, "the balloon")
        session.desktop.screenshot(os.path.join(session.artifacts, "balloon.png"))
        self.assertTrue(atspi.find(self.app, predicate=lambda n: n.name == "气泡提示"))
        session.desktop.xdotool("mousemove", 0, 400)
        # One click: nothing.
        self.click_icon(1)
        time.sleep(1.0)
        self.assertTrue(self.hidden())
        # A double click: back, with a balloon again.
        wait_for(lambda: not self.balloons(), "the first balloon to go away", 15)
        self.click_icon(1, count=2)
        wait_for(self.shown, "the window to come back")
        wait_for(self.balloons, "the balloon after restoring")
        del balloon

    def test_right_click_while_shown_does_nothing(self):
        self.click_icon(3)
        time.sleep(1.0)
        self.assertEqual(self.menus(), [])
        self.assertTrue(self.shown())

    def test_menu_in_the_tray_starts_the_task_and_exits(self):
        self.minimise()
        menu = self.open_menu()
        session.desktop.screenshot(os.path.join(session.artifacts, "tray-menu.png"))
        # Six entries: two separators between four items, at the pointer.
        x, y, width, height = session.desktop.geometry(menu)
        self.assertGreater(height, 4 * 18)
        # Down, Down: the first item, then past the separator to "开始".
        session.desktop.xdotool("key", "Down", "Down", "Return")
        wait_for(lambda: not self.menus(), "the menu to close")
        self.assertTrue(self.hidden())
        wait_for(lambda: self.run_state() == "启动", "the task to run")
        self.assertTrue(self.hidden())
        # Now "开始" is disabled and skipped: Down lands on "停止"; Up from the top wraps to
        # "退出".
        self.open_menu()
        session.desktop.xdotool("key", "Up", "Return")
        self.assertEqual(self.proc.wait(10), 0)
        wait_for(lambda: not session.desktop.tray_icons("quorvel"), "the icon to disappear")


class NoTray(unittest.TestCase):
    """Without a notification area minimising must leave a way back."""

    def test_minimise_is_an_ordinary_minimise(self):
        session.desktop.stop_tray()
        self.addCleanup(session.desktop.start_tray)
        session.run(self)
        wid = wait_for(lambda: session.desktop.find_window("^Quorvel$"), "the main window", 20)
        session.desktop.xdotool("windowminimize", wid)
        wait_for(lambda: session.desktop.wm_state(wid) == "Iconic", "the window to be iconified")
        time.sleep(0.5)
        self.assertEqual(session.desktop.wm_state(wid), "Iconic")
        self.assertIn(wid, session.desktop.client_list())
        session.desktop.xdotool("windowactivate", wid)
        wait_for(lambda: session.desktop.wm_state(wid) == "Normal", "the window to be restored")


class StatusNotifierHost(unittest.TestCase):
    """With a StatusNotifierItem host the balloon is a session.desktop notification."""

    def test_balloon_goes_out_as_a_notification(self):
        log = os.path.join(session.desktop.tmp, "notifications.log")
        watcher = session.desktop.spawn("watcher", [
            PYTHON, "-m", "dbusmock", "--session", "org.kde.StatusNotifierWatcher",
            "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher"])
        notifications = session.desktop.spawn("notifications", [
            PYTHON, "-m", "dbusmock", "--session", "-t", "notification_daemon", "-l", log])
        self.addCleanup(session.desktop.stop, "notifications")
        self.addCleanup(session.desktop.stop, "watcher")

        def mock(*args):
            return subprocess.run(["gdbus", "call", "--session", "-d",
                                   "org.kde.StatusNotifierWatcher", "-o",
                                   "/StatusNotifierWatcher", "-m", *args],
                                  env=session.desktop.env, capture_output=True, text=True)
        wait_for(lambda: mock("org.freedesktop.DBus.Mock.AddMethod", "", "Ping", "", "",
                              "").returncode == 0, "the watcher mock")
        for name, value in (("IsStatusNotifierHostRegistered", "true"),
                            ("ProtocolVersion", "0"),
                            ("RegisteredStatusNotifierItems", "@as []")):
            mock("org.freedesktop.DBus.Mock.AddProperty", "org.kde.StatusNotifierWatcher",
                 name, f"<{value}>")
        mock("org.freedesktop.DBus.Mock.AddMethod", "org.kde.StatusNotifierWatcher",
             "RegisterStatusNotifierItem", "s", "", "")
        mock("org.freedesktop.DBus.Mock.AddMethod", "org.kde.StatusNotifierWatcher",
             "RegisterStatusNotifierHost", "s", "", "")
        wait_for(lambda: os.path.exists(log), "the notification daemon")
        del watcher, notifications

        session.run(self)
        wid = wait_for(lambda: session.desktop.find_window("^Quorvel$"), "the main window", 20)
        session.desktop.xdotool("windowminimize", wid)
        wait_for(lambda: session.desktop.wm_state(wid) is None, "the window to go to the tray")
        def notified():
            with open(log, encoding="utf-8") as f:
                text = f.read()
            return "Notify" in text and text
        entry = wait_for(notified, "a session.desktop notification", 10)
        self.assertIn("气泡提示", entry)
        self.assertIn("QuorvelV1.0.0", entry)
        # No XEmbed icon was docked: the host owns the item.
        self.assertEqual(session.desktop.tray_icons("quorvel"), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
