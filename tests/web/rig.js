// What the web page's tests run it on: the site and the Web MIDI stand-in
// served on 127.0.0.1, the bridge to the tests' own JACK server behind the
// stand-in, and the device simulator.
"use strict";
const crypto = require("crypto");
const http = require("http");
const fs = require("fs");
const os = require("os");
const path = require("path");
const readline = require("readline");
const { spawn, execFileSync } = require("child_process");

const types = {
  ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".svg": "image/svg+xml", ".png": "image/png",
  ".webmanifest": "application/manifest+json",
};

// The bridge, answering one command at a time; what its sources receive
// goes to every page listening.
function startBridge(program) {
  const child = spawn(program, [], { stdio: ["pipe", "pipe", "inherit"] });
  const listeners = new Set();
  const waiting = [];
  const lines = readline.createInterface({ input: child.stdout });
  let ready;
  const started = new Promise((resolve) => (ready = resolve));
  lines.on("line", (line) => {
    if (line === "ready") return ready();
    if (line.startsWith("message ")) {
      for (const listener of listeners) listener(line);
      return;
    }
    if (waiting.length > 0) waiting[0].take(line);
  });
  // A command's answer: the lines it needs, as the bridge tells them.
  function ask(command) {
    return new Promise((resolve) => {
      const answer = [];
      let expected = command.startsWith("list") ? null : 1;
      let lists = 0;
      waiting.push({
        take(line) {
          answer.push(line);
          const header = line.match(/^(sources|destinations) (\d+)$/);
          if (header) {
            expected = answer.length + Number(header[2]);
            lists++;
          }
          if (answer.length === expected && (lists === 2 || !command.startsWith("list"))) {
            waiting.shift();
            resolve(answer);
          }
        },
      });
      child.stdin.write(command + "\n");
    });
  }
  return {
    started,
    listeners,
    // A command's answer lines; none for a command the bridge does not
    // answer. Each goes to the bridge as it is asked for, in order.
    async run(command) {
      if (command.startsWith("list") || command.startsWith("open-")) return ask(command);
      child.stdin.write(command + "\n");
      return [];
    },
    stop() {
      child.stdin.end();
      child.kill();
    },
  };
}

// The server's side of a WebSocket, of the simplest kind the stand-in
// needs: unfragmented text frames each way. Calls onText with each text
// that comes; returns the function that sends one.
function acceptSocket(request, socket, onText) {
  const accept = crypto.createHash("sha1")
    .update(request.headers["sec-websocket-key"] + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11")
    .digest("base64");
  socket.write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n" +
               `Sec-WebSocket-Accept: ${accept}\r\n\r\n`);
  socket.setNoDelay(true);
  socket.on("error", () => {});
  let pending = Buffer.alloc(0);
  socket.on("data", (data) => {
    pending = Buffer.concat([pending, data]);
    for (;;) {
      // A browser's frames are always masked.
      if (pending.length < 2) return;
      let length = pending[1] & 0x7f;
      let at = 2;
      if (length === 126) {
        if (pending.length < 4) return;
        length = pending.readUInt16BE(2);
        at = 4;
      } else if (length === 127) {
        if (pending.length < 10) return;
        length = Number(pending.readBigUInt64BE(2));
        at = 10;
      }
      if (pending.length < at + 4 + length) return;
      const mask = pending.subarray(at, at + 4);
      const payload = Buffer.from(pending.subarray(at + 4, at + 4 + length));
      for (let i = 0; i < payload.length; i++) payload[i] ^= mask[i & 3];
      const opcode = pending[0] & 0x0f;
      pending = pending.subarray(at + 4 + length);
      if (opcode === 0x8) return socket.end();
      if (opcode === 0x1) onText(payload.toString());
    }
  });
  return (text) => {
    const payload = Buffer.from(text);
    let header;
    if (payload.length < 126) {
      header = Buffer.from([0x81, payload.length]);
    } else if (payload.length < 65536) {
      header = Buffer.from([0x81, 126, payload.length >> 8, payload.length & 0xff]);
    } else {
      header = Buffer.alloc(10);
      header[0] = 0x81;
      header[1] = 127;
      header.writeBigUInt64BE(BigInt(payload.length), 2);
    }
    socket.write(Buffer.concat([header, payload]));
  };
}

// With `driven`, the page is served with the stand-in and the driver in
// it, the image to take at /image, and the driver's result awaited by
// `result`.
async function startRig({ site, bridgeProgram, driven }) {
  const bridge = startBridge(bridgeProgram);
  await bridge.started;
  const standin = fs.readFileSync(path.join(__dirname, "standin.js"));
  let siteOffline = false;
  let delivered;
  const result = new Promise((resolve) => (delivered = resolve));
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://localhost");
    if (url.pathname === "/events") {
      response.writeHead(200, { "Content-Type": "text/event-stream", "Cache-Control": "no-store" });
      response.write(": listening\n\n");
      const listener = (line) => response.write(`data: ${line}\n\n`);
      bridge.listeners.add(listener);
      request.on("close", () => bridge.listeners.delete(listener));
      return;
    }
    if (["/standin.js", "/driver.js", "/carrier.js"].includes(url.pathname)) {
      response.writeHead(200, { "Content-Type": "text/javascript" });
      response.end(fs.readFileSync(path.join(__dirname, url.pathname)));
      return;
    }
    if (driven && url.pathname === "/standin-settings.js") {
      response.writeHead(200, { "Content-Type": "text/javascript" });
      response.end("window.__standin = { noPermissionCheck: true };");
      return;
    }
    if (driven && url.pathname === "/image") {
      response.writeHead(200, { "Content-Type": "text/plain" }).end(driven.image);
      return;
    }
    if (driven && url.pathname === "/result" && request.method === "POST") {
      let body = "";
      request.on("data", (chunk) => (body += chunk));
      request.on("end", () => {
        response.writeHead(204).end();
        delivered(JSON.parse(body));
      });
      return;
    }
    if (driven && url.pathname === "/") {
      // The stand-in, told to leave the browser's own Web MIDI alone, and
      // the driver, before the page's own scripts.
      const page = fs.readFileSync(path.join(site, "index.html")).toString();
      const scripts =
        '<script src="/standin-settings.js"></script><script src="/standin.js"></script><script src="/driver.js"></script>';
      response.writeHead(200, { "Content-Type": "text/html" }).end(page.replace("<script", scripts + "<script"));
      return;
    }
    // The site's own files, unless the test has taken the site offline.
    if (siteOffline) return response.destroy();
    const file = path.join(site, url.pathname === "/" ? "index.html" : url.pathname);
    fs.readFile(file, (error, data) => {
      if (error) return response.writeHead(404).end();
      response.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" });
      response.end(data);
    });
  });
  // The stand-in's commands, each answered (when it has an id) with the
  // lines the bridge gave for it.
  const sockets = new Set();
  server.on("upgrade", (request, socket) => {
    sockets.add(socket);
    socket.on("close", () => sockets.delete(socket));
    if (new URL(request.url, "http://localhost").pathname !== "/midi") return socket.destroy();
    const send = acceptSocket(request, socket, async (text) => {
      const { id, line } = JSON.parse(text);
      const answer = await bridge.run(line);
      if (id) send(JSON.stringify({ id, answer }));
    });
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    standin,
    result,
    // The site's files no longer served, as when the machine is offline;
    // the stand-in's MIDI still goes through.
    takeSiteOffline(offline) {
      siteOffline = offline;
    },
    close() {
      server.closeAllConnections();
      for (const socket of sockets) socket.destroy();
      server.close();
      bridge.stop();
    },
  };
}

// The device simulator, ready; `stop` gives back what it accepted.
async function startSimulator(program, options) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-web-"));
  const accepted = path.join(folder, "accepted.bin");
  const child = spawn(program, [...options, "--accepted", accepted, "--timeout", "600"], {
    stdio: ["ignore", "pipe", "inherit"],
  });
  await new Promise((resolve, reject) => {
    child.stdout.on("data", (data) => data.toString().includes("ready") && resolve());
    child.on("exit", () => reject(new Error("the simulator ended before it was ready")));
  });
  return {
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

// An image file's text and the bytes it holds, made by the simulator's maker.
function makeImage(simulator, size, recordSize) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "tessarine-image-"));
  const file = path.join(folder, "image.led");
  execFileSync(simulator, ["--make-image", file, "--size", String(size), "--record-size", String(recordSize)]);
  const text = fs.readFileSync(file);
  fs.rmSync(folder, { recursive: true, force: true });
  const bytes = Buffer.from(text.toString().replace(/\s+/g, ""), "hex");
  return { text, bytes };
}

module.exports = { startRig, startSimulator, makeImage };
