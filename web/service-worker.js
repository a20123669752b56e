// Keeps one whole release of the page, so that it starts at once, works offline and installs
// as an app, and answers every request of a page from the release that page started with, so
// that no page mixes the files of two. Each visit asks the server, past every HTTP cache,
// whether release.json has changed; a new release is fetched beside the old one, each file
// checked against the size and SHA-256 the list gives, and takes the old one's place only once
// every file has arrived whole: the next visit runs it. Whatever the network does, the release
// kept answers; only a visitor with none gets the network's answer, whatever it is.
"use strict";
const PREFIX = "rolvanta-release-";
const LIST = "release.json";
// Kept only once a page has asked for it: the sounds, most of the bytes, are fetched for a
// visitor who has the sound on, never for one who has not.
const ON_DEMAND = new Set(["rolvanta.sounds"]);
// Which release each open page (client id) started with. The browser stops an idle worker and
// starts a new one for the next request, so the map is kept in a cache of its own as well.
const PINS = "rolvanta-pins";
let pinned = null;
let updating = null;
let fetching = null;  // the release being fetched, which no prune takes for a leftover

const address = (name) => new URL(name, self.registration.scope).href;
// One entry per file whatever the query: "./?speed=12" is index.html, "rolvanta.js?x" is rolvanta.js.
function fileOf(url) {
    const path = new URL(url).pathname.slice(new URL(self.registration.scope).pathname.length);
    return path === "" ? "index.html" : decodeURIComponent(path);
}
async function sha256(data) {
    const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", data));
    return Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join("");
}

function pins() {
    pinned = pinned || caches.open(PINS).then((cache) => cache.match(address(PINS)))
        .then((kept) => kept ? kept.json() : {}).then((kept) => new Map(Object.entries(kept)), () => new Map());
    return pinned;
}
async function savePins() {
    const map = await pins();
    await (await caches.open(PINS)).put(address(PINS), new Response(JSON.stringify(Object.fromEntries(map))));
}

// The releases kept, oldest first; one is whole once its list is in, which is put last.
async function releases() {
    const names = (await caches.keys()).filter((name) => name.startsWith(PREFIX));
    const whole = [];
    for (const name of names) {
        if (await (await caches.open(name)).match(address(LIST))) whole.push(name);
    }
    return { names, whole, current: whole[whole.length - 1] || null };
}

// A file of the list as it must be, or an error: a second try goes past the HTTP cache, in case
// the first got a stale copy that revalidated.
async function fetchWhole(name, { size, sha256: hash }) {
    let failure = null;
    for (const cache of ["no-cache", "reload"]) {
        try {
            const response = await fetch(address(name), { cache });
            if (!response.ok) throw new Error(name + ": " + response.status);
            const body = await response.arrayBuffer();
            if (body.byteLength !== size || await sha256(body) !== hash) throw new Error(name + " arrived damaged");
            const type = response.headers.get("Content-Type");
            return new Response(body, { headers: type ? { "Content-Type": type } : {} });
        } catch (error) {
            failure = error;
        }
    }
    throw failure;
}

async function fetchRelease() {
    const response = await fetch(address(LIST), { cache: "no-cache" });
    if (!response.ok) throw new Error(LIST + ": " + response.status);
    const text = await response.text();
    const files = JSON.parse(text).files;
    const name = PREFIX + (await sha256(new TextEncoder().encode(text))).slice(0, 16);
    const { whole, current } = await releases();
    if (name === current) return;
    // Published again after a newer one: fetched anew, so that it becomes the newest.
    if (whole.includes(name)) await caches.delete(name);
    // A file the release kept has unchanged is taken from it, and one that came before the
    // browser stopped an earlier worker mid-way is kept: only what is new or missing crosses
    // the network.
    const old = current && await caches.open(current);
    const oldFiles = old ? (await (await old.match(address(LIST))).json()).files : {};
    fetching = name;
    const cache = await caches.open(name);
    for (const [file, entry] of Object.entries(files)) {
        if (await cache.match(address(file))) continue;
        const kept = oldFiles[file] && await old.match(address(file));
        if (ON_DEMAND.has(file) && !kept) continue;
        await cache.put(address(file), kept && oldFiles[file].sha256 === entry.sha256 ? kept : await fetchWhole(file, entry));
    }
    await cache.put(address(LIST), new Response(text, { headers: { "Content-Type": "application/json" } }));
}
// After every check, failed or not, the releases no open page started with go, and with them
// whatever a failed attempt left half-fetched.
function update() {
    updating = updating || fetchRelease().finally(() => { fetching = null; }).finally(prune)
        .finally(() => { updating = null; });
    return updating;
}

// Only the newest whole release stays, and any a page still open started with. A page being
// navigated away from may still count as open while the next one's request comes (in Firefox it
// often does), so the next page's own requests prune again once pages of two releases are known.
async function prune() {
    const { names, current } = await releases();
    const keep = new Set([current, fetching]);
    const map = await pins();
    let changed = false;
    for (const [client, name] of map) {
        if (await self.clients.get(client)) {
            keep.add(name);
        } else {
            map.delete(client);
            changed = true;
        }
    }
    if (changed) await savePins();
    await Promise.all(names.filter((name) => !keep.has(name)).map((name) => caches.delete(name)));
}

async function answer(event) {
    const client = event.resultingClientId || event.clientId;
    const map = await pins();
    let release = map.get(client);
    if (!release || !(await caches.has(release))) {
        release = (await releases()).current;
        if (release && client) {
            map.set(client, release);
            event.waitUntil(savePins());
        }
    } else if (event.request.mode !== "navigate" && new Set(map.values()).size > 1) {
        event.waitUntil(prune());
    }
    const file = fileOf(event.request.url);
    const cache = release && await caches.open(release);
    const hit = cache && await cache.match(address(file));
    if (hit || !cache || !ON_DEMAND.has(file)) return hit || fetch(event.request);
    // Asked for the first time: checked against the release's list like every file, and kept.
    // When it cannot come (offline), the page hears "no content" rather than an error: it rides
    // on in silence, with nothing in its console, and asks again next time.
    const response = await fetchWhole(file, (await (await cache.match(address(LIST))).json()).files[file])
        .catch(() => null);
    if (!response) return new Response(null, { status: 204 });
    await cache.put(address(file), response.clone());
    return response;
}

self.addEventListener("install", (event) => {
    event.waitUntil(update().catch(() => {}).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
    // The copy an earlier worker kept, one entry per address it was asked for, goes.
    event.waitUntil(caches.delete("rolvanta").then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
    const request = event.request;
    if (request.method !== "GET" || !request.url.startsWith(self.registration.scope)) return;
    if (fileOf(request.url) === LIST) return;
    if (request.mode === "navigate") event.waitUntil(update().catch(() => {}));
    event.respondWith(answer(event));
});
