"""The real program on a Wayland compositor (weston, headless), driven through AT-SPI: its own
title bar, the StatusNotifierItem tray, a task firing through the mocked logind, a second copy."""

import os
import sys
import unittest

import dbus

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import quorvel  # noqa: E402
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window, has, target_in  # noqa: E402


class Wayland(Journey):
    desktop_options = {"wayland": True}

    def test_title_bar_tray_task_and_a_second_copy(self):
        logind = self.desktop.mock("logind")
        watcher = self.desktop.mock(name="org.kde.StatusNotifierWatcher", system=False,
                                    path="/StatusNotifierWatcher")
        for name, value in (("IsStatusNotifierHostRegistered", True), ("ProtocolVersion", 0),
                            ("RegisteredStatusNotifierItems", dbus.Array([], "s"))):
            watcher.obj.AddProperty("org.kde.StatusNotifierWatcher", name, value)
        watcher.obj.AddMethod("org.kde.StatusNotifierWatcher", "RegisterStatusNotifierItem", "s",
                              "", "")
        notifications = self.desktop.mock("notification_daemon", system=False)
        w = Window(self.desktop, self.start(["--task", "poweroff"]))
        # The title bar of its own offers minimise and close, nothing else.
        self.assertEqual([b.name for b in quorvel.walk(w.app) if b.getRoleName() ==
                          "push button" and b.name in ("最小化", "关闭", "最大化")], ["最小化", "关闭"])
        box = w.frame.queryComponent().getExtents(quorvel.pyatspi.WINDOW_COORDS)
        self.assertEqual((box.width, box.height), (323, 289 + 28))
        clock = w.field("系统时间")
        first = wait_for(lambda: clock.name, "the clock")
        wait_for(lambda: clock.name != first, "the clock to run", 3)
        self.screenshot("window")

        w.press("最小化")
        wait_for(lambda: not has(w.frame, "SHOWING"), "the window to go to the tray")
        balloon = wait_for(lambda: notifications.calls("Notify"), "the balloon")[0]
        self.assertIn('"气泡提示" "QuorvelV1.0.0"', balloon[1])
        # The host activates the item, as a click on the icon does.
        item = wait_for(lambda: watcher.calls("RegisterStatusNotifierItem"), "the icon")[0]
        dbus.SessionBus().get_object(item[1].strip('"'), "/StatusNotifierItem").Activate(
            0, 0, dbus_interface="org.kde.StatusNotifierItem")
        wait_for(lambda: has(w.frame, "SHOWING"), "the window to come back")

        when, second_begins = target_in(3)
        w.set_time(when)
        w.press("开   始")
        call = wait_for(lambda: logind.calls("PowerOff"), "the power-off request", 8)[0]
        self.assertGreaterEqual(call[0], second_begins)
        self.assertLess(call[0], second_begins + 0.5)

        second = self.start(name="second")
        refusal = quorvel.application(second.pid)
        quorvel.find(refusal, "alert", "错误！")  # critical: an alert
        quorvel.find(refusal, "label", "程序已经运行！")
        quorvel.press(quorvel.find(refusal, "push button", "OK"))
        self.assertEqual(second.wait(10), 0)
        self.assertIsNone(w.proc.poll())


if __name__ == "__main__":
    unittest.main()
