// A stand-in for Web MIDI, put into the page under test before its own
// scripts: no MIDI service reaches a browser here, so the page's ports are
// those of the tests' own JACK server, carried by the test's bridge (what
// the sources receive as server-sent events). The browser's own Web MIDI
// still decides whether the page may use MIDI at all, System
// Exclusive included, unless the test says it has none.
(() => {
  "use strict";
  const settings = window.__standin || {};
  if (settings.noWebMidi) {
    delete Navigator.prototype.requestMIDIAccess;
    return;
  }
  const real = navigator.requestMIDIAccess ? navigator.requestMIDIAccess.bind(navigator) : null;

  // The commands go to the bridge from a worker of their own (carrier.js,
  // served by the rig, as the page's policy allows scripts of its own
  // origin alone), over one WebSocket, in order: a send is handed over
  // before it returns, as a browser hands a message to its MIDI service,
  // even while the page's thread is busy, and never waits for an answer or
  // for an earlier command's.
  const worker = new Worker("/carrier.js");
  const answering = new Map();
  let nextCommand = 1;
  worker.onmessage = (event) => {
    const resolve = answering.get(event.data.id);
    answering.delete(event.data.id);
    if (resolve) resolve(event.data.answer);
  };
  const post = (line) =>
    new Promise((resolve) => {
      const id = nextCommand++;
      answering.set(id, resolve);
      worker.postMessage({ id, line });
    });
  const sendNow = (line) => worker.postMessage({ id: 0, line });
  const hex = (data) => Array.from(data, (b) => b.toString(16).padStart(2, "0")).join("");
  const bytes = (text) => Uint8Array.from(text.match(/../g) || [], (pair) => parseInt(pair, 16));

  const sources = new Map();
  let nextId = 1;
  const events = new EventSource("/events");
  events.onmessage = (event) => {
    const [, id, data] = event.data.split(" ");
    const port = sources.get(Number(id));
    if (port && port.onmidimessage) port.onmidimessage({ data: bytes(data), timeStamp: performance.now() });
  };

  class Port {
    constructor(type, index, name) {
      Object.assign(this, { type, name, id: `${type}-${index}`, manufacturer: "", state: "connected" });
      this.connection = "closed";
      this.onmidimessage = null;
      this.handle = 0;
    }
    async open() {
      if (this.handle) return this;
      const handle = nextId++;
      const kind = this.type === "input" ? "source" : "destination";
      const [reply] = await post(`open-${kind} ${handle} ${this.name}`);
      if (!reply.endsWith("ok")) throw new DOMException("the port is in use", "InvalidAccessError");
      this.handle = handle;
      if (this.type === "input") sources.set(handle, this);
      this.connection = "open";
      return this;
    }
    async close() {
      if (!this.handle) return this;
      post(`close ${this.handle}`);
      sources.delete(this.handle);
      this.handle = 0;
      this.connection = "closed";
      return this;
    }
    send(data, timestamp) {
      const delay = timestamp === undefined ? 0 : Math.max(0, timestamp - performance.now());
      sendNow(`send ${this.handle} ${delay.toFixed(3)} ${hex(data)}`);
    }
  }

  navigator.requestMIDIAccess = async (options) => {
    // As long as the user takes to answer the browser's question.
    if (settings.grantAfterMs) await new Promise((resolve) => setTimeout(resolve, settings.grantAfterMs));
    if (real && !settings.noPermissionCheck) {
      try {
        await real(options);
      } catch (error) {
        // Refused; a browser with no MIDI service of its own still may.
        if (error.name === "SecurityError" || error.name === "NotAllowedError") throw error;
      }
    }
    const lines = await post("list");
    const ports = { inputs: new Map(), outputs: new Map() };
    let kind = null;
    let index = 0;
    for (const line of lines) {
      const header = line.match(/^(sources|destinations) (\d+)$/);
      if (header) {
        kind = header[1] === "sources" ? "input" : "output";
        index = 0;
        continue;
      }
      const port = new Port(kind, index++, line);
      ports[kind === "input" ? "inputs" : "outputs"].set(port.id, port);
    }
    return { inputs: ports.inputs, outputs: ports.outputs, sysexEnabled: true, onstatechange: null };
  };
})();
