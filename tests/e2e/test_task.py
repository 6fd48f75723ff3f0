"""The main job, end to end: the real program asks a (mocked) logind to power off at the target
second, on private buses that cannot reach this machine's own; with the reminder on it plays the
chosen sound into a private sound server during the reminder minute and asks for nothing."""

import contextlib
import datetime
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.buses import PrivateBuses  # noqa: E402
from harness.desktop import Desktop, wait_for  # noqa: E402
from harness.pulse import PrivatePulse  # noqa: E402
from harness.quorvel import copy_program, Window, target_in  # noqa: E402

BINARY = os.environ["QUORVEL_BINARY"]
ARTIFACTS = os.environ.get("QUORVEL_ARTIFACTS", os.getcwd())
FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
buses = desktop = pulse = None
running = contextlib.ExitStack()


def setUpModule():
    global buses, desktop, pulse, BINARY
    # unittest skips the module's tear-down when its set-up fails: undo a half-built set-up here.
    with contextlib.ExitStack() as stack:
        pulse = stack.enter_context(PrivatePulse())
        buses = stack.enter_context(PrivateBuses())
        desktop = stack.enter_context(Desktop(tray=True, atspi=True,
                                              session_bus=buses.addresses["session"],
                                              system_bus=buses.addresses["system"]))
        atspi.connect(desktop)
        # A private copy: its config.ini is its own, not the build tree's.
        BINARY = copy_program(BINARY, os.path.join(desktop.tmp, "program"))
        running.push(stack.pop_all())


def tearDownModule():
    running.close()


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



class Reminder(unittest.TestCase):
    def test_reminder_plays_during_its_minute_and_requests_nothing(self):
        logind = buses.start_logind()
        self.addCleanup(logind.stop)
        folder = os.path.join(desktop.tmp, "reminder")
        program = copy_program(BINARY, folder)
        tone = os.path.join(folder, "提醒 1k.wav")
        subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone, "synth", "1.5",
                        "sine", "1000", "vol", "0.5"], check=True)
        with open(os.path.join(folder, "config.ini"), "w", encoding="utf-8") as ini:
            ini.write(f"[sound]\nifsound=0\n[Tips]\nifTips=1\n[soundpath]\nspath={tone}\n")
        # The program's clock starts 12 s before the reminder minute (14:29 for a 14:30 target);
        # its timers still run on the real monotonic clock.
        env = {"LD_PRELOAD": FAKETIME, "FAKETIME": "@2026-12-06 14:28:48",
               "FAKETIME_DONT_FAKE_MONOTONIC": "1", "PULSE_SERVER": pulse.env["PULSE_SERVER"],
               "PULSE_CLIENTCONFIG": pulse.env["PULSE_CLIENTCONFIG"],
               # A sanitizer build wants its runtime loaded first; faketime is preloaded.
               "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"}
        proc = desktop.start([program], env=env, log=os.path.join(ARTIFACTS, "reminder.log"))
        self.addCleanup(lambda: proc.poll() is None and (proc.terminate(), proc.wait(10)))
        w = Window(desktop, proc)
        clock = w.field("系统时间")
        wait_for(lambda: clock.name.startswith("14:28:"), "the shifted clock")
        w.choose("在前分钟提醒", "1")
        w.set_time(datetime.time(14, 30, 0))
        w.press("开   始")
        wait_for(lambda: w.run_state() == "启动", "the task to run")
        self.assertTrue(clock.name.startswith("14:28:"), "set up too slowly: " + clock.name)
        with pulse.record() as rec:
            wait_for(lambda: clock.name.startswith("14:29:0") and clock.name >= "14:29:03",
                     "three seconds into the reminder minute", 20)
        heard = rec.analysis
        self.assertTrue(heard.heard, "nothing was heard")
        self.assertAlmostEqual(heard.frequency, 1000, delta=50)
        self.assertGreater(heard.duration, 2.5)  # replayed on every tick, so continuous
        self.assertEqual(logind.calls(), [])
        self.assertEqual(w.run_state(), "启动")



if __name__ == "__main__":
    unittest.main(verbosity=2)
