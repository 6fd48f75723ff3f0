"""A private PulseAudio server for tests: start, stop, freeze, record, analyse.

Nothing here touches the machine's own sound setup. The server lives in a temporary directory
with one null sink, ``testsink``; whatever is played to it can be recorded from its monitor.

As a library::

    with PrivatePulse() as pulse:               # running, warmed up
        subprocess.run(cmd, env=pulse.env)      # pulse.env points clients at this server
        with pulse.record() as rec:             # records testsink.monitor
            ...play something...
        print(rec.analysis.duration, rec.analysis.frequency)
        pulse.restart()   # also: stop(), start(), freeze(), thaw()

    analyse("some.wav")                         # the same analysis for any WAV file

From the command line, ``pulse.py run [--stopped] -- CMD ARGS...`` runs CMD against a private
server and tears the server down afterwards. CMD may steer the server through a line protocol on
two pipes whose descriptors are in QUORVEL_PULSE_CONTROL ("WRITE_FD,READ_FD"): it writes one of
``start stop restart freeze thaw record endrecord`` and a newline, and reads back one line of
JSON: {"ok": true} or {"ok": false, "error": "..."}; ``endrecord`` adds the fields of Analysis.
Times in ``onset_ns``/``end_ns`` are CLOCK_MONOTONIC nanoseconds, comparable across processes.
"""

import argparse
import dataclasses
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import wave
from array import array

RATE = 48000
CHANNELS = 2
SINK = "testsink"

# A sound is "heard" in a millisecond whose peak passes this fraction of full scale (-40 dBFS).
DEFAULT_THRESHOLD = 0.01


@dataclasses.dataclass
class Analysis:
    """What a recording holds; times in seconds from the start of the recording."""

    heard: bool
    start: float = 0.0  # first sample above the threshold
    end: float = 0.0  # just after the last sample above the threshold
    duration: float = 0.0  # end - start
    frequency: float = 0.0  # sox's rough frequency of the heard part, Hz
    tail_frequency: float = 0.0  # the same for its last 100 ms
    rms: float = 0.0  # sox's RMS amplitude of the heard part, 0..1
    window_rms_min: float = 0.0  # 20 ms windows inside the heard part, edges left out
    window_rms_max: float = 0.0
    longest_gap_ms: int = 0  # longest run of silent milliseconds inside the heard part
    recorded: float = 0.0  # length of the whole recording
    # Monotonic times (ns) of `start` and `end`, when the recording was timed. The monitor
    # hears what the sink renders, a little ahead of real time: onset_ns may come a few ms
    # early. onset_arrival_ns, when the first heard sample reached us, is never early.
    onset_ns: int = 0
    end_ns: int = 0
    onset_arrival_ns: int = 0


def _sox_stat(path, start, duration):
    out = subprocess.run(
        ["sox", path, "-n", "remix", "1", "trim", f"{start:.6f}", f"{duration:.6f}", "stat"],
        capture_output=True, text=True, check=True).stderr
    stats = {}
    for line in out.splitlines():
        key, _, value = line.partition(":")
        try:
            stats[" ".join(key.split())] = float(value)
        except ValueError:
            pass
    return stats


def analyse(path, threshold=DEFAULT_THRESHOLD, t0_ns=None, arrivals=()):
    """Analyses the first channel of a WAV file.

    t0_ns: monotonic time of its first sample; arrivals: (frames so far, monotonic ns) pairs
    telling when the recorder received which part of it.
    """
    rate = int(subprocess.run(["soxi", "-r", path], capture_output=True, text=True,
                              check=True).stdout)
    raw = subprocess.run(["sox", path, "-t", "raw", "-e", "signed-integer", "-b", "16", "-",
                          "remix", "1"], capture_output=True, check=True).stdout
    samples = array("h")
    samples.frombytes(raw[:len(raw) // 2 * 2])
    if sys.byteorder == "big":
        samples.byteswap()
    recorded = len(samples) / rate
    limit = int(threshold * 32768)
    loud = [i for i, s in enumerate(samples) if s > limit or s < -limit]
    if not loud:
        return Analysis(heard=False, recorded=recorded)
    first, last = loud[0], loud[-1] + 1

    ms = rate // 1000
    gap = longest = 0
    for w in range(first // ms, (last - 1) // ms + 1):
        chunk = samples[w * ms:(w + 1) * ms]
        if max(chunk) > limit or min(chunk) < -limit:
            gap = 0
        else:
            gap += 1
            longest = max(longest, gap)

    win = rate // 50
    levels = []
    for w0 in range(first + win, last - 2 * win, win):
        chunk = samples[w0:w0 + win]
        levels.append((sum(s * s for s in chunk) / len(chunk)) ** 0.5 / 32768)

    stats = _sox_stat(path, first / rate, (last - first) / rate)
    tail = min(0.1, (last - first) / rate)
    tail_stats = _sox_stat(path, last / rate - tail, tail)
    result = Analysis(
        heard=True, start=first / rate, end=last / rate, duration=(last - first) / rate,
        frequency=stats.get("Rough frequency", 0.0), rms=stats.get("RMS amplitude", 0.0),
        tail_frequency=tail_stats.get("Rough frequency", 0.0),
        window_rms_min=min(levels, default=0.0), window_rms_max=max(levels, default=0.0),
        longest_gap_ms=longest, recorded=recorded)
    if t0_ns is not None:
        result.onset_ns = t0_ns + round(result.start * 1e9)
        result.end_ns = t0_ns + round(result.end * 1e9)
    result.onset_arrival_ns = next((t for frames, t in arrivals if frames > first), 0)
    return result


class Recording:
    """Records the sink's monitor in the background; stop() returns its Analysis.

    Every chunk that arrives is timed, so that the monotonic time of the first sample can be
    bounded: no sample can have been played later than its chunk arrived, less the samples
    that follow it in the stream. The tightest bound over all chunks dates the recording
    within the monitor's latency (a few ms), never earlier than it was played.
    """

    def __init__(self, pulse, path, threshold):
        self._pulse = pulse
        self.path = path
        self._threshold = threshold
        self._data = bytearray()
        self._t0_ns = None
        self._arrivals = []
        self.analysis = None
        self._proc = subprocess.Popen(
            ["parec", f"--device={SINK}.monitor", "--raw", "--format=s16le", f"--rate={RATE}",
             f"--channels={CHANNELS}", "--latency-msec=5"],
            stdout=subprocess.PIPE, env=pulse.env)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._wait_for_data()

    def _read(self):
        frame = 2 * CHANNELS
        fd = self._proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic_ns()
            if not chunk:
                return
            self._data += chunk
            frames = len(self._data) // frame
            self._arrivals.append((frames, now))
            t0 = now - round(frames * 1e9 / RATE)
            if self._t0_ns is None or t0 < self._t0_ns:
                self._t0_ns = t0

    def _wait_for_data(self):
        deadline = time.monotonic() + 5
        while not self._data and time.monotonic() < deadline:
            if self._proc.poll() is not None:
                raise RuntimeError("parec ended at once: is the server running?")
            time.sleep(0.002)
        if not self._data:
            raise RuntimeError("parec delivered nothing within 5 s")

    def stop(self):
        if self.analysis is not None:
            return self.analysis
        self._proc.terminate()
        self._proc.wait(timeout=10)
        self._reader.join(timeout=10)
        self._proc.stdout.close()
        data = bytes(self._data[:len(self._data) // (2 * CHANNELS) * 2 * CHANNELS])
        with wave.open(self.path, "wb") as out:
            out.setnchannels(CHANNELS)
            out.setsampwidth(2)
            out.setframerate(RATE)
            out.writeframes(data)
        self.analysis = analyse(self.path, self._threshold, self._t0_ns, self._arrivals)
        return self.analysis

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class PrivatePulse:
    """A PulseAudio server of our own, with the null sink `testsink`.

    env: the variables a client needs to reach it (and nothing else); start() and stop() may
    be called repeatedly, the address stays the same.
    """

    def __init__(self, keep_dir=False):
        self.dir = tempfile.mkdtemp(prefix="quorvel-pulse-")
        self._keep_dir = keep_dir
        self._server = None
        self._silence = None
        self._frozen = False
        self._recordings = 0
        runtime = os.path.join(self.dir, "runtime")
        home = os.path.join(self.dir, "home")
        os.makedirs(runtime, mode=0o700)
        os.makedirs(home)
        self.socket = os.path.join(self.dir, "native")
        client_conf = os.path.join(self.dir, "client.conf")
        with open(client_conf, "w") as f:
            f.write("autospawn = no\n")
        self.env = dict(os.environ)
        self.env.update({
            "HOME": home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "PULSE_RUNTIME_PATH": os.path.join(runtime, "pulse"),
            "PULSE_STATE_PATH": os.path.join(self.dir, "state"),
            "PULSE_SERVER": "unix:" + self.socket,
            "PULSE_CLIENTCONFIG": client_conf,
        })
        self.env.pop("PULSE_SINK", None)
        self.env.pop("PULSE_SOURCE", None)

    @property
    def running(self):
        return self._server is not None

    @property
    def pid(self):
        return self._server.pid if self._server else None

    def start(self, timeout=10):
        """Starts the server and waits until a recording starts promptly."""
        if self._server:
            return
        log = open(os.path.join(self.dir, "pulseaudio.log"), "ab")
        self._server = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--realtime=no", "--high-priority=no", "--log-target=stderr",
             f"--load=module-native-protocol-unix auth-anonymous=1 socket={self.socket}",
             f"--load=module-null-sink sink_name={SINK} rate={RATE} channels={CHANNELS}",
             "--load=module-always-sink",
             f"--load=module-remap-source source_name=testrec master={SINK}.monitor"],
            env=self.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
        log.close()
        deadline = time.monotonic() + timeout
        while subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if self._server.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"pulseaudio did not come up; see {self.dir}/pulseaudio.log")
            time.sleep(0.02)
        # The monitor of an idle null sink is not real-time: keep a stream of silence going.
        with open("/dev/zero", "rb") as zero:
            self._silence = subprocess.Popen(
                ["pacat", "--playback", f"--device={SINK}", "--raw", "--format=s16le",
                 f"--rate={RATE}", f"--channels={CHANNELS}", "--latency-msec=20"],
                stdin=zero, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._warm_up(deadline)

    def _warm_up(self, deadline):
        want = RATE * 2 * CHANNELS // 10
        while True:
            began = time.monotonic()
            proc = subprocess.Popen(["parec", f"--device={SINK}.monitor", "--raw",
                                     "--latency-msec=5"], stdout=subprocess.PIPE, env=self.env)
            got = 0
            while got < want and time.monotonic() - began < 1:
                chunk = proc.stdout.read1(want - got)
                if not chunk:
                    break
                got += len(chunk)
            proc.terminate()
            proc.wait()
            proc.stdout.close()
            if got >= want and time.monotonic() - began < 0.2:
                return
            if time.monotonic() > deadline:
                raise RuntimeError("the null sink's monitor never ran in real time")

    def stop(self):
        """Stops the server (by PID) and waits for it; a frozen server is thawed first."""
        for proc in (self._silence, self._server):
            if proc is None:
                continue
            if proc is self._server and self._frozen:
                proc.send_signal(signal.SIGCONT)
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        self._silence = self._server = None
        self._frozen = False
        try:
            os.unlink(self.socket)
        except FileNotFoundError:
            pass

    def restart(self):
        self.stop()
        self.start()

    def freeze(self):
        """SIGSTOP: the server keeps its socket but answers nothing, like a hung server."""
        if self._server and not self._frozen:
            self._server.send_signal(signal.SIGSTOP)
            self._frozen = True

    def thaw(self):
        if self._server and self._frozen:
            self._server.send_signal(signal.SIGCONT)
            self._frozen = False

    def record(self, threshold=DEFAULT_THRESHOLD):
        """Starts recording what the sink plays; use as a context manager or call stop()."""
        self._recordings += 1
        path = os.path.join(self.dir, f"recording-{self._recordings}.wav")
        return Recording(self, path, threshold)

    def close(self):
        self.stop()
        if not self._keep_dir:
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()


def _serve(pulse, commands, replies):
    recording = None
    with os.fdopen(commands, "r") as requests, os.fdopen(replies, "w") as answers:
        for line in requests:
            command = line.strip()
            reply = {"ok": True}
            try:
                if command == "record":
                    if recording:
                        recording.stop()
                    recording = pulse.record()
                elif command == "endrecord":
                    if not recording:
                        raise RuntimeError("not recording")
                    reply.update(dataclasses.asdict(recording.stop()))
                    reply["path"] = recording.path
                    recording = None
                elif command in ("start", "stop", "restart", "freeze", "thaw"):
                    if command in ("stop", "restart") and recording:
                        recording.stop()
                        recording = None
                    getattr(pulse, command)()
                else:
                    raise RuntimeError(f"unknown command {command!r}")
            except Exception as e:  # the client reads the reason; the harness goes on
                reply = {"ok": False, "error": str(e)}
            answers.write(json.dumps(reply) + "\n")
            answers.flush()
        if recording:
            recording.stop()


def _run(argv):
    parser = argparse.ArgumentParser(prog="pulse.py run")
    parser.add_argument("--stopped", action="store_true", help="do not start the server")
    parser.add_argument("--keep", action="store_true", help="keep the temporary directory")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")

    def terminate(signum, _frame):
        raise SystemExit(128 + signum)

    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(sig, terminate)

    pulse = PrivatePulse(keep_dir=args.keep)
    child = None
    try:
        if not args.stopped:
            pulse.start()
        cmd_r, cmd_w = os.pipe()
        rep_r, rep_w = os.pipe()
        env = dict(pulse.env, QUORVEL_PULSE_CONTROL=f"{cmd_w},{rep_r}")
        child = subprocess.Popen(command, env=env, pass_fds=(cmd_w, rep_r))
        os.close(cmd_w)
        os.close(rep_r)
        server = threading.Thread(target=_serve, args=(pulse, cmd_r, rep_w), daemon=True)
        server.start()
        code = child.wait()
        server.join(timeout=10)
        return code if code >= 0 else 128 - code
    finally:
        if child and child.poll() is None:
            child.kill()
            child.wait()
        pulse.close()


def main(argv):
    if len(argv) >= 1 and argv[0] == "run":
        return _run(argv[1:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
