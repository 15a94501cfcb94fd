// The page around the show (linked before the program's own JavaScript): the options from the
// query string, the check for WebGL 2, the program and data files fetched with their progress,
// the start (click, tap, Enter or Space), full screen, the player's keys, the music through Web
// Audio, the browser's image codecs, the clock, the console, a lost WebGL context, and the service
// worker that keeps the site for playing offline.
// The program's web backend (src/platform/web/*.cpp) calls the functions of Module.korvana.
(function () {
  'use strict';
  const k = {};
  Module.korvana = k;
  const byId = (id) => document.getElementById(id);
  const canvas = byId('canvas');
  Module.canvas = canvas;

  // ?windowed&seek=40&mute&scale=2 -> --windowed --seek 40 --mute --scale 2: the program's own
  // command line checks every value. ?screenshot=SECONDS draws that picture on the virtual clock.
  const args = [];
  k.screenshotSeconds = null;
  new URLSearchParams(location.search).forEach((value, key) => {
    if (key === 'screenshot') {
      k.screenshotSeconds = value;
      args.push('--screenshot', value, '/screenshot.png');
      return;
    }
    args.push('--' + key);
    if (value !== '') args.push(value);
  });
  Module.arguments = args;
  const muted = args.includes('--mute') || k.screenshotSeconds !== null;

  // ---- Status, messages and the console ----------------------------------------------------
  const status = (text) => { byId('status').textContent = text; };
  k.messages = [];
  Module.print = (text) => console.log(text);
  Module.printErr = (text) => {
    console.error(text);
    k.messages.push(text);
    const box = byId('message');
    box.textContent = k.messages.join('\n');
    box.hidden = false;
  };
  k.showMessage = (text, caption, error) => { byId('message').classList.toggle('error', error); };

  let logShown = 0;
  k.flushLog = () => {
    let text;
    try { text = FS.readFile('/log/debug_unrar.txt', { encoding: 'utf8' }); } catch (e) { return; }
    if (text.length < logShown) logShown = 0;
    const lines = text.slice(logShown);
    const end = lines.lastIndexOf('\n');
    if (end < 0) return;
    for (const line of lines.slice(0, end).split('\n')) console.debug('debug_unrar: ' + line);
    logShown += end + 1;
  };

  // The page's own word to the viewer (no WebGL 2, no sound, a lost picture), apart from the
  // show's messages; `seconds` hides it again after that long.
  let noticeTimer = null;
  function notify(text, seconds) {
    const box = byId('notice');
    box.textContent = text;
    box.hidden = !text;
    clearTimeout(noticeTimer);
    if (text && seconds) noticeTimer = setTimeout(() => { box.hidden = true; }, seconds * 1000);
  }

  // ---- WebGL 2 -----------------------------------------------------------------------------
  // Asked before anything is loaded, so a browser that cannot draw the show says so at once in
  // words for the viewer, instead of the show's own start-up messages after the download.
  function canDrawWebGL2() {
    try {
      return !!document.createElement('canvas').getContext('webgl2');
    } catch (e) {
      return false;
    }
  }
  k.noWebGL2 = !canDrawWebGL2();
  if (k.noWebGL2) {
    notify('This browser cannot draw the show: it needs WebGL 2, which this browser does not have or ' +
           'has turned off. The show plays in current Firefox, Chrome, Edge and Safari (version 15 or ' +
           'later, also on iPhone and iPad); if WebGL is turned off in the settings or by a policy, ' +
           'turning it on again lets it play here.');
  }

  // ---- Loading, with progress --------------------------------------------------------------
  const loading = {};
  function showProgress() {
    const mb = (n) => (n / 1048576).toFixed(1);
    status('Loading… ' + Object.entries(loading).map(([what, p]) =>
      what + ' ' + (p.total ? mb(p.received) + ' of ' + mb(p.total) + ' MB' : mb(p.received) + ' MB')).join(', '));
  }
  // The file's bytes, or null when the server does not have it.
  async function fetchWithProgress(name, what) {
    const response = await fetch(name);
    if (!response.ok) return null;
    const entry = { received: 0, total: Number(response.headers.get('Content-Length')) || 0 };
    loading[what] = entry;
    showProgress();
    if (!response.body || !response.body.getReader) {
      const bytes = new Uint8Array(await response.arrayBuffer());
      entry.received = bytes.length;
      showProgress();
      return bytes;
    }
    const reader = response.body.getReader();
    const chunks = [];
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      chunks.push(value);
      entry.received += value.length;
      showProgress();
    }
    const bytes = new Uint8Array(entry.received);
    let at = 0;
    for (const chunk of chunks) {
      bytes.set(chunk, at);
      at += chunk.length;
    }
    return bytes;
  }
  // The program itself, fetched here for its progress and then instantiated as Emscripten would.
  Module.instantiateWasm = (imports, receiveInstance) => {
    fetchWithProgress('korvana.wasm', 'program')
      .then((bytes) => {
        if (!bytes) throw new Error('the server does not have korvana.wasm');
        return WebAssembly.instantiate(bytes, imports);
      })
      .then((result) => receiveInstance(result.instance, result.module),
            (e) => status('The program could not be loaded: ' + e.message));
    return {};
  };

  // ---- The data files ----------------------------------------------------------------------
  Module.preRun = Module.preRun || [];
  Module.preRun.push(() => {
    FS.mkdir('/log');
    if (k.noWebGL2) return;
    addRunDependency('korvana-data');
    const files = muted ? [['megadata.rar', 'archive']] : [['megadata.rar', 'archive'], ['ripped.mp3', 'music']];
    // A file the server does not have is left out: the show then says what is missing.
    Promise.all(files.map(([name, what]) => fetchWithProgress(name, what)
      .catch(() => null)
      .then((data) => { if (data) FS.writeFile('/' + name, data); })))
      .then(() => { status(''); removeRunDependency('korvana-data'); });
  });

  // main runs once the data are in; with Asyncify it returns long after it was called, so it is
  // called asynchronously and its exit code taken from the promise.
  k.exitCode = null;
  Module.noInitialRun = true;
  Module.onRuntimeInitialized = () => {
    if (k.noWebGL2) {
      status('');
      return;
    }
    const argv = _malloc(4 * (args.length + 2));
    ['korvana'].concat(args).forEach((arg, i) => { HEAP32[(argv >> 2) + i] = allocateUTF8(arg); });
    HEAP32[(argv >> 2) + args.length + 1] = 0;
    ccall('main', 'number', ['number', 'number'], [args.length + 1, argv], { async: true }).then(finished, (e) => {
      console.error('korvana: ' + e);
      finished(1);
    });
  };
  Module.onAbort = (what) => { status('The show has stopped: ' + what); };

  function finished(code) {
    // On other systems the program's end silences its sound; the page stays, so it is done here.
    k.soundClose();
    k.exitCode = code;
    k.flushLog();
    document.body.classList.add('ended');
    if (k.screenshotSeconds !== null && code === 0) offerScreenshot();
    else status(code === 0 ? 'The show has ended.' : 'The show has stopped (exit code ' + code + ').');
  }

  function offerScreenshot() {
    const bytes = FS.readFile('/screenshot.png');
    const url = URL.createObjectURL(new Blob([bytes], { type: 'image/png' }));
    const link = byId('download');
    link.href = url;
    link.download = 'korvana-' + k.screenshotSeconds + 's.png';
    link.hidden = false;
    const picture = byId('screenshot');
    picture.src = url;
    picture.hidden = false;
    canvas.hidden = true;
    k.screenshotBase64 = btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''));
    status('The picture at ' + k.screenshotSeconds + ' s:');
  }

  // ---- The clock ---------------------------------------------------------------------------
  // Milliseconds from performance.now(), standing still while the first frame waits for the
  // click, so the show starts where it was drawn.
  let stoppedFor = 0;
  let stoppedAt = null;
  k.tickCount = () => Math.floor((stoppedAt !== null ? stoppedAt : performance.now()) - stoppedFor);
  // The show's time as the player has it (the program tells it at every frame and every key): it
  // stands still while paused and jumps with a seek. In milliseconds; null before the first frame.
  let shown = null;
  k.showTimeIs = (milliseconds, tick, running) => { shown = { milliseconds, tick, running }; };
  k.showTime = () => {
    if (shown === null) return null;
    // The tick count is 32 bits in the program.
    return shown.running ? shown.milliseconds + ((k.tickCount() - shown.tick) >>> 0) : shown.milliseconds;
  };

  // ---- The window --------------------------------------------------------------------------
  k.fullScreen = false;
  k.windowOpened = (width, height, fullScreen) => {
    k.fullScreen = fullScreen;
    document.body.classList.toggle('windowed', !fullScreen);
    if (!fullScreen) {
      canvas.style.width = width / devicePixelRatio + 'px';
      canvas.style.height = height / devicePixelRatio + 'px';
    }
  };
  k.windowClosed = () => {};
  k.frames = 0;
  k.canvasSize = () => {
    ++k.frames;
    if (music.source) contextTimeHeard();  // a reading a frame keeps the audio clock's envelope fresh
    const width = Math.max(1, Math.round(canvas.clientWidth * devicePixelRatio));
    const height = Math.max(1, Math.round(canvas.clientHeight * devicePixelRatio));
    if (canvas.width !== width) canvas.width = width;
    if (canvas.height !== height) canvas.height = height;
    return [width, height];
  };
  k.room = (fullScreen) => (fullScreen
    ? [Math.round(screen.width * devicePixelRatio), Math.round(screen.height * devicePixelRatio)]
    : [Math.round(innerWidth * devicePixelRatio), Math.round(innerHeight * devicePixelRatio)]);

  k.started = false;
  k.firstFrameAt = null;
  k.firstFrameShown = () => {
    k.firstFrameAt = performance.now();
    registerServiceWorker();
    if (k.screenshotSeconds !== null) return Promise.resolve();
    stoppedAt = performance.now();
    showKeys(0);
    status('');
    return waitForStart();
  };

  // ---- The start ---------------------------------------------------------------------------
  // The first frame waits under the play button for a click or tap anywhere on the picture, or
  // Enter or Space: browsers allow sound only after such a gesture. After the start the keys are
  // the show's own.
  let startRequested = null;
  function waitForStart() {
    byId('play').hidden = false;
    document.body.classList.add('waiting');
    return new Promise((resolve) => { startRequested = resolve; });
  }
  byId('stage').addEventListener('click', () => {
    if (startRequested) startShow();
    else if (k.started) resumeSound();  // a sound the browser held back may start on a later click
  });
  // In the capture phase on window, registered before the program's own key listeners, so the key
  // that starts the show is not also the show's first command.
  addEventListener('keydown', (e) => {
    if (!startRequested || (e.key !== 'Enter' && e.key !== ' ') || e.repeat || e.altKey || e.ctrlKey || e.metaKey) return;
    e.preventDefault();
    e.stopImmediatePropagation();
    startShow();
  }, true);

  // How long the start waits for the sound: a browser may keep it from starting for ever (no audio
  // output, or the gesture not counted), and the show must not wait with it.
  const SOUND_START_WAIT_MS = 1500;
  function startShow() {
    const resolve = startRequested;
    startRequested = null;
    byId('play').hidden = true;
    hideKeys();
    document.body.classList.remove('waiting');
    // The sound first: in WebKit a full-screen request uses up the gesture, and a resume() after it
    // waits for another click.
    const sound = resumeSound();
    enterFullScreen();
    // The clock stays stopped until the sound runs, so the show and its music start at the same
    // moment; without sound the show starts after the wait, and its music joins it in step if the
    // sound starts later.
    let begun = false;
    const begin = () => {
      if (begun) return;
      begun = true;
      stoppedFor += performance.now() - stoppedAt;
      stoppedAt = null;
      k.started = true;
      if (music.context && music.context.state !== 'running') {
        k.soundHeldBack = true;
        notify('The sound could not start: this browser has no audio output or is holding the sound ' +
               'back. The show plays without it; a click or tap on the picture tries again.', 12);
      }
      startMusic();
      resolve();
    };
    sound.then(begin, begin);
    setTimeout(begin, SOUND_START_WAIT_MS);
  }
  k.soundHeldBack = false;
  function resumeSound() {
    if (!music.context || music.context.state === 'running') return Promise.resolve();
    try {
      return music.context.resume();
    } catch (e) {
      return Promise.reject(e);
    }
  }
  // A sound that starts late (or again, after the system took it away) joins the show where it is.
  function soundStateChanged() {
    clockReadings.length = 0;
    if (!music.context || music.context.state !== 'running' || !k.started) return;
    lastCorrection = -Infinity;
    if (k.soundHeldBack) {
      k.soundHeldBack = false;
      notify('');
    }
    startMusic();
  }

  // Full screen is the stage (the picture with the page's words over it). Refused or missing (an
  // iPhone has none but for video) is no error: the page is then the show's screen.
  function enterFullScreen(asked) {
    const stage = byId('stage');
    const request = stage.requestFullscreen || stage.webkitRequestFullscreen;
    if (!(k.fullScreen || asked) || !request) return;
    try {
      const asked = request.call(stage);
      if (asked && asked.catch) asked.catch(() => {});
    } catch (e) {
      // refused: the show plays in the page
    }
  }

  // ---- A lost picture ----------------------------------------------------------------------
  // The browser may take the WebGL context away (a driver reset, too many pages drawing). The
  // show's textures and picture go with it, so the show ends and says so; a reload starts it again.
  canvas.addEventListener('webglcontextlost', () => {
    k.contextLost = true;
    input |= 2;
    notify('The browser has taken the drawing surface away from the show (its WebGL context was lost, ' +
           'as happens when the graphics driver restarts). Reload the page to play the show again.');
  });
  k.contextLost = false;

  // ---- Offline -----------------------------------------------------------------------------
  // A service worker keeps the site, so the show plays again without the network and the page can
  // be added to a home screen (manifest.webmanifest). Registered once the first frame is up, so
  // its copy of the files does not compete with the first load.
  function registerServiceWorker() {
    if (!('serviceWorker' in navigator) || !window.isSecureContext) return;
    navigator.serviceWorker.register('service-worker.js').catch((e) => console.debug('no service worker: ' + e));
  }

  // ---- Input -------------------------------------------------------------------------------
  let input = 0;
  let wasFullScreen = false;
  let leavingFullScreen = false;
  k.listenForInput = () => {
    addEventListener('keydown', (e) => {
      if (e.key === 'Escape') input |= 1;
      else playerKey(e);
    });
    addEventListener('pagehide', () => { input |= 2; });
    // Browsers keep Escape for leaving full screen; leaving it ends the show as Escape does. A
    // browser also leaves full screen when the viewer turns to another tab, at once or only on the
    // way back: the show then plays on in the page. Which event comes first differs, so the
    // decision waits a moment.
    let turnedAway = false;
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'hidden') turnedAway = true;
    });
    const fullScreenChanged = () => {
      if (document.fullscreenElement || document.webkitFullscreenElement) {
        wasFullScreen = true;
        turnedAway = false;
      } else if (leavingFullScreen) {
        // the player's F: the show goes on in the page
        leavingFullScreen = false;
        wasFullScreen = false;
      } else if (wasFullScreen) {
        wasFullScreen = false;
        setTimeout(() => {
          if (!turnedAway && document.visibilityState === 'visible') input |= 1;
          turnedAway = false;
        }, 250);
      }
    };
    document.addEventListener('fullscreenchange', fullScreenChanged);
    document.addEventListener('webkitfullscreenchange', fullScreenChanged);
  };
  k.takeInput = () => {
    const bits = input;
    input &= 2;
    return bits;
  };

  // ---- The player's keys ---------------------------------------------------------------------
  // The keys the program's player answers, by their DOM names, numbered as the program's
  // PlayerKey; the program says what each one does. F and Alt+Enter stay here: the Fullscreen
  // API answers only while the key press is being handled.
  const PLAYER_KEYS = { ' ': 0, p: 1, ArrowLeft: 2, ArrowRight: 3, PageUp: 4, PageDown: 5, Home: 6, m: 7 };
  const keys = [];
  function playerKey(e) {
    if (!k.started || k.exitCode !== null || e.ctrlKey || e.metaKey) return;
    const name = e.key.length === 1 ? e.key.toLowerCase() : e.key;
    if (name === 'f' || (name === 'Enter' && e.altKey)) {
      e.preventDefault();
      if (!e.repeat) toggleFullScreen();
      return;
    }
    if (name in PLAYER_KEYS) {
      e.preventDefault();  // no scrolling by Space, the arrows or the page keys
      keys.push(PLAYER_KEYS[name] | (e.shiftKey ? 256 : 0) | (e.altKey ? 512 : 0) | (e.repeat ? 1024 : 0));
      return;
    }
    if (!['Shift', 'Alt', 'Control', 'Meta', 'AltGraph', 'CapsLock', 'Tab'].includes(e.key)) showKeys(4000);
  }
  // The oldest key press waiting for the program: the key's number, 256 Shift, 512 Alt, 1024 a
  // repeat; -1 when none waits.
  k.takeKey = () => (keys.length ? keys.shift() : -1);

  function toggleFullScreen() {
    if (!(document.fullscreenElement || document.webkitFullscreenElement)) {
      enterFullScreen(true);
      return;
    }
    leavingFullScreen = true;
    const exit = document.exitFullscreen || document.webkitExitFullscreen;
    try {
      const left = exit.call(document);
      if (left && left.catch) left.catch(() => { leavingFullScreen = false; });
    } catch (e) {
      leavingFullScreen = false;
    }
  }

  // The line of the keys: shown with the play button, and for a few seconds after a key the
  // player does not know.
  let keysHidden = null;
  function showKeys(milliseconds) {
    const line = byId('keys');
    if (!line) return;
    line.hidden = false;
    clearTimeout(keysHidden);
    keysHidden = milliseconds ? setTimeout(() => { line.hidden = true; }, milliseconds) : null;
  }
  function hideKeys() {
    clearTimeout(keysHidden);
    if (byId('keys')) byId('keys').hidden = true;
  }

  // ---- Music -------------------------------------------------------------------------------
  const music = { context: null, buffer: null, source: null, wanted: false, offset: 0, startOffset: 0, startedAt: 0 };
  k.music = music;
  // The context is made suspended (browsers let it run only after a click) and resumed by the
  // start; the music is scheduled only on a running clock, from the show's time. It is decoded off
  // line at the show's mixing rate and resampled to the device's by the context. In a hidden tab
  // the music plays on and the browser slows the show's timers: fewer pictures, none lost in time;
  // back in view the picture is where the music is.
  k.soundInit = (mixRate) => {
    if (!window.AudioContext || !window.OfflineAudioContext) return 0;
    try { music.context = new AudioContext(); } catch (e) { return 0; }
    music.context.onstatechange = soundStateChanged;
    music.rate = mixRate;
    return 1;
  };
  k.soundOpen = async (path) => {
    let bytes;
    try { bytes = FS.readFile(path); } catch (e) { return 9; }
    try {
      const decoder = new OfflineAudioContext(2, 1, music.rate);
      music.buffer = await decoder.decodeAudioData(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
    } catch (e) { return 10; }
    return 0;
  };
  function stopMusic() {
    if (!music.source) return;
    music.source.stop();
    music.source.disconnect();
    music.source = null;
  }
  // Seconds between scheduling a start and the start: enough for the next render quantum, so the
  // start falls exactly on the context time it was given.
  const START_LEAD = 0.05;
  function startMusic() {
    if (!music.buffer || !music.context || !music.wanted || music.source || !k.started) return;
    // Music queued on a clock that does not run would start at the wrong place when it does.
    if (music.context.state !== 'running') return;
    // The music joins the show's clock where the show will be when the start is heard: after the
    // lead and the output's latency.
    const context = music.context;
    const when = context.currentTime + START_LEAD;
    const now = k.showTime();
    const at = (now !== null ? now / 1000 : music.offset) + (when - contextTimeHeard());
    if (at >= music.buffer.duration) return;
    const source = context.createBufferSource();
    source.buffer = music.buffer;
    source.connect(context.destination);
    source.start(when, at);
    music.source = source;
    music.startOffset = at;
    music.startedAt = when;
  }
  // The audio clock may start late or drift from performance.now() (a device that opens slowly,
  // a busy machine whose audio falls behind): while the music plays, a start that is more than
  // half a frame off the show's clock is made again at the right place.
  const STEP_CHECK_MS = 250;
  const STEP_TOLERANCE_MS = 10;
  // Each correction is a small skip in the music: one a second at most, so that a clock the
  // browser misreports can never make the music stutter.
  const STEP_CORRECTION_GAP_MS = 1000;
  let lastCorrection = -Infinity;
  setInterval(() => {
    if (!music.source || !music.context || k.showTime() === null) return;
    if (performance.now() - lastCorrection < STEP_CORRECTION_GAP_MS || contextTimeHeard() < music.startedAt + 0.2) return;
    const drift = k.showTime() - k.musicTime() * 1000;
    if (Math.abs(drift) <= STEP_TOLERANCE_MS) return;
    lastCorrection = performance.now();
    console.debug('music ' + drift.toFixed(1) + ' ms off the show: started again');
    stopMusic();
    startMusic();
  }, STEP_CHECK_MS);
  k.soundWantPlay = (play) => {
    music.wanted = play;
    if (play) startMusic();
    else stopMusic();
  };
  k.soundLength = () => (music.buffer ? music.buffer.duration : 0);
  k.soundPosition = (seconds) => {
    music.offset = seconds;
    if (music.source) {
      stopMusic();
      startMusic();
    }
  };
  k.soundClose = () => {
    stopMusic();
    if (music.context) music.context.close().catch(() => {});
    music.context = null;
  };
  function outputLatency() {
    return (music.context.baseLatency || 0) + (music.context.outputLatency || 0);
  }
  // The context time being heard now: from the browser's own pairing of the audio clock with
  // performance.now() where it has one, else the clock less the output's latency. Both move in
  // the blocks the audio is rendered in (in Firefox some 10 to 20 ms at a time, a reading stale by
  // up to a block), so the clock is taken as the upper envelope of the readings of the last few
  // blocks (a short window: a clock that falls behind would bias a long one).
  const CLOCK_WINDOW_MS = 300;
  const clockReadings = [];
  function contextTimeHeard() {
    const context = music.context;
    const now = performance.now();
    let heard = null;
    if (context.getOutputTimestamp) {
      // WebKitGTK's performanceTime is on another clock altogether: a pairing is trusted only when
      // it is from the last second.
      const stamp = context.getOutputTimestamp();
      const age = now - stamp.performanceTime;
      if (stamp.performanceTime > 0 && stamp.contextTime > 0 && age >= 0 && age < 1000)
        heard = stamp.contextTime + age / 1000;
    }
    if (heard === null) heard = context.currentTime - outputLatency();
    while (clockReadings.length > 0 && clockReadings[0][0] < now - CLOCK_WINDOW_MS) clockReadings.shift();
    clockReadings.push([now, heard - now / 1000]);
    let ahead = -Infinity;
    for (const reading of clockReadings) ahead = Math.max(ahead, reading[1]);
    return now / 1000 + ahead;
  }
  // Where the music the viewer hears is now, in seconds (for the tests); null while it is not
  // playing.
  k.musicTime = () => (music.source && music.context
    ? music.startOffset + (contextTimeHeard() - music.startedAt) : null);

  // ---- Images ------------------------------------------------------------------------------
  k.decodeImage = async (bytes, byteCount, width, height, out) => {
    const data = HEAPU8.slice(bytes, bytes + byteCount);
    try {
      const bitmap = await createImageBitmap(new Blob([data]), { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      if (bitmap.width !== width || bitmap.height !== height) return 0;
      const context = new OffscreenCanvas(width, height).getContext('2d', { willReadFrequently: true });
      context.drawImage(bitmap, 0, 0);
      HEAPU8.set(context.getImageData(0, 0, width, height).data, out);
      return 1;
    } catch (e) {
      return 0;
    }
  };
  k.writePng = async (path, width, height, rgba) => {
    try {
      const pixels = new Uint8ClampedArray(HEAPU8.slice(rgba, rgba + width * height * 4).buffer);
      const picture = new OffscreenCanvas(width, height);
      picture.getContext('2d').putImageData(new ImageData(pixels, width, height), 0, 0);
      const blob = await picture.convertToBlob({ type: 'image/png' });
      FS.writeFile(path, new Uint8Array(await blob.arrayBuffer()));
      return 1;
    } catch (e) {
      return 0;
    }
  };
  k.pngSize = async (path, width, height) => {
    let bytes;
    try { bytes = FS.readFile(path); } catch (e) { return 0; }
    if (bytes.length < 24 || bytes[1] !== 0x50 || bytes[2] !== 0x4e || bytes[3] !== 0x47) return 0;
    const view = new DataView(bytes.buffer, bytes.byteOffset);
    HEAP32[width >> 2] = view.getUint32(16);
    HEAP32[height >> 2] = view.getUint32(20);
    return 1;
  };
})();
