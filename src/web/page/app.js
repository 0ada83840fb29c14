// The web updater's page: the image chosen or dropped and checked at once,
// the ports listed and chosen, a confirmation that names the image, the
// ports and the time it takes, the update (or a check that sends no record)
// run by the program's own core, its progress in the page's words, the
// outcome in a panel that says what happened and what to do next, and a log
// of it all.
"use strict";

const $ = (id) => document.getElementById(id);

const kNoWebMidi =
  "This browser has no Web MIDI, which the update needs. Use Chrome, Edge or Opera (on Windows, macOS, Linux " +
  "or ChromeOS), Chrome on Android, or Firefox, which asks the site's permission for MIDI devices. Safari and " +
  "the browsers of iPhone and iPad have none.";
const kSysExRefused =
  "The page was not allowed to control MIDI devices (System Exclusive messages), which the update needs. " +
  "Allow it again in the site's settings (the icon left of the address), set MIDI devices to Allow, then " +
  "reload the page.";
const kInsecure =
  "This page was opened over plain http from another machine, and browsers allow MIDI only on a secure page. " +
  "Open it over https, or on the computer the controller is connected to (http://localhost/), or from a folder.";
const kTriesInARow = 20;

// How each ending is headlined: its tone and its words.
const kHeadlines = {
  updated: ["good", "The controller is updated"],
  restarted: ["good", "The controller is updated and restarts"],
  found: ["good", "The controller answers: nothing was sent"],
  reset: ["warn", "Not updated: the controller asks to be reset"],
  "stopped-before-search": ["warn", "Stopped: the controller was not written to"],
  "stopped-in-search": ["warn", "Stopped: the controller was not written to"],
  "stopped-before-write": ["warn", "Stopped: the controller was not written to"],
  "stopped-in-transfer": ["bad", "Stopped midway: the controller holds part of the image"],
  "no-device": ["bad", "Not updated: no controller answered"],
  "port-not-found": ["bad", "Not updated: a chosen port is gone"],
  "output-missing": ["bad", "Not updated: the MIDI output went away"],
  "not-responding": ["bad", "Not updated: the controller stopped answering"],
  "update-error": ["bad", "Not updated: the controller refused the image"],
  aborted: ["bad", "Not updated: the page's program failed"],
};
const kIcons = { good: "✓", warn: "!", bad: "✗" };

const page = {
  core: null,
  imageName: null,
  image: null, // its summary, once it passed its check
  checking: false, // the file stage alone runs
  confirming: false, // the confirmation is shown, or its access awaited
  running: false, // a run is under way: one at a time
  broken: false, // the core stopped without an outcome; it cannot run again
  record: null, // the try under way
  log: [],
  started: performance.now(),
};

function logLine(text) {
  const seconds = ((performance.now() - page.started) / 1000).toFixed(3).padStart(9);
  page.log.push(`${seconds} s  ${text}`);
  const log = $("log");
  log.textContent = page.log.join("\n");
  log.scrollTop = log.scrollHeight;
}

function show(id, text) {
  $(id).textContent = text;
  $(id).hidden = text === "";
}

// The program's words, where the page shows them: under the image while it
// is checked, in the result of a run.
function tell(text) {
  $(page.checking ? "image" : "said").textContent += text;
}

function hex(value) {
  return value.toString(16).toUpperCase().padStart(2, "0");
}

function showResult(key, next) {
  const [tone, title] = kHeadlines[key] || ["bad", "Not updated: the image failed its check"];
  const result = $("result");
  result.className = `result ${tone}`;
  // Failures are announced at once; the rest politely.
  result.setAttribute("role", tone === "bad" ? "alert" : "status");
  $("result-icon").textContent = kIcons[tone];
  $("result-title").textContent = title;
  $("next").textContent = next;
  result.hidden = false;
  result.scrollIntoView({ block: "start" });
  result.focus();
}

const events = {
  report(kind, text, first, second) {
    switch (kind) {
      case "problem":
        logLine(`image: ${text}`);
        $("image").textContent += `The image is refused: ${text}.\n`;
        break;
      case "service":
        logLine(`MIDI service: ${text}`);
        break;
      case "banner":
      case "opened":
      case "found":
      case "refused":
        tell(text);
        logLine(text.trim());
        break;
      case "advice":
        show("ports-note", `${$("ports-note").textContent} ${text.trim()}`.trim());
        logLine(text.trim());
        break;
      case "answer":
        logLine(second < 0 ? `record ${first + 1}: no answer` : `record ${first + 1}: answer ${hex(second)}`);
        break;
      case "asking":
        logLine(text);
        break;
      case "pace":
        // A cable's pace costs time: told; the others are logged.
        if (second === 1) show("ports-note", text);
        logLine(second === 1 ? `${text} (from record ${first + 1})` : `pace: ${text}`);
        break;
      case "wait":
        $("waiting").textContent = first > 0 ? waitingWords(text, first) : "";
        break;
      case "waitEnds":
        $("waiting").textContent = "";
        break;
    }
  },
  recordTry(record, records, attempt, percent) {
    page.record = { record, records, attempt };
    $("progress").value = percent;
    $("percent").textContent =
      `Record ${record + 1} of ${records}${attempt > 0 ? `, try ${attempt + 1} of ${kTriesInARow}` : ""}: ` +
      `${percent} % of the image accepted.`;
    // A milestone a quarter of the image.
    const quarter = Math.floor(percent / 25);
    if (quarter > (page.quarter || 0)) {
      page.quarter = quarter;
      $("milestone").textContent = `${quarter * 25} % of the image accepted.`;
    }
  },
  ended(key, text, next, status) {
    if (page.checking) {
      tell(text);
      show("image-error", next);
      logLine(`image: failed its check (${key})`);
      page.image = null;
      refresh();
      return;
    }
    if (key === "updated" || key === "restarted") {
      $("progress").value = 100;
      $("percent").textContent = "Every record accepted.";
    }
    tell(text);
    logLine(`${text.trim()} (${key}, exit status ${status})`);
    page.outcome = { key, next };
  },
  image(bytes, records, sha256) {
    logLine(`image: ${records} records, ${bytes} bytes, SHA-256 ${sha256}`);
    if (!page.checking) return;
    page.image = { bytes, records, sha256 };
    $("image").textContent += `${records} records, ${bytes} bytes, SHA-256 ${sha256}.\n`;
    refresh();
  },
  port(input, index, name) {
    const select = $(input ? "input" : "output");
    const option = document.createElement("option");
    option.value = String(index);
    option.textContent = `${index}: ${name}`;
    select.append(option);
    logLine(`MIDI ${input ? "input" : "output"} ${index}: ${name}`);
  },
};

// The page's words for a wait that lasts.
function waitingWords(what, seconds) {
  if (what.startsWith("Waiting") && page.record) {
    const { record, attempt } = page.record;
    return `Waiting for the controller's answer: ${seconds} s (record ${record + 1}, try ${attempt + 1} of ` +
           `${kTriesInARow}).`;
  }
  return `Looking for the controller: ${seconds} s.`;
}

const glue = createMidiGlue(events);

// What the browser, or the machine, lacks, and what to do; none: hidden.
function guide(text) {
  show("browser", text);
  if (text) logLine(text);
}

// Why the browser offers no Web MIDI here, if it offers none: a page that is
// not secure has none, whatever the browser.
function noWebMidi() {
  if (!window.isSecureContext) return kInsecure;
  return navigator.requestMIDIAccess ? "" : kNoWebMidi;
}

// The access to the MIDI ports, asked for once; null when the browser has
// none or the user refused it (the page then says what to do).
async function midiAccess() {
  if (glue.access) return glue.access;
  if (noWebMidi()) {
    guide(noWebMidi());
    return null;
  }
  try {
    glue.access = await navigator.requestMIDIAccess({ sysex: true });
  } catch (error) {
    guide(kSysExRefused);
    return null;
  }
  guide("");
  glue.access.onstatechange = () => {
    if (!page.running) listPorts();
  };
  return glue.access;
}

async function listPorts() {
  if (!(await midiAccess()) || page.running) return;
  for (const id of ["input", "output"]) {
    const select = $(id);
    const chosen = select.value;
    select.length = 1;
    select.value = chosen;
  }
  show("ports-note", "");
  page.core.ccall("WebListPorts", "number", [], []);
  refresh();
}

function refresh() {
  const ready = page.core !== null && page.image !== null && !page.running && !page.confirming && !page.broken &&
                !noWebMidi();
  $("update").disabled = !ready;
  $("check").disabled = !ready;
  $("stop").disabled = !page.running;
  $("file").disabled = page.running || page.confirming;
  $("list").disabled = page.running;
}

async function takeImage(file) {
  if (!file || page.running || page.confirming || !page.core) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  // A run may have started while the file was read.
  if (page.running || page.confirming || page.broken) return;
  const fs = page.core.FS;
  for (const name of fs.readdir(".")) {
    if (name !== "." && name !== "..") fs.unlink(name);
  }
  fs.writeFile(file.name, bytes);
  page.imageName = file.name;
  $("result").hidden = true;
  logLine(`image chosen: ${file.name} (${bytes.length} bytes of text)`);
  checkImage();
}

// The SHA-256 the image must have, as given (in the field, or the page's
// sha256 parameter); "" for none, or null while it is no SHA-256 at all.
function wantedSha256() {
  const given = $("sha256").value.trim();
  const sound = given === "" || /^[0-9A-Fa-f]{64}$/.test(given);
  show("sha256-error", sound ? "" : "A SHA-256 is 64 hexadecimal digits (0 to 9, a to f).");
  return sound ? given : null;
}

// The file stage's checks and texts, and its rule for the name, as the
// program has them, on the image chosen and the SHA-256 given.
function checkImage() {
  if (!page.imageName || page.running || page.confirming || page.broken) return;
  page.image = null;
  $("image").textContent = "";
  show("image-error", "");
  const sha256 = wantedSha256();
  if (sha256 !== null) {
    page.checking = true;
    page.core.ccall("WebCheckImage", "number", ["string", "string"], [page.imageName, sha256]);
    page.checking = false;
  }
  refresh();
}

function portWords(id) {
  const select = $(id);
  return select.value === "-1" ? "any port" : `port ${select.options[select.selectedIndex].textContent}`;
}

// About how long an update of the image takes: the search, then for every
// record its chunks (11 bytes, 1 ms apart) and the answer's round trip;
// behind a 5-pin cable, a record that runs past what the cable's card may
// hold ahead (2 KiB) goes at the cable's pace (3125 bytes a second), after
// one answer's wait (5 s).
function estimate({ bytes, records }) {
  const perRecord = bytes / records;
  const chunks = Math.ceil(perRecord / 11);
  const wireBytes = 2 * perRecord + 2 * chunks;
  const past = Math.max(0, wireBytes - 2048) / 3.125;
  const words = (ms) => {
    const seconds = Math.ceil(ms / 1000);
    return seconds < 90 ? `${seconds} seconds` : `${Math.ceil(seconds / 60)} minutes`;
  };
  const fast = 1500 + records * (chunks * 1.1 + 25);
  return past > 0 ? `about ${words(fast)}, up to ${words(fast + 5000 + records * past)} behind a 5-pin MIDI cable`
                  : `about ${words(fast)}`;
}

async function confirmUpdate() {
  if (page.running || page.confirming || page.broken) return;
  page.confirming = true;
  refresh();
  if (!(await midiAccess())) {
    page.confirming = false;
    refresh();
    return;
  }
  const { bytes, records, sha256 } = page.image;
  $("confirm-text").textContent =
    `The image ${page.imageName}: ${bytes} bytes in ${records} records, SHA-256 ${sha256}. ` +
    `To the controller on MIDI input ${portWords("input")} and output ${portWords("output")}. ` +
    `It takes ${estimate(page.image)}.`;
  $("confirm").hidden = false;
  $("confirm-heading").focus();
}

function cancelUpdate() {
  $("confirm").hidden = true;
  page.confirming = false;
  refresh();
  $("update").focus();
}

// The core stopped midway (a fault of the page's program, not an outcome):
// a failure, whatever it had told before.
function aborted(error) {
  page.broken = true;
  const text = "\nThe update stopped: the page's program failed.\n\n";
  tell(text);
  logLine(`${text.trim()} (${error})`);
  page.outcome = {
    key: "aborted",
    next:
      "The controller may hold part of the image. Keep it connected and switched on, reload the page, and " +
      "start the update again; if it fails again, send the log to support.",
  };
  document.body.dataset.status = "aborted";
}

async function run(dryRun) {
  // Busy from the click on, before any wait: a second click, or the other
  // button, starts no second run into the same device.
  if (page.running || page.broken || (dryRun && page.confirming)) return;
  page.running = true;
  page.confirming = false;
  $("confirm").hidden = true;
  delete document.body.dataset.status;
  refresh();
  try {
    if (!(await midiAccess())) return;
    $("said").textContent = "";
    $("result").hidden = true;
    show("ports-note", "");
    $("progress").value = 0;
    $("percent").textContent = dryRun ? "Looking for the controller." : "Starting.";
    $("milestone").textContent = "";
    page.quarter = 0;
    page.record = null;
    page.outcome = null;
    $("running").hidden = false;
    $("stop").disabled = false;
    $("stop").focus();
    const input = Number($("input").value);
    const output = Number($("output").value);
    logLine(`${dryRun ? "check" : "update"} of ${page.imageName}, input ${input < 0 ? "any" : input}, ` +
            `output ${output < 0 ? "any" : output}`);
    try {
      const status = await page.core.ccall("WebUpdate", "number", ["string", "string", "number", "number", "number"],
                                           [page.imageName, wantedSha256() || "", input, output, dryRun ? 1 : 0],
                                           { async: true });
      document.body.dataset.status = String(status);
    } catch (error) {
      aborted(error);
    }
    $("running").hidden = true;
    if (page.outcome) showResult(page.outcome.key, page.outcome.next);
  } finally {
    page.running = false;
    refresh();
  }
}

window.addEventListener("beforeunload", (event) => {
  // Closing the page midway would leave the device with part of the image.
  if (!page.running) return;
  event.preventDefault();
  event.returnValue = "";
});

$("file").addEventListener("change", () => takeImage($("file").files[0]));
const drop = $("drop");
drop.addEventListener("dragover", (event) => {
  event.preventDefault();
  drop.classList.add("over");
});
drop.addEventListener("dragleave", () => drop.classList.remove("over"));
drop.addEventListener("drop", (event) => {
  event.preventDefault();
  drop.classList.remove("over");
  takeImage(event.dataTransfer.files[0]);
});
$("list").addEventListener("click", listPorts);
$("sha256").addEventListener("input", checkImage);
$("update").addEventListener("click", confirmUpdate);
$("send").addEventListener("click", () => run(false));
$("cancel").addEventListener("click", cancelUpdate);
$("check").addEventListener("click", () => run(true));
$("stop").addEventListener("click", () => {
  glue.stopRequested = true;
  logLine("stop asked for");
});
$("copy").addEventListener("click", () => navigator.clipboard.writeText(page.log.join("\n")));
$("download").addEventListener("click", () => {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([page.log.join("\n") + "\n"], { type: "text/plain" }));
  // Named by when it was saved: 2026-12-10T18-30-05.
  const saved = new Date(Date.now() - new Date().getTimezoneOffset() * 60000).toISOString().slice(0, 19);
  link.download = `tessarine-update-${saved.replace(/:/g, "-")}.log`;
  link.click();
  URL.revokeObjectURL(link.href);
});

// Installed, or loaded once, the page works offline; opened from a folder
// (file://) no service worker runs, and none is needed.
if ("serviceWorker" in navigator && location.protocol.startsWith("http")) {
  navigator.serviceWorker.register("sw.js").catch((error) => logLine(`no offline copy: ${error}`));
}

// The WebAssembly is handed over, not fetched (see tessarine-wasm.js).
const wasmBinary = Uint8Array.from(atob(kTessarineWasm), (c) => c.charCodeAt(0));
TessarineCore({ tessarine: glue, wasmBinary, print: logLine, printErr: logLine }).then((core) => {
  page.core = core;
  core.FS.mkdir("/images");
  core.FS.chdir("/images");
  const version = `tessarine-update ${core.ccall("WebVersion", "string", [], [])}`;
  $("version").textContent = version;
  $("sha256").value = new URLSearchParams(location.search).get("sha256") || "";
  logLine(`page ready: ${version}, ${navigator.userAgent}`);
  document.body.dataset.ready = "1";
  refresh();
  if (noWebMidi()) guide(noWebMidi());
});
