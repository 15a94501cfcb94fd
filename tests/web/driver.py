"""What every browser driver of the web tests offers (tests/web/browser.py for Chromium,
firefox.py, webkit.py), so that each check runs the same in every engine:

    open(url)                 a fresh page at `url`; its console is collected afresh
    evaluate(js)              the value of the expression `js` (a promise is awaited), as JSON gives it
    wait_for(js, timeout)     polls `js` until it is true; its value, or TimeoutError
    click(selector)           a real mouse click in the middle of the element
    press_key(key)            a real key press: DOM key names (' ', 'Enter', 'ArrowRight', 'm',
                              'Escape', ...), with modifiers as 'Alt+Enter'
    errors()                  the console's errors and uncaught exceptions since open()
    close()                   ends the browser and everything started for it
    name                      'chromium', 'firefox' or 'webkit'
"""
import json
import time

# The W3C WebDriver code points of the named keys (WebDriver and WebDriver BiDi input actions).
WEBDRIVER_KEYS = {
    'Enter': '\ue007', 'Escape': '\ue00c', 'Tab': '\ue004', 'Backspace': '\ue003', 'Shift': '\ue008',
    'Control': '\ue009', 'Alt': '\ue00a', 'Meta': '\ue03d', 'PageUp': '\ue00e', 'PageDown': '\ue00f',
    'End': '\ue010', 'Home': '\ue011', 'ArrowLeft': '\ue012', 'ArrowUp': '\ue013', 'ArrowRight': '\ue014',
    'ArrowDown': '\ue015', 'F11': '\ue03b',
}
MODIFIERS = ('Alt', 'Control', 'Shift', 'Meta')


def split_key(key):
    """'Alt+Enter' -> (['Alt'], 'Enter'); '+' and ' ' stay keys of their own."""
    parts = key.split('+') if len(key) > 1 else [key]
    if len(parts) > 1 and all(p in MODIFIERS for p in parts[:-1]) and parts[-1]:
        return parts[:-1], parts[-1]
    return [], key


def key_actions(key):
    """The input actions of one key press, for WebDriver and WebDriver BiDi."""
    modifiers, key = split_key(key)
    code = lambda k: WEBDRIVER_KEYS.get(k, k)  # noqa: E731
    down = [{'type': 'keyDown', 'value': code(m)} for m in modifiers]
    up = [{'type': 'keyUp', 'value': code(m)} for m in reversed(modifiers)]
    return [{'type': 'key', 'id': 'keyboard',
             'actions': down + [{'type': 'keyDown', 'value': code(key)}, {'type': 'keyUp', 'value': code(key)}] + up}]


def click_actions(x, y):
    return [{'type': 'pointer', 'id': 'mouse', 'parameters': {'pointerType': 'mouse'},
             'actions': [{'type': 'pointerMove', 'x': int(x), 'y': int(y)},
                         {'type': 'pointerDown', 'button': 0}, {'type': 'pointerUp', 'button': 0}]}]


# The expression's value as JSON text, so that every protocol hands back plain values alike.
def as_json(expression):
    return ('(async () => { const value = await (%s); return value === undefined ? "null" : JSON.stringify(value); })()'
            % expression)


def center_expression(selector):
    return ('(() => { const r = document.querySelector(%s).getBoundingClientRect();'
            ' return [r.x + r.width / 2, r.y + r.height / 2]; })()' % json.dumps(selector))


class Driver:
    name = ''

    def evaluate(self, expression, timeout=60):
        raise NotImplementedError

    def wait_for(self, expression, timeout):
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                value = self.evaluate(expression, timeout=max(1, deadline - time.time()))
            except (RuntimeError, TimeoutError):
                value = None
            if value:
                return value
            time.sleep(0.1)
        raise TimeoutError(expression)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
