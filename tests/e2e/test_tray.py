"""Hiding to a real notification area (trayer, XEmbed), its menu, and back."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window  # noqa: E402


class Tray(Journey):
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
