// The page's reading of its settings (readSettings in web/rolvanta.js: the link's parameters
// over what localStorage kept, repaired by the core in rolvanta.wasm) over random links and
// stored texts: it never throws, every value is one the show takes, and a link's value is used
// where its setting offers it and gives the default where a range does not. The function is
// read from the source (the site's copy is mangled), the core from the built site.
//   node settings_fuzz.js SITE SECONDS [RUNS]      exits 1 with the input at the first fault
"use strict";
const fs = require("fs");
const [site, seconds, runs = Infinity] = process.argv.slice(2);
const source = fs.readFileSync(__dirname + "/../../web/rolvanta.js", "utf8");
const cut = (name, at = source.indexOf("function " + name + "(")) => source.slice(at, source.indexOf("\n    }\n", at));
const env = new Proxy({}, { get: () => () => 0 });
const wasm = fs.readFileSync(site + "/rolvanta.wasm");  // served gzipped, or as it is
const compiled = new WebAssembly.Module(wasm[0] === 0x1f ? require("zlib").gunzipSync(wasm) : wasm);
const rv = new WebAssembly.Instance(compiled, { env }).exports;
rv._initialize();
const read = new Function("rv", "params", "localStorage", "STORE", "memory",
                          "let stored;" + cut("text") + "}" + cut("readSettings") + "}return readSettings;");
let state = 1;
const pick = (list) => list[((state ^= state << 13, state ^= state >>> 17, state ^= state << 5) >>> 0) % list.length];
const KEYS = ["speed", "rate", "volume", "sound", "blank", "coravendia", "valtorne", "saver", "Speed", "__proto__"];
const VALUES = ["", "0", "-1", "1", "6", "15", "16", "40", "255", "600", "601", "1e3", "0x10", "-0", "+5", " 6", "NaN",
                "99999999999999999999", "-2147483649", "4294967302", "\u0663", "%00", "&", "=", "1.5"];
const JSONS = ["1", "-0", "1.5", "1e308", "600", "\"6\"", "null", "true", "[]", "{}", "-2147483649", "12"];
const started = Date.now();
let run = 0;
for (; run < runs && Date.now() - started < seconds * 1000; ++run) {
    const query = Array.from({ length: run % 5 }, () => pick(KEYS) + "=" + pick(VALUES)).join("&");
    const entries = Array.from({ length: run % 4 }, () => JSON.stringify(pick(KEYS).replace(/^./, (c) =>
        pick([c, c.toUpperCase()]))) + ":" + pick(JSONS));
    const kept = pick(["{" + entries.join(",") + "}", "[" + pick(JSONS) + "]", "{", "null", pick(JSONS)]);
    const params = new URLSearchParams(query);
    let fault = "";
    try {
        const settings = read(rv, params, { getItem: () => kept }, "rolvanta.settings", () => rv.memory.buffer)();
        settings.forEach(({ key, value }, i) => {
            const given = params.get(key.toLowerCase());
            const [min, max] = i < 7 ? [rv.rv_setting_min(i), rv.rv_setting_max(i)] : [0, 600];
            const offered = given !== null && /^-?\d+$/.test(given) && Number(given) >= min && Number(given) <= max;
            const ranged = i >= 4;  // speed, rate, volume and the saver's minutes; a flag keeps any number
            if (!Number.isInteger(value) || (ranged && (value < min || value > max)) || (offered && value !== +given) ||
                (i < 7 && rv.rv_setting_repair(i, value) !== value) ||
                (given !== null && !offered && ranged && value !== (i < 7 ? rv.rv_setting_default(i) : 0))) {
                fault += " " + key + " is " + value;
            }
        });
    } catch (e) {
        fault = "threw " + e;
    }
    if (fault) {
        console.log("page_settings: FOUND A PROBLEM: ?" + query + " with " + JSON.stringify(kept) + " kept:" + fault);
        process.exit(1);
    }
}
console.log("page_settings: " + run + " runs in " + seconds + " s at most, nothing found");
