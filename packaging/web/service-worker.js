// Keeps the site so that the show plays again without the network, and the page can be added to a
// home screen. The network comes first while there is one (a new build is seen at once); its
// answers refresh the copy kept here, which answers when the network is gone.
'use strict';
const CACHE = 'korvana-site';
const SITE = ['./', 'index.html', 'korvana.js', 'korvana.wasm', 'megadata.rar', 'ripped.mp3',
              'manifest.webmanifest', 'korvana-32.png', 'korvana-192.png', 'korvana-512.png', 'LICENSE.txt'];

// The whole site at the first visit, so a later visit plays offline even with options (?mute
// loads no music) the first one did not use.
self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(SITE)).then(() => self.skipWaiting()));
});
self.addEventListener('activate', (event) => { event.waitUntil(self.clients.claim()); });

self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== location.origin) return;
  // One copy per file: the query string carries the show's options, not another file.
  const key = url.origin + url.pathname;
  let kept;
  event.waitUntil(new Promise((resolve) => { kept = resolve; }));
  event.respondWith(fetch(request).then((response) => {
    if (response.ok && response.type === 'basic') {
      const copy = response.clone();
      kept(caches.open(CACHE).then((cache) => cache.put(key, copy)).catch(() => {}));
    } else {
      kept();
    }
    return response;
  }, () => {
    kept();
    return caches.match(key).then((answer) => answer || Response.error());
  }));
});
