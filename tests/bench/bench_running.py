"""A running task left alone for a minute: CPU time and wake-ups (voluntary context switches
of all threads) of the real program, and its resident memory with the sound player loaded.
A measurement, not a test."""

import datetime
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.desktop import Desktop  # noqa: E402
from harness.pulse import PrivatePulse  # noqa: E402
from harness.quorvel import Window, copy_program  # noqa: E402


def status(pid, key):
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/status") if key.endswith("switches") else [
            f"/proc/{pid}/status"]:
        with open(path) as f:
            for line in f:
                if line.startswith(key + ":"):
                    total += int(line.split()[1])
    return total


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main(binary, seconds=60):
    with PrivatePulse() as pulse, Desktop(tray=True, atspi=True) as desktop:
        atspi.connect(desktop)
        folder = os.path.join(desktop.tmp, "program")
        program = copy_program(binary, folder)
        tone = os.path.join(folder, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone, "synth", "0.3",
                        "sine", "1000", "vol", "0.5"], check=True)
        with open(os.path.join(folder, "config.ini"), "w") as ini:
            ini.write(f"[sound]\nifsound=1\n[soundpath]\nspath={tone}\n")
        proc = desktop.start([program], env={"PULSE_SERVER": pulse.env["PULSE_SERVER"]})
        w = Window(desktop, proc)
        time.sleep(1)
        before = status(proc.pid, "VmRSS")
        atspi.press(w.button("播放声音"))
        time.sleep(1)
        loaded = status(proc.pid, "VmRSS")
        w.choose("任务", "关机")
        w.set_time((datetime.datetime.now() + datetime.timedelta(hours=2)).time())
        w.press("开   始")
        time.sleep(2)
        cpu0, wake0 = cpu_seconds(proc.pid), status(proc.pid, "voluntary_ctxt_switches")
        time.sleep(seconds)
        cpu1, wake1 = cpu_seconds(proc.pid), status(proc.pid, "voluntary_ctxt_switches")
        print(f"resident: {before / 1024:.1f} MiB before the first play, "
              f"{loaded / 1024:.1f} MiB with the player loaded")
        print(f"over {seconds} s running: CPU {cpu1 - cpu0:.2f} s, "
              f"{wake1 - wake0} wake-ups ({(wake1 - wake0) / seconds:.1f}/s)")
        proc.terminate()
        proc.wait(10)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/release/src/quorvel",
         int(sys.argv[2]) if len(sys.argv) > 2 else 60)
