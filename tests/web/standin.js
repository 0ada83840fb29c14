// A stand-in for Web MIDI, put into the page under test before its own
// scripts: no MIDI service reaches a browser here, so the page gets one
// input and one output, which a worker of its own (carrier.js, as the
// page's policy allows scripts of its own origin alone) carries to the
// rig's device simulator and back. A send is handed over before it
// returns, as a browser hands a message to its MIDI service. The browser's
// own Web MIDI still decides whether the page may use MIDI at all, System
// Exclusive included, unless the test says it has none.
(() => {
  "use strict";
  const settings = window.__standin || {};
  // A browser offers Web MIDI to a secure page alone.
  if (settings.noWebMidi || !window.isSecureContext) {
    delete Navigator.prototype.requestMIDIAccess;
    return;
  }
  const real = navigator.requestMIDIAccess ? navigator.requestMIDIAccess.bind(navigator) : null;
  const worker = new Worker("/carrier.js");
  const opened = new Set();
  let carried;
  const carrying = new Promise((resolve) => (carried = resolve));
  worker.onmessage = (event) => {
    if (event.data === "open") return carried();
    const data = Uint8Array.from(event.data.split(" "), (pair) => parseInt(pair, 16));
    for (const port of opened) if (port.onmidimessage) port.onmidimessage({ data, timeStamp: performance.now() });
  };

  class Port {
    constructor(type, name) {
      Object.assign(this, { type, name, id: `${type}-${name}`, manufacturer: "", state: "connected" });
      this.connection = "closed";
      this.onmidimessage = null;
    }
    async open() {
      this.connection = "open";
      if (this.type === "input") opened.add(this);
      return this;
    }
    async close() {
      this.connection = "closed";
      opened.delete(this);
      return this;
    }
    send(data) {
      worker.postMessage(Array.from(data, (b) => b.toString(16).toUpperCase().padStart(2, "0")).join(" "));
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
    // A slow machine's worker may still be connecting: the ports are
    // given once they reach the device, or the search would ask nobody.
    await carrying;
    // The simulator's ports, as JACK names them.
    const input = new Port("input", "Tessarine:device out");
    const output = new Port("output", "Tessarine:device in");
    return { inputs: new Map([[input.id, input]]), outputs: new Map([[output.id, output]]), sysexEnabled: true };
  };
})();
