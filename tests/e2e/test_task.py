"""Tasks on the real program: at their second through the mocked logind, handed over from the
command line, and warned about a minute ahead."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import quorvel  # noqa: E402
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window, target_in  # noqa: E402


class Task(Journey):
    desktop_options = {"system_bus": True}

    def test_power_off_reaches_logind_at_its_second(self):
        logind = self.desktop.mock("logind")
        w = Window(self.desktop, self.start())
        w.choose("任务", "关机")
        when, second_begins = target_in(3)
        w.set_time(when)
        w.press("开   始")
        wait_for(lambda: w.run_state() == "启动", "the task to run")
        call = wait_for(lambda: logind.calls("PowerOff"), "the power-off request", 8)[0]
        self.assertEqual(call[2], "True")  # interactive: polkit may ask for a password
        self.assertGreaterEqual(call[0], second_begins)
        self.assertLess(call[0], second_begins + 0.5)
        wait_for(lambda: w.run_state() == "停止", "the task to end")
        self.assertEqual([c[1] for c in logind.calls()], ["Inhibit", "PowerOff"])

    def test_command_line_handed_to_the_running_copy_reaches_logind(self):
        logind = self.desktop.mock("logind")
        w = Window(self.desktop, self.start())
        when, second_begins = target_in(5)

        def quorvel(*args):
            return subprocess.run([self.binary, *args], env=self.desktop.env, text=True,
                                  capture_output=True, timeout=10)
        bad = quorvel("--task", "poweroff", "--at", "25:00", "--start")
        self.assertEqual((bad.returncode, bad.stdout), (2, ""))
        self.assertIn("--at", bad.stderr)
        done = quorvel("--task", "poweroff", "--at", when.strftime("%H:%M:%S"), "--start")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout.startswith(f"running: poweroff at {when:%H:%M:%S}, in 0:00:0"))
        wait_for(lambda: w.run_state() == "启动", "the window to follow")
        self.assertEqual(w.field("任务状态").name, "关机")
        call = wait_for(lambda: logind.calls("PowerOff"), "the power-off request", 10)[0]
        self.assertGreaterEqual(call[0], second_begins)
        self.assertLess(call[0], second_begins + 0.5)
        self.assertEqual(quorvel("--status").stdout, "idle\n")


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
        self.assertTrue(quorvel.has(w.button("开   始"), "ENABLED"))
        wait_for(lambda: not logind.obj.ListInhibitors(
            dbus_interface="org.freedesktop.login1.Manager"), "the hold to end")
        wait_for(lambda: notifications.calls("CloseNotification"), "the warning withdrawn")

        time.sleep(max(0.0, second_begins + 2 - time.time()))
        self.assertEqual(logind.calls("PowerOff"), [])
        self.assertIsNone(w.proc.poll())

if __name__ == "__main__":
    unittest.main()
