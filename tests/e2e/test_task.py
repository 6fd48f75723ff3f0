"""A task on the real program reaches the mocked logind at its second."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
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
        self.assertEqual(len(logind.calls()), 1)


if __name__ == "__main__":
    unittest.main()
