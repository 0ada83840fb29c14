// The web updater's page: the image chosen or dropped and checked at once,
// the ports listed and chosen, the update (or a check that sends no record)
// run by the program's own core, its progress, its outcome in the program's
// words with what to do next, and a log of it all.
"use strict";

const $ = (id) => document.getElementById(id);

const kNoWebMidi =
  "This browser has no Web MIDI, which the update needs. Use Chrome, Edge or Opera (on Windows, macOS, " +
  "Linux or ChromeOS), or Firefox with the site's permission for MIDI devices. Safari and the browsers of " +
  "iPhone and iPad have none.";
const kSysExRefused =
  "The page was not allowed to control MIDI devices (System Exclusive messages), which the update needs. " +
  "Allow it again: click the icon left of the address, open the site settings, set MIDI devices to Allow, " +
  "then reload the page.";

const page = {
  core: null,
  imageName: null,
  // A run is under way, from the click that starts it: one at a time.
  running: false,
  // The core stopped without an outcome; it cannot run again.
  broken: false,
  log: [],
  started: performance.now(),
};

function logLine(text) {
  const seconds = ((performance.now() - page.started) / 1000).toFixed(3).padStart(9);
  page.log.push(`${seconds} s  ${text}`);
  $("log").textContent = page.log.join("\n");
}

// The program's words, where the page shows them: under the image while it
// is checked, under the update while one runs.
function tell(text) {
  $(page.checking ? "image" : "said").textContent += text;
}

function hex(value) {
  return value.toString(16).toUpperCase().padStart(2, "0");
}

const events = {
  report(kind, text, first, second) {
    switch (kind) {
      case "banner":
      case "opened":
      case "found":
      case "refused":
        tell(text);
        logLine(text.trim());
        break;
      case "advice":
        guide(text.trim());
        break;
      case "answer":
        logLine(second < 0 ? `record ${first + 1}: no answer` : `record ${first + 1}: answer ${hex(second)}`);
        break;
      case "asking":
        logLine(text);
        break;
      case "wait":
        $("waiting").textContent = first > 0 ? `${text}: ${first} s` : "";
        break;
      case "waitEnds":
        $("waiting").textContent = "";
        break;
    }
  },
  recordTry(record, records, attempt, percent) {
    $("progress").value = percent;
    $("percent").textContent =
      `Record ${record + 1} of ${records}${attempt > 0 ? `, try ${attempt + 1} of 20` : ""}: ${percent}% done`;
  },
  ended(key, text, next, status) {
    if (page.checking) {
      tell(text);
      $("next").textContent = next;
      logLine("image: failed its check");
      page.sound = false;
      refresh();
      return;
    }
    if (key === "updated" || key === "restarted") {
      $("progress").value = 100;
      $("percent").textContent = "All records sent: 100% done.";
    }
    tell(text);
    $("next").textContent = next;
    logLine(`${text.trim()} (${key}, exit status ${status})`);
  },
  image(bytes, records, sha256) {
    if (page.checking) $("image").textContent += `${records} records, ${bytes} bytes, SHA-256 ${sha256}.\n`;
    logLine(`image: ${records} records, ${bytes} bytes, SHA-256 ${sha256}`);
    if (!page.checking) return;
    page.sound = true;
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

const glue = createMidiGlue(events);

// What the browser, or the machine, lacks, and what to do.
function guide(text) {
  $("browser").textContent = text;
  $("browser").hidden = false;
  logLine(text);
}

// The access to the MIDI ports, asked for once; null when the browser has
// none or the user refused it (the page then says what to do).
async function midiAccess() {
  if (glue.access) return glue.access;
  if (!navigator.requestMIDIAccess) {
    guide(kNoWebMidi);
    return null;
  }
  try {
    glue.access = await navigator.requestMIDIAccess({ sysex: true });
  } catch (error) {
    guide(kSysExRefused);
    return null;
  }
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
  page.core.ccall("WebListPorts", "number", [], []);
  refresh();
}

function refresh() {
  const ready = page.core !== null && page.imageName !== null && page.sound && !page.running && !page.broken;
  $("update").disabled = !ready;
  $("check").disabled = !ready;
  $("stop").disabled = !page.running;
  $("file").disabled = page.running;
  $("list").disabled = page.running;
}

async function takeImage(file) {
  if (!file || page.running || !page.core) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  // A run may have started while the file was read.
  if (page.running || page.broken) return;
  const fs = page.core.FS;
  for (const name of fs.readdir(".")) {
    if (name !== "." && name !== "..") fs.unlink(name);
  }
  fs.writeFile(file.name, bytes);
  page.imageName = file.name;
  page.sound = false;
  $("image").textContent = "";
  $("said").textContent = "";
  $("next").textContent = "";
  logLine(`image chosen: ${file.name} (${bytes.length} bytes of text)`);
  // The file stage's checks and texts, as the program gives them.
  page.checking = true;
  page.core.ccall("WebCheckImage", "number", ["string"], [file.name]);
  page.checking = false;
}

// The core stopped midway (a fault of the page's program, not an outcome):
// a failure, whatever it had told before.
function aborted(error) {
  page.broken = true;
  const text = "\nThe update stopped: the page's program failed.\n\n";
  tell(text);
  $("next").textContent =
    "The device may hold part of the image. Keep it connected and switched on, reload the page, and start " +
    "the update again; if it fails again, send the log to support.";
  logLine(`${text.trim()} (${error})`);
  document.body.dataset.status = "aborted";
}

async function run(dryRun) {
  // Busy from the click on, before any wait: a second click, or the other
  // button, starts no second run into the same device.
  if (page.running || page.broken) return;
  page.running = true;
  delete document.body.dataset.status;
  refresh();
  try {
    if (!(await midiAccess())) return;
    $("said").textContent = "";
    $("next").textContent = "";
    $("progress").value = 0;
    $("percent").textContent = "";
    const input = Number($("input").value);
    const output = Number($("output").value);
    logLine(`${dryRun ? "check" : "update"} of ${page.imageName}, input ${input < 0 ? "any" : input}, ` +
            `output ${output < 0 ? "any" : output}`);
    try {
      const status = await page.core.ccall("WebUpdate", "number", ["string", "number", "number", "number"],
                                           [page.imageName, input, output, dryRun ? 1 : 0], { async: true });
      document.body.dataset.status = String(status);
    } catch (error) {
      aborted(error);
    }
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
$("update").addEventListener("click", () => run(false));
$("check").addEventListener("click", () => run(true));
$("stop").addEventListener("click", () => {
  glue.stopRequested = true;
  logLine("stop asked for");
});
$("copy").addEventListener("click", () => navigator.clipboard.writeText(page.log.join("\n")));
$("download").addEventListener("click", () => {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([page.log.join("\n") + "\n"], { type: "text/plain" }));
  link.download = "tessarine-update.log";
  link.click();
  URL.revokeObjectURL(link.href);
});

TessarineCore({ tessarine: glue, print: logLine, printErr: logLine }).then((core) => {
  page.core = core;
  core.FS.mkdir("/images");
  core.FS.chdir("/images");
  logLine(`page ready: ${navigator.userAgent}`);
  document.body.dataset.ready = "1";
  refresh();
  if (!navigator.requestMIDIAccess) guide(kNoWebMidi);
});
