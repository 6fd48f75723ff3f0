"""Settings of the real program: a switch ticked through the accessibility interface lands in
config.ini at once and is there again at the next start; an installed copy in a read-only
directory keeps its settings in the user's configuration directory."""

import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.desktop import wait_for  # noqa: E402
from harness.quorvel import Session, Window, copy_program  # noqa: E402

session = Session(tray=True)
setUpModule, tearDownModule = session.start, session.stop


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


class Settings(unittest.TestCase):
    def run_copy(self, argv):
        return Window(session.desktop, session.run(self, argv))

    def quit(self, w):
        w.press("退   出")
        self.assertEqual(w.proc.wait(10), 0)

    def test_switches_are_stored_at_once_and_restored(self):
        folder = os.path.join(session.desktop.tmp, "portable")
        program = copy_program(session.binary, folder)
        ini = os.path.join(folder, "config.ini")
        w = self.run_copy([program])
        self.assertFalse(atspi.is_enabled(w.button("播放声音")))
        atspi.press(w.check_box("声音开启提示"))
        wait_for(lambda: os.path.exists(ini) and "ifsound=1" in read(ini), "ifsound=1 stored")
        self.assertTrue(atspi.is_enabled(w.button("播放声音")))
        atspi.press(w.check_box("任务开启提示"))
        wait_for(lambda: "ifTips=1" in read(ini), "ifTips=1 stored")
        self.assertEqual(read(ini), "[sound]\nifsound=1\n[Tips]\nifTips=1\n")
        self.quit(w)

        w = self.run_copy([program])
        self.assertTrue(atspi.is_checked(w.check_box("声音开启提示")))
        self.assertTrue(atspi.is_checked(w.check_box("任务开启提示")))
        self.assertTrue(atspi.is_enabled(w.button("选择声音文件")))
        self.assertTrue(atspi.is_enabled(atspi.find(w.app, "combo box", "在前分钟提醒")))
        atspi.press(w.check_box("声音开启提示"))
        wait_for(lambda: "ifsound=0" in read(ini), "ifsound=0 stored")
        self.quit(w)

    def test_read_only_install_keeps_settings_per_user(self):
        folder = os.path.join(session.desktop.tmp, "installed")
        program = copy_program(session.binary, folder)
        # The program's directory made read-only for this process alone, as for a system-wide
        # install (root could write anywhere otherwise).
        probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("no mount namespaces here: " + probe.stderr.decode().strip())
        argv = ["unshare", "-m", "sh", "-c",
                'mount --bind "$0" "$0" && mount -o remount,ro,bind "$0" && exec "$1"',
                folder, program]
        user_ini = os.path.join(session.desktop.env["XDG_CONFIG_HOME"], "Quorvel", "config.ini")
        w = self.run_copy(argv)
        atspi.press(w.check_box("任务开启提示"))
        wait_for(lambda: os.path.exists(user_ini), "the per-user config.ini")
        self.assertIn("ifTips=1", read(user_ini))
        self.assertFalse(os.path.exists(os.path.join(folder, "config.ini")))
        self.quit(w)
        w = self.run_copy(argv)
        self.assertTrue(atspi.is_checked(w.check_box("任务开启提示")))
        self.quit(w)
        shutil.rmtree(os.path.dirname(user_ini))


if __name__ == "__main__":
    unittest.main(verbosity=2)
