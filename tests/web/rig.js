// What the web page's tests run it on: the site served on 127.0.0.1 (taken
// offline when a test says so), with the Web MIDI stand-in's scripts, and a
// WebSocket (/midi) that carries what the page sends to the device
// simulator, played on standard input and output, and its answers back.
"use strict";
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const readline = require("readline");
const { spawn, execFileSync } = require("child_process");
const { WebSocketServer } = require("ws");

const types = {
  ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".svg": "image/svg+xml", ".png": "image/png",
  ".webmanifest": "application/manifest+json",
};

// The device simulator, ready: on the MIDI service's ports, or with
// `answer` on standard input and output, its answers given to `answer`.
// `send` hands it a message; `stop` gives back what it accepted.
async function startSimulator(program, options, answer) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-web-"));
  const accepted = path.join(folder, "accepted.bin");
  const child = spawn(program, [...options, ...(answer ? ["--stdio"] : []), "--accepted", accepted, "--timeout", "600"],
                      { stdio: ["pipe", "pipe", "inherit"] });
  await new Promise((resolve, reject) => {
    readline.createInterface({ input: child.stdout })
      .on("line", (line) => (line.startsWith("tessarine-sim: ready") ? resolve() : answer && answer(line)));
    child.on("exit", () => reject(new Error("the simulator ended before it was ready")));
  });
  return {
    send: (hex) => child.stdin.write(hex + "\n"),
    async stop() {
      const ended = new Promise((resolve) => child.on("exit", resolve));
      child.kill("SIGTERM");
      await ended;
      const held = fs.existsSync(accepted) ? fs.readFileSync(accepted) : Buffer.alloc(0);
      fs.rmSync(folder, { recursive: true, force: true });
      return held;
    },
  };
}

// With `driven`, the page is served with the stand-in and the driver in
// it, the image to take at /image, and the driver's result awaited by
// `result`.
async function startRig({ site, simulator, driven }) {
  let siteOffline = false;
  let device = null;
  let delivered;
  const result = new Promise((resolve) => (delivered = resolve));
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://localhost");
    const own = { "/standin.js": "", "/carrier.js": "", "/driver.js": "" };
    if (url.pathname in own) {
      response.writeHead(200, { "Content-Type": "text/javascript" });
      return response.end(fs.readFileSync(path.join(__dirname, url.pathname)));
    }
    if (driven && url.pathname === "/standin-settings.js") {
      response.writeHead(200, { "Content-Type": "text/javascript" });
      return response.end("window.__standin = { noPermissionCheck: true };");
    }
    if (driven && url.pathname === "/image") return response.writeHead(200).end(driven.image);
    if (driven && url.pathname === "/result") {
      let body = "";
      request.on("data", (chunk) => (body += chunk));
      return request.on("end", () => {
        response.writeHead(204).end();
        delivered(JSON.parse(body));
      });
    }
    if (siteOffline) return response.destroy();
    let file = path.join(site, url.pathname === "/" ? "index.html" : url.pathname);
    let data = fs.existsSync(file) ? fs.readFileSync(file) : null;
    if (data && driven && url.pathname === "/") {
      // The stand-in, told to leave the browser's own Web MIDI alone, and
      // the driver, before the page's own scripts.
      const scripts = '<script src="/standin-settings.js"></script><script src="/standin.js"></script>' +
                      '<script src="/driver.js"></script><script';
      data = data.toString().replace("<script", scripts);
      file = "index.html";
    }
    if (!data) return response.writeHead(404).end();
    response.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" }).end(data);
  });
  const sockets = new WebSocketServer({ server, path: "/midi" });
  sockets.on("connection", (socket) => socket.on("message", (hex) => device && device.send(String(hex))));
  const answer = (line) => sockets.clients.forEach((socket) => socket.send(line));
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    standin: fs.readFileSync(path.join(__dirname, "standin.js")),
    result,
    // The device behind the stand-in's ports, with the simulator's options;
    // null: none.
    async useDevice(options) {
      device = options ? await startSimulator(simulator, options, answer) : null;
      return device;
    },
    // The site's files no longer served, as when the machine is offline.
    takeSiteOffline(offline) {
      siteOffline = offline;
    },
    close() {
      sockets.clients.forEach((socket) => socket.terminate());
      server.closeAllConnections();
      server.close();
    },
  };
}

// An image file's text and the bytes it holds, made by the simulator's maker.
function makeImage(simulator, size, recordSize) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-image-"));
  const file = path.join(folder, "image.led");
  execFileSync(simulator, ["--make-image", file, "--size", String(size), "--record-size", String(recordSize)]);
  const text = fs.readFileSync(file);
  fs.rmSync(folder, { recursive: true, force: true });
  return { text, bytes: Buffer.from(text.toString().replace(/\s+/g, ""), "hex") };
}

module.exports = { startRig, startSimulator, makeImage };
