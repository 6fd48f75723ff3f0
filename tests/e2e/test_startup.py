"""Start-up, the single-copy rule and settings across a restart, on the real program."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import quorvel  # noqa: E402
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Journey, Window  # noqa: E402


class Startup(Journey):
    def test_second_copy_is_refused_and_the_first_goes_on(self):
        first = Window(self.desktop, self.start(name="first"))
        second = self.start(name="second")
        box = wait_for(lambda: self.desktop.windows("^错误！$"), "the refusal box", 20)[0]
        app = quorvel.application(second.pid)
        quorvel.find(app, "label", "程序已经运行！")
        self.screenshot("refusal", box)
        self.assertEqual(self.desktop.windows("^Quorvel$"), [first.wid])
        quorvel.press(quorvel.find(app, "push button", "OK"))
        self.assertEqual(second.wait(10), 0)
        self.assertIsNone(first.proc.poll())
        self.assertTrue(quorvel.enabled(first.button("开   始")))

    def test_settings_survive_a_restart(self):
        w = Window(self.desktop, self.start(name="first"))
        x, y, width, height = self.desktop.geometry(w.wid)
        self.assertEqual((width, height), (323, 289))
        self.assertLess(abs(x + width / 2 - 512), 3)  # centred on the 1024x768 screen
        for box in ("声音开启提示", "任务开启提示"):
            quorvel.press(w.check_box(box))
            wait_for(lambda: quorvel.checked(w.check_box(box)), f"{box} ticked")
        wait_for(lambda: w.field("系统时间").name.count(":") == 2, "the clock")
        self.screenshot("main-window", w.wid)
        w.press("退   出")
        self.assertEqual(w.proc.wait(10), 0)
        with open(self.settings) as ini:
            self.assertEqual(ini.read(), "[sound]\nifsound=1\n[Tips]\nifTips=1\n")

        again = Window(self.desktop, self.start(name="again"))
        self.assertTrue(quorvel.checked(again.check_box("声音开启提示")))
        self.assertTrue(quorvel.checked(again.check_box("任务开启提示")))
        self.assertTrue(quorvel.enabled(again.button("播放声音")))


if __name__ == "__main__":
    unittest.main()
