"""quorvel.exe under Wine on a private X server, as a Windows user meets it: the window with its
Chinese captions, the command line in a terminal, a second copy refused, options handed to the
running copy, and a setting kept across a restart.

    journey.py QUORVEL_EXE WINE_RUN ARTIFACTS
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

EXE, WINE_RUN, ARTIFACTS = sys.argv[1:4]
del sys.argv[1:4]


def wait_for(predicate, what, timeout=30.0):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)
    return value


class Windows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="quorvel-wine-")
        cls.procs = []
        read_fd, write_fd = os.pipe()
        cls.procs.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL))
        os.close(write_fd)
        with os.fdopen(read_fd) as numbers:
            display = ":" + numbers.readline().strip()
        cls.env = {**os.environ, "DISPLAY": display,
                   "QUORVEL_WINEPREFIX": os.path.join(cls.tmp, "prefix")}
        cls.procs.append(subprocess.Popen(["openbox", "--sm-disable"], env=cls.env,
                                          stderr=subprocess.DEVNULL))
        wait_for(lambda: "#" in cls.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), "openbox")
        cls.wine("wineboot", "--init", wine=False)
        # Qt asks Windows for these by name: without a CJK font behind them Wine draws broken
        # glyphs in their place.
        for font in ("SimSun", "宋体", "NSimSun", "楷体_GB2312", "KaiTi", "Microsoft YaHei",
                     "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI"):
            cls.wine("reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", font, "/d",
                     "Droid Sans Fallback", "/f")
        cls.folder = os.path.join(cls.tmp, "Quorvel")
        os.makedirs(cls.folder)
        cls.exe = os.path.join(cls.folder, "quorvel.exe")
        shutil.copy(EXE, cls.exe)

    @classmethod
    def tearDownClass(cls):
        cls.wine("wineserver", "-k", wine=False)
        for proc in reversed(cls.procs):
            proc.terminate()
            proc.wait()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def x(cls, *argv):
        return subprocess.run(argv, env=cls.env, capture_output=True, text=True).stdout

    @classmethod
    def wine(cls, *argv, wine=True):
        return subprocess.run(["sh", WINE_RUN, *(["wine"] if wine else []), *argv], env=cls.env,
                              capture_output=True, text=True, timeout=120)

    def quorvel(self, *argv):
        return self.wine(self.exe, *argv)

    def start(self):
        proc = subprocess.Popen(["sh", WINE_RUN, "wine", self.exe], env=self.env)
        self.addCleanup(lambda: proc.poll() is None and (proc.terminate(), proc.wait()))
        return proc, int(wait_for(lambda: self.x("xdotool", "search", "--onlyvisible", "--name",
                                                 "^Quorvel$").split(), "the window")[0])

    def click(self, wid, x, y):
        self.x("xdotool", "mousemove", "--window", str(wid), str(x), str(y), "click", "1")

    def shot(self, name, wid="root"):
        path = os.path.join(ARTIFACTS, f"wine-{name}.png")
        subprocess.run(["import", "-window", str(wid), path], env=self.env, check=True)
        return path

    def crop(self, wid, box):
        x, y, w, h = box
        return subprocess.run(["import", "-window", str(wid), "-crop", f"{w}x{h}+{x}+{y}",
                               "rgb:-"], env=self.env, capture_output=True).stdout

    def test_a_windows_user_s_first_minutes(self):
        version = self.quorvel("--version")
        self.assertEqual((version.returncode, version.stdout.strip()), (0, "quorvel 1.0.0"))
        status = self.quorvel("--status")
        self.assertEqual((status.returncode, status.stdout.strip()), (3, "not running"))

        first, wid = self.start()
        time.sleep(2)  # the clock drawn
        self.shot("window", wid)
        # 声音开启提示 turns the ▶ button on: the frame at (8, 200), the box at (8, 56) in it,
        # the button at (104, 56).
        play = (112, 256, 33, 25)
        off = self.crop(wid, play)
        self.click(wid, 30, 268)
        wait_for(lambda: "ifsound=1" in self.ini(), "the setting stored")
        on = self.crop(wid, play)
        self.assertNotEqual(on, off)

        second = subprocess.Popen(["sh", WINE_RUN, "wine", self.exe], env=self.env)
        box = int(wait_for(lambda: self.x("xdotool", "search", "--onlyvisible", "--name",
                                          "^错误！$").split(), "the refusal")[0])
        self.shot("second-copy", box)
        self.x("xdotool", "windowactivate", "--sync", str(box), "key", "Return")
        self.assertEqual(second.wait(30), 0)
        self.assertIsNone(first.poll())

        handed = self.quorvel("--task", "poweroff", "--at", "23:59", "--start")
        self.assertEqual(handed.returncode, 0, handed.stderr)
        self.assertTrue(handed.stdout.startswith("running: poweroff at 23:59:00, in "),
                        handed.stdout)
        self.shot("running", wid)
        self.assertEqual(self.quorvel("--stop").stdout.strip(), "idle")

        self.click(wid, 284, 120)  # 退   出
        self.assertEqual(first.wait(30), 0)
        again, wid = self.start()
        time.sleep(2)
        self.assertEqual(self.crop(wid, play), on)

    def ini(self):
        path = os.path.join(self.folder, "config.ini")
        return open(path, encoding="latin-1").read() if os.path.exists(path) else ""


if __name__ == "__main__":
    unittest.main()
