"""What a browser under test needs besides itself, each started privately and always stopped:
an X server of its own (Xvfb on the display it picks, -displayfd), a PulseAudio server with a
null sink (its own XDG_RUNTIME_DIR), a home folder, a free port. Used by tests/web/firefox.py and
tests/web/webkit.py."""
import os
import shutil
import socket
import subprocess
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def stop(process, timeout=10):
    """Ends `process` (and the group it leads) for certain: TERM, then KILL."""
    if process is None or process.poll() is not None:
        return
    try:
        os.killpg(process.pid, 15)
    except ProcessLookupError:
        return
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(process.pid, 9)
        except ProcessLookupError:
            pass
        process.wait()


class Desktop:
    """A private X display, a private home and runtime folder, and, with `sound`, a PulseAudio
    server with one null sink. `env` is the environment for a browser on it; without sound it
    names a server that does not exist, so the browser has no audio output at all."""

    def __init__(self, sound, width=1024, height=768):
        self.xvfb = self.pulse = None
        self.home = tempfile.mkdtemp(prefix='korvana-desktop-')
        try:
            self._start(sound, width, height)
        except BaseException:
            self.close()
            raise

    def _start(self, sound, width, height):
        runtime = os.path.join(self.home, 'run')
        os.mkdir(runtime, 0o700)
        client_conf = os.path.join(self.home, 'pulse-client.conf')
        with open(client_conf, 'w') as f:
            f.write('autospawn = no\n')  # a browser must never start a sound server of its own
        self.env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=runtime, PULSE_CLIENTCONFIG=client_conf,
                        XDG_CONFIG_HOME=os.path.join(self.home, 'config'),
                        XDG_CACHE_HOME=os.path.join(self.home, 'cache'), NO_AT_BRIDGE='1')
        for name in ('DBUS_SESSION_BUS_ADDRESS', 'WAYLAND_DISPLAY', 'XAUTHORITY'):
            self.env.pop(name, None)

        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % (width, height),
             '-nolisten', 'tcp', '-noreset'],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b''
        deadline = time.time() + 20
        while not number.endswith(b'\n') and time.time() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            raise RuntimeError('Xvfb did not start')
        self.env['DISPLAY'] = ':' + number.strip().decode()

        if not sound:
            self.env['PULSE_SERVER'] = 'unix:' + os.path.join(runtime, 'no-sound-server')
            return
        self.pulse = subprocess.Popen(
            ['pulseaudio', '-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no',
             '--log-target=stderr', '--log-level=error', '--load=module-null-sink',
             '--load=module-native-protocol-unix'],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        socket_path = os.path.join(runtime, 'pulse', 'native')
        deadline = time.time() + 20
        while not os.path.exists(socket_path):
            if self.pulse.poll() is not None or time.time() > deadline:
                raise RuntimeError('pulseaudio did not start')
            time.sleep(0.05)
        self.env['PULSE_SERVER'] = 'unix:' + socket_path

    def close(self):
        stop(self.pulse)
        stop(self.xvfb)
        shutil.rmtree(self.home, ignore_errors=True)
