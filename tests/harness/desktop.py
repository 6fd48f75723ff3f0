"""A private desktop for the end-to-end journeys: Xvfb with openbox and a tray host, or weston;
private session and system buses with python3-dbusmock services; the accessibility bus. All are
children of the test, in a temporary HOME, and stop with it; nothing of the machine's own
session or system bus is ever reached."""

import ctypes
import ctypes.util
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time

import dbus
import dbusmock

PYTHON = "/usr/bin/python3"
ARTIFACTS = os.environ.get("QUORVEL_ARTIFACTS", tempfile.gettempdir())


def wait_for(predicate, what, timeout=10.0, interval=0.05):
    """Polls predicate until it returns something truthy, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def _die_with_parent():
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG: no orphans after a kill


class Mock:
    """A python3-dbusmock service; calls() reads its log, which keeps milliseconds."""

    def __init__(self, desktop, args, name, path, system):
        self.log = os.path.join(desktop.tmp, f"mock-{name}-{len(desktop.children)}.log")
        self.proc = desktop.spawn(f"mock-{name}", [PYTHON, "-m", "dbusmock", "-l", self.log]
                                  + (["--system"] if system else []) + args)
        dbusmock.DBusTestCase.wait_for_bus_object(name, path, system_bus=system, timeout=100)
        bus = dbusmock.DBusTestCase.get_dbus(system)
        self.obj = dbus.Interface(bus.get_object(name, path), dbusmock.MOCK_IFACE)

    def calls(self, method=None):
        """[(unix time, method, argument text)] of the calls so far."""
        if not os.path.exists(self.log):
            return []
        out = []
        for line in open(self.log, encoding="utf-8"):
            stamp, _, rest = line.strip().partition(" ")
            called, _, args = rest.partition(" ")
            if method in (None, called):
                out.append((float(stamp), called, args))
        return out


class Desktop:
    def __init__(self, wayland=False):
        self.wayland = wayland
        self.children = []
        self.mocks = {}

    # -- the one process helper ----------------------------------------------------------
    def spawn(self, name, argv, env=None):
        """Starts a child with its output in <tmp>/<name>.log; it is stopped at the end."""
        with open(os.path.join(self.tmp, f"{name}.log"), "ab") as log:
            proc = subprocess.Popen(argv, env={**self.env, **(env or {})}, stdout=log,
                                    stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                    preexec_fn=_die_with_parent)
        self.children.append(proc)
        return proc

    @staticmethod
    def stop(proc, timeout=5):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    # -- lifecycle -------------------------------------------------------------------------
    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        for proc in reversed(self.children):
            self.stop(proc)
        self.children.clear()
        shutil.rmtree(self.tmp, ignore_errors=True)
        return False

    def _start(self):
        self.tmp = tempfile.mkdtemp(prefix="quorvel-desktop-")
        home, runtime = os.path.join(self.tmp, "home"), os.path.join(self.tmp, "runtime")
        os.makedirs(home, mode=0o700)
        os.makedirs(runtime, mode=0o700)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(
            ("DBUS_", "WAYLAND", "XDG_", "QT_", "DISPLAY", "AT_SPI", "PULSE_"))}
        self.env.update(HOME=home, XDG_RUNTIME_DIR=runtime, LC_ALL="C.UTF-8", NO_AT_BRIDGE="0",
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"),
                        XDG_DATA_HOME=os.path.join(home, ".local", "share"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._bus("session")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self._bus("system")
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"):
            os.environ[variable] = self.env[variable]  # for dbusmock's and pyatspi's clients
        if self.wayland:
            # weston draws no window decorations and hosts no tray; --debug lets the
            # screenshooter in.
            self.spawn("weston", ["weston", "--backend=headless-backend.so", "--socket=wayland-q",
                                  "--width=1024", "--height=768", "--use-pixman", "--debug"])
            wait_for(lambda: os.path.exists(os.path.join(runtime, "wayland-q")), "weston")
            self.env.update(WAYLAND_DISPLAY="wayland-q", QT_QPA_PLATFORM="wayland")
        else:
            self._start_x()
            self.spawn("openbox", ["openbox", "--sm-disable"])
            wait_for(lambda: "#" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                     "openbox")
            self.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                                  "request", "--height", "24", "--SetDockType", "true",
                                  "--transparent", "false"])
            wait_for(self.tray_selection_owned, "the tray host")
        self.spawn("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        bus = dbusmock.DBusTestCase.get_dbus()
        wait_for(lambda: bus.name_has_owner("org.a11y.Bus"), "the accessibility bus")
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def _bus(self, kind):
        socket = os.path.join(self.tmp, f"{kind}_bus")
        proc = self.spawn(f"{kind}-bus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                          f"--address=unix:path={socket}"])
        wait_for(lambda: os.path.exists(socket) or proc.poll() is not None, f"the {kind} bus")
        return f"unix:path={socket}"

    def _start_x(self):
        read_fd, write_fd = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp", "-noreset"],
                                pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        os.close(write_fd)
        self.children.append(proc)
        with os.fdopen(read_fd) as numbers:
            self.display = ":" + numbers.readline().strip()
        self.env["DISPLAY"] = os.environ["DISPLAY"] = self.display

    def mock(self, template=None, name=None, path=None, interface=None, system=True, **params):
        """A dbusmock template (its bus name and object from the template) or a plain object;
        it replaces an earlier mock of the same name."""
        if template:
            module = dbusmock.mockobject.load_module(template)
            name, path = module.BUS_NAME, module.MAIN_OBJ
            args = ["--template", template] + (["-p", json.dumps(params)] if params else [])
        else:
            args = [name, path, interface]
        if name in self.mocks:
            self.stop(self.mocks[name].proc)
        self.mocks[name] = Mock(self, args, name, path, system)
        return self.mocks[name]

    # -- X -------------------------------------------------------------------------------
    def x(self, *argv):
        return subprocess.run([str(a) for a in argv], env=self.env, capture_output=True,
                              text=True, timeout=20).stdout

    def tray_selection_owned(self):
        x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x11.XOpenDisplay(self.display.encode())
        try:
            return x11.XGetSelectionOwner(
                display, x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0)) != 0
        finally:
            x11.XCloseDisplay(display)

    def windows(self, name):
        """Mapped, managed windows with that name (a regular expression)."""
        clients = self.x("xprop", "-root", "_NET_CLIENT_LIST").partition("#")[2]
        managed = {int(w, 16) for w in clients.replace(",", " ").split()}
        return [int(w) for w in self.x("xdotool", "search", "--name", name).split()
                if int(w) in managed]

    def wm_state(self, wid):
        """'Normal', 'Iconic', or None when the window is withdrawn (hidden)."""
        out = self.x("xprop", "-id", wid, "WM_STATE")
        return out.split("window state:")[1].split()[0] if "window state:" in out else None

    def geometry(self, wid):
        info = dict(line.strip().split(":", 1) for line in self.x("xwininfo", "-id", wid)
                    .splitlines() if line.strip().startswith(("Absolute", "Width", "Height")))
        return tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                            "Width", "Height"))

    def tray_icon(self, cls="quorvel"):
        """The centre of our icon docked in the tray host."""
        def docked():
            panel = self.x("xdotool", "search", "--name", "^panel$").split()
            ours = set(self.x("xdotool", "search", "--class", cls).split())
            tree = self.x("xwininfo", "-tree", "-id", panel[0]) if panel else ""
            return [int(t, 16) for t in (line.split()[0] for line in tree.splitlines()
                                         if line.strip().startswith("0x"))
                    if str(int(t, 16)) in ours]
        x, y, w, h = self.geometry(wait_for(docked, "our icon in the tray")[0])
        return x + w // 2, y + h // 2

    def screenshot(self, name, wid="root"):
        path = os.path.join(ARTIFACTS, name)
        if not self.wayland:
            subprocess.run(["import", "-window", str(wid), path], env=self.env, check=True,
                           timeout=30)
            return path
        shots = os.path.join(self.tmp, "shots")
        os.makedirs(shots, exist_ok=True)
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=shots, check=True, timeout=30)
        os.replace(os.path.join(shots, os.listdir(shots)[0]), path)
        return path
