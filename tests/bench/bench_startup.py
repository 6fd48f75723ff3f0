"""Start-up of the real program: time from exec to the main window being mapped, and resident
memory once it is up. Median of five runs on a private X server. A measurement, not a test."""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from harness.desktop import Desktop, wait_for  # noqa: E402


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main(binary, runs=5):
    mapped, memory = [], []
    with Desktop(tray=True) as desktop:
        for _ in range(runs):
            started = time.monotonic()
            proc = desktop.start([binary])
            wait_for(lambda: desktop.find_window("^Quorvel$"), "the main window", 20,
                     interval=0.005)
            mapped.append((time.monotonic() - started) * 1000)
            time.sleep(2.0)  # settled: first clock ticks drawn, tray icon docked
            memory.append(rss_kib(proc.pid) / 1024)
            proc.terminate()
            proc.wait(10)
            wait_for(lambda: desktop.find_window("^Quorvel$") is None, "the window to go")
    print("window mapped after (ms):", ", ".join(f"{m:.0f}" for m in mapped))
    print("resident memory (MiB):  ", ", ".join(f"{m:.1f}" for m in memory))
    print(f"median: mapped after {statistics.median(mapped):.0f} ms, "
          f"resident {statistics.median(memory):.1f} MiB")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/release/src/quorvel")
