// The page around the show (linked before the program's own JavaScript): the options from the
// query string, the data files fetched into the program's file system, the play button, full
// screen, the player's keys, the music through Web Audio, the browser's image codecs, the clock,
// the console.
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

  // ---- The data files ----------------------------------------------------------------------
  Module.preRun = Module.preRun || [];
  Module.preRun.push(() => {
    FS.mkdir('/log');
    addRunDependency('korvana-data');
    status('Loading…');
    const names = muted ? ['megadata.rar'] : ['megadata.rar', 'ripped.mp3'];
    // A file the server does not have is left out: the show then says what is missing.
    Promise.all(names.map((name) => fetch(name)
      .then((r) => (r.ok ? r.arrayBuffer() : null))
      .catch(() => null)
      .then((data) => { if (data) FS.writeFile('/' + name, new Uint8Array(data)); })))
      .then(() => { status(''); removeRunDependency('korvana-data'); });
  });

  // main runs once the data are in; with Asyncify it returns long after it was called, so it is
  // called asynchronously and its exit code taken from the promise.
  k.exitCode = null;
  Module.noInitialRun = true;
  Module.onRuntimeInitialized = () => {
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
    if (k.screenshotSeconds !== null) return Promise.resolve();
    stoppedAt = performance.now();
    const button = byId('play');
    button.hidden = false;
    showKeys(0);
    status('');
    return new Promise((resolve) => {
      button.onclick = () => {
        button.hidden = true;
        hideKeys();
        // Both need the click itself: full screen and sound.
        if (k.fullScreen && canvas.requestFullscreen) canvas.requestFullscreen().catch(() => {});
        // The clock stays stopped until the sound really runs, so the show and its music start
        // at the same moment.
        const go = () => {
          stoppedFor += performance.now() - stoppedAt;
          stoppedAt = null;
          k.started = true;
          startMusic();
          resolve();
        };
        if (music.context) music.context.resume().then(go, go);
        else go();
      };
    });
  };

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
    // Browsers keep Escape for leaving full screen; leaving it ends the show as Escape does,
    // unless it was the player's F.
    document.addEventListener('fullscreenchange', () => {
      if (document.fullscreenElement) wasFullScreen = true;
      else if (leavingFullScreen) leavingFullScreen = false;
      else if (wasFullScreen) input |= 1;
    });
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
    if (document.fullscreenElement) {
      leavingFullScreen = true;
      document.exitFullscreen().catch(() => { leavingFullScreen = false; });
    } else if (canvas.requestFullscreen) {
      canvas.requestFullscreen().catch(() => {});
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
  // The context is made suspended (browsers let it run only after a click) and resumed by the click;
  // music queued while it is suspended starts with its clock, so the two start together. The music
  // is decoded off line at the show's mixing rate and resampled to the device's by the context.
  k.soundInit = (mixRate) => {
    if (!window.AudioContext || !window.OfflineAudioContext) return 0;
    try { music.context = new AudioContext(); } catch (e) { return 0; }
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
  // a busy machine): while the music plays, a start that is more than half a frame off the show's
  // clock is made again at the right place.
  const STEP_CHECK_MS = 250;
  const STEP_TOLERANCE_MS = 10;
  // A few corrections at most, so that a clock the browser misreports never makes the music stutter.
  const MAX_STEP_CORRECTIONS = 3;
  let corrections = 0;
  setInterval(() => {
    if (!music.source || !music.context || k.showTime() === null) return;
    if (corrections >= MAX_STEP_CORRECTIONS || contextTimeHeard() < music.startedAt + 0.2) return;
    const drift = k.showTime() - k.musicTime() * 1000;
    if (Math.abs(drift) <= STEP_TOLERANCE_MS) return;
    ++corrections;
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
  // performance.now() where it has one, else the clock less the output's latency.
  function contextTimeHeard() {
    const context = music.context;
    if (context.getOutputTimestamp) {
      const stamp = context.getOutputTimestamp();
      if (stamp.performanceTime > 0 && stamp.contextTime > 0)
        return stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
    }
    return context.currentTime - outputLatency();
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
