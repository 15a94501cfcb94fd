"""The web checks that need what only Chromium's DevTools can do (called by check_site.py): a
phone's screen with touch, the network gone after one visit, a browser without WebGL 2, a lost
WebGL context, a tab hidden and shown again, and a sound that never starts or starts late
(headless Chromium always has an audio output)."""
import base64
import os
import shutil
import subprocess
import tempfile
import time

from browser import Chromium, serve

NOTICE = 'document.getElementById("notice").hidden ? "" : document.getElementById("notice").textContent'


def silent_start(browser, base, test):
    """`test` with the sound held back for ever, as Firefox does on a machine without audio output."""
    browser.page_setup = [('Page.addScriptToEvaluateOnNewDocument',
                           {'source': 'AudioContext.prototype.resume = function () { return new Promise(() => {}); };'})]
    try:
        test(browser, base)
    finally:
        browser.page_setup = []


def late_sound_test(browser, base, check):
    """A sound held back at the start (the first resume() never settles) that a later click lets
    start: the music joins the show in step and the page's word about it goes."""
    browser.page_setup = [('Page.addScriptToEvaluateOnNewDocument', {'source': """
        const resume = AudioContext.prototype.resume;
        let calls = 0;
        AudioContext.prototype.resume = function () { return ++calls === 1 ? new Promise(() => {}) : resume.call(this); };"""})]
    try:
        browser.open(base + '?seek=40')
        browser.wait_for('window.Module && Module.korvana && !document.getElementById("play").hidden', 90)
        browser.press_key('Enter')
        browser.wait_for('Module.korvana.started && ' + NOTICE, 10)
        time.sleep(1.0)
        browser.click('#canvas')
        browser.wait_for('Module.korvana.musicTime() !== null', 10)
        time.sleep(1.0)
        gaps = []
        for _ in range(5):
            gaps.append(browser.evaluate('Module.korvana.showTime() - Module.korvana.musicTime() * 1000'))
            time.sleep(0.1)
        gap = sorted(gaps)[len(gaps) // 2]
        notice = browser.evaluate(NOTICE)
        check(abs(gap) <= 20 and not notice,
              'a sound that starts on a later click joins the show in step (%.1f ms) and the word goes (%r)'
              % (gap, notice[:30]))
        browser.press_key('Escape')
    finally:
        browser.page_setup = []


def brightest(png, x, y, width, height):
    """The brightest value (0-255) in a rectangle of the picture `png`."""
    out = subprocess.run(['convert', png, '-crop', '%dx%d+%d+%d' % (width, height, x, y), '+repage',
                          '-format', '%[fx:int(255*maxima)]', 'info:'], capture_output=True, text=True, check=True)
    return int(out.stdout.strip())


def screen_picture(browser, path):
    with open(path, 'wb') as f:
        f.write(base64.b64decode(browser.send('Page.captureScreenshot', {'format': 'png'})['data']))


def phone_test(browser, base, check):
    """390 x 844 with touch: the picture letterboxed, a tap on it (not on the button) starts the
    show; turned to landscape, the picture is letterboxed the other way."""
    metrics = {'width': 390, 'height': 844, 'deviceScaleFactor': 2, 'mobile': True}
    browser.page_setup = [('Emulation.setDeviceMetricsOverride', metrics),
                          ('Emulation.setTouchEmulationEnabled', {'enabled': True, 'maxTouchPoints': 5})]
    work = tempfile.mkdtemp(prefix='korvana-phone-')
    try:
        browser.open(base + '?seek=40')
        browser.wait_for('window.Module && Module.korvana && !document.getElementById("play").hidden', 90)
        button = browser.evaluate('(() => { const r = document.getElementById("play").getBoundingClientRect();'
                                  ' return [r.left, r.top, r.right, r.bottom, innerWidth, innerHeight, "ontouchstart" in window]; })()')
        left, top, right, bottom, width, height, touch = button
        check(touch and (width, height) == (390, 844) and left >= 0 and right <= 390 and top >= 0 and bottom <= 844,
              'on a 390 x 844 touch screen the play button is on the screen (%s)' % button)
        # 4:3 in 390 x 844: a picture 292.5 high in the middle, black above and below.
        browser.tap(40, 422 + 100)
        browser.wait_for('Module.korvana.started && Module.korvana.frames > 5', 10)
        time.sleep(0.5)
        def letterboxed(name, bands, picture, what):
            """Black in the bands, the show in the picture's rectangle (each x, y, width, height)."""
            shot = os.path.join(work, name)
            screen_picture(browser, shot)
            dark = [brightest(shot, *band) for band in bands]
            bright = brightest(shot, *picture)
            check(max(dark) < 8 and bright > 40, '%s (bands %s, picture %d)' % (what, dark, bright))

        letterboxed('portrait.png', [(0, 0, 780, 500), (0, 1188, 780, 500)], (0, 600, 780, 488),
                    'a tap on the picture starts the show, letterboxed on a phone held upright')
        browser.send('Emulation.setDeviceMetricsOverride', dict(metrics, width=844, height=390))
        time.sleep(1.0)
        letterboxed('landscape.png', [(0, 0, 300, 780), (1388, 0, 300, 780)], (400, 0, 888, 780),
                    'turned on its side the picture is letterboxed again, bars left and right')
        errors = browser.errors()
        check(not errors, 'no console error on the phone %s' % (errors[:3] if errors else ''))
    finally:
        browser.page_setup = []
        shutil.rmtree(work, ignore_errors=True)


def offline_test(browser, site, check):
    """One visit, then the server gone: the page comes back from the service worker and plays with
    its music. Also installable (Chromium finds nothing missing in the manifest), and counting the
    bytes while it loads."""
    server, base = serve(site)  # an origin of its own, so the worker is this test's alone
    # The first visit on a slow network (4 MB/s), where the page counts what it loads.
    browser.page_setup = [('Network.enable', {}),
                          ('Network.emulateNetworkConditions', {'offline': False, 'latency': 20,
                                                                'downloadThroughput': 4 << 20, 'uploadThroughput': -1})]
    try:
        browser.open(base + '?seek=40')
        progress = browser.wait_for('(() => { const t = document.getElementById("status").textContent;'
                                    ' return /archive [0-9.]+ of [0-9.]+ MB/.test(t) && /music/.test(t) && t; })()', 30)
        check(progress.startswith('Loading… program'), 'the page counts what it loads: %r' % progress)
        browser.send('Network.emulateNetworkConditions', {'offline': False, 'latency': 0, 'downloadThroughput': -1,
                                                          'uploadThroughput': -1})
        browser.page_setup = []
        browser.wait_for('window.Module && Module.korvana && Module.korvana.firstFrameAt', 90)
        kept = browser.wait_for('navigator.serviceWorker.ready.then(() => caches.open("korvana-site"))'
                                '.then((c) => c.keys()).then((k) => k.length >= 10 && k.length)', 60)
        problems = browser.send('Page.getInstallabilityErrors').get('installabilityErrors', [])
        check(not problems, 'the page can be installed: %s' % [p.get('errorId') for p in problems])
    finally:
        browser.page_setup = []
        server.shutdown()
        server.server_close()
    browser.open(base + '?seek=40')
    browser.wait_for('window.Module && Module.korvana && !document.getElementById("play").hidden', 90)
    browser.click('#play')
    browser.wait_for('Module.korvana.musicTime() !== null', 20)
    time.sleep(1.0)
    frames, music, state = browser.evaluate('[Module.korvana.frames, Module.korvana.musicTime(), Module.korvana.music.context.state]')
    check(frames > 10 and state == 'running' and music > 40.5,
          'with the server gone the page plays from its %d kept files, music and all (%d frames, music at %.1f s)'
          % (kept, frames, music))
    browser.press_key('Escape')


def no_webgl_test(base, check):
    """A browser with WebGL turned off hears why at once, before any click, in plain words."""
    browser = Chromium(flags=['--disable-webgl', '--disable-3d-apis'])
    try:
        browser.open(base)
        text = browser.wait_for(NOTICE, 30)
        time.sleep(1.0)
        play, message = browser.evaluate('[document.getElementById("play").hidden,'
                                         ' document.getElementById("message").hidden]')
        check(text.startswith('This browser cannot draw the show') and 'Firefox' in text and play and message,
              'without WebGL 2 the page says this browser cannot draw the show, and which can: %r' % text[:50])
    finally:
        browser.close()


def context_loss_test(browser, base, check):
    """A WebGL context taken away while the show plays ends it with a word, not a dead canvas."""
    browser.open(base + '?seek=40&mute')
    browser.wait_for('window.Module && Module.korvana && !document.getElementById("play").hidden', 90)
    browser.click('#play')
    browser.wait_for('Module.korvana.started && Module.korvana.frames > 5', 10)
    browser.evaluate('document.getElementById("canvas").getContext("webgl2").getExtension("WEBGL_lose_context").loseContext()')
    code = browser.wait_for('Module.korvana.exitCode !== null && String(Module.korvana.exitCode)', 20)
    text = browser.evaluate(NOTICE)
    check(code == '0' and 'Reload the page' in text,
          'a lost WebGL context ends the show and says so: %r (exit code %s)' % (text[:50], code))
    errors = browser.errors()
    check(not errors, 'no console error when the context is lost %s' % (errors[:3] if errors else ''))


def hidden_tab_test(browser, base, check):
    """Another tab in front for two seconds (the browser leaves full screen): the show and its music
    play on, and back in view the show goes on in step."""
    browser.open(base + '?seek=40')
    browser.wait_for('window.Module && Module.korvana && !document.getElementById("play").hidden', 90)
    browser.click('#play')
    browser.wait_for('Module.korvana.musicTime() !== null', 20)
    show = browser.target
    other = browser.send('Target.createTarget', {'url': 'about:blank'}, session=False)['targetId']
    browser.send('Target.activateTarget', {'targetId': other}, session=False)
    time.sleep(2.0)
    hidden = browser.evaluate('document.visibilityState')
    browser.send('Target.activateTarget', {'targetId': show}, session=False)
    browser.send('Target.closeTarget', {'targetId': other}, session=False)
    time.sleep(0.5)
    frames0 = browser.evaluate('Module.korvana.frames')
    time.sleep(1.0)
    frames1, gap, code = browser.evaluate('[Module.korvana.frames, Module.korvana.showTime() - Module.korvana.musicTime() * 1000,'
                                          ' Module.korvana.exitCode]')
    check(hidden == 'hidden' and code is None and frames1 - frames0 > 5 and abs(gap) <= 20,
          'a tab hidden (%s) and shown again goes on playing in step (%d frames in 1 s, %.1f ms from the music)'
          % (hidden, frames1 - frames0, gap))
    browser.press_key('Escape')


def run(browser, base, options, run_step, check):
    run_step('chromium late sound', lambda: late_sound_test(browser, base, check))
    run_step('chromium hidden tab', lambda: hidden_tab_test(browser, base, check))
    run_step('chromium phone', lambda: phone_test(browser, base, check))
    run_step('chromium context loss', lambda: context_loss_test(browser, base, check))
    run_step('chromium offline', lambda: offline_test(browser, options.site, check))
    run_step('chromium without WebGL 2', lambda: no_webgl_test(base, check))
