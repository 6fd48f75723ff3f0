"""The main job, end to end: the real program asks a (mocked) logind to power off at the target
second, on private buses that cannot reach this machine's own."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.buses import PrivateBuses  # noqa: E402
from harness.desktop import Desktop, wait_for  # noqa: E402
from harness.quorvel import copy_program, Window, target_in  # noqa: E402

BINARY = os.environ["QUORVEL_BINARY"]
ARTIFACTS = os.environ.get("QUORVEL_ARTIFACTS", os.getcwd())
buses = desktop = None


def setUpModule():
    global buses, desktop
    buses = PrivateBuses().__enter__()
    desktop = Desktop(tray=True, atspi=True, session_bus=buses.addresses["session"],
                      system_bus=buses.addresses["system"]).__enter__()
    atspi.connect(desktop)
    # A private copy: its config.ini is its own, not the build tree's.
    global BINARY
    BINARY = copy_program(BINARY, os.path.join(desktop.tmp, "program"))


def tearDownModule():
    desktop.__exit__(None, None, None)
    buses.__exit__(None, None, None)


class PowerAction(unittest.TestCase):
    def start(self):
        proc = desktop.start([BINARY], log=os.path.join(ARTIFACTS, f"{self.id()}.log"))
        self.addCleanup(lambda: proc.poll() is None and (proc.terminate(), proc.wait(10)))
        return Window(desktop, proc)

    def test_power_off_reaches_logind_within_the_target_second(self):
        logind = buses.start_logind()
        self.addCleanup(logind.stop)
        w = self.start()
        w.choose("任务", "关机")
        self.assertEqual(w.task_caption(), "关机")
        when, second_begins = target_in(4)
        w.set_time(when)
        w.press("开   始")
        wait_for(lambda: w.run_state() == "启动", "the task to run")
        calls = logind.wait_for_calls(1, timeout=10)
        lag = calls[0].time - second_begins
        self.assertEqual(calls[0].method, "PowerOff")
        self.assertEqual(calls[0].args, [True])
        self.assertGreaterEqual(lag, 0)
        self.assertLess(lag, 1.0)
        wait_for(lambda: w.run_state() == "停止", "the window to return to idle")
        print(f"\nfiring lag {lag * 1000:.1f} ms", file=sys.stderr)
        time.sleep(1.5)
        self.assertEqual(len(logind.calls()), 1)

    def test_session_manager_is_asked_instead_of_logind(self):
        logind = buses.start_logind()
        self.addCleanup(logind.stop)
        xfce = buses.start_service("session", "org.xfce.SessionManager",
                                   "/org/xfce/SessionManager", "org.xfce.Session.Manager",
                                   methods={"Shutdown": "b", "Restart": "b", "Logout": "bb"})
        self.addCleanup(xfce.stop)
        w = self.start()
        w.choose("任务", "重启")
        when, _ = target_in(3)
        w.set_time(when)
        w.press("开   始")
        calls = xfce.wait_for_calls(1, timeout=10)
        self.assertEqual((calls[0].method, calls[0].args), ("Restart", [True]))
        wait_for(lambda: w.run_state() == "停止", "the window to return to idle")
        self.assertEqual(logind.calls(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
