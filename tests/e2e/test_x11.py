"""The real program on an X11 desktop: settings across a restart; hiding to a real notification
area (trayer, XEmbed), its menu and back; tasks handed over from the command line to wait for a
process, warned, and either stopped from the warning or reaching the mocked logind."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window, has, press  # noqa: E402


class X11(Journey):
    def test_settings_survive_a_restart(self):
        self.addCleanup(os.remove, self.settings)  # the reminder box would hold back the tasks
        w = Window(self.desktop, self.start(name="first"))
        x, _, width, _ = self.desktop.geometry(w.wid)
        self.assertLess(abs(x + width / 2 - 512), 3)  # centred on the 1024x768 screen
        for box in ("声音开启提示", "任务开启提示"):
            press(w.find("check box", box))
            wait_for(lambda: has(w.find("check box", box), "CHECKED"), f"{box} ticked")
        self.screenshot("main-window", w.wid)
        w.press("退   出")
        self.assertEqual(w.proc.wait(10), 0)
        with open(self.settings) as ini:
            self.assertEqual(ini.read(), "[sound]\nifsound=1\n[Tips]\nifTips=1\n")

        # Started again where there is no system bus at all.
        no_bus = {"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={self.desktop.tmp}/no_bus"}
        again = Window(self.desktop, self.start(name="again", env=no_bus))
        for box in ("声音开启提示", "任务开启提示"):
            self.assertTrue(has(again.find("check box", box), "CHECKED"))
        self.assertTrue(has(again.find("push button", "播放声音"), "ENABLED"))

    def test_minimise_to_the_tray_start_from_its_menu_and_come_back(self):
        d, w = self.desktop, Window(self.desktop, self.start())
        x, y = d.tray_icon()  # once docked, the window can go there
        d.x("xdotool", "windowminimize", w.wid)
        wait_for(lambda: d.wm_state(w.wid) is None, "the window to leave the screen")
        menu = lambda: [m for m in d.x("xdotool", "search", "--onlyvisible", "--class",
                                       "quorvel").split() if d.geometry(m)[3] > 72  # 6 entries
                        and "TOOLTIP" not in d.x("xprop", "-id", m, "_NET_WM_WINDOW_TYPE")]
        d.x("xdotool", "mousemove", x, y, "click", 3)
        wait_for(menu, "the tray menu")
        self.screenshot("menu")
        d.x("xdotool", "key", "Down", "Down", "Return")  # 打开主面板, 开始
        wait_for(lambda: not menu(), "the menu to close")
        self.assertIsNone(d.wm_state(w.wid))

        d.x("xdotool", "mousemove", x, y, "click", "--repeat", 2, "--delay", 80, 1)
        wait_for(lambda: d.wm_state(w.wid) == "Normal", "the window to come back")
        wait_for(lambda: w.run_state() == "启动", "the task started from the menu")

    def test_tasks_after_a_process_warned_then_stopped_or_fired(self):
        logind = self.desktop.mock("logind")
        notifications = self.desktop.mock("notification_daemon", system=False,
                                          capabilities="body actions")
        with open(self.settings, "w") as ini:
            ini.write("[warning]\nseconds=2\n")
        self.addCleanup(os.remove, self.settings)
        w = Window(self.desktop, self.start())
        holds = lambda: [i for i in logind.obj.ListInhibitors(
            dbus_interface="org.freedesktop.login1.Manager") if i[0] == "idle"]

        def quorvel(*args):
            return subprocess.run([self.binary, *args], env=self.desktop.env, text=True,
                                  capture_output=True, timeout=10)
        bad = quorvel("--task", "poweroff", "--after-pid", "0", "--start")
        self.assertEqual((bad.returncode, bad.stdout, "--after-pid" in bad.stderr), (2, "", True))

        def after(seconds):
            """A task handed over to wait for a process; automatic suspend is held off."""
            job = subprocess.Popen(["sleep", str(seconds)])
            self.assertEqual(quorvel("--task", "poweroff", "--after-pid", str(job.pid),
                                     "--start").stdout,
                             f"running: poweroff after process {job.pid} (sleep) ends\n")
            wait_for(lambda: w.run_state() == "启动", "the window to follow")
            wait_for(holds, "the hold")
            job.wait()
            return time.time()

        ended = after(2)
        wait_for(lambda: notifications.calls("Notify"), "the warning")
        notifications.obj.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
                                     [1, "stop"])
        wait_for(lambda: w.run_state() == "停止", "the task to stop")
        wait_for(lambda: not holds(), "the hold to end")
        wait_for(lambda: notifications.calls("CloseNotification"), "the warning withdrawn")
        time.sleep(max(0.0, ended + 2.5 - time.time()))
        self.assertEqual(logind.calls("PowerOff"), [])

        ended = after(3)
        notify = wait_for(lambda: notifications.calls("Notify")[1:], "the warning", 5)[0]
        self.assertIn('"将在 2 秒后关机"', notify[1])
        self.assertLess(notify[0] - ended, 0.5)
        call = wait_for(lambda: logind.calls("PowerOff"), "the power-off request", 5)[0]
        self.assertAlmostEqual(call[0] - notify[0], 2.0, delta=0.3)
        self.assertEqual(quorvel("--status").stdout, "idle\n")


if __name__ == "__main__":
    unittest.main()
