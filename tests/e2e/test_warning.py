"""The warning before the power action, and its stop, on the real program."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window, target_in  # noqa: E402


class Warning(Journey):
    desktop_options = {"system_bus": True}

    def test_warning_a_minute_ahead_stops_the_task(self):
        logind = self.desktop.mock("logind")
        notifications = self.desktop.mock("notification_daemon", system=False,
                                          capabilities="body actions")
        w = Window(self.desktop, self.start())
        w.choose("任务", "关机")
        when, second_begins = target_in(65)
        w.set_time(when)
        w.press("开   始")
        # Held off automatic suspend while the task waits (no desktop's own way here).
        wait_for(lambda: [i for i in logind.obj.ListInhibitors(
            dbus_interface="org.freedesktop.login1.Manager") if i[0] == "idle"], "the hold")

        notify = wait_for(lambda: notifications.calls("Notify"), "the warning", 15)[0]
        self.assertIn('"将在 60 秒后关机"', notify[2])
        self.assertIn('"stop", "停止"', notify[2])
        self.assertAlmostEqual(notify[0], second_begins - 60, delta=0.5)
        notifications.obj.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
                                     [1, "stop"])
        wait_for(lambda: w.run_state() == "停止", "the task to stop")
        self.assertTrue(w.button("开   始").getState().contains(
            __import__("pyatspi").STATE_ENABLED))
        wait_for(lambda: not logind.obj.ListInhibitors(
            dbus_interface="org.freedesktop.login1.Manager"), "the hold to end")
        wait_for(lambda: notifications.calls("CloseNotification"), "the warning withdrawn")

        time.sleep(max(0.0, second_begins + 2 - time.time()))
        self.assertEqual(logind.calls("PowerOff"), [])
        self.assertIsNone(w.proc.poll())


if __name__ == "__main__":
    unittest.main()
