// The web page in headless Chromium over Chromium's own Web MIDI, in the
// virtual machine of the platform tests, whose kernel's ALSA sequencer the
// simulator plays the device on: a whole update, and a run with no device.
// No stand-in: the page reaches the ports as an owner's browser does. The
// page's update time is told beside the native program's, for the same
// image on the same sequencer (figures of an emulated machine).
//
//   node tests/web/run-alsa.js SITE SIMULATOR UPDATER     (in the guest)
"use strict";
const { chromium } = require("playwright-core");
const { startSimulator, makeImage } = require("./rig");
const fs = require("fs");
const os = require("os");
const path = require("path");
const { execFileSync } = require("child_process");

const [site, simulator, updater] = process.argv.slice(2).map((p) => path.resolve(p));

(async () => {
  const image = makeImage(simulator, 3000, 100);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-web-"));
  fs.writeFileSync(path.join(folder, "Corvilent.led"), image.text);
  const nativeSim = await startSimulator(simulator, []);
  const nativeStart = performance.now();
  execFileSync(updater, ["--batch"], { cwd: folder, stdio: "ignore" });
  const nativeMs = performance.now() - nativeStart;
  if (!(await nativeSim.stop()).equals(image.bytes)) throw new Error("the native update did not deliver the image");
  fs.rmSync(folder, { recursive: true, force: true });
  const started = Date.now();
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--disable-background-networking",
           "--disable-component-update", "--no-first-run", "--disable-sync"],
    timeout: 180000,
  });
  console.log(`Chromium started in ${((Date.now() - started) / 1000).toFixed(1)} s`);
  let failed = 0;
  for (const device of [true, false]) {
    const sim = device ? await startSimulator(simulator, []) : null;
    const context = await browser.newContext();
    const page = await context.newPage();
    const url = "file://" + path.join(site, "index.html");
    await context.grantPermissions(["midi", "midi-sysex"]);
    await page.goto(url);
    await page.waitForSelector("body[data-ready]");
    await page.setInputFiles("#file", { name: "Corvilent.led", mimeType: "text/plain", buffer: image.text });
    await page.waitForSelector("#update:not([disabled])");
    await page.click("#update");
    await page.waitForSelector("#send");
    const start = performance.now();
    await page.click("#send");
    await page.waitForSelector("body[data-status]", { timeout: 300000 });
    const ms = performance.now() - start;
    const status = Number(await page.getAttribute("body", "data-status"));
    const said = await page.textContent("#said");
    await context.close();
    const held = sim ? await sim.stop() : null;
    const problems = [];
    if (status !== (device ? 0 : 3)) problems.push(`exit status ${status}`);
    const ending = device ? "\nTarget update successfully!\n\n" : "\nFailed: Can't find the suitable device to update!\n\n";
    if (!said.endsWith(ending)) problems.push(`it said ${JSON.stringify(said)}`);
    if (device && !held.equals(image.bytes)) problems.push(`the device holds ${held.length} bytes of ${image.bytes.length}`);
    console.log(`${problems.length === 0 ? "ok" : "FAILED"}: ${device ? "a whole update" : "no device"} over ` +
                `Chromium's Web MIDI${problems.map((p) => "\n    " + p).join("")}`);
    console.log(said);
    if (device) {
      console.log(`the update of ${image.bytes.length} bytes: native ${nativeMs.toFixed(0)} ms, ` +
                  `the page ${ms.toFixed(0)} ms (${(ms / nativeMs).toFixed(2)} times)`);
    }
    failed += problems.length > 0;
  }
  await browser.close();
  process.exit(failed > 0 ? 1 : 0);
})();
