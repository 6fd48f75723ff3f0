"""The real program on an X11 desktop: settings across a restart; hiding to a real notification
area (trayer, XEmbed), its menu and back; tasks through the mocked logind, handed over from the
command line to wait for a process, or stopped from the warning."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import quorvel  # noqa: E402
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window, target_in  # noqa: E402


class X11(Journey):
    def test_settings_survive_a_restart(self):
        self.addCleanup(os.remove, self.settings)  # the reminder box would hold back the tasks
        w = Window(self.desktop, self.start(name="first"))
        x, _, width, _ = self.desktop.geometry(w.wid)
        self.assertLess(abs(x + width / 2 - 512), 3)  # centred on the 1024x768 screen
        for box in ("声音开启提示", "任务开启提示"):
            quorvel.press(w.check_box(box))
            wait_for(lambda: quorvel.has(w.check_box(box), "CHECKED"), f"{box} ticked")
        self.screenshot("main-window", w.wid)
        w.press("退   出")
        self.assertEqual(w.proc.wait(10), 0)
        with open(self.settings) as ini:
            self.assertEqual(ini.read(), "[sound]\nifsound=1\n[Tips]\nifTips=1\n")

        # Started again where there is no system bus at all.
        no_bus = {"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={self.desktop.tmp}/no_bus"}
        again = Window(self.desktop, self.start(name="again", env=no_bus))
        self.assertTrue(quorvel.has(again.check_box("声音开启提示"), "CHECKED"))
        self.assertTrue(quorvel.has(again.check_box("任务开启提示"), "CHECKED"))
        self.assertTrue(quorvel.has(again.button("播放声音"), "ENABLED"))

    def menus(self):
        """Our other windows on screen tall enough for the menu's six entries (not the icon)."""
        d = self.desktop
        return [w for w in d.x("xdotool", "search", "--onlyvisible", "--class", "quorvel").split()
                if int(w) != self.w.wid and d.geometry(w)[3] > 72
                and "_TYPE_TOOLTIP" not in d.x("xprop", "-id", w, "_NET_WM_WINDOW_TYPE")]

    def click_icon(self, button, repeat=1):
        x, y = self.desktop.tray_icon()
        self.desktop.x("xdotool", "mousemove", x, y, "click", "--repeat", repeat, "--delay", 80,
                       button)

    def test_minimise_to_the_tray_start_from_its_menu_and_come_back(self):
        w = self.w = Window(self.desktop, self.start())
        self.desktop.x("xdotool", "windowminimize", w.wid)
        wait_for(w.hidden, "the window to leave the screen")
        self.click_icon(3)
        wait_for(self.menus, "the tray menu")
        self.screenshot("menu")
        self.desktop.x("xdotool", "key", "Down", "Down", "Return")  # 打开主面板, 开始
        wait_for(lambda: not self.menus(), "the menu to close")
        self.assertTrue(w.hidden())

        self.click_icon(1, repeat=2)
        wait_for(w.shown, "the window to come back")
        wait_for(lambda: w.run_state() == "启动", "the task started from the menu")

    def test_after_a_process_ends_warned_then_logind(self):
        logind = self.desktop.mock("logind")
        notifications = self.desktop.mock("notification_daemon", system=False,
                                          capabilities="body actions")
        with open(self.settings, "w") as ini:
            ini.write("[warning]\nseconds=2\n")
        self.addCleanup(os.remove, self.settings)
        w = Window(self.desktop, self.start())
        job = subprocess.Popen(["sleep", "3"])

        def quorvel(*args):
            return subprocess.run([self.binary, *args], env=self.desktop.env, text=True,
                                  capture_output=True, timeout=10)
        bad = quorvel("--task", "poweroff", "--after-pid", "0", "--start")
        self.assertEqual((bad.returncode, bad.stdout), (2, ""))
        self.assertIn("--after-pid", bad.stderr)
        done = quorvel("--task", "poweroff", "--after-pid", str(job.pid), "--start")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, f"running: poweroff after process {job.pid} (sleep) ends\n")
        wait_for(lambda: w.run_state() == "启动", "the window to follow")
        job.wait()
        ended = time.time()
        notify = wait_for(lambda: notifications.calls("Notify"), "the warning", 5)[0]
        self.assertIn('"将在 2 秒后关机"', notify[2])
        self.assertLess(notify[0] - ended, 0.5)
        call = wait_for(lambda: logind.calls("PowerOff"), "the power-off request", 5)[0]
        self.assertAlmostEqual(call[0] - notify[0], 2.0, delta=0.3)
        self.assertEqual(quorvel("--status").stdout, "idle\n")

    def test_warning_stops_the_task(self):
        logind = self.desktop.mock("logind")
        notifications = self.desktop.mock("notification_daemon", system=False,
                                          capabilities="body actions")
        w = Window(self.desktop, self.start())
        w.choose("任务", "关机")
        when, second_begins = target_in(10)
        w.set_time(when)
        w.press("开   始")
        # Inside the warning's lead: warned at once, and automatic suspend held off meanwhile.
        wait_for(lambda: notifications.calls("Notify"), "the warning")
        holds = lambda: logind.obj.ListInhibitors(dbus_interface="org.freedesktop.login1.Manager")
        wait_for(lambda: [i for i in holds() if i[0] == "idle"], "the hold")
        notifications.obj.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
                                     [1, "stop"])
        wait_for(lambda: w.run_state() == "停止", "the task to stop")
        wait_for(lambda: not holds(), "the hold to end")
        wait_for(lambda: notifications.calls("CloseNotification"), "the warning withdrawn")
        time.sleep(max(0.0, second_begins + 1 - time.time()))
        self.assertEqual(logind.calls("PowerOff"), [])


if __name__ == "__main__":
    unittest.main()
