"""quorvel.exe under Wine on a private X desktop, as a Windows user meets it: the window with its
Chinese captions, the command line in a terminal, a second copy refused, options handed to the
running copy, and a setting kept across a restart.

    journey.py QUORVEL_EXE WINE_RUN ARTIFACTS
"""

import os
import pathlib
import shutil
import subprocess
import sys
import time
import unittest

EXE, WINE_RUN, os.environ["QUORVEL_ARTIFACTS"] = sys.argv[1:4]
del sys.argv[1:4]
sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness.desktop import Desktop, wait_for  # noqa: E402


class Windows(unittest.TestCase):
    def setUp(self):
        self.d = Desktop().__enter__()
        self.addCleanup(self.d.__exit__)
        self.d.env["QUORVEL_WINEPREFIX"] = os.path.join(self.d.tmp, "prefix")
        self.addCleanup(self.wine, "wineserver", "-k")
        self.wine("wineboot", "--init")
        # Qt asks Windows for these by name: without a CJK font behind them Wine draws broken
        # glyphs in their place.
        for font in ("SimSun", "宋体", "NSimSun", "楷体_GB2312", "KaiTi", "Microsoft YaHei",
                     "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI"):
            self.wine("wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", font,
                      "/d", "Droid Sans Fallback", "/f")
        self.folder = os.path.join(self.d.tmp, "Quorvel")
        os.makedirs(self.folder)
        self.exe = shutil.copy(EXE, self.folder)

    def wine(self, *argv):
        return subprocess.run(["sh", WINE_RUN, *argv], env=self.d.env, capture_output=True,
                              text=True, timeout=120)

    def start(self, name):
        proc = self.d.spawn(name, ["sh", WINE_RUN, "wine", self.exe])
        return proc, wait_for(lambda: self.d.windows("^Quorvel$"), "the window", 30)[0]

    def click(self, wid, x, y):
        self.d.x("xdotool", "mousemove", "--window", wid, x, y, "click", 1)

    def play_button(self, wid):
        """Its pixels: 声音开启提示 turns it on. The frame is at (8, 200), the box at (8, 56) in it,
        the button at (104, 56)."""
        return subprocess.run(["import", "-window", str(wid), "-crop", "33x25+112+256", "rgb:-"],
                              env=self.d.env, capture_output=True).stdout

    def test_a_windows_user_s_first_minutes(self):
        version = self.wine("wine", self.exe, "--version")
        self.assertEqual((version.returncode, version.stdout.strip()), (0, "quorvel 1.0.0"))
        status = self.wine("wine", self.exe, "--status")
        self.assertEqual((status.returncode, status.stdout.strip()), (3, "not running"))

        first, wid = self.start("first")
        time.sleep(2)  # the clock drawn
        self.d.screenshot("wine-window.png", wid)
        off = self.play_button(wid)
        self.click(wid, 30, 268)  # 声音开启提示
        ini = pathlib.Path(self.folder, "config.ini")
        wait_for(lambda: ini.exists() and "ifsound=1" in ini.read_text("latin-1"), "the setting")
        on = self.play_button(wid)
        self.assertNotEqual(on, off)

        second = self.d.spawn("second", ["sh", WINE_RUN, "wine", self.exe])
        box = wait_for(lambda: self.d.windows("^错误！$"), "the refusal", 30)[0]
        self.d.screenshot("wine-second-copy.png", box)
        self.d.x("xdotool", "windowactivate", "--sync", box, "key", "Return")
        self.assertEqual(second.wait(30), 0)
        self.assertIsNone(first.poll())

        handed = self.wine("wine", self.exe, "--task", "poweroff", "--at", "23:59", "--start")
        self.assertRegex(f"{handed.returncode} {handed.stdout}",
                         "^0 running: poweroff at 23:59:00, in ")
        self.d.screenshot("wine-running.png", wid)
        self.assertEqual(self.wine("wine", self.exe, "--stop").stdout.strip(), "idle")

        self.click(wid, 284, 120)  # 退   出
        self.assertEqual(first.wait(30), 0)
        again, wid = self.start("again")
        time.sleep(2)
        self.assertEqual(self.play_button(wid), on)


if __name__ == "__main__":
    unittest.main()
