"""WebKit (WebKitGTK's MiniBrowser, the engine of Safari) driven through WebKitWebDriver, a W3C
WebDriver server over HTTP, with Python's standard library; under a private Xvfb, where it draws
WebGL 2 on Mesa's llvmpipe. Classic WebDriver has no console, and MiniBrowser under automation
does not print it: the errors are those the test server's watch on the page collected
(console.error, uncaught exceptions and rejections; browser.py's SiteHandler)."""
import glob
import json
import subprocess
import time
import urllib.error
import urllib.request

from desktop import Desktop, free_port, stop
from driver import Driver, as_json, center_expression, click_actions, key_actions

# webkit2gtk-driver's browser, in the machine's multiarch folder.
MINIBROWSER = (glob.glob('/usr/lib/*/webkit2gtk-4.1/MiniBrowser') or ['MiniBrowser'])[0]


class WebKit(Driver):
    name = 'webkit'

    def __init__(self, sound=True, width=800, height=600):
        self.desktop = Desktop(sound)
        self.process = None
        self.session = None
        try:
            self._start(width, height)
        except BaseException:
            self.close()
            raise

    def _start(self, width, height):
        port = free_port()
        self.base = 'http://127.0.0.1:%d' % port
        self.process = subprocess.Popen(['WebKitWebDriver', '--port=%d' % port], env=self.desktop.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        deadline = time.time() + 20
        while True:
            try:
                self._request('GET', '/status', timeout=2)
                break
            except (OSError, RuntimeError):
                if self.process.poll() is not None or time.time() > deadline:
                    raise RuntimeError('WebKitWebDriver did not start')
                time.sleep(0.1)
        # The 'normal' strategy: under 'eager' (back at DOMContentLoaded) the next command on a new
        # page now and then waits for a navigation WebKitWebDriver never sees finish, until the
        # page load timeout (a GET /url hung in about one page of three, most often the first).
        capabilities = {'browserName': 'MiniBrowser', 'pageLoadStrategy': 'normal',
                        'webkitgtk:browserOptions': {
                            'binary': MINIBROWSER,
                            'args': ['--automation']}}
        answer = self._request('POST', '/session', {'capabilities': {'alwaysMatch': capabilities}}, timeout=60)
        self.session = '/session/' + answer['sessionId']
        self._request('POST', self.session + '/timeouts', {'script': 120000, 'pageLoad': 120000})
        self._request('POST', self.session + '/window/rect', {'x': 0, 'y': 0, 'width': width, 'height': height})

    def _request(self, method, path, body=None, timeout=60):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={'Content-Type': 'application/json'})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as response:
                answer = json.loads(response.read() or b'{}')
        except urllib.error.HTTPError as e:
            answer = json.loads(e.read() or b'{}')
        except TimeoutError:
            raise TimeoutError('%s %s' % (method, path))
        value = answer.get('value')
        if isinstance(value, dict) and 'error' in value:
            raise RuntimeError('%s %s: %s: %s' % (method, path, value['error'], value.get('message', '')))
        return value

    def open(self, url):
        # The browser must really be at `url` afterwards: a navigation that did not take would
        # leave a test waiting on another page until its time runs out. Said when it happens.
        for _ in range(3):
            self._request('POST', self.session + '/url', {'url': url})
            at = self._request('GET', self.session + '/url')
            if at == url:
                return
            print('      webkit: asked for %s, still at %s; asking again' % (url, at), flush=True)
        raise RuntimeError('WebKit does not go to %s' % url)

    def evaluate(self, expression, timeout=60):
        script = ('const done = arguments[1];'
                  ' (0, eval)(arguments[0]).then((v) => done({value: v}), (e) => done({error: String(e)}));')
        answer = self._request('POST', self.session + '/execute/async',
                               {'script': script, 'args': [as_json(expression)]}, timeout=timeout)
        if answer is None or 'error' in answer:
            raise RuntimeError('%s: %s' % (expression, answer and answer['error']))
        return json.loads(answer['value'])

    def _perform(self, actions):
        self._request('POST', self.session + '/actions', {'actions': actions})
        self._request('DELETE', self.session + '/actions')

    def click(self, selector):
        self._perform(click_actions(*self.evaluate(center_expression(selector))))

    def press_key(self, key):
        self._perform(key_actions(key))

    def errors(self):
        return self.evaluate('window.korvanaTestErrors || ["the page has no watch on its console"]')

    def close(self):
        if self.session:
            try:
                self._request('DELETE', self.session, timeout=10)
            except Exception:
                pass
            self.session = None
        stop(self.process)
        self.desktop.close()
