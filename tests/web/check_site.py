#!/usr/bin/env python3
"""The browser tests of the web build (scripts/ci-web): the site in headless Chromium on its
software renderer (SwiftShader), served on 127.0.0.1 from a free port.

- the page loads with no console error, shows the first frame with its play button, and after the
  click plays the music within one frame of the show's clock after ?seek=; Escape ends the show;
- ?seek=S&screenshot=T pictures in every scene match the Linux build's --seek S --screenshot T
  within the PSNR bound;
- the player's keys: Space pauses (the show's time stands, the music stops) and plays on, Right
  seeks 5 s on, M stops the music's clock and starts it again, a key the player does not know
  shows the line of the keys;
- a missing or damaged music file gives the show's own message on the page, and a bad option in
  the query string the command line's.
Prints the figures it measures (time to the first frame, frames a second, PSNR, time per step)."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, png_from_base64, serve  # noqa: E402

# One picture per scene, each after two seconds of the show from a seek (the light trails and the
# hold cadence build up over those frames): tube, tube box, pipe, cylinder, tube with light trails,
# boxes.
SHOTS = [(3, 5), (33, 35), (53, 55), (73, 75), (98, 100), (118, 120)]

# Measured over SHOTS (Chromium 156 with SwiftShader against Mesa 22's llvmpipe): 50.0, 49.6, 42.1,
# 46.9, 45.9 and 40.7 dB. The rasterisers differ in the last bit of texture filtering and in which
# pixels an edge or a line covers, so the scenes of many thin lines (the boxes, the pipe's trails)
# come lowest. 38 dB leaves that much margin for other versions; a fault shows far below it: the
# same pictures two frames (40 ms) later score 19.4 (boxes) and 15.0 dB (pipe).
PSNR_BOUND = 38.0

# One frame of the show: the music must be this close to the show's clock.
FRAME_MS = 20.0

failures = []


def check(condition, what):
    print(('ok    ' if condition else 'FAIL  ') + what, flush=True)
    if not condition:
        failures.append(what)


def psnr(a, b):
    result = subprocess.run(['compare', '-metric', 'PSNR', a, b, 'null:'], capture_output=True, text=True)
    text = result.stderr.strip().split()[0] if result.stderr.strip() else 'nan'
    return float('inf') if text == 'inf' else float(text)


def page_test(browser, base):
    browser.open(base + '?seek=40')
    started = time.time()
    first = browser.wait_for('Module.korvana && !document.getElementById("play").hidden && Module.korvana.firstFrameAt', 90)
    print('      time from opening the page to the first frame: %.0f ms' % first)
    browser.click('#play')
    browser.wait_for('Module.korvana.musicTime() !== null', 20)
    time.sleep(1.0)
    frames0, clock0 = browser.evaluate('[Module.korvana.frames, performance.now()]')
    time.sleep(4.0)
    frames1, clock1 = browser.evaluate('[Module.korvana.frames, performance.now()]')
    fps = (frames1 - frames0) * 1000.0 / (clock1 - clock0)
    print('      frames a second while the show plays: %.1f' % fps)
    check(fps > 5, 'the show keeps playing after the click (%.1f frames a second)' % fps)
    # The audio clock moves in the blocks the audio is rendered in: the median of a few readings.
    readings = []
    for _ in range(7):
        readings.append(browser.evaluate(
            '[Module.korvana.showTime(), Module.korvana.musicTime() * 1000, Module.korvana.music.context.state]'))
        time.sleep(0.15)
    gaps = sorted(show - music for show, music, _ in readings)
    show, music, state = readings[-1]
    gap = gaps[len(gaps) // 2]
    print('      after ?seek=40: show clock %.0f ms, music %.0f ms, audio %s; gaps %s ms'
          % (show, music, state, ' '.join('%.1f' % g for g in gaps)))
    check(state == 'running' and music > 44000, 'the music plays from the seek on')
    check(abs(gap) <= FRAME_MS, 'the music is within one frame of the show (median %.1f ms apart)' % gap)
    browser.press_escape()
    code = browser.wait_for('Module.korvana.exitCode !== null && String(Module.korvana.exitCode)', 20)
    check(code == '0', 'Escape ends the show with exit code 0 (%s)' % code)
    errors = browser.errors()
    check(not errors, 'no console error while the page loads and plays %s' % (errors[:3] if errors else ''))
    print('      (%.1f s)' % (time.time() - started))


def player_test(browser, base):
    """The player's keys after the start, through the browser's own key events."""
    show_time = 'Module.korvana.showTime()'
    browser.open(base + '?seek=20')
    browser.wait_for('Module.korvana && !document.getElementById("play").hidden && Module.korvana.firstFrameAt', 90)
    check(browser.evaluate('!document.getElementById("keys").hidden'), 'the line of the keys is shown before the click')
    browser.click('#play')
    browser.wait_for('Module.korvana.musicTime() !== null', 20)
    time.sleep(1.0)
    check(browser.evaluate('document.getElementById("keys").hidden'), 'the line of the keys goes once the show plays')

    browser.press_key(' ')
    browser.wait_for('Module.korvana.musicTime() === null', 10)
    paused = browser.evaluate(show_time)
    time.sleep(1.0)
    still = browser.evaluate(show_time)
    check(paused == still and paused > 20000,
          'Space pauses: the show\'s time stands (%s, then %s ms a second later) and the music stops' % (paused, still))

    browser.press_key('ArrowRight')
    landed = browser.wait_for('%s !== %d && %s' % (show_time, paused, show_time), 10)
    check(landed == paused + 5000, 'Right seeks 5 s on: from %s to %s ms, still paused' % (paused, landed))

    browser.press_key(' ')
    browser.wait_for('Module.korvana.musicTime() !== null', 10)
    time.sleep(0.5)
    show, music = browser.evaluate('[%s, Module.korvana.musicTime() * 1000]' % show_time)
    check(show > landed and abs(show - music) < 4 * FRAME_MS,
          'Space plays on from there, the music with it (show %.0f ms, music %.0f ms)' % (show, music))

    browser.press_key('m')
    browser.wait_for('Module.korvana.musicTime() === null', 10)
    before = browser.evaluate(show_time)
    time.sleep(0.5)
    after = browser.evaluate(show_time)
    check(after > before, 'M stops the music\'s clock; the show\'s goes on (%s, then %s ms)' % (before, after))
    browser.press_key('m')
    browser.wait_for('Module.korvana.musicTime() !== null', 10)
    time.sleep(0.5)
    show, music = browser.evaluate('[%s, Module.korvana.musicTime() * 1000]' % show_time)
    check(abs(show - music) < 4 * FRAME_MS,
          'M again: the music plays on at the show\'s time (show %.0f ms, music %.0f ms)' % (show, music))

    browser.press_key('x')
    check(browser.wait_for('!document.getElementById("keys").hidden', 5), 'a key the player does not know shows the keys')
    browser.press_key('Escape')
    code = browser.wait_for('Module.korvana.exitCode !== null && String(Module.korvana.exitCode)', 20)
    check(code == '0', 'Escape still ends the show with exit code 0 (%s)' % code)
    errors = browser.errors()
    check(not errors, 'no console error while the keys play the show %s' % (errors[:3] if errors else ''))


def screenshot_test(browser, base, korvana, content, out):
    for seek, at in SHOTS:
        started = time.time()
        browser.open(base + '?seek=%d&screenshot=%d' % (seek, at))
        code = browser.wait_for('Module.korvana && Module.korvana.exitCode !== null && String(Module.korvana.exitCode)', 180)
        web = os.path.join(out, 'web-%d.png' % at)
        linux = os.path.join(out, 'linux-%d.png' % at)
        if code != '0':
            check(False, '?seek=%d&screenshot=%d ends with exit code 0 (%s)' % (seek, at, code))
            continue
        png_from_base64(browser.evaluate('Module.korvana.screenshotBase64'), web)
        env = dict(os.environ, SDL_VIDEODRIVER='offscreen', SDL_AUDIODRIVER='dummy')
        subprocess.run([korvana, '--seek', str(seek), '--screenshot', str(at), linux], cwd=content, env=env, check=True)
        value = psnr(web, linux)
        check(value >= PSNR_BOUND, 'the picture at %d s matches Linux: PSNR %.2f dB (bound %.0f) (%.1f s)'
              % (at, value, PSNR_BOUND, time.time() - started))
        errors = browser.errors()
        check(not errors, 'no console error while drawing the picture at %d s %s' % (at, errors[:3] if errors else ''))


def data_file_test(browser, base):
    # The query string goes through the program's own command-line checks.
    browser.open(base + '?seek=abc')
    code = browser.wait_for('Module.korvana && Module.korvana.exitCode !== null && String(Module.korvana.exitCode)', 60)
    text = browser.evaluate('document.getElementById("message").textContent')
    check(code == '2' and text.startswith("korvana: --seek needs a number"),
          '?seek=abc is refused as --seek abc is: %r (exit code %s)' % (text.split('\n')[0], code))
    for kind, expected in (('missing', 'File not found'), ('damaged', 'Unknown file format')):
        browser.open(base + kind + '/ripped.mp3/')
        code = browser.wait_for('Module.korvana && Module.korvana.exitCode !== null && String(Module.korvana.exitCode)', 60)
        text = browser.evaluate('document.getElementById("message").hidden ? "" : document.getElementById("message").textContent')
        check(code == '1' and text.strip() == expected,
              'a %s ripped.mp3 gives the show\'s own message on the page: %r (exit code %s)' % (kind, text, code))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--korvana', required=True, help='the Linux program, for the reference pictures')
    parser.add_argument('--content', required=True, help="the Linux build's content folder")
    options = parser.parse_args()
    server, base = serve(options.site)
    browser = Browser()
    out = tempfile.mkdtemp(prefix='korvana-web-')
    started = time.time()
    try:
        for name, step in (('page', lambda: page_test(browser, base)),
                           ('player', lambda: player_test(browser, base)),
                           ('screenshots', lambda: screenshot_test(browser, base, os.path.abspath(options.korvana),
                                                                   options.content, out)),
                           ('data files', lambda: data_file_test(browser, base))):
            step_started = time.time()
            try:
                step()
            except Exception as e:  # a step that cannot finish is a failure, and the next still runs
                check(False, '%s: %s' % (name, e))
            print('      %s: %.1f s' % (name, time.time() - step_started), flush=True)
    finally:
        browser.close()
        server.shutdown()
    if failures:
        print('check_site: %d failures, %.1f s; the pictures are in %s' % (len(failures), time.time() - started, out))
        return 1
    shutil.rmtree(out, ignore_errors=True)
    print('check_site: all passed, %.1f s' % (time.time() - started))
    return 0


if __name__ == '__main__':
    sys.exit(main())
