// The page's side of the show: the one piece of glue between the core (rolvanta.wasm) and the
// browser. The core decides every step, cue and wait; this only draws its copies and fills on
// a canvas, plays its cues with Web Audio, and hands it time, size, visibility and settings.
"use strict";
(() => {
    const canvas = document.getElementById("show");
    const context = canvas.getContext("2d", { alpha: false });
    const note = document.getElementById("note");
    const panel = document.getElementById("panel");
    const gear = document.getElementById("gear");
    const help = document.getElementById("help");
    const params = new URLSearchParams(location.search);
    const STORE = "rolvanta.settings";
    const WAIT = 0, LOOP = 2;  // the core's SoundCue values
    const SOUNDS = 0, PICTURES = 1;  // the module's packs
    // The sizes and SHA-256 of rolvanta.wasm and rolvanta.pictures, and which pictures the pack
    // stores as the mirror image they are of an earlier one: the build writes them here.
    const LISTED = null;
    const MIRRORED = [];

    let rv = null;  // the core's exports
    const pictures = [];
    const sound = {
        bytes: [], buffers: [], context: null, gain: null, analyser: null,
        sources: new Set(), looped: -1, volume: 1,
    };
    const cues = [];  // every cue the core gave, heard or not
    let settings = [];  // the core's, in its order, then the saver mode's minutes
    let count = 0, soundAt = 0, volumeAt = 0;  // how many the core has; where two of them are
    let stored = {};  // what the settings panel stored, which a link's values never replace
    let firstPicture = 0, soundsAsked = false, askedFullscreen = false;
    let width = 0, height = 0, scale = 1;
    let running = false, timer = 0, frameRequest = 0, idleTimer = 0, gearTimer = 0, wakeLock = null;

    const memory = () => rv.memory.buffer;
    const bytes = (pointer, length) => new Uint8Array(memory(), pointer, length);
    function text(pointer) {
        const all = new Uint8Array(memory(), pointer);
        return new TextDecoder().decode(all.subarray(0, all.indexOf(0)));
    }

    // What the core's port calls.
    const imports = { env: {
        rv_picture(index, pointer, w, h) {
            // A canvas at once, so the first step can draw; an ImageBitmap, cheaper to copy from,
            // takes its place as soon as the browser has made it.
            const image = new ImageData(new Uint8ClampedArray(bytes(pointer, w * h * 4)), w, h);
            const picture = document.createElement("canvas");
            picture.width = w;
            picture.height = h;
            picture.getContext("2d").putImageData(image, 0, 0);
            pictures[index] = picture;
            createImageBitmap(image).then((bitmap) => {
                if (pictures[index] === picture) pictures[index] = bitmap;
            }, () => {});
        },
        rv_release_picture(index) { pictures[index] = null; },
        rv_sound(index, pointer, length) {
            sound.bytes[index] = bytes(pointer, length).slice().buffer;
            sound.buffers[index] = null;
            if (sound.context) decode(index).then(replayLoop);
            return 1;
        },
        rv_release_sound(index) { sound.bytes[index] = sound.buffers[index] = null; },
        rv_copy(index, x, y, w, h) {
            if (pictures[index]) context.drawImage(pictures[index], 0, 0, w, h, x, y, w, h);
        },
        rv_fill(left, top, right, bottom) { context.fillRect(left, top, right - left, bottom - top); },
        rv_play: play,
        rv_stop_sound() {
            sound.looped = -1;
            silence();
        },
        rv_volume(volume) {
            sound.volume = volume / 255;
            if (sound.gain) sound.gain.gain.value = sound.volume;
        },
        rv_clock_seconds: () => Math.floor(Date.now() / 1000),
        rv_scale(blocks) { if (blocks !== scale) fit(blocks); },
    } };

    // Sound. The browser lets a page sound only after a gesture: until then every cue is logged
    // and the show rides on in silence, waiting for no sound.
    function play(index, cue) {
        const audio = sound.context;
        const heard = !!(audio && audio.state === "running" && sound.buffers[index]);
        cues.push({ sound: index, cue, heard });
        if (cues.length > 200) cues.shift();
        if (!heard) {
            sound.looped = cue === LOOP ? index : -1;
            return 0;
        }
        // A sound that starts replaces whatever plays; the core itself holds back a cue that
        // follows a sound it waits for.
        silence();
        sound.looped = cue === LOOP ? index : -1;
        const source = audio.createBufferSource();
        source.buffer = sound.buffers[index];
        source.loop = cue === LOOP;
        source.connect(sound.gain);
        source.onended = () => sound.sources.delete(source);
        source.start();
        sound.sources.add(source);
        return cue === WAIT ? Math.ceil(source.buffer.duration * 1000) : 0;
    }
    function silence() {
        for (const source of sound.sources) source.stop();
        sound.sources.clear();
    }
    function decode(index) {
        return sound.context.decodeAudioData(sound.bytes[index].slice(0))
            .then((buffer) => { sound.buffers[index] = buffer; }, () => {});
    }
    function unlockSound() {
        if (sound.context) {
            if (!document.hidden) sound.context.resume();
            return;
        }
        const audio = sound.context = new AudioContext();
        sound.gain = audio.createGain();
        sound.gain.gain.value = sound.volume;
        sound.analyser = audio.createAnalyser();
        sound.gain.connect(sound.analyser).connect(audio.destination);
        // The engine that runs while the gesture comes is heard from then on.
        Promise.all(sound.bytes.map((b, i) => b && decode(i))).then(replayLoop);
    }
    function replayLoop() {
        if (running && sound.looped >= 0 && sound.sources.size === 0 && !document.hidden) play(sound.looped, LOOP);
    }
    // The sounds are most of the page's bytes: they come apart, once the first picture is up,
    // and only with the sound on. Until they have come the show rides on in silence.
    async function fetchSounds() {
        if (soundsAsked || !settings[soundAt] || !firstPicture) return;
        soundsAsked = true;
        try {
            const response = await fetch("rolvanta.sounds");
            // 204: the worker could not fetch them (offline) and has none kept.
            if (!response.ok || response.status === 204) throw new Error(response.status);
            if (!attach(SOUNDS, new Uint8Array(await response.arrayBuffer()))) throw new Error("a damaged pack");
        } catch (e) {
            soundsAsked = false;  // asked again when the sound is next switched on
        }
    }
    function attach(number, pack) {
        const room = rv.rv_pack_room(pack.length);
        if (room) bytes(room, pack.length).set(pack);
        return room && rv.rv_attach_pack(number, room, pack.length);
    }
    // What waits for the first picture (the core's first copy), so that nothing holds it up on
    // a slow link.
    const copy = imports.env.rv_copy;
    imports.env.rv_copy = (index, x, y, w, h) => {
        copy(index, x, y, w, h);
        if (firstPicture) return;
        firstPicture = performance.now();
        fetchSounds();
        register();
    };
    // The worker keeps the sounds once a page has asked it for them. On a first visit it comes
    // after they were fetched: asked for once more, through it, they are in its copy too.
    function register() {
        if (!("serviceWorker" in navigator)) return;
        navigator.serviceWorker.addEventListener("controllerchange", () => {
            if (settings[soundAt]) fetch("rolvanta.sounds").catch(() => {});
        }, { once: true });
        navigator.serviceWorker.register("service-worker.js").catch(() => {});
    }
    function level() {
        if (!sound.analyser) return 0;
        const samples = new Float32Array(sound.analyser.fftSize);
        sound.analyser.getFloatTimeDomainData(samples);
        return samples.reduce((loudest, s) => Math.max(loudest, Math.abs(s)), 0);
    }

    // Time: the core says how long until its next tick; a frame is asked for then. A long wait
    // sleeps on a timer first.
    function frame() {
        timer = frameRequest = 0;
        const delay = rv.rv_frame(performance.now());
        if (delay < 0) return;
        if (delay > 20) {
            timer = setTimeout(() => { timer = 0; frameRequest = requestAnimationFrame(frame); }, delay - 12);
        } else {
            frameRequest = requestAnimationFrame(frame);
        }
    }
    function stopFrames() {
        clearTimeout(timer);
        cancelAnimationFrame(frameRequest);
        timer = frameRequest = 0;
    }

    // The canvas holds the show's own pixels, and its box covers a block of s by s device pixels
    // for each (s by the core's rule), which the browser stretches unsmoothed: each frame then
    // hands the compositor s * s times fewer pixels than the screen has, where a phone's whole
    // screen took it past 50 ms at every frame. The screen's exact device pixels come from a
    // ResizeObserver where the browser reports them; elsewhere they are reckoned from the ratio,
    // and may be one off.
    // A show under way keeps its scale until the core takes the screen's at its next ride.
    let devicePixels = null, deviceWidth = 0, deviceHeight = 0;
    const screenScale = () => rv.rv_pixel_scale(Math.round((window.devicePixelRatio || 1) * 1000), 1000);
    function fit(blocks) {
        const ratio = window.devicePixelRatio || 1;
        const [w, h] = devicePixels || [Math.round(innerWidth * ratio), Math.round(innerHeight * ratio)];
        [deviceWidth, deviceHeight, scale] = [Math.max(1, w), Math.max(1, h), blocks];
        canvas.width = width = rv.rv_logical_length(deviceWidth, scale);
        canvas.height = height = rv.rv_logical_length(deviceHeight, scale);
        // Scaled, not sized: a box's size is snapped to whole pixels, a transform is not.
        canvas.style.transform = "scale(" + scale / ratio + ")";
        context.fillStyle = "#000";
        context.fillRect(0, 0, width, height);
    }

    function startShow() {
        stopFrames();
        rv.rv_stop();
        settings.slice(0, count).forEach((value, i) => rv.rv_setting_set(i, value));
        fit(screenScale());
        const seed = params.get("seed"), steps = params.get("steps");
        rv.rv_start(deviceWidth, deviceHeight, scale, seed !== null ? 1 : 0, Number(seed) >>> 0, Number(steps) >>> 0);
        running = true;
        canvas.hidden = false;
        note.hidden = true;
        holdWake();
        if (document.hidden) rv.rv_visible(0); else frame();
    }
    function stopShow() {
        stopFrames();
        rv.rv_stop();
        running = false;
        canvas.hidden = true;
        if (wakeLock) wakeLock.release();
    }

    async function holdWake() {
        if (!("wakeLock" in navigator) || document.hidden || wakeLock || !running) return;
        try {
            wakeLock = await navigator.wakeLock.request("screen");
            wakeLock.addEventListener("release", () => { wakeLock = null; });
        } catch (e) {
            wakeLock = null;
        }
    }

    // Settings: the core's keys, ranges, defaults and repair; remembered in localStorage, and
    // overridden for a link by URL parameters named like the keys (?speed=12&sound=1).
    function readSettings() {
        try {
            stored = JSON.parse(localStorage.getItem(STORE));
            // An array or anything else but a plain object would take the panel's changes and
            // lose them in JSON: it counts as nothing stored.
            if (!stored || Object.getPrototypeOf(stored) !== Object.prototype) stored = {};
        } catch (e) {
            stored = {};
        }
        count = rv.rv_setting_count();
        const keys = [...Array(count).keys()].map((i) => text(rv.rv_setting_key(i)));
        soundAt = keys.indexOf("Sound");
        volumeAt = keys.indexOf("Volume");
        keys.push("Saver");
        return keys.map((key, i) => {
            const given = params.get(key.toLowerCase());
            let value = given !== null ? (/^-?\d+$/.test(given) ? Number(given) : NaN) : stored[key];
            if (i === count) return Number.isInteger(value) && value >= 0 && value <= 600 ? value : 0;
            if (!Number.isInteger(value)) value = rv.rv_setting_default(i);
            // Past what a 32-bit integer holds, a number must not wrap into range on its way in.
            return rv.rv_setting_repair(i, Math.min(Math.max(value, -0x80000000), 0x7fffffff));
        }).map((value, i) => ({ key: keys[i], value }));
    }
    function saveSettings(i) {
        stored[panel.elements[i].name] = settings[i];
        try {
            localStorage.setItem(STORE, JSON.stringify(stored));
        } catch (e) { /* a private window may refuse; the settings last for this visit */ }
    }
    function buildPanel(entries) {
        entries.forEach(({ key, value }, i) => {
            const label = document.createElement("label");
            const input = document.createElement("input");
            input.name = key;
            if (i < count && !rv.rv_setting_ranged(i)) {
                input.type = "checkbox";
                input.checked = value !== 0;
                label.append(input, " " + text(rv.rv_setting_label(i)));
            } else {
                input.type = "number";
                input.min = i < count ? rv.rv_setting_min(i) : 0;
                input.max = i < count ? rv.rv_setting_max(i) : 600;
                input.value = value;
                label.append((i < count ? text(rv.rv_setting_label(i)) + " (" + input.min + "\u2013" + input.max + ")"
                                    : "Screen saver after (minutes, 0: off)") + " ", input);
            }
            input.addEventListener("change", () => changeSetting(i, input));
            panel.append(label);
        });
        settings = entries.map((entry) => entry.value);
    }
    function changeSetting(i, input) {
        let value;
        if (input.type === "checkbox") {
            value = input.checked ? 1 : 0;
        } else {
            value = /^-?\d+$/.test(input.value) ? Number(input.value) : NaN;
            value = i < count ? rv.rv_setting_repair(i, Number.isInteger(value) ? value : rv.rv_setting_default(i))
                          : (value >= 0 && value <= 600 ? value : 0);
            input.value = value;
        }
        settings[i] = value;
        saveSettings(i);
        if (i === soundAt) fetchSounds();
        if (i === volumeAt) rv.rv_set_volume(value);
        else if (i === count) enterMode();
        else if (running) startShow();
    }
    function togglePanel(open) {
        panel.hidden = !open;
        gear.setAttribute("aria-expanded", String(open));
        if (open) panel.elements[0].focus();
    }

    // The screen-saver mode: the show starts after so many minutes without input and any
    // input ends it.
    function enterMode() {
        clearTimeout(idleTimer);
        if (settings[count] > 0) {
            stopShow();
            note.textContent = "Rolvanta starts after " + settings[count] + " minute" + (settings[count] === 1 ? "" : "s") + " without input.";
            note.hidden = false;
            idleTimer = setTimeout(startShow, settings[count] * 60000);
        } else if (!running) {
            startShow();
        }
    }
    // The pointer and the settings button rest out of sight while the pointer does, so that
    // nothing but the show is on the screen.
    function wakeGear() {
        document.documentElement.classList.remove("resting");
        clearTimeout(gearTimer);
        gearTimer = setTimeout(() => document.documentElement.classList.add("resting"), 3000);
    }
    function fullscreen(on) {
        const element = document.documentElement;
        if (on && !document.fullscreenElement && element.requestFullscreen) element.requestFullscreen().catch(() => {});
        if (!on && document.fullscreenElement) document.exitFullscreen().catch(() => {});
    }
    const SHORTCUTS = {
        f: () => fullscreen(!document.fullscreenElement),
        s: () => togglePanel(panel.hidden),
        m: () => {
            panel.elements[0].checked = !panel.elements[0].checked;
            changeSetting(0, panel.elements[0]);
        },
        "?": () => { help.hidden = !help.hidden; },
    };
    const shortcut = (event) => !event.ctrlKey && !event.altKey && !event.metaKey && event.target.type !== "number"
        && SHORTCUTS[event.key.toLowerCase()];
    // A touch is a gesture the browser honours (sound, full screen) only once the finger lifts:
    // pointerup, not pointerdown. Keys that move about the page or only modify another are no
    // gesture to the browser, and a visitor pressing them means none.
    const MOVING_KEYS = /^(Tab|Shift|Control|Alt|AltGraph|Meta|CapsLock|NumLock|Escape|Arrow\w+|Home|End|Page\w+)$/;
    function isGesture(event) {
        if (navigator.userActivation && !navigator.userActivation.isActive) return false;
        return event.type === "pointerup" || (event.type === "keydown" && !MOVING_KEYS.test(event.key)
            && !event.ctrlKey && !event.altKey && !event.metaKey);
    }
    function input(event) {
        wakeGear();
        const gesture = isGesture(event);
        if (gesture) unlockSound();
        if (settings[count] > 0) {
            // Asked once, so that the saver, starting with no gesture to ask with, rides full
            // screen; leaving full screen is the visitor's to keep.
            if (gesture && !askedFullscreen) {
                askedFullscreen = true;
                fullscreen(true);
            }
            enterMode();
            return;
        }
        // Otherwise only F (a shortcut) and a click or tap on the show itself ask for it.
        if (gesture && event.type === "pointerup" && event.target === canvas) fullscreen(true);
    }

    function listen() {
        for (const type of ["pointerup", "pointerdown", "keydown", "pointermove", "wheel"]) {
            addEventListener(type, input, { passive: true });
        }
        gear.addEventListener("click", () => togglePanel(panel.hidden));
        addEventListener("keydown", (event) => {
            if (event.key === "Escape") help.hidden = true;
            if (event.key === "Escape" && !panel.hidden) {
                togglePanel(false);
                gear.focus();
            }
            const action = !event.repeat && shortcut(event);
            if (action) action();
        });
        document.addEventListener("visibilitychange", () => {
            if (!running) return;
            if (document.hidden) {
                stopFrames();
                rv.rv_visible(0);
                if (sound.context) sound.context.suspend();
            } else {
                // The engine the core cues on waking may come before the player has woken.
                if (sound.context) sound.context.resume().then(replayLoop);
                rv.rv_visible(1);
                holdWake();
                frame();
            }
        });
    }
    // The show starts once the window's device pixels are known, or a second on without them:
    // asked for as the page starts, so that the answer is in before the files are.
    function measure() {
        const refit = () => {
            if (!running) return;
            fit(scale);
            rv.rv_resize(deviceWidth, deviceHeight, screenScale());
        };
        return new Promise((resolve) => {
            setTimeout(resolve, 1000);
            const observer = "ResizeObserver" in window && new ResizeObserver(([entry]) => {
                const ratio = window.devicePixelRatio || 1;
                const box = entry.devicePixelContentBoxSize && entry.devicePixelContentBoxSize[0];
                let size = [Math.round(entry.contentRect.width * ratio), Math.round(entry.contentRect.height * ratio)];
                // Chromium emulating a ratio reports this box in CSS pixels: a report further than
                // a pixel from the reckoning is not taken.
                if (box && Math.abs(box.inlineSize - size[0]) <= 1 && Math.abs(box.blockSize - size[1]) <= 1) {
                    size = [box.inlineSize, box.blockSize];
                }
                if (size[0] > 0 && !(devicePixels && size[0] === devicePixels[0] && size[1] === devicePixels[1])) {
                    devicePixels = size;
                    refit();
                }
                resolve();
            });
            try {
                observer.observe(document.documentElement, { box: "device-pixel-content-box" });
            } catch (e) {
                if (observer) observer.disconnect();
                addEventListener("resize", refit);
                resolve();
            }
        });
    }

    // The module, compiled as it arrives, and the pictures, both asked for at once (the page
    // preloads them). A download cut short, refused or damaged is tried once more past every
    // cache, checked against release.json then, before the page says what happened. On a first
    // visit no worker has checked them, so they are checked here, as the worker checks every
    // file it keeps: a damaged picture must not ride unannounced. The module runs only once
    // checked.
    async function instantiate(cache) {
        if (typeof WebAssembly !== "object") throw new Error("this browser has no WebAssembly");
        if (typeof DecompressionStream !== "function") throw new Error("this browser cannot unpack gzip");
        const checked = "serviceWorker" in navigator && !!navigator.serviceWorker.controller;
        const listed = checked ? null : cache === "default" && LISTED ? Promise.resolve(LISTED)
            : fetch("release.json", { cache: "no-cache" }).then((list) => list.ok ? list.json() : null)
                .then((list) => list && list.files, () => null);
        const [module, pictures] = await Promise.all([compile(cache, listed), unpack(cache, listed)]);
        try {
            const instance = await WebAssembly.instantiate(module, imports);
            instance.exports._initialize();
            rv = instance.exports;
        } catch (e) {
            throw new Error("rolvanta.wasm arrived cut short or damaged (" + e.message + ")");
        }
        if (!attach(PICTURES, pictures)) throw new Error("rolvanta.pictures arrived damaged: it unpacks to "
                                                          + pictures.length + " bytes, not the module's");
    }
    async function download(name, cache) {
        let response;
        try {
            response = await fetch(name, { cache });
        } catch (e) {
            throw new Error("the network failed, and this browser kept no copy from an earlier visit");
        }
        if (!response.ok) throw new Error("the server answered " + response.status + " for " + name);
        return response;
    }
    async function check(name, body, listed) {
        const damage = listed && await damageOf(body, ((await listed) || {})[name]);
        if (damage) throw new Error(name + " arrived damaged: " + damage);
    }
    // Both come gzipped, whatever the server compresses besides, and are unpacked as they
    // stream; checked, each is read whole beside, and nothing of it is used before the check.
    const unzipped = (body, init) => new Response(body.pipeThrough(new DecompressionStream("gzip")), init);
    async function streamed(name, cache, listed, consume) {
        const response = await download(name, cache);
        const [body, kept] = listed ? response.body.tee() : [response.body];
        const whole = kept && new Response(kept).arrayBuffer().catch(() => new ArrayBuffer(0));
        const consumed = consume(body).catch((e) => {
            throw new Error(name + " arrived cut short or damaged (" + e.message + ")");
        });
        consumed.catch(() => {});  // any damage is named first
        if (listed) await check(name, await whole, listed);
        return consumed;
    }
    // Typed here, so that it compiles as it streams.
    const compile = (cache, listed) => streamed("rolvanta.wasm", cache, listed, (body) =>
        WebAssembly.compileStreaming(unzipped(body, { headers: { "Content-Type": "application/wasm" } })));
    async function unpack(cache, listed) {
        const pack = new Uint8Array(await streamed("rolvanta.pictures", cache, listed,
                                                   (body) => unzipped(body).arrayBuffer()));
        // The .bmp files end to end; those stored mirrored (8-bit, each row reversed) are turned
        // back. A file's size, its pixels' offset, width and height are in its headers.
        const view = new DataView(pack.buffer);
        for (let at = 0, index = 0, size; at + 54 <= pack.length; at += size, index++) {
            size = Math.max(54, view.getUint32(at + 2, true));
            if (!MIRRORED.includes(index)) continue;
            const pixels = at + view.getUint32(at + 10, true), width = view.getInt32(at + 18, true);
            for (let row = 0; row < Math.abs(view.getInt32(at + 22, true)); row++) {
                const start = pixels + row * ((width + 3) & ~3);
                pack.subarray(start, start + width).reverse();
            }
        }
        return pack;
    }
    // What differs from the list's entry, in words; nothing without a list to check against.
    async function damageOf(body, entry) {
        if (!entry) return "";
        if (body.byteLength !== entry.size) return body.byteLength + " bytes where release.json lists " + entry.size;
        if (!(self.crypto && crypto.subtle)) return "";
        const digest = Array.from(new Uint8Array(await crypto.subtle.digest("SHA-256", body)),
                                  (b) => b.toString(16).padStart(2, "0")).join("");
        return digest === entry.sha256 ? "" : "its SHA-256 begins " + digest.slice(0, 12)
            + " where release.json's begins " + entry.sha256.slice(0, 12);
    }
    async function load() {
        const measured = measure();
        await instantiate("default").catch(() => instantiate("reload"));
        buildPanel(readSettings());
        listen();
        await measured;
        wakeGear();
        enterMode();
        // A saver that waits has no picture to hold up.
        if (settings[count] > 0) register();
    }

    // What the page shows of itself, for its tests and benchmark.
    window.rolvanta = {
        ready: load().catch((error) => {
            note.textContent = "Rolvanta could not start: " + error.message + ". Reload the page to try again.";
            note.hidden = false;
            throw error;
        }),
        ticks: () => rv.rv_ticks(),
        running: () => running,
        firstPicture: () => firstPicture,
        level,
        sounding: () => !!sound.context && sound.context.state === "running" && sound.sources.size > 0,
        cues,
    };
})();
