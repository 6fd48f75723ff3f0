#!/usr/bin/python3
"""Measurements of the real program on a private desktop (not tests):

    bench.py startup BINARY [RUNS]     time to the mapped main window, resident memory
    bench.py wakeups BINARY [SECONDS]  wake-ups per second (voluntary context switches of all
                                       threads): shown idle, hidden in the tray idle, hidden
                                       with a task running
    bench.py firing BINARY [RUNS]      from the start of the target second to the power-off
                                       request reaching a mocked logind
    bench.py reminder BINARY [RUNS]    from the start of the reminder's minute to its first
                                       play
"""

import datetime
import glob
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))
from harness.desktop import Desktop, wait_for  # noqa: E402


def status(pid, key):
    paths = glob.glob(f"/proc/{pid}/task/*/status") if "ctxt" in key else [f"/proc/{pid}/status"]
    total = 0
    for path in paths:
        with open(path) as f:
            total += sum(int(line.split()[1]) for line in f if line.startswith(key + ":"))
    return total


def fresh_copy(desktop, binary):
    """The program copied into the desktop's scratch folder: it keeps config.ini beside itself,
    so every measure starts from the defaults and none leaves settings in the build tree."""
    copy = os.path.join(desktop.tmp, "quorvel")
    shutil.copy2(binary, copy)
    return copy


def main_window(desktop):
    return wait_for(lambda: desktop.windows("^Quorvel$"), "the main window", 20, 0.005)[0]


def startup(binary, runs=5):
    mapped, memory = [], []
    with Desktop() as d:
        binary = fresh_copy(d, binary)
        del d.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"]  # costs time and memory; not measured
        for _ in range(int(runs)):
            began = time.monotonic()
            proc = d.spawn("quorvel", [binary])
            main_window(d)
            mapped.append((time.monotonic() - began) * 1000)
            time.sleep(2)  # the first ticks drawn, the icon docked
            memory.append(status(proc.pid, "VmRSS") / 1024)
            d.stop(proc)
    print(f"start-up over {runs} runs: window mapped after {statistics.median(mapped):.0f} ms "
          f"(median; {min(mapped):.0f}-{max(mapped):.0f}), resident "
          f"{statistics.median(memory):.1f} MiB")


def wakeups(binary, seconds=60):
    seconds = int(seconds)

    def rate(pid):
        # Sampled per thread, so that a thread ending meanwhile still counts; one that starts
        # meanwhile counts from zero.
        first, last = None, {}
        deadline = time.monotonic() + seconds
        while True:
            sample = {}
            for path in glob.glob(f"/proc/{pid}/task/*/status"):
                try:
                    with open(path) as f:
                        sample[path] = sum(int(line.split()[1]) for line in f
                                           if line.startswith("voluntary_ctxt_switches:"))
                except OSError:
                    pass
            first = sample if first is None else first
            last.update(sample)
            if time.monotonic() >= deadline:
                return sum(count - first.get(p, 0) for p, count in last.items()) / seconds
            time.sleep(0.5)

    with Desktop() as d:
        binary = fresh_copy(d, binary)
        del d.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"]  # costs time and memory; not measured
        proc = d.spawn("quorvel", [binary])
        wid = main_window(d)
        time.sleep(12)  # past the caret's blinking after start-up
        shown = rate(proc.pid)
        d.x("xdotool", "windowminimize", wid)
        wait_for(lambda: d.wm_state(wid) is None, "the window in the tray")
        time.sleep(12)  # the balloon has gone
        hidden = rate(proc.pid)
        x, y = d.tray_icon()
        d.x("xdotool", "mousemove", x, y, "click", 3)
        time.sleep(1)
        d.x("xdotool", "key", "Down", "Down", "Return")  # 开始: a blank task at 00:00:00
        time.sleep(3)
        running = rate(proc.pid)
    print(f"wake-ups over {seconds} s: shown idle {shown:.2f}/s, hidden idle {hidden:.2f}/s, "
          f"hidden running {running:.2f}/s")


def firing(binary, runs=20):
    from harness.quorvel import Window, connect_atspi, target_in
    lags = []
    with Desktop() as d:
        binary = fresh_copy(d, binary)
        connect_atspi()
        logind = d.mock("logind")
        w = Window(d, d.spawn("quorvel", [binary, "--task", "poweroff"]))
        for _ in range(int(runs)):
            before = len(logind.calls("PowerOff"))
            when, second_begins = target_in(3)
            w.set_time(when)
            w.press("开   始")
            wait_for(lambda: len(logind.calls("PowerOff")) > before, "the request", 10)
            lags.append((logind.calls("PowerOff")[-1][0] - second_begins) * 1000)
            wait_for(lambda: w.run_state() == "停止", "idle again")
    print(f"firing lag over {runs} runs: median {statistics.median(lags):.1f} ms, "
          f"max {max(lags):.1f} ms")


def reminder(binary, runs=3):
    lags = []
    with Desktop() as d:
        binary = fresh_copy(d, binary)
        env = {"QT_LOGGING_RULES": "quorvel.sound.debug=true",
               "QT_MESSAGE_PATTERN": "%{time yyyy-MM-dd hh:mm:ss.zzz} %{message}"}
        for run in range(int(runs)):
            # A minute boundary at least 5 s away; the target a minute after it.
            now = datetime.datetime.now()
            minute = (now + datetime.timedelta(seconds=65)).replace(second=0, microsecond=0)
            target = minute + datetime.timedelta(minutes=1)
            proc = d.spawn(f"quorvel-{run}", [binary, "--task", "poweroff", "--at",
                                              f"{target:%H:%M:%S}", "--remind", "1", "--start"],
                           env)
            time.sleep(max(0.0, minute.timestamp() - time.time() + 2))
            d.stop(proc)
            with open(os.path.join(d.tmp, f"quorvel-{run}.log")) as log:
                plays = [line for line in log if line.endswith("reminder plays\n")]
            first = datetime.datetime.strptime(plays[0][:23], "%Y-%m-%d %H:%M:%S.%f")
            lags.append((first - minute).total_seconds() * 1000)
    print(f"reminder over {runs} runs: first play {statistics.median(lags):.1f} ms after its "
          f"minute began (median; max {max(lags):.1f} ms)")


if __name__ == "__main__":
    {"startup": startup, "wakeups": wakeups, "firing": firing,
     "reminder": reminder}[sys.argv[1]](*sys.argv[2:])
