// The web page's update against the native program's, for the same 16 KiB
// image, against the same simulator: the program over a JACK server, the
// page over the tests' Web MIDI stand-in (tests/web/rig.js), which carries
// its messages to the simulator over a WebSocket. Figures, not a test
// (scripts/benchmark runs it). The page in front, and as in a tab in
// the background, where browsers run a page's timers at most once a second,
// on the second: no browser here hides a page (a headless one never does,
// and Xvfb has no window manager to minimize a window), so every timer of
// the page is held so.
//
//   node bench/web_bench.js SITE SIMULATOR UPDATER     (under scripts/with-jack)
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { execFileSync } = require("child_process");
// playwright-core is the browsers' tests' package, installed beside them.
const { chromium } = require(require.resolve("playwright-core", { paths: [path.join(__dirname, "../tests/web")] }));
const { startRig, startSimulator, makeImage } = require("../tests/web/rig");

const [site, simulator, updater] = process.argv.slice(2).map((p) => path.resolve(p));
const kRuns = 5;

// A hidden tab's timers: each runs on the next whole second after its time.
const kHiddenTimers = `(() => {
  const realSetTimeout = window.setTimeout.bind(window);
  window.setTimeout = (callback, delay = 0, ...rest) => {
    const due = performance.now() + delay;
    return realSetTimeout(callback, Math.ceil(due / 1000) * 1000 - performance.now(), ...rest);
  };
})();`;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

async function native(image) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-bench-"));
  fs.writeFileSync(path.join(folder, "Corvilent.led"), image.text);
  const sim = await startSimulator(simulator, []);
  const start = performance.now();
  execFileSync(updater, ["--batch"], { cwd: folder, stdio: "ignore" });
  const ms = performance.now() - start;
  const held = await sim.stop();
  fs.rmSync(folder, { recursive: true, force: true });
  if (!held.equals(image.bytes)) throw new Error("the native update did not deliver the image");
  return ms;
}

async function web(browser, rig, image, background = false) {
  const sim = await rig.useDevice([]);
  const context = await browser.newContext();
  await context.grantPermissions(["midi", "midi-sysex"], { origin: rig.url });
  const page = await context.newPage();
  await page.addInitScript(`window.__standin = {};\n${rig.standin}`);
  if (background) await page.addInitScript(kHiddenTimers);
  await page.goto(rig.url);
  await page.waitForSelector("body[data-ready]");
  await page.setInputFiles("#file", { name: "Corvilent.led", mimeType: "text/plain", buffer: image.text });
  await page.waitForSelector("#update:not([disabled])");
  // Timed by the page's own clock, from the click to the outcome: waiting
  // for the outcome from here would see it only at a poll of up to 500 ms.
  await page.evaluate(() => {
    window.__ended = new Promise((resolve) => {
      new MutationObserver((_, observer) => {
        if (document.body.dataset.status === undefined) return;
        observer.disconnect();
        resolve(performance.now());
      }).observe(document.body, { attributes: true });
    });
  });
  await page.click("#update");
  await page.waitForSelector("#send");
  const start = await page.evaluate(() => performance.now());
  await page.click("#send");
  const ms = (await page.evaluate(() => window.__ended)) - start;
  const status = await page.getAttribute("body", "data-status");
  await context.close();
  const held = await sim.stop();
  if (status !== "0" || !held.equals(image.bytes)) throw new Error("the page's update did not deliver the image");
  return ms;
}

(async () => {
  const image = makeImage(simulator, 16384, 256);
  const rig = await startRig({ site, simulator });
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--disable-background-networking",
           "--disable-component-update", "--no-first-run", "--disable-sync"],
  });
  const times = { native: [], front: [], background: [] };
  for (let run = 0; run < kRuns; run++) {
    times.native.push(await native(image));
    times.front.push(await web(browser, rig, image));
    times.background.push(await web(browser, rig, image, true));
  }
  await browser.close();
  rig.close();
  const base = median(times.native);
  console.log(`the whole update of 16 KiB (64 records), median of ${kRuns} runs`);
  console.log(`${"".padEnd(30)} ${"ms".padStart(9)} ${"ratio".padStart(7)}`);
  const row = (name, values) => console.log(`${name.padEnd(30)} ${median(values).toFixed(1).padStart(9)} ` +
                                            `${(median(values) / base).toFixed(3).padStart(7)}`);
  row("native program", times.native);
  row("web page, in front", times.front);
  row("web page, timers as behind", times.background);
})();
