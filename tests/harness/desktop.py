"""A private desktop for end-to-end tests: Xvfb, a session bus, openbox, a tray host and the
accessibility bus, each started as a child of the test and stopped by PID at the end.

    with Desktop(tray=True, atspi=True) as d:
        app = d.start([binary])
        wid = d.wait_for(lambda: d.find_window("^Quorvel$"), "main window")
        d.screenshot("shot.png")

Everything lives in a temporary HOME/XDG tree, so nothing of the machine's own session is read
or written.
"""

import ctypes
import ctypes.util
import os
import shutil
import signal
import subprocess
import tempfile
import time


class TimeoutError(AssertionError):
    pass


def wait_for(predicate, what, timeout=10.0, interval=0.05):
    """Polls predicate until it returns something truthy; returns that value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


class Desktop:
    def __init__(self, tray=True, wm=True, atspi=False, screen="1024x768x24",
                 session_bus=None, system_bus=None, extra_env=None):
        self.want_tray = tray
        self.want_wm = wm
        self.want_atspi = atspi
        self.screen = screen
        self.session_bus = session_bus
        self.system_bus = system_bus
        self.extra_env = dict(extra_env or {})
        self.children = []  # (name, Popen), stopped in reverse order
        self.tmp = None
        self.env = None
        self.display = None

    # -- lifecycle -----------------------------------------------------------------------
    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _start(self):
        self.tmp = tempfile.mkdtemp(prefix="quorvel-desktop-")
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "runtime")
        for path in (home, runtime):
            os.makedirs(path, mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "WAYLAND", "XDG_", "QT_", "DISPLAY", "AT_SPI",
                                    "PULSE_"))}
        env.update({
            "HOME": home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "LC_ALL": "C.UTF-8",
            "NO_AT_BRIDGE": "0",
        })
        # Programs here never see the machine's system bus: without a private one given, the
        # address names a socket that does not exist, so a power request can only fail.
        env["DBUS_SYSTEM_BUS_ADDRESS"] = self.system_bus or \
            f"unix:path={os.path.join(self.tmp, 'no_system_bus_socket')}"
        env.update(self.extra_env)
        self.env = env

        self._start_x()
        if self.session_bus:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.session_bus
        else:
            env["DBUS_SESSION_BUS_ADDRESS"] = self._start_session_bus()
        if self.want_wm:
            self.spawn("openbox", ["openbox", "--sm-disable"])
            wait_for(lambda: self._root_prop("_NET_SUPPORTING_WM_CHECK"), "openbox")
        if self.want_tray:
            self.start_tray()
        if self.want_atspi:
            self.spawn("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
            wait_for(lambda: self._root_prop("AT_SPI_BUS"), "accessibility bus")
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def _start_x(self):
        read_fd, write_fd = os.pipe()
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.screen, "-nolisten",
             "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=self.env)
        os.close(write_fd)
        self.children.append(("Xvfb", proc))
        number = b""
        deadline = time.monotonic() + 10
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline:
                raise TimeoutError("Xvfb did not report its display")
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb exited before it was ready")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display
        wait_for(lambda: subprocess.run(["xdpyinfo"], env=self.env,
                                        stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode == 0, "Xvfb")

    def _start_session_bus(self):
        proc = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1", "--nopidfile",
             f"--address=unix:path={self.tmp}/session_bus_socket"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env)
        self.children.append(("session bus", proc))
        return proc.stdout.readline().decode().strip()

    def start_tray(self):
        self.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "24", "--SetDockType", "true",
                              "--transparent", "false"])
        # Ready when it owns the tray selection (its panel may stay unmapped until an icon docks).
        wait_for(self.tray_selection_owned, "the tray host")

    def tray_selection_owned(self):
        """True while some client owns _NET_SYSTEM_TRAY_S0, i.e. a notification area exists."""
        x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XGetSelectionOwner.restype = ctypes.c_ulong
        x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x11.XOpenDisplay(self.display.encode())
        if not display:
            return False
        try:
            atom = x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0)
            return x11.XGetSelectionOwner(display, atom) != 0
        finally:
            x11.XCloseDisplay(display)

    def stop_tray(self):
        self.stop("trayer")

    def __exit__(self, *exc):
        for name, proc in reversed(self.children):
            self._terminate(proc)
        self.children.clear()
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
        return False

    # -- processes -------------------------------------------------------------------------
    def spawn(self, name, argv, env=None, **kwargs):
        """Starts a helper; its output goes to <tmp>/<name>.log unless redirected."""
        if "stdout" not in kwargs:
            log = open(os.path.join(self.tmp, f"{name}.log"), "ab")
            kwargs["stdout"] = log
            kwargs.setdefault("stderr", subprocess.STDOUT)
        else:
            log = None
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        try:
            proc = subprocess.Popen(argv, env=env or self.env, **kwargs)
        finally:
            if log:
                log.close()
        self.children.append((name, proc))
        return proc

    def start(self, argv, env=None, name="app", log=None):
        """Starts a program on this desktop; its output goes to `log` (a path) if given."""
        full_env = dict(self.env)
        full_env.update(env or {})
        out = open(log, "wb") if log else subprocess.DEVNULL
        try:
            return self.spawn(name, argv, env=full_env, stdout=out, stderr=subprocess.STDOUT)
        finally:
            if log:
                out.close()

    def stop(self, name):
        for entry in [c for c in self.children if c[0] == name]:
            self._terminate(entry[1])
            self.children.remove(entry)

    @staticmethod
    def _terminate(proc, timeout=5):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if proc.stdout:
            proc.stdout.close()

    # -- X queries ---------------------------------------------------------------------------
    def x(self, *argv, check=True):
        result = subprocess.run(list(argv), env=self.env, capture_output=True, text=True,
                                timeout=20)
        if check and result.returncode not in (0, 1):
            raise RuntimeError(f"{argv[0]} failed: {result.stderr}")
        return result.stdout

    def _root_prop(self, name):
        out = self.x("xprop", "-root", name, check=False)
        return bool(out) and "not found" not in out and "no such atom" not in out

    def find_windows(self, name=None, cls=None, visible=False):
        argv = ["xdotool", "search"]
        if visible:
            argv.append("--onlyvisible")
        if name is not None:
            argv += ["--name", name]
        else:
            argv += ["--class", cls]
        return [int(w) for w in self.x(*argv).split()]

    def find_window(self, name=None, cls=None, managed=True):
        """A mapped window by name or class. Qt names every window of a program after it (tray
        icon and balloons included), so by default only windows the window manager manages
        count, which those are not."""
        ids = self.find_windows(name=name, cls=cls)
        clients = set(self.client_list()) if managed else None
        mapped = [w for w in ids
                  if self.is_mapped(w) and (clients is None or w in clients)]
        return mapped[0] if mapped else None

    def is_mapped(self, wid):
        return "IsViewable" in self.x("xwininfo", "-id", str(wid), check=False)

    def geometry(self, wid):
        """(x, y, width, height) of the window's client area in root coordinates."""
        info = self.x("xwininfo", "-id", str(wid))
        values = {}
        for line in info.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def wm_state(self, wid):
        """'Normal', 'Iconic', or None when the window is withdrawn (hidden)."""
        out = self.x("xprop", "-id", str(wid), "WM_STATE", check=False)
        for line in out.splitlines():
            if "window state:" in line:
                return line.split(":")[1].strip()
        return None

    def client_list(self):
        out = self.x("xprop", "-root", "_NET_CLIENT_LIST", check=False)
        if "#" not in out:
            return []
        return [int(w, 16) for w in out.split("#", 1)[1].replace(",", " ").split()]

    def tray_icons(self, cls):
        """Windows of class `cls` docked in the tray host."""
        panel = self.find_window("^panel$", managed=False)
        if panel is None:
            return []
        tree = self.x("xwininfo", "-tree", "-id", str(panel))
        ours = set(self.find_windows(cls=cls))
        docked = []
        for line in tree.splitlines():
            token = line.strip().split(" ", 1)[0]
            if token.startswith("0x") and int(token, 16) in ours:
                docked.append(int(token, 16))
        return docked

    def screenshot(self, path, wid=None):
        target = "root" if wid is None else str(wid)
        subprocess.run(["import", "-window", target, path], env=self.env, check=True,
                       timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def xdotool(self, *args):
        return self.x("xdotool", *[str(a) for a in args])
