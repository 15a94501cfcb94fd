"""Headless Chromium driven over the DevTools protocol on a pipe (--remote-debugging-pipe), with
nothing but Python's standard library (the driver of tests/web/driver.py, plus what only DevTools
can do: touch, a phone's screen, flags), and a static server for the site on 127.0.0.1 (a free
port). Used by tests/web/check_site.py."""
import base64
import fcntl
import functools
import http.server
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from driver import Driver, center_expression, split_key

# Where the test server's page collects its console errors, for the engines whose protocol cannot
# (WebKit's classic WebDriver); a script put before everything else in the page it serves.
CONSOLE_WATCH = b"""<script>
window.korvanaTestErrors = [];
(() => {
  const error = console.error.bind(console);
  console.error = (...args) => { window.korvanaTestErrors.push(args.map(String).join(' ')); error(...args); };
  addEventListener('error', (e) => { window.korvanaTestErrors.push('uncaught: ' + e.message); });
  addEventListener('unhandledrejection', (e) => { window.korvanaTestErrors.push('unhandled rejection: ' + e.reason); });
})();
</script>
"""

class SiteHandler(http.server.SimpleHTTPRequestHandler):
    """Serves `site`; /missing/NAME answers 404 for NAME and serves the rest of the site, and
    /damaged/NAME serves NAME's first bytes followed by rubbish, so a page can be opened without
    a data file or with a damaged one. The page gets CONSOLE_WATCH first in its head."""
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, '.wasm': 'application/wasm'}

    def __init__(self, *args, site=None, **kwargs):
        super().__init__(*args, directory=site, **kwargs)

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        parts = self.path.split('?')[0].split('/')
        if len(parts) >= 4 and parts[1] in ('missing', 'damaged'):
            kind, name, rest = parts[1], parts[2], '/'.join(parts[3:])
            if rest == name and kind == 'missing':
                self.send_error(404)
                return
            if rest == name and kind == 'damaged':
                with open(os.path.join(self.directory, name), 'rb') as f:
                    head = f.read(4096)
                self._send(head[:64] + bytes((i * 37 + 11) & 0xFF for i in range(len(head) - 64)),
                           'application/octet-stream')
                return
            self.path = '/' + rest
        if self.path.split('?')[0] in ('/', '/index.html'):
            with open(os.path.join(self.directory, 'index.html'), 'rb') as f:
                self._send(f.read().replace(b'<head>\n', b'<head>\n' + CONSOLE_WATCH, 1), 'text/html; charset=utf-8')
            return
        super().do_GET()

    def _send(self, body, content_type):
        self.send_response(200)
        self.send_header('Content-Type', content_type)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class SiteServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser that leaves a page drops the downloads it still had running: no fault.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def serve(site):
    """Starts a server for `site` on 127.0.0.1 on a free port; returns (server, base URL)."""
    handler = functools.partial(SiteHandler, site=site)
    server = SiteServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, 'http://127.0.0.1:%d/' % server.server_address[1]


# DevTools key events: DOM key name -> (code, Windows virtual key code, text typed).
DEVTOOLS_KEYS = {
    ' ': ('Space', 32, ' '), 'Enter': ('Enter', 13, '\r'), 'Escape': ('Escape', 27, ''), 'Tab': ('Tab', 9, ''),
    'Backspace': ('Backspace', 8, ''), 'PageUp': ('PageUp', 33, ''), 'PageDown': ('PageDown', 34, ''),
    'End': ('End', 35, ''), 'Home': ('Home', 36, ''), 'ArrowLeft': ('ArrowLeft', 37, ''),
    'ArrowUp': ('ArrowUp', 38, ''), 'ArrowRight': ('ArrowRight', 39, ''), 'ArrowDown': ('ArrowDown', 40, ''),
    'F11': ('F11', 122, ''),
}
DEVTOOLS_MODIFIERS = {'Alt': 1, 'Control': 2, 'Meta': 4, 'Shift': 8}


def devtools_key(key):
    if key in DEVTOOLS_KEYS:
        return DEVTOOLS_KEYS[key]
    if len(key) == 1 and key.isalnum():
        return (('Key' if key.isalpha() else 'Digit') + key.upper(), ord(key.upper()), key)
    raise ValueError('no DevTools key for %r' % key)


class Chromium(Driver):
    """Headless Chromium on SwiftShader. `flags` are more command-line switches; `page_setup`
    holds DevTools commands (method, params) sent to every new page before it loads."""
    name = 'chromium'

    def __init__(self, chromium='chromium', width=800, height=600, flags=()):
        self.profile = tempfile.mkdtemp(prefix='korvana-chromium-')
        self.page_setup = []
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def pipes():
            # The protocol's fixed descriptors: 3 for commands in, 4 for answers out.
            a = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 10)
            b = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 10)
            os.dup2(a, 3)
            os.dup2(b, 4)

        self.process = subprocess.Popen(
            [chromium, '--headless=new', '--remote-debugging-pipe', '--no-sandbox', '--no-first-run',
             '--no-default-browser-check', '--disable-gpu-sandbox', '--use-angle=swiftshader',
             '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist',
             '--window-size=%d,%d' % (width, height), '--user-data-dir=' + self.profile] + list(flags) + ['about:blank'],
            preexec_fn=pipes, close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.answers = {}
        self.answer_ready = threading.Condition()
        self.events = queue.Queue()
        self.console = []
        threading.Thread(target=self._read, daemon=True).start()
        self.session = None

    def _read(self):
        buffer = b''
        while True:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                return
            buffer += chunk
            while b'\0' in buffer:
                message, buffer = buffer.split(b'\0', 1)
                data = json.loads(message)
                if 'id' in data:
                    with self.answer_ready:
                        self.answers[data['id']] = data
                        self.answer_ready.notify_all()
                else:
                    self._note_event(data)

    def _note_event(self, data):
        method, params = data.get('method'), data.get('params', {})
        if method == 'Runtime.consoleAPICalled':
            text = ' '.join(str(a.get('value', a.get('description', ''))) for a in params.get('args', []))
            self.console.append((params.get('type'), text))
        elif method == 'Runtime.exceptionThrown':
            details = params.get('exceptionDetails', {})
            self.console.append(('exception', details.get('exception', {}).get('description', details.get('text'))))
        elif method == 'Log.entryAdded':
            entry = params.get('entry', {})
            self.console.append(('log-' + entry.get('level', ''), entry.get('text', '') + ' ' + entry.get('url', '')))

    def send(self, method, params=None, session=True, timeout=60):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params or {}}
        if session and self.session:
            message['sessionId'] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b'\0')
        deadline = time.time() + timeout
        with self.answer_ready:
            while self.next_id not in self.answers:
                left = deadline - time.time()
                if left <= 0:
                    raise TimeoutError(method)
                self.answer_ready.wait(left)
            answer = self.answers.pop(self.next_id)
        if 'error' in answer:
            raise RuntimeError('%s: %s' % (method, answer['error']))
        return answer.get('result', {})

    def open(self, url):
        """Opens `url` in a new page and attaches to it; console messages are collected afresh."""
        if self.session:
            self.send('Target.closeTarget', {'targetId': self.target}, session=False)
        self.console = []
        self.target = self.send('Target.createTarget', {'url': 'about:blank'}, session=False)['targetId']
        self.session = self.send('Target.attachToTarget', {'targetId': self.target, 'flatten': True},
                                 session=False)['sessionId']
        for domain in ('Runtime', 'Log', 'Page'):
            self.send(domain + '.enable')
        for method, params in self.page_setup:
            self.send(method, params)
        self.send('Page.navigate', {'url': url})

    def evaluate(self, expression, timeout=60):
        result = self.send('Runtime.evaluate', {'expression': expression, 'awaitPromise': True,
                                                'returnByValue': True}, timeout=timeout)
        if 'exceptionDetails' in result:
            raise RuntimeError('%s: %s' % (expression, result['exceptionDetails']))
        return result['result'].get('value')

    def click(self, selector):
        x, y = self.evaluate(center_expression(selector))
        for kind in ('mousePressed', 'mouseReleased'):
            self.send('Input.dispatchMouseEvent', {'type': kind, 'x': x, 'y': y, 'button': 'left',
                                                   'clickCount': 1})

    def tap(self, x, y):
        """A finger's tap at (x, y) on a page with touch emulated."""
        self.send('Input.dispatchTouchEvent', {'type': 'touchStart', 'touchPoints': [{'x': x, 'y': y}]})
        self.send('Input.dispatchTouchEvent', {'type': 'touchEnd', 'touchPoints': []})

    def press_key(self, key):
        modifiers, key = split_key(key)
        code, virtual, text = devtools_key(key)
        bits = sum(DEVTOOLS_MODIFIERS[m] for m in modifiers)
        common = {'key': key, 'code': code, 'windowsVirtualKeyCode': virtual, 'modifiers': bits}
        self.send('Input.dispatchKeyEvent', dict(common, type='keyDown' if text and not bits else 'rawKeyDown',
                                                 **({'text': text} if text and not bits else {})))
        self.send('Input.dispatchKeyEvent', dict(common, type='keyUp'))

    def errors(self):
        return [text for kind, text in self.console if kind in ('error', 'exception', 'log-error')]

    def close(self):
        try:
            self.send('Browser.close', session=False, timeout=5)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        shutil.rmtree(self.profile, ignore_errors=True)


Browser = Chromium


def png_from_base64(text, path):
    with open(path, 'wb') as f:
        f.write(base64.b64decode(text))
