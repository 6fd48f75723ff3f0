"""The harness that keeps power tests off the machine's own buses, and what it reports."""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
from harness import buses  # noqa: E402

BUSES_PY = str(Path(buses.__file__).resolve())


class RefusesRealBuses(unittest.TestCase):
    def test_system_bus_addresses_refused(self):
        with tempfile.TemporaryDirectory() as directory:
            disguised = os.path.join(directory, 'system_bus_socket')
            os.symlink('/run/dbus/system_bus_socket', disguised)
            cases = {
                'unset': None,
                'empty': '',
                'real socket': 'unix:path=/run/dbus/system_bus_socket',
                'real socket by /var/run, with guid':
                    'unix:path=/var/run/dbus/system_bus_socket,guid=0123456789abcdef',
                'symlink to the real socket': f'unix:path={disguised}',
                'abstract socket': 'unix:abstract=/tmp/dbus-test',
                'runtime directory': 'unix:runtime=yes',
                'tcp': 'tcp:host=localhost,port=4711',
                'real socket as second choice':
                    'unix:path=/tmp/private/system_bus_socket;unix:path=/run/dbus/system_bus_socket',
            }
            for label, address in cases.items():
                with self.subTest(label), self.assertRaises(buses.UnsafeBus):
                    buses.refuse_real_system_bus(address)

    def test_private_socket_accepted(self):
        self.assertEqual(
            buses.refuse_real_system_bus('unix:path=/tmp/q/system_bus_socket,guid=0123'),
            '/tmp/q/system_bus_socket')

    def test_environment_must_be_the_one_run_made(self):
        directory = '/tmp/quorvel-buses-x'
        good = {
            'QUORVEL_TEST_BUS_DIR': directory,
            'DBUS_SESSION_BUS_ADDRESS': f'unix:path={directory}/session_bus_socket,guid=01',
            'DBUS_SYSTEM_BUS_ADDRESS': f'unix:path={directory}/system_bus_socket,guid=02',
        }
        buses.check_test_environment(good)
        cases = {
            'no bus directory': {'QUORVEL_TEST_BUS_DIR': ''},
            'no system bus': {'DBUS_SYSTEM_BUS_ADDRESS': ''},
            'system bus elsewhere': {'DBUS_SYSTEM_BUS_ADDRESS': 'unix:path=/tmp/other/socket'},
            'session bus elsewhere': {'DBUS_SESSION_BUS_ADDRESS': 'unix:path=/run/user/0/bus'},
            'starter bus set': {'DBUS_STARTER_BUS_TYPE': 'system'},
        }
        for label, change in cases.items():
            with self.subTest(label), self.assertRaises(buses.UnsafeBus):
                buses.check_test_environment({**good, **change})

    def test_helpers_refuse_outside_run(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith(('DBUS_', 'QUORVEL_'))}
        for command in (['mock', '--bus', 'system', '--name', 'org.freedesktop.login1', '--path',
                         '/org/freedesktop/login1', '--interface', 'org.freedesktop.login1.Manager',
                         '--template', 'logind'],
                        ['monitor', '--bus', 'system']):
            with self.subTest(command[0]):
                result = subprocess.run([buses.PYTHON, BUSES_PY, *command], env=env,
                                        stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                        timeout=30)
                self.assertEqual(result.returncode, 3)
                self.assertIn('refusing to run', result.stderr)


class PrivateBusesAtWork(unittest.TestCase):
    def setUp(self):
        self.buses = buses.PrivateBuses(desktop='XFCE')
        self.buses.__enter__()
        self.addCleanup(self.buses.__exit__, None, None, None)

    def send(self, bus, *arguments, timeout_ms=2000):
        return subprocess.run(['dbus-send', f'--{bus}', '--print-reply',
                               f'--reply-timeout={timeout_ms}', *arguments],
                              env=self.buses.env, capture_output=True, text=True, timeout=30)

    def test_environment(self):
        env = self.buses.env
        for variable in ('DBUS_SESSION_BUS_ADDRESS', 'DBUS_SYSTEM_BUS_ADDRESS'):
            socket = buses.socket_path(env[variable])
            self.assertEqual(os.path.dirname(socket), self.buses.directory)
        self.assertNotEqual(env['DBUS_SESSION_BUS_ADDRESS'], env['DBUS_SYSTEM_BUS_ADDRESS'])
        self.assertNotIn('DBUS_STARTER_ADDRESS', env)
        self.assertEqual(env['XDG_CURRENT_DESKTOP'], 'XFCE')

    def test_monitor_shows_types_the_mock_hides(self):
        gnome = self.buses.start_service('session', 'org.gnome.SessionManager',
                                         '/org/gnome/SessionManager', 'org.gnome.SessionManager',
                                         methods={'Logout': 'u'})
        with self.buses.monitor('session') as wire:
            result = self.send('session', '--dest=org.gnome.SessionManager',
                               '/org/gnome/SessionManager', 'org.gnome.SessionManager.Logout',
                               'int32:1')
            self.assertEqual(result.returncode, 0, result.stderr)
            call = wire.wait_for(lambda c: c.member == 'Logout')
        # dbusmock took the int32 for the declared uint32; the wire says what was sent.
        self.assertEqual([(c.method, c.args) for c in gnome.wait_for_calls(1)], [('Logout', [1])])
        self.assertEqual((call.interface, call.path, call.signature, call.args),
                         ('org.gnome.SessionManager', '/org/gnome/SessionManager', 'i', ['1']))

    def test_logind_template_with_an_error(self):
        logind = self.buses.start_logind(
            errors={'PowerOff': ('org.freedesktop.DBus.Error.AccessDenied', 'Permission denied')})
        reboot = self.send('system', '--dest=org.freedesktop.login1', '/org/freedesktop/login1',
                           'org.freedesktop.login1.Manager.Reboot', 'boolean:true')
        power_off = self.send('system', '--dest=org.freedesktop.login1', '/org/freedesktop/login1',
                              'org.freedesktop.login1.Manager.PowerOff', 'boolean:true')
        self.assertEqual(reboot.returncode, 0, reboot.stderr)
        self.assertNotEqual(power_off.returncode, 0)
        self.assertIn('org.freedesktop.DBus.Error.AccessDenied: Permission denied',
                      power_off.stderr)
        self.assertEqual([(c.method, c.args) for c in logind.wait_for_calls(2)],
                         [('Reboot', [True]), ('PowerOff', [True])])

    def test_paused_service_does_not_answer(self):
        xfce = self.buses.start_service('session', 'org.xfce.SessionManager',
                                        '/org/xfce/SessionManager', 'org.xfce.Session.Manager',
                                        methods={'Shutdown': 'b'})
        call = ('--dest=org.xfce.SessionManager', '/org/xfce/SessionManager',
                'org.xfce.Session.Manager.Shutdown', 'boolean:true')
        xfce.pause()
        hung = self.send('session', *call, timeout_ms=300)
        xfce.resume()
        self.assertIn('NoReply', hung.stderr)
        answered = self.send('session', *call)
        self.assertEqual(answered.returncode, 0, answered.stderr)

    def test_run_exports_the_buses_and_passes_the_status_on(self):
        script = ('import os, sys; print(os.environ["DBUS_SYSTEM_BUS_ADDRESS"]); '
                  'print(os.environ.get("XDG_CURRENT_DESKTOP", "-")); sys.exit(7)')
        env = {**os.environ, 'XDG_CURRENT_DESKTOP': 'KDE'}
        result = subprocess.run([buses.PYTHON, BUSES_PY, 'run', '--', buses.PYTHON, '-c', script],
                                env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 7, result.stderr)
        system_address, desktop = result.stdout.split()
        socket = buses.socket_path(system_address)
        self.assertTrue(os.path.basename(os.path.dirname(socket)).startswith('quorvel-buses-'))
        self.assertFalse(os.path.exists(socket))  # cleaned up
        self.assertEqual(desktop, '-')


if __name__ == '__main__':
    unittest.main()
