// Keeps the page's files on the first visit, so that it works offline and installs as an app.
// The network is asked first, so a new build is picked up whenever the site can be reached;
// without it, the files kept last time answer.
"use strict";
const CACHE = "rolvanta";
const FILES = ["./", "index.html", "rolvanta.js", "rolvanta.wasm", "manifest.webmanifest", "icon-192.png", "icon-512.png"];

self.addEventListener("install", (event) => {
    event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => event.waitUntil(self.clients.claim()));

self.addEventListener("fetch", (event) => {
    const request = event.request;
    if (request.method !== "GET" || new URL(request.url).origin !== location.origin) return;
    event.respondWith(fetch(request).then((response) => {
        if (response.ok) {
            const copy = response.clone();
            caches.open(CACHE).then((cache) => cache.put(request, copy));
        }
        return response;
    }).catch(() => caches.match(request, { ignoreSearch: true }).then((hit) => hit || Response.error())));
});
