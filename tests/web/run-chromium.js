// The web page in headless Chromium (Debian's, driven by playwright-core),
// with the Web MIDI permissions granted, or not, through the browser's
// protocol: a table of the page's states, every way an update from the page
// can end among them, under the page's own Content-Security-Policy (no
// violation allowed), with axe-core's accessibility checks in the states
// named, light and dark; and the page as an owner keeps it: installable,
// and working offline once loaded. The page and its core are the real
// ones; only Web MIDI is the stand-in that carries it to the simulator.
//
//   node tests/web/run-chromium.js SITE SIMULATOR [PATTERN]
//
// PATTERN, a regular expression, runs the cases whose description it
// matches. With TESSARINE_SCREENSHOTS set to a folder, each state checked
// is also shot there, at 1280x800 and 390x844, light and dark.
"use strict";
const crypto = require("crypto");
const fs = require("fs");
const os = require("os");
const path = require("path");
const { chromium } = require("playwright-core");
const { startRig, makeImage } = require("./rig");

const [site, simulator, pattern] = process.argv.slice(2);
const screenshots = process.env.TESSARINE_SCREENSHOTS;
const axeSource = fs.readFileSync(require.resolve("axe-core/axe.min.js"), "utf8");

const kFound =
  "Update V0.3 - Update Corvilent Tessarine System\nOK: File 'Corvilent.led' is open.\n" +
  "The Update Device is Open successfully:\nMIDIIN Device: Tessarine:device out\nMIDIOUT Device: Tessarine:device in\n";
const kUpdated = kFound + "\nTarget update successfully!\n\n";
const kSizes = { wide: { width: 1280, height: 800 }, phone: { width: 390, height: 844 } };
const kLaunch = {
  executablePath: "/usr/bin/chromium",
  // A name of another machine's that leads here: the page's origin is then
  // not this computer's.
  args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--disable-background-networking",
         "--disable-component-update", "--no-first-run", "--disable-sync", "--host-resolver-rules=MAP tessarine.test 127.0.0.1"],
};
const kVersion = `tessarine-update ${fs.readFileSync(path.join(__dirname, "../../VERSION"), "utf8").trim()}`;

const image = makeImage(simulator, 3000, 100); // 29 records

// Each case: the simulator's options (null: no device answers), what the
// page is given and asked, and how it ends: the exit status, the tone of
// the result, what it said, and whether the device then holds the whole
// image (or nothing); or what the image's check said, or the guidance the
// page gave. `states`: the states checked (and shot), by the moment.
const cases = [
  { why: "every record accepted", device: [], states: { before: "initial", chosen: "image-chosen", ended: "success" },
    status: 0, tone: "good", said: kUpdated, holds: true },
  { why: "refusals and silences, sent again", device: ["--fault", "2:0:status=20", "--fault", "5:0-1:silence",
    "--fault", "9:0:status=42"], status: 0, tone: "good",
    said: kFound + "\nThe CRC of the download file is error!\n\nTarget update successfully!\n\n", holds: true },
  { why: "a device busy erasing its memory before the first record", device: ["--fault", "0:0:busy=6000",
    "--store-time", "5"], status: 0, tone: "good", said: kUpdated, holds: true },
  { why: "an erase error, then the record goes again", device: ["--fault", "0:0:status=25"], status: 0, tone: "good",
    said: kFound + "\nThe MCU erases error!\n\nTarget update successfully!\n\n", holds: true },
  { why: "no device answers, told in view on a phone", device: null, size: "phone", states: { ended: "failure" },
    status: 3, tone: "bad", said: kFound.split("The Update")[0] + "\nFailed: Can't find the suitable device to update!\n\n" },
  { why: "the device asks to be reset", device: ["--id", "15"], status: 4, tone: "warn",
    said: kFound + "Please reset the product and retry again!\n\n", holds: false },
  { why: "a check that sends no record", device: [], clicks: "check", status: 0, tone: "good",
    said: kFound + "Dry run: no record was sent.\n\n", holds: false },
  { why: "Stop midway", device: ["--store-time", "30"], stopAt: 30, states: { updating: "updating" }, status: 130,
    tone: "bad", said: /\nInterrupted at record \d+ \([3-9]\d% done\)\.\nThe device holds an incomplete image: run the update again before using the device\.\n\n$/ },
  { why: "a double click: one run", device: [], clicks: "double", status: 0, tone: "good", said: kUpdated, holds: true },
  { why: "Update, Update, Check while the browser asks for the permission: one run", device: [],
    standin: { grantAfterMs: 1500 }, clicks: "quick", status: 0, tone: "good", said: kUpdated, holds: true },
  { why: "the page's program fails midway: a failure, never a success", device: ["--store-time", "30"], abortAt: 30,
    status: "aborted", tone: "bad", said: /\nThe update stopped: the page's program failed\.\n\n$/,
    next: /reload the page/ },
  { why: "an image named as the program takes one: its name begins with Corvilent", device: [],
    image: { name: "Corvilent_notes.txt", text: image.text }, status: 0, tone: "good",
    said: kUpdated.replace("Corvilent.led", "Corvilent_notes.txt"), holds: true },
  { why: "an image that fails its check", device: [], image: { name: "Corvilent.led", text: "00 04 01 02 FF FD\n" },
    checked: "OK: File 'Corvilent.led' is open.\nThe image is refused: record 1's checksum does not balance its data.\n" +
             "Error: The upgrade file is error!\n\n" },
  { why: "an image whose name lacks the prefix", device: [], image: { name: "Firmware.led", text: image.text },
    checked: "Error: The fit file is not found.\n\n" },
  { why: "a browser without Web MIDI: Update and Check disabled", device: [], standin: { noWebMidi: true },
    states: { guided: "no-web-midi" }, guide: /no Web MIDI.*Chrome on Android/, blocked: true },
  { why: "a page over plain http from another machine: told, with the way out", device: [], host: "tessarine.test",
    guide: /plain http from another machine.*https.*localhost/, blocked: true },
  { why: "a SHA-256 that differs, given as the page's parameter", device: [], query: `?sha256=${"0".repeat(64)}`,
    checked: "OK: File 'Corvilent.led' is open.\nThe image is refused: its SHA-256 is not the one given.\n" +
             "Error: The image's SHA-256 is not the one given; nothing was sent.\n\n" },
  { why: "System Exclusive refused", device: [], permissions: ["midi"],
    guide: /not allowed to control MIDI devices.*set MIDI devices to Allow/ },
];

// axe-core's checks of the page as it stands, light and dark; and, when
// asked for, its screenshots at both sizes.
async function check(page, state, size, problems) {
  await page.evaluate(axeSource);
  for (const colorScheme of ["light", "dark"]) {
    await page.emulateMedia({ colorScheme });
    const found = await page.evaluate(() =>
      axe.run(document, { runOnly: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "best-practice"] })
        .then((results) => results.violations.map((v) => `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target).join(", ")}`)));
    for (const violation of found) problems.push(`${state}, ${colorScheme}: ${violation}`);
    for (const [name, viewport] of Object.entries(screenshots ? kSizes : {})) {
      await page.setViewportSize(viewport);
      await page.screenshot({ path: path.join(screenshots, `${state}-${name}-${colorScheme}.png`), fullPage: true });
    }
  }
  await page.emulateMedia({ colorScheme: "light" });
  await page.setViewportSize(kSizes[size]);
}

// Starts what the case asks for, clicking as a user would.
async function start(page, c) {
  if (c.clicks === "check") return page.click("#check");
  if (c.clicks === "quick") {
    await page.evaluate(() => ["update", "update", "check"].forEach((id) => document.getElementById(id).click()));
  } else {
    await (c.clicks === "double" ? page.dblclick("#update") : page.click("#update"));
  }
  if (c.guide) return;
  await page.waitForSelector("#send");
  await (c.clicks === "double" ? page.dblclick("#send") : page.click("#send"));
}

// The page opened in the context, with the stand-in; its policy violations
// gathered.
async function open(context, rig, standin, address = rig.url) {
  const page = await context.newPage();
  await page.addInitScript(`window.__standin = ${JSON.stringify(standin || {})};\n${rig.standin}`);
  await page.addInitScript(() => {
    window.__violations = [];
    document.addEventListener("securitypolicyviolation", (e) => window.__violations.push(`${e.violatedDirective} ${e.blockedURI}`));
  });
  page.refused = [];
  page.on("console", (message) => /Content.Security.Policy|Refused to/i.test(message.text()) && page.refused.push(message.text()));
  await page.goto(address);
  await page.waitForSelector("body[data-ready]");
  return page;
}

async function runCase(browser, rig, c) {
  const device = await rig.useDevice(c.device);
  const size = c.size || "wide";
  const context = await browser.newContext({ viewport: kSizes[size] });
  await context.grantPermissions(c.permissions || ["midi", "midi-sysex"], { origin: rig.url });
  const problems = [];
  const address = (c.host ? rig.url.replace("127.0.0.1", c.host) : rig.url) + (c.query || "");
  const page = await open(context, rig, c.standin, address);
  const at = async (moment) => {
    for (const [when, state] of Object.entries(c.states || {})) if (when === moment) await check(page, state, size, problems);
  };
  try {
    await at("before");
    // The version, as the page shows it and in its log.
    if ((await page.textContent("#version")) !== kVersion) problems.push(`the version shown: ${await page.textContent("#version")}`);
    if (!(await page.textContent("#log")).includes(kVersion)) problems.push("the log lacks the version");
    const chosen = c.image || { name: "Corvilent.led", text: image.text };
    await page.setInputFiles("#file", { name: chosen.name, mimeType: "text/plain", buffer: Buffer.from(chosen.text) });
    if (c.checked) {
      await page.waitForFunction(() => document.getElementById("image").textContent !== "");
      const checked = await page.textContent("#image");
      if (checked !== c.checked) problems.push(`the check said ${JSON.stringify(checked)}`);
      if (!(await page.isDisabled("#update"))) problems.push("Update is offered for an image that failed");
      if (await page.isHidden("#image-error")) problems.push("what to do is not told beside the image");
      return problems;
    }
    if (c.blocked) {
      await page.waitForSelector("#image:not(:empty)");
      const guide = await page.textContent("#browser");
      if (!c.guide.test(guide)) problems.push(`the guidance said ${JSON.stringify(guide)}`);
      if (!(await page.isDisabled("#update")) || !(await page.isDisabled("#check"))) problems.push("Update is offered");
      await at("guided");
      return problems;
    }
    await page.waitForSelector("#update:not([disabled])");
    // The image's summary, as a production line compares it with the one published.
    const summary = `${image.bytes.length} bytes, SHA-256 ${crypto.createHash("sha256").update(chosen.text).digest("hex")}`;
    if (!(await page.textContent("#image")).includes(summary)) problems.push(`the image's summary is not ${summary}`);
    await at("chosen");
    await start(page, c);
    if (c.guide) {
      await page.waitForSelector("#browser:not([hidden])");
      const guide = await page.textContent("#browser");
      if (!c.guide.test(guide)) problems.push(`the guidance said ${JSON.stringify(guide)}`);
      await at("guided");
      return problems;
    }
    if (c.stopAt !== undefined || c.abortAt !== undefined) {
      await page.waitForFunction((at) => document.getElementById("progress").value >= at, c.stopAt || c.abortAt);
    }
    if (c.stopAt !== undefined) {
      const label = await page.evaluate(() => document.getElementById("progress").labels[0].textContent);
      if (label !== "Update progress") problems.push(`the progress bar is named ${JSON.stringify(label)}`);
      const told = await page.textContent("#percent");
      if (!/^Record \d+ of 29/.test(told)) problems.push(`no record of how many told: ${JSON.stringify(told)}`);
      await at("updating");
      await page.click("#stop");
    }
    // The core's next send fails under it, as a fault of its own would.
    if (c.abortAt !== undefined) await page.evaluate(() => (glue.send = () => { throw new Error("a fault the test forced"); }));
    await page.waitForSelector("body[data-status]", { timeout: 120000 });
    await page.waitForSelector("#result:not([hidden])");
    const [status, said, next, log] = await Promise.all(["data-status", "#said", "#next", "#log"].map((what) =>
      what.startsWith("#") ? page.textContent(what) : page.getAttribute("body", what)));
    if (status !== String(c.status)) problems.push(`exit status ${status}`);
    if (!(c.said instanceof RegExp ? c.said.test(said) : said === c.said)) problems.push(`it said ${JSON.stringify(said)}`);
    if (next === "" || (c.next && !c.next.test(next))) problems.push(`what to do next: ${JSON.stringify(next)}`);
    // The outcome: in its tone, announced, focused and in view.
    const result = await page.evaluate(() => {
      const panel = document.getElementById("result");
      const box = panel.getBoundingClientRect();
      return { tone: panel.className, role: panel.getAttribute("role"), focused: document.activeElement === panel,
               inView: box.top >= 0 && box.top < window.innerHeight };
    });
    if (result.tone !== `result ${c.tone}`) problems.push(`the result is shown as ${result.tone}`);
    if (result.role !== (c.tone === "bad" ? "alert" : "status")) problems.push(`the result's role is ${result.role}`);
    if (!result.focused || !result.inView) problems.push(`the result is not focused and in view: ${JSON.stringify(result)}`);
    const runs = (log.match(/\b(update|check) of /g) || []).length;
    if (runs !== 1) problems.push(`${runs} runs`);
    if (c.holds && !/record 1: answer 1A/.test(log)) problems.push("the log lacks the replies");
    // Its log, named by the time it is saved.
    if (c.holds) {
      const [download] = await Promise.all([page.waitForEvent("download"), page.click("#log-box summary").then(() => page.click("#download"))]);
      const name = download.suggestedFilename();
      if (!/^tessarine-update-\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d\.log$/.test(name)) problems.push(`the log is saved as ${name}`);
    }
    await at("ended");
  } finally {
    const violations = await page.evaluate(() => window.__violations).catch(() => []);
    for (const violation of violations.concat(page.refused)) problems.push(`policy violated: ${violation}`);
    await context.close();
    const held = device ? await device.stop() : null;
    if (c.holds !== undefined && !held.equals(c.holds ? image.bytes : Buffer.alloc(0))) {
      problems.push(`the device holds ${held.length} bytes`);
    }
  }
  return problems;
}

// Loaded once over http, the page is installable, and reloaded with its site
// unreachable it still opens and updates the device.
async function offline(rig) {
  const device = await rig.useDevice([]);
  // A profile of its own, as an owner's browser has: a page is not
  // installable from a private window.
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-profile-"));
  const context = await chromium.launchPersistentContext(profile, kLaunch);
  await context.grantPermissions(["midi", "midi-sysex"], { origin: rig.url });
  const problems = [];
  try {
    const page = await open(context, rig, {});
    await page.evaluate(() => navigator.serviceWorker.ready);
    const { installabilityErrors } = await (await context.newCDPSession(page)).send("Page.getInstallabilityErrors");
    for (const error of installabilityErrors) problems.push(`not installable: ${error.errorId}`);
    rig.takeSiteOffline(true);
    await page.reload();
    await page.waitForSelector("body[data-ready]", { timeout: 20000 });
    await page.setInputFiles("#file", { name: "Corvilent.led", mimeType: "text/plain", buffer: image.text });
    await start(page, {});
    await page.waitForSelector("body[data-status]", { timeout: 120000 });
    const status = await page.getAttribute("body", "data-status");
    if (status !== "0") problems.push(`offline, exit status ${status}`);
  } catch (error) {
    problems.push(String(error));
  } finally {
    rig.takeSiteOffline(false);
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
    const held = await device.stop();
    if (!held.equals(image.bytes)) problems.push(`offline, the device holds ${held.length} bytes`);
  }
  return problems;
}

(async () => {
  if (screenshots) fs.mkdirSync(screenshots, { recursive: true });
  const rig = await startRig({ site, simulator });
  const browser = await chromium.launch(kLaunch);
  const all = cases.map((c) => ({ why: c.why, run: () => runCase(browser, rig, c) }));
  all.push({ why: "installable, and offline once loaded", run: () => offline(rig) });
  let failed = 0;
  for (const one of all.filter((c) => !pattern || new RegExp(pattern).test(c.why))) {
    const problems = await one.run().catch((error) => [String(error)]);
    console.log(`${problems.length === 0 ? "ok" : "FAILED"}: ${one.why}${problems.map((p) => "\n    " + p).join("")}`);
    failed += problems.length > 0;
  }
  await browser.close();
  rig.close();
  console.log(failed > 0 ? `${failed} failed` : "all passed");
  process.exit(failed > 0 ? 1 : 0);
})();
