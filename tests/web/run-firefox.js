// One update from the web page in Firefox ESR (Debian's, headless), which
// no test tool here drives: the page drives itself (driver.js) over the Web
// MIDI stand-in, and the simulator must hold the whole image.
//
//   node tests/web/run-firefox.js SITE SIMULATOR
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { spawn } = require("child_process");
const { startRig, makeImage } = require("./rig");

const [site, simulator] = process.argv.slice(2);

(async () => {
  const image = makeImage(simulator, 3000, 100);
  const rig = await startRig({ site, simulator, driven: { image: image.text } });
  const device = await rig.useDevice([]);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-firefox-"));
  const firefox = spawn("/usr/bin/firefox-esr", ["--headless", "--no-remote", "--profile", profile, rig.url], {
    stdio: "ignore",
    env: { ...process.env, MOZ_CRASHREPORTER_DISABLE: "1" },
  });
  const timeout = new Promise((resolve) => setTimeout(() => resolve({ error: "no result in 600 s" }), 600000));
  const result = await Promise.race([rig.result, timeout]);
  firefox.kill("SIGKILL");
  const held = await device.stop();
  rig.close();
  fs.rmSync(profile, { recursive: true, force: true });
  const problems = [];
  if (result.error) problems.push(result.error);
  if (result.status !== 0) problems.push(`exit status ${result.status}, it said ${JSON.stringify(result.said)}`);
  if (!/Firefox/.test(result.agent || "")) problems.push(`not Firefox: ${result.agent}`);
  if (!held.equals(image.bytes)) problems.push(`the device holds ${held.length} bytes of ${image.bytes.length}`);
  console.log(`${problems.length === 0 ? "ok" : "FAILED"}: an update in Firefox ESR` +
              problems.map((p) => "\n    " + p).join(""));
  process.exit(problems.length === 0 ? 0 : 1);
})();
