// Finishes the web page's folder after the build has copied its files:
// the WebAssembly as a script the page loads before the program's (its bytes
// in base64), and the service worker's cache named after what the site
// holds, so that a new build replaces an old visitor's copy.
//
//   node cmake/finish-site.js WASM SITE
"use strict";
const crypto = require("crypto");
const fs = require("fs");
const path = require("path");

const [wasm, site] = process.argv.slice(2);
const base64 = fs.readFileSync(wasm).toString("base64");
fs.writeFileSync(path.join(site, "tessarine-wasm.js"),
                 `"use strict";\n// The page's program, compiled to WebAssembly (made by the build).\n` +
                 `var kTessarineWasm = "${base64}";\n`);
const hash = crypto.createHash("sha256");
for (const name of fs.readdirSync(site).sort()) {
  if (name !== "sw.js") hash.update(name).update(fs.readFileSync(path.join(site, name)));
}
const worker = path.join(site, "sw.js");
fs.writeFileSync(worker, fs.readFileSync(worker, "utf8").replace("@TESSARINE_SITE_STAMP@", hash.digest("hex").slice(0, 16)));
