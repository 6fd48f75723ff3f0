"""Firing lag: from the start of the target second to the power request arriving at a mocked
logind, over repeated runs of the real program (20 unless given). A measurement, not a test."""

import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness import atspi  # noqa: E402
from harness.buses import PrivateBuses  # noqa: E402
from harness.desktop import Desktop, wait_for  # noqa: E402
from harness.quorvel import Window, target_in  # noqa: E402


def main(binary, runs=20):
    lags = []
    with PrivateBuses() as buses, Desktop(
            tray=True, atspi=True, session_bus=buses.addresses["session"],
            system_bus=buses.addresses["system"]) as desktop:
        atspi.connect(desktop)
        logind = buses.start_logind()
        proc = desktop.start([binary])
        w = Window(desktop, proc)
        w.choose("任务", "关机")
        for run in range(runs):
            before = len(logind.calls())
            when, second_begins = target_in(3)
            w.set_time(when)
            w.press("开   始")
            call = logind.wait_for_calls(before + 1, timeout=10)[-1]
            lags.append((call.time - second_begins) * 1000)
            wait_for(lambda: w.run_state() == "停止", "idle again")
            print(f"run {run + 1:2d}: {lags[-1]:6.1f} ms", flush=True)
        proc.terminate()
        proc.wait(10)
    missed = sum(lag >= 1000 or lag < 0 for lag in lags)
    print(f"firing lag over {runs} runs: median {statistics.median(lags):.1f} ms, "
          f"max {max(lags):.1f} ms, missed {missed}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/release/src/quorvel",
         int(sys.argv[2]) if len(sys.argv) > 2 else 20)
