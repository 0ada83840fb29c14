// The web page in headless Chromium (Debian's, driven by playwright-core),
// with the Web MIDI permissions granted, or not, through the browser's
// protocol: every way an update from the page can end, in one table. The
// page and its core are the real ones; only Web MIDI is the stand-in that
// carries it to the simulator over the tests' own JACK server.
//
//   node tests/web/run-chromium.js SITE BRIDGE SIMULATOR [PATTERN]    (under scripts/with-jack)
//
// PATTERN, a regular expression, runs the cases whose description it matches.
"use strict";
const { chromium } = require("playwright-core");
const { startRig, startSimulator, makeImage } = require("./rig");

const [site, bridgeProgram, simulator, pattern] = process.argv.slice(2);

const kBanner = "Update V0.3 - Update Corvilent Tessarine System\n";
const kOpened = "OK: File 'Corvilent.led' is open.\n";
const kFound =
  "The Update Device is Open successfully:\nMIDIIN Device: Tessarine-01:device out\n" +
  "MIDIOUT Device: Tessarine:device in\n";
const kNoDevice = "\nFailed: Can't find the suitable device to update!\n\n";

const image = makeImage(simulator, 3000, 100); // 28 records
const valid = { name: "Corvilent.led", text: image.text };

// Each case: the simulator's options (none: no device), the image, the
// permissions granted, what the page is asked, and how it must end.
const cases = [
  {
    why: "every record accepted",
    device: [],
    expect: { status: 0, key: "updated", said: kBanner + kOpened + kFound + "\nTarget update successfully!\n\n" },
    accepted: image.bytes,
  },
  {
    why: "refusals and silences, sent again",
    device: ["--fault", "2:0:status=20", "--fault", "5:0-1:silence", "--fault", "9:0:status=42"],
    expect: {
      status: 0,
      key: "updated",
      said: kBanner + kOpened + kFound + "\nThe CRC of the download file is error!\n" + "\nTarget update successfully!\n\n",
    },
    accepted: image.bytes,
  },
  {
    why: "a device busy erasing its memory before the first record",
    device: ["--fault", "0:0:busy=6000", "--store-time", "5"],
    expect: { status: 0, key: "updated", said: kBanner + kOpened + kFound + "\nTarget update successfully!\n\n" },
    accepted: image.bytes,
  },
  {
    why: "an erase error, then the record goes again",
    device: ["--fault", "0:0:status=25"],
    expect: { status: 0, key: "updated", said: kBanner + kOpened + kFound + "\nThe MCU erases error!\n\nTarget update successfully!\n\n" },
    accepted: image.bytes,
  },
  {
    why: "no device answers",
    device: null,
    expect: { status: 3, key: "no-device", said: kBanner + kOpened + kNoDevice },
  },
  {
    why: "the device asks to be reset",
    device: ["--id", "15"],
    expect: { status: 4, key: "reset", said: kBanner + kOpened + kFound + "Please reset the product and retry again!\n\n" },
    accepted: Buffer.alloc(0),
  },
  {
    why: "a check that sends no record",
    device: [],
    check: true,
    expect: { status: 0, key: "found", said: kBanner + kOpened + kFound + "Dry run: no record was sent.\n\n" },
    accepted: Buffer.alloc(0),
  },
  {
    why: "Stop midway",
    device: ["--store-time", "30"],
    stopAt: 30,
    expect: { status: 130, key: "stopped-in-transfer", said: /\nInterrupted at record \d+ \([3-9]\d% done\)\.\nThe device holds an incomplete image: run the update again before using the device\.\n\n$/ },
  },
  {
    why: "a double click: one run",
    device: [],
    clicks: "double",
    expect: { status: 0, key: "updated", said: kBanner + kOpened + kFound + "\nTarget update successfully!\n\n" },
    accepted: image.bytes,
  },
  {
    why: "Update, Update, Check while the browser asks for the permission: one run",
    device: [],
    standin: { grantAfterMs: 1500 },
    clicks: "quick",
    expect: { status: 0, key: "updated", said: kBanner + kOpened + kFound + "\nTarget update successfully!\n\n" },
    accepted: image.bytes,
  },
  {
    why: "the page's program fails midway: a failure, never a success",
    device: ["--store-time", "30"],
    abortAt: 30,
    expect: { status: "aborted", said: /\nThe update stopped: the page's program failed\.\n\n$/, next: /reload the page/ },
  },
  {
    why: "an image that fails its check",
    device: [],
    image: { name: "Corvilent.led", text: "00 04 01 02 FF FD\n" },
    checked: kOpened + "Error: The upgrade file is error!\n\n",
  },
  {
    why: "an image whose name lacks the prefix",
    device: [],
    image: { name: "Firmware.led", text: image.text },
    checked: "Error: The fit file is not found.\n\n",
  },
  {
    why: "a browser without Web MIDI",
    device: [],
    standin: { noWebMidi: true },
    guide: /no Web MIDI.*Chrome, Edge or Opera/,
  },
  {
    why: "System Exclusive refused",
    device: [],
    permissions: ["midi"],
    guide: /not allowed to control MIDI devices.*set MIDI devices to Allow/,
  },
];

async function runCase(browser, rig, c) {
  const sim = c.device ? await startSimulator(simulator, c.device) : null;
  const context = await browser.newContext();
  await context.grantPermissions(c.permissions || ["midi", "midi-sysex"], { origin: rig.url });
  const page = await context.newPage();
  await page.addInitScript(`window.__standin = ${JSON.stringify(c.standin || {})};\n${rig.standin}`);
  const problems = [];
  try {
    await page.goto(rig.url);
    await page.waitForSelector("body[data-ready]");
    const chosen = c.image || valid;
    await page.setInputFiles("#file", { name: chosen.name, mimeType: "text/plain", buffer: Buffer.from(chosen.text) });
    if (c.checked !== undefined) {
      await page.waitForFunction(() => document.getElementById("image").textContent !== "");
      const checked = await page.textContent("#image");
      if (checked !== c.checked) problems.push(`the check said ${JSON.stringify(checked)}`);
      if (!(await page.isDisabled("#update"))) problems.push("Update is offered for an image that failed");
      return problems;
    }
    await page.waitForSelector("#update:not([disabled])");
    // The image's summary, as a production line compares it with the one published.
    const sha256 = require("crypto").createHash("sha256").update(chosen.text).digest("hex");
    const summary = `${image.bytes.length} bytes, SHA-256 ${sha256}`;
    if (!(await page.textContent("#image")).includes(summary)) problems.push(`the image's summary is not ${summary}`);
    if (c.clicks === "double") {
      await page.dblclick("#update");
    } else if (c.clicks === "quick") {
      await page.evaluate(() => ["update", "update", "check"].forEach((id) => document.getElementById(id).click()));
    } else {
      await page.click(c.check ? "#check" : "#update");
    }
    if (c.guide) {
      await page.waitForSelector("#browser:not([hidden])");
      const guide = await page.textContent("#browser");
      if (!c.guide.test(guide)) problems.push(`the guidance said ${JSON.stringify(guide)}`);
      return problems;
    }
    if (c.stopAt !== undefined) {
      await page.waitForFunction((at) => document.getElementById("progress").value >= at, c.stopAt);
      await page.click("#stop");
    }
    if (c.abortAt !== undefined) {
      await page.waitForFunction((at) => document.getElementById("progress").value >= at, c.abortAt);
      // The core's next send fails under it, as a fault of its own would.
      await page.evaluate(() => (glue.send = () => { throw new Error("a fault the test forced"); }));
    }
    await page.waitForSelector("body[data-status]", { timeout: 120000 });
    const status = await page.getAttribute("body", "data-status");
    const said = await page.textContent("#said");
    const next = await page.textContent("#next");
    if (status !== String(c.expect.status)) problems.push(`exit status ${status}`);
    const matches = c.expect.said instanceof RegExp ? c.expect.said.test(said) : said === c.expect.said;
    if (!matches) problems.push(`it said ${JSON.stringify(said)}`);
    if (next === "") problems.push("it said nothing of what to do next");
    if (c.expect.next && !c.expect.next.test(next)) problems.push(`what to do next: ${JSON.stringify(next)}`);
    const log = await page.textContent("#log");
    const runs = (log.match(/\b(update|check) of /g) || []).length;
    if (runs !== 1) problems.push(`${runs} runs`);
    if (c.expect.status === 0 && !c.check && !/record 1: answer 1A/.test(log)) problems.push("the log lacks the replies");
  } finally {
    await context.close();
    const held = sim ? await sim.stop() : null;
    if (c.accepted && held && !held.equals(c.accepted)) {
      problems.push(`the device holds ${held.length} bytes, not the ${c.accepted.length} expected`);
    }
  }
  return problems;
}

(async () => {
  const rig = await startRig({ site, bridgeProgram });
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--disable-background-networking",
           "--disable-component-update", "--no-first-run", "--disable-sync"],
  });
  let failed = 0;
  const chosen = cases.filter((c) => !pattern || new RegExp(pattern).test(c.why));
  for (const c of chosen) {
    let problems;
    try {
      problems = await runCase(browser, rig, c);
    } catch (error) {
      problems = [String(error)];
    }
    console.log(`${problems.length === 0 ? "ok" : "FAILED"}: ${c.why}${problems.map((p) => "\n    " + p).join("")}`);
    failed += problems.length > 0;
  }
  await browser.close();
  rig.close();
  console.log(`${chosen.length - failed} passed, ${failed} failed`);
  process.exit(failed > 0 ? 1 : 0);
})();
