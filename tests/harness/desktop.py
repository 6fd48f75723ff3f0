"""A private desktop for the end-to-end journeys: Xvfb with openbox and a tray host, or weston;
private session and system buses with python3-dbusmock services; the accessibility bus. All are
children of the test, in a temporary HOME, and stop with it; nothing of the machine's own
session or system bus is ever reached."""

import ctypes
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import types

import dbus
import dbusmock

ARTIFACTS = os.environ.get("QUORVEL_ARTIFACTS", tempfile.gettempdir())


def wait_for(predicate, what, timeout=10.0, interval=0.05):
    """Polls predicate until it returns something truthy, and returns that."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)
    return value


class Desktop:
    def __init__(self, wayland=False):
        self.wayland = wayland
        self.children = []

    def spawn(self, name, argv, env=None, **popen):
        """Starts a child with its output in <tmp>/<name>.log; it is stopped at the end."""
        with open(os.path.join(self.tmp, f"{name}.log"), "ab") as log:
            self.children.append(subprocess.Popen(
                argv, env={**self.env, **(env or {})}, stdout=log, stderr=subprocess.STDOUT,
                stdin=subprocess.DEVNULL, **popen,  # PR_SET_PDEATHSIG: no orphans after a kill
                preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM)))
        return self.children[-1]

    @staticmethod
    def stop(proc):
        proc.terminate()  # nothing once it has been waited for
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

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
        shutil.rmtree(self.tmp, ignore_errors=True)

    def _start(self):
        self.tmp = tempfile.mkdtemp(prefix="quorvel-desktop-")
        home, runtime = os.path.join(self.tmp, "home"), os.path.join(self.tmp, "runtime")
        for folder in (home, runtime):
            os.makedirs(folder, mode=0o700)
        # Without XDG_ variables, configuration, cache and data all go to the private HOME.
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(
            ("DBUS_", "WAYLAND", "XDG_", "QT_", "DISPLAY", "AT_SPI", "PULSE_"))}
        self.env.update(HOME=home, XDG_RUNTIME_DIR=runtime, LC_ALL="C.UTF-8", NO_AT_BRIDGE="0")
        for kind in ("session", "system"):
            socket = os.path.join(self.tmp, f"{kind}_bus")
            self.spawn(f"{kind}-bus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                       f"--address=unix:path={socket}"])
            wait_for(lambda: os.path.exists(socket), f"the {kind} bus")
            # Also for dbusmock's and pyatspi's clients in this process.
            os.environ[f"DBUS_{kind.upper()}_BUS_ADDRESS"] = f"unix:path={socket}"
            self.env[f"DBUS_{kind.upper()}_BUS_ADDRESS"] = f"unix:path={socket}"
        if self.wayland:
            # weston draws no window decorations and hosts no tray; --debug lets the
            # screenshooter in.
            self.spawn("weston", ["weston", "--backend=headless-backend.so", "--socket=wayland-q",
                                  "--width=1024", "--height=768", "--use-pixman", "--debug"])
            wait_for(lambda: os.path.exists(os.path.join(runtime, "wayland-q")), "weston")
            self.env.update(WAYLAND_DISPLAY="wayland-q", QT_QPA_PLATFORM="wayland")
        else:
            read_fd, write_fd = os.pipe()
            self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                "1024x768x24", "-nolisten", "tcp", "-noreset"],
                       pass_fds=(write_fd,))
            os.close(write_fd)
            with os.fdopen(read_fd) as numbers:
                self.env["DISPLAY"] = os.environ["DISPLAY"] = ":" + numbers.readline().strip()
            self.spawn("openbox", ["openbox", "--sm-disable"])
            wait_for(lambda: "#" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                     "openbox")
            # Journeys that need the tray wait for the icon to dock in it.
            self.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                                  "request", "--height", "24", "--SetDockType", "true",
                                  "--transparent", "false"])
        self.spawn("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        bus = dbusmock.DBusTestCase.get_dbus()
        wait_for(lambda: bus.name_has_owner("org.a11y.Bus"), "the accessibility bus")
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def mock(self, template=None, name=None, path=None, system=True, **params):
        """A dbusmock template, or a plain object whose interface is named as its service; its
        calls(method) reads the log: [(unix time, argument text)]."""
        if template:
            module = dbusmock.mockobject.load_module(template)
            name, path = module.BUS_NAME, module.MAIN_OBJ
            args = ["--template", template] + (["-p", json.dumps(params)] if params else [])
        else:
            args = [name, path, name]
        log = os.path.join(self.tmp, f"mock-{name}.log")
        self.spawn(f"mock-{name}", ["/usr/bin/python3", "-m", "dbusmock", "-l", log]
                   + (["--system"] if system else []) + args)
        dbusmock.DBusTestCase.wait_for_bus_object(name, path, system_bus=system, timeout=100)

        def calls(method):
            with open(log, encoding="utf-8") as lines:
                split = [line.rstrip("\n").split(" ", 2) + [""] for line in lines]
            return [(float(s[0]), s[2]) for s in split if s[1] == method]
        return types.SimpleNamespace(calls=calls, obj=dbus.Interface(
            dbusmock.DBusTestCase.get_dbus(system).get_object(name, path), dbusmock.MOCK_IFACE))

    # -- X -------------------------------------------------------------------------------
    def x(self, *argv):
        return subprocess.run([str(a) for a in argv], env=self.env, capture_output=True,
                              text=True, timeout=20).stdout

    def windows(self, name):
        """Mapped, managed windows with that name (a regular expression)."""
        managed = self.x("xprop", "-root", "_NET_CLIENT_LIST").replace(",", " ").split()
        return [int(w) for w in self.x("xdotool", "search", "--name", name).split()
                if hex(int(w)) in managed]

    def wm_state(self, wid):
        """'Normal', 'Iconic', or None when the window is withdrawn (hidden)."""
        out = self.x("xprop", "-id", wid, "WM_STATE")
        return out.split("window state:")[1].split()[0] if "window state:" in out else None

    def geometry(self, wid):
        """x, y, width, height on the screen."""
        out = self.x("xwininfo", "-id", wid)
        return tuple(int(out.split(k + ":")[1].split()[0]) for k in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def tray_icon(self):
        """The centre of our icon docked in the tray host."""
        def docked():
            panel = self.x("xdotool", "search", "--name", "^panel$").split()
            ours = {hex(int(w)) for w in self.x("xdotool", "search", "--class", "quorvel").split()}
            tree = self.x("xwininfo", "-tree", "-id", panel[0]).split() if panel else []
            return [w for w in tree if w in ours]
        x, y, w, h = self.geometry(wait_for(docked, "our icon in the tray")[0])
        return x + w // 2, y + h // 2

    def screenshot(self, name, wid="root"):
        """Into the artifacts; on Wayland, of the whole screen."""
        shots = tempfile.mkdtemp(dir=self.tmp)  # weston's screenshooter writes into its folder
        path = os.path.join(ARTIFACTS, name)
        subprocess.run(["weston-screenshooter"] if self.wayland else
                       ["import", "-window", str(wid), path], env=self.env, cwd=shots,
                       check=True, timeout=30)
        for shot in os.listdir(shots):
            os.replace(os.path.join(shots, shot), path)
