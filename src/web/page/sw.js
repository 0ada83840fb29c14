// The page's service worker: keeps the page's own files, so that once
// loaded (or installed) it opens and updates a controller without the
// network. Each build names its cache anew; older ones are removed.
"use strict";

const kCache = "tessarine-update-@TESSARINE_SITE_STAMP@";
const kFiles = ["./", "index.html", "style.css", "app.js", "midi.js", "tessarine.js", "tessarine-wasm.js",
                "manifest.webmanifest", "icon.svg", "icon-192.png", "icon-512.png"];

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(kFiles)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(
    caches.keys()
      .then((names) => Promise.all(names.filter((name) => name !== kCache).map((name) => caches.delete(name))))
      .then(() => self.clients.claim()));
});

// The page's own files from the cache first, then the network; anything
// else from the network alone.
self.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET" || new URL(event.request.url).origin !== location.origin) return;
  event.respondWith(caches.match(event.request, { ignoreSearch: true })
    .then((kept) => kept || fetch(event.request)));
});
