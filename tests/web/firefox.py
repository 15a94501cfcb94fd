"""Firefox (Debian's firefox-esr) driven over WebDriver BiDi, which it speaks itself, with
python3-websocket; under a private Xvfb, not headless: headless Firefox has no WebGL here, under
Xvfb it draws WebGL 2 on Mesa's llvmpipe."""
import json
import os
import queue
import re
import subprocess
import threading
import time

import websocket

from desktop import Desktop, stop
from driver import Driver, as_json, center_expression, click_actions, key_actions

# No first-run pages, no updates, no reports, nothing that asks the viewer anything.
PREFERENCES = {
    'browser.shell.checkDefaultBrowser': False,
    'browser.aboutwelcome.enabled': False,
    'browser.startup.homepage_override.mstone': 'ignore',
    'datareporting.policy.dataSubmissionEnabled': False,
    'toolkit.telemetry.reportingpolicy.firstRun': False,
    'app.update.disabledForTesting': True,
    'browser.sessionstore.resume_from_crash': False,
    'full-screen-api.warning.timeout': 0,
    'full-screen-api.transition-duration.enter': '0 0',
    'full-screen-api.transition-duration.leave': '0 0',
}


class Firefox(Driver):
    name = 'firefox'

    def __init__(self, sound=True, width=800, height=600, binary='firefox-esr'):
        self.desktop = Desktop(sound)
        self.process = self.socket = None
        self.context = None
        self.console = []
        self.next_id = 0
        self.answers = {}
        self.answer_ready = threading.Condition()
        try:
            self._start(binary, width, height)
        except BaseException:
            self.close()
            raise

    def _start(self, binary, width, height):
        profile = os.path.join(self.desktop.home, 'profile')
        os.mkdir(profile)
        with open(os.path.join(profile, 'user.js'), 'w') as f:
            for name, value in PREFERENCES.items():
                f.write('user_pref(%s, %s);\n' % (json.dumps(name), json.dumps(value)))
        self.process = subprocess.Popen(
            [binary, '--profile', profile, '--no-remote', '--new-instance', '--remote-debugging-port=0',
             '-width', str(width), '-height', str(height), 'about:blank'],
            env=self.desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        addresses = queue.Queue()

        def read_stderr():
            # "WebDriver BiDi listening on ws://127.0.0.1:PORT"; the rest is drained so Firefox never blocks.
            for raw in self.process.stderr:
                match = re.search(rb'WebDriver BiDi listening on (ws://\S+)', raw)
                if match:
                    addresses.put(match.group(1).decode())

        threading.Thread(target=read_stderr, daemon=True).start()
        try:
            address = addresses.get(timeout=60)
        except queue.Empty:
            raise RuntimeError('Firefox did not start its WebDriver BiDi server')
        self.socket = websocket.create_connection(address + '/session', timeout=60, suppress_origin=True)
        self.socket.settimeout(None)
        threading.Thread(target=self._read, daemon=True).start()
        self.send('session.new', {'capabilities': {'alwaysMatch': {'acceptInsecureCerts': False}}})
        self.send('session.subscribe', {'events': ['log.entryAdded']})
        self.context = self.send('browsingContext.getTree', {})['contexts'][0]['context']

    def _read(self):
        while True:
            try:
                data = json.loads(self.socket.recv())
            except Exception:
                return
            if data.get('id') is not None:
                with self.answer_ready:
                    self.answers[data['id']] = data
                    self.answer_ready.notify_all()
            elif data.get('method') == 'log.entryAdded':
                entry = data['params']
                if entry.get('source', {}).get('context') == self.context:
                    self.console.append((entry.get('level'), entry.get('text')))

    def send(self, method, params, timeout=60):
        with self.answer_ready:
            self.next_id += 1
            number = self.next_id
        self.socket.send(json.dumps({'id': number, 'method': method, 'params': params}))
        deadline = time.time() + timeout
        with self.answer_ready:
            while number not in self.answers:
                left = deadline - time.time()
                if left <= 0:
                    raise TimeoutError(method)
                self.answer_ready.wait(left)
            answer = self.answers.pop(number)
        if answer.get('type') == 'error':
            raise RuntimeError('%s: %s: %s' % (method, answer.get('error'), answer.get('message')))
        return answer.get('result', {})

    def open(self, url):
        """A new tab at `url` (the old one closed), so nothing of the last page is left."""
        old = self.context
        self.context = self.send('browsingContext.create', {'type': 'tab'})['context']
        self.console = []
        self.send('browsingContext.close', {'context': old})
        self.send('browsingContext.navigate', {'context': self.context, 'url': url, 'wait': 'interactive'})

    def evaluate(self, expression, timeout=60):
        result = self.send('script.evaluate', {'expression': as_json(expression), 'target': {'context': self.context},
                                               'awaitPromise': True, 'resultOwnership': 'none'}, timeout=timeout)
        if result.get('type') != 'success':
            raise RuntimeError('%s: %s' % (expression, result.get('exceptionDetails', {}).get('text')))
        return json.loads(result['result']['value'])

    def _perform(self, actions):
        self.send('input.performActions', {'context': self.context, 'actions': actions})
        self.send('input.releaseActions', {'context': self.context})

    def click(self, selector):
        self._perform(click_actions(*self.evaluate(center_expression(selector))))

    def press_key(self, key):
        self._perform(key_actions(key))

    def errors(self):
        return [text for level, text in self.console if level == 'error']

    def close(self):
        if self.socket:
            try:
                self.send('browser.close', {}, timeout=10)
            except Exception:
                pass
            try:
                self.socket.close()
            except Exception:
                pass
            self.socket = None
        stop(self.process)
        self.desktop.close()
