"""The real program on an X11 desktop: settings across a restart, and hiding to a real
notification area (trayer, XEmbed), its menu and back."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import quorvel  # noqa: E402
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window  # noqa: E402


class X11(Journey):
    def test_settings_survive_a_restart(self):
        w = Window(self.desktop, self.start(name="first"))
        x, y, width, height = self.desktop.geometry(w.wid)
        self.assertEqual((width, height), (323, 289))
        self.assertLess(abs(x + width / 2 - 512), 3)  # centred on the 1024x768 screen
        for box in ("声音开启提示", "任务开启提示"):
            quorvel.press(w.check_box(box))
            wait_for(lambda: quorvel.has(w.check_box(box), "CHECKED"), f"{box} ticked")
        wait_for(lambda: w.field("系统时间").name.count(":") == 2, "the clock")
        self.screenshot("main-window", w.wid)
        w.press("退   出")
        self.assertEqual(w.proc.wait(10), 0)
        with open(self.settings) as ini:
            self.assertEqual(ini.read(), "[sound]\nifsound=1\n[Tips]\nifTips=1\n")

        again = Window(self.desktop, self.start(name="again"))
        self.assertTrue(quorvel.has(again.check_box("声音开启提示"), "CHECKED"))
        self.assertTrue(quorvel.has(again.check_box("任务开启提示"), "CHECKED"))
        self.assertTrue(quorvel.has(again.button("播放声音"), "ENABLED"))

    def balloons(self):
        d = self.desktop
        return [w for w in d.x("xdotool", "search", "--onlyvisible", "--class", "quorvel").split()
                if "_TYPE_TOOLTIP" in d.x("xprop", "-id", w, "_NET_WM_WINDOW_TYPE")]

    def menus(self):
        """Our other windows on screen tall enough for the menu's six entries (not the icon)."""
        d = self.desktop
        return [w for w in d.x("xdotool", "search", "--onlyvisible", "--class", "quorvel").split()
                if int(w) != self.w.wid and w not in self.balloons() and d.geometry(w)[3] > 72]

    def click_icon(self, button, repeat=1):
        x, y = self.desktop.tray_icon()
        self.desktop.x("xdotool", "mousemove", x, y, "click", "--repeat", repeat, "--delay", 80,
                       button)
        time.sleep(0.6)  # separate clicks, not one double click

    def test_minimise_to_the_tray_start_from_its_menu_and_come_back(self):
        w = self.w = Window(self.desktop, self.start())
        self.click_icon(3)  # while shown, the icon does nothing
        self.assertFalse(self.menus())
        self.desktop.x("xdotool", "windowminimize", w.wid)
        wait_for(w.hidden, "the window to leave the screen")
        self.assertNotIn(w.wid, self.desktop.windows("^Quorvel$"))
        wait_for(self.balloons, "the balloon")
        self.screenshot("balloon")

        self.click_icon(1)  # a single click does nothing
        self.assertTrue(w.hidden())
        self.click_icon(3)
        wait_for(self.menus, "the tray menu")
        self.screenshot("menu")
        self.desktop.x("xdotool", "key", "Down", "Down", "Return")  # 打开主面板, 开始
        wait_for(lambda: not self.menus(), "the menu to close")
        self.assertTrue(w.hidden())

        self.click_icon(1, repeat=2)
        wait_for(w.shown, "the window to come back")
        wait_for(lambda: w.run_state() == "启动", "the task started from the menu")


if __name__ == "__main__":
    unittest.main()
