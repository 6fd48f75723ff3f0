#!/usr/bin/python3
"""Private D-Bus buses with mocked services, for tests that must never reach the real ones.

A program under test that can ask for a power off must see a private session bus and a private
"system" bus, never the machine's. PrivateBuses starts both (two dbus-daemon processes with the
session configuration, their sockets in a fresh temporary directory), refuses to hand out a
system bus address that is the machine's real one, and stops everything it started on exit.

    from harness.buses import PrivateBuses

    with PrivateBuses() as buses:
        logind = buses.start_logind()
        gnome = buses.start_service('session', 'org.gnome.SessionManager',
                                    '/org/gnome/SessionManager', 'org.gnome.SessionManager',
                                    methods={'Shutdown': '', 'Reboot': '', 'Logout': 'u'})
        with buses.monitor('session') as wire:
            subprocess.run([program], env=buses.env, check=True)   # both addresses exported
            call = wire.wait_for(lambda c: c.member == 'Logout')
        assert call.signature == 'u' and call.args == ['1']         # types as on the wire
        assert [c.method for c in gnome.calls()] == ['Logout']      # the mock's own record
        assert logind.calls() == []

dbusmock coerces arguments to the signature a method was declared with, so its record cannot
show a wrong type; the monitor (dbus-monitor) shows what was really sent.

The same pieces from the command line, for test programs that are not Python:

    buses.py run [--desktop NAME] -- COMMAND [ARG...]
        Runs COMMAND with DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS pointing at two
        private buses, and QUORVEL_TEST_BUS_DIR, QUORVEL_TEST_SESSION_BUS_PID and
        QUORVEL_TEST_SYSTEM_BUS_PID describing them; XDG_CURRENT_DESKTOP is NAME or unset.
        Exits with COMMAND's status.
    buses.py mock --bus session|system --name N --path P --interface I
                  [--template logind] [--parameters JSON]
                  [--method NAME SIGNATURE]... [--error METHOD ERROR_NAME MESSAGE]...
        Serves one mocked service until its standard input closes. Prints JSON lines:
        {"event": "ready", "pid": ...} once the name is owned, then
        {"event": "call", "time": UNIX_SECONDS, "method": NAME, "args": [...]} per call.
    buses.py monitor --bus session|system
        Prints {"event": "ready"} once listening, then one JSON line per method call:
        time, sender, destination, path, interface, member, signature, args.
    mock and monitor only run inside `run` (they check QUORVEL_TEST_BUS_DIR).
"""

import argparse
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

PYTHON = '/usr/bin/python3'
HERE = Path(__file__).resolve()

REAL_SYSTEM_BUS_SOCKETS = ('/run/dbus/system_bus_socket', '/var/run/dbus/system_bus_socket')
LOGIND = ('org.freedesktop.login1', '/org/freedesktop/login1', 'org.freedesktop.login1.Manager')
BUS_VARIABLES = {'session': 'DBUS_SESSION_BUS_ADDRESS', 'system': 'DBUS_SYSTEM_BUS_ADDRESS'}


class UnsafeBus(RuntimeError):
    """The bus a test would use may be a real one."""


def socket_path(address):
    """The socket of a unix:path= bus address; UnsafeBus for any other kind of address."""
    if not address:
        raise UnsafeBus('no bus address given: the default (real) bus would be used')
    paths = []
    for entry in address.split(';'):
        transport, _, params = entry.partition(':')
        keys = dict(p.split('=', 1) for p in params.split(',') if '=' in p)
        if transport != 'unix' or 'path' not in keys:
            raise UnsafeBus(f'{address!r}: only unix:path= addresses of private buses are used')
        paths.append(keys['path'])
    if len(set(paths)) != 1:
        raise UnsafeBus(f'{address!r}: more than one socket')
    return paths[0]


def refuse_real_system_bus(address):
    """Raises UnsafeBus unless address is a unix socket other than the machine's system bus."""
    path = os.path.realpath(socket_path(address))
    if path in {os.path.realpath(p) for p in REAL_SYSTEM_BUS_SOCKETS}:
        raise UnsafeBus(f'{address!r} is the real system bus')
    return path


def check_test_environment(env):
    """Raises UnsafeBus unless both buses in env are the private ones `run` started."""
    bus_dir = env.get('QUORVEL_TEST_BUS_DIR')
    if not bus_dir:
        raise UnsafeBus('QUORVEL_TEST_BUS_DIR is unset: not running inside `buses.py run`')
    refuse_real_system_bus(env.get('DBUS_SYSTEM_BUS_ADDRESS'))
    for variable in BUS_VARIABLES.values():
        path = os.path.realpath(socket_path(env.get(variable)))
        if os.path.dirname(path) != os.path.realpath(bus_dir):
            raise UnsafeBus(f'{variable} is not a bus of {bus_dir}')
    for variable in ('DBUS_STARTER_ADDRESS', 'DBUS_STARTER_BUS_TYPE'):
        if env.get(variable):
            raise UnsafeBus(f'{variable} is set: a client might pick that bus instead')


def _die_with_parent():
    # Helpers must not outlive a harness that was killed (a ctest timeout, say).
    import ctypes
    ctypes.CDLL('libc.so.6', use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def _stop_process(process, timeout=3.0, reader=None):
    if process.poll() is None:
        try:
            process.send_signal(signal.SIGCONT)  # a paused process would not act on SIGTERM
            process.terminate()
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    if reader:
        reader.join(timeout)  # reads on to the end of the output, then returns
    for stream in (process.stdin, process.stdout, process.stderr):
        if stream:
            stream.close()


def _name_has_owner(address, name):
    import dbus
    connection = dbus.bus.BusConnection(address)
    try:
        return bool(connection.name_has_owner(name))
    finally:
        connection.close()


class PrivateBuses:
    """Starts a private session bus and a private system bus; see the module documentation.

    env is os.environ with both bus addresses replaced; hand it to every process under test.
    """

    def __init__(self, desktop=None):
        self.desktop = desktop
        self.directory = None
        self.addresses = {}
        self.pids = {}
        self.env = {}
        self._daemons = []
        self._children = []

    def __enter__(self):
        self.directory = tempfile.mkdtemp(prefix='quorvel-buses-')
        try:
            for bus in ('session', 'system'):
                self._start_daemon(bus)
            env = dict(os.environ)
            for variable in ('DBUS_STARTER_ADDRESS', 'DBUS_STARTER_BUS_TYPE',
                             'XDG_CURRENT_DESKTOP'):
                env.pop(variable, None)
            if self.desktop is not None:
                env['XDG_CURRENT_DESKTOP'] = self.desktop
            env.update({
                'DBUS_SESSION_BUS_ADDRESS': self.addresses['session'],
                'DBUS_SYSTEM_BUS_ADDRESS': self.addresses['system'],
                'QUORVEL_TEST_BUS_DIR': self.directory,
                'QUORVEL_TEST_SESSION_BUS_PID': str(self.pids['session']),
                'QUORVEL_TEST_SYSTEM_BUS_PID': str(self.pids['system']),
            })
            check_test_environment(env)
            # A real system bus always has logind; a fresh private one has nothing.
            if _name_has_owner(self.addresses['system'], LOGIND[0]):
                raise UnsafeBus('org.freedesktop.login1 is already on the "private" system bus')
            self.env = env
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for child in reversed(self._children):
            child.stop()
        self._children.clear()
        for process in self._daemons:
            _stop_process(process)
        self._daemons.clear()
        if self.directory:
            shutil.rmtree(self.directory, ignore_errors=True)
            self.directory = None
        return False

    def _start_daemon(self, bus):
        socket = os.path.join(self.directory, f'{bus}_bus_socket')
        with open(os.path.join(self.directory, f'{bus}_bus.log'), 'w') as log:
            process = subprocess.Popen(
                ['dbus-daemon', '--session', '--nofork', '--nopidfile',
                 f'--address=unix:path={socket}', '--print-address=1'],
                stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL, text=True,
                preexec_fn=_die_with_parent)
        self._daemons.append(process)
        address = process.stdout.readline().strip()
        if not address:
            raise RuntimeError(f'dbus-daemon for the private {bus} bus did not start: ' +
                               Path(log.name).read_text())
        if bus == 'system':
            refuse_real_system_bus(address)
        self.addresses[bus] = address
        self.pids[bus] = process.pid

    def start_service(self, bus, name, path, interface, methods=None, errors=None,
                      template=None, parameters=None):
        """Serves a dbusmock object under name on bus ('session' or 'system').

        methods: {method: input signature}, each answering with nothing.
        errors: {method: (D-Bus error name, message)}, each answering with that error.
        """
        command = ['--bus', bus, '--name', name, '--path', path, '--interface', interface]
        if template:
            command += ['--template', template]
        if parameters:
            command += ['--parameters', json.dumps(parameters)]
        for method, signature in (methods or {}).items():
            command += ['--method', method, signature]
        for method, (error_name, message) in (errors or {}).items():
            command += ['--error', method, error_name, message]
        mock = Mock(name, command, self.env)
        self._children.append(mock)
        return mock

    def start_logind(self, parameters=None, errors=None):
        """dbusmock's logind template on the private system bus."""
        return self.start_service('system', *LOGIND, errors=errors, template='logind',
                                  parameters=parameters)

    def monitor(self, bus):
        """A Monitor of every method call on bus; use it as a context manager."""
        monitor = Monitor(self.addresses[bus])
        self._children.append(monitor)
        return monitor


@dataclass
class MockCall:
    time: float
    method: str
    args: list


class Mock:
    """A running mocked service; see PrivateBuses.start_service."""

    def __init__(self, name, arguments, env, timeout=10.0):
        self.name = name
        self._events = []
        self._lock = threading.Condition()
        self.process = subprocess.Popen([PYTHON, str(HERE), 'mock', *arguments], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        if not self._wait(lambda: any(e['event'] == 'ready' for e in self._events), timeout):
            self.stop()
            raise RuntimeError(f'mock of {name} did not start')

    def _read(self):
        for line in self.process.stdout:
            with self._lock:
                self._events.append(json.loads(line))
                self._lock.notify_all()

    def _wait(self, condition, timeout):
        with self._lock:
            return self._lock.wait_for(condition, timeout)

    def calls(self):
        with self._lock:
            return [MockCall(e['time'], e['method'], e['args'])
                    for e in self._events if e['event'] == 'call']

    def wait_for_calls(self, count, timeout=10.0):
        self._wait(lambda: len(self.calls()) >= count, timeout)
        return self.calls()

    def pause(self):
        """Makes the service hang: the bus still lists it, nothing answers."""
        self.process.send_signal(signal.SIGSTOP)

    def resume(self):
        self.process.send_signal(signal.SIGCONT)

    def stop(self):
        if self.process.poll() is None and self.process.stdin:
            self.process.send_signal(signal.SIGCONT)
            self.process.stdin.close()
            try:
                self.process.wait(3.0)
            except subprocess.TimeoutExpired:
                pass
        _stop_process(self.process, reader=self._reader)


@dataclass
class WireCall:
    time: float
    sender: str
    destination: str
    path: str
    interface: str
    member: str
    signature: str = ''
    args: list = field(default_factory=list)


# dbus-monitor's words for the basic types; containers are marked by their first character.
_TYPE_CODES = {
    'string': 's', 'boolean': 'b', 'byte': 'y', 'int16': 'n', 'uint16': 'q', 'int32': 'i',
    'uint32': 'u', 'int64': 'x', 'uint64': 't', 'double': 'd', 'object path': 'o',
    'signature': 'g', 'variant': 'v', 'file descriptor': 'h', 'array': 'a', 'struct': '(',
}
_HEADER = re.compile(r'method call time=(?P<time>\S+) sender=(?P<sender>\S+) -> '
                     r'destination=(?P<destination>.*?) serial=\d+ path=(?P<path>[^;]*); '
                     r'interface=(?P<interface>[^;]*); member=(?P<member>\S+)')


class Monitor:
    """Every method call on one bus, read from dbus-monitor, with the types as sent."""

    def __init__(self, address, on_call=None):
        self.address = address
        self._on_call = on_call
        self._calls = []
        self._pending = None
        self._lock = threading.Condition()
        self._process = None
        self._reader = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self, timeout=10.0):
        # Line-buffered: piped, dbus-monitor would hold its output back in 4 KiB blocks.
        self._process = subprocess.Popen(
            ['stdbuf', '-oL', 'dbus-monitor', '--address', self.address, "type='method_call'"],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        # Listening once it has seen a call made after it started.
        import dbus
        connection = dbus.bus.BusConnection(self.address)
        marker = f'quorvel.monitor.ready{os.getpid()}x{id(self)}'
        deadline = time.monotonic() + timeout
        try:
            while time.monotonic() < deadline:
                connection.name_has_owner(marker)
                if self.wait_for(lambda c: marker in c.args, 0.1):
                    self.clear()
                    return
        finally:
            connection.close()
        self.stop()
        raise RuntimeError('dbus-monitor did not start listening')

    def stop(self):
        if self._process:
            _stop_process(self._process, reader=self._reader)
            self._process = None

    def calls(self):
        with self._lock:
            return list(self._calls)

    def clear(self):
        with self._lock:
            self._calls.clear()

    def wait_for(self, predicate, timeout=10.0):
        """The first call matching predicate, waiting up to timeout seconds; None if none."""
        def found():
            return next((c for c in self._calls if predicate(c)), None)
        with self._lock:
            self._lock.wait_for(lambda: found() is not None, timeout)
            return found()

    def _read(self):
        stream = self._process.stdout
        buffer = b''
        while True:
            ready, _, _ = select.select([stream], [], [], 0.03)
            if not ready:
                # dbus-monitor writes a message's lines together: a pause ends the message.
                self._finish_message()
                continue
            data = os.read(stream.fileno(), 65536)
            if not data:
                self._finish_message()
                return
            buffer += data
            *lines, buffer = buffer.split(b'\n')
            for line in lines:
                self._feed(line.decode('utf-8', 'replace'))

    def _feed(self, line):
        header = _HEADER.match(line)
        if header or not line.startswith('   '):
            self._finish_message()
            if header:
                fields = header.groupdict()
                self._pending = WireCall(time=float(fields.pop('time')), **fields)
            return
        if self._pending is None or line.startswith('    '):
            return  # inside a container
        text = line.strip()
        if not text or text[0] in ']})':
            return
        word = next((w for w in sorted(_TYPE_CODES, key=len, reverse=True)
                     if text == w or text.startswith(w + ' ')), None)
        if word is None:
            return
        value = text[len(word):].strip()
        if value.startswith('"') and value.endswith('"'):
            value = value[1:-1]
        self._pending.signature += _TYPE_CODES[word]
        self._pending.args.append(value)

    def _finish_message(self):
        call, self._pending = self._pending, None
        if call is None:
            return
        with self._lock:
            self._calls.append(call)
            self._lock.notify_all()
        if self._on_call:
            self._on_call(call)


def _emit(event):
    sys.stdout.write(json.dumps(event, default=str) + '\n')
    sys.stdout.flush()


def _plain(value):
    import dbus
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (list, tuple)):
        return [_plain(v) for v in value]
    if isinstance(value, dict):
        return {str(k): _plain(v) for k, v in value.items()}
    if isinstance(value, (int, float)):
        return value.real
    return str(value)


def serve_mock(options):
    check_test_environment(os.environ)
    _die_with_parent()
    import dbus
    import dbus.mainloop.glib
    import dbus.service
    from dbusmock.mockobject import DBusMockObject
    from gi.repository import GLib

    class ReportingMock(DBusMockObject):
        # dbusmock calls these for every mocked method: report on stdout, not as a D-Bus signal
        # and not into a log file.
        def MethodCalled(self, name, args):  # noqa: N802
            _emit({'event': 'call', 'time': time.time(), 'method': str(name),
                   'args': _plain(list(args))})

        def log(self, msg):
            pass

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    connection = dbus.bus.BusConnection(os.environ[BUS_VARIABLES[options.bus]])
    mock = ReportingMock(connection, options.path, options.interface, {})
    if options.template:
        mock.AddTemplate(options.template, json.loads(options.parameters or '{}'))
    for method, signature in options.method:
        mock.AddMethod(options.interface, method, signature, '', '')
    for method, error_name, message in options.error:
        signature = mock.methods.get(options.interface, {}).get(method, ('',))[0]
        code = f'raise dbus.exceptions.DBusException({message!r}, name={error_name!r})'
        mock.AddMethod(options.interface, method, signature, '', code)
    # The name comes last, so nobody can call before every method is in place.
    bus_name = dbus.service.BusName(options.name, connection, do_not_queue=True)

    loop = GLib.MainLoop()

    def on_stdin(*_):
        if sys.stdin.buffer.raw.read(4096):
            return True
        loop.quit()  # the test closed our input: it is done with this service
        return False

    GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT,
                      GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, on_stdin)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit())
    connection.call_on_disconnection(lambda _: loop.quit())
    _emit({'event': 'ready', 'pid': os.getpid(), 'name': bus_name.get_name(),
           'unique_name': connection.get_unique_name()})
    loop.run()
    return 0


def serve_monitor(options):
    check_test_environment(os.environ)
    _die_with_parent()

    def report(call):
        _emit({'event': 'call', **call.__dict__})

    monitor = Monitor(os.environ[BUS_VARIABLES[options.bus]], on_call=report)
    monitor.start()
    _emit({'event': 'ready'})
    try:
        while sys.stdin.buffer.raw.read(4096):
            pass
    finally:
        monitor.stop()
    return 0


def run(options):
    command = options.command[1:] if options.command[:1] == ['--'] else options.command
    if not command:
        raise SystemExit('buses.py run: no command given')
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    with PrivateBuses(desktop=options.desktop) as buses:
        process = subprocess.Popen(command, env=buses.env, preexec_fn=_die_with_parent)
        try:
            return process.wait()
        finally:
            _stop_process(process, timeout=10.0)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    commands = parser.add_subparsers(dest='subcommand', required=True)

    run_parser = commands.add_parser('run', help='run a command on two private buses')
    run_parser.add_argument('--desktop', help='XDG_CURRENT_DESKTOP for the command')
    run_parser.add_argument('command', nargs=argparse.REMAINDER)
    run_parser.set_defaults(handler=run)

    mock_parser = commands.add_parser('mock', help='serve one mocked service')
    mock_parser.add_argument('--bus', choices=BUS_VARIABLES, required=True)
    mock_parser.add_argument('--name', required=True)
    mock_parser.add_argument('--path', required=True)
    mock_parser.add_argument('--interface', required=True)
    mock_parser.add_argument('--template')
    mock_parser.add_argument('--parameters', help='JSON object for the template')
    mock_parser.add_argument('--method', nargs=2, action='append', default=[],
                             metavar=('NAME', 'SIGNATURE'))
    mock_parser.add_argument('--error', nargs=3, action='append', default=[],
                             metavar=('METHOD', 'ERROR_NAME', 'MESSAGE'))
    mock_parser.set_defaults(handler=serve_mock)

    monitor_parser = commands.add_parser('monitor', help='print the method calls on a bus')
    monitor_parser.add_argument('--bus', choices=BUS_VARIABLES, required=True)
    monitor_parser.set_defaults(handler=serve_monitor)

    options = parser.parse_args(argv)
    try:
        return options.handler(options)
    except UnsafeBus as refusal:
        sys.stderr.write(f'buses.py: refusing to run: {refusal}\n')
        return 3


if __name__ == '__main__':
    sys.exit(main())
