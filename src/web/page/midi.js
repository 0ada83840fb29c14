// The page's side of the program's MIDI (Module.tessarine): the Web MIDI
// access the page was granted, the ports the program opened, the messages
// they received (waiting until the program looks, at its next wait), the
// pace of the sends, and the waits themselves.
//
// A message goes out at the time the pace of the sends asks for: the
// program's pause after every chunk moves that time on (pace), and Web
// MIDI's timestamp keeps it. No timer paces the sends: browsers stretch
// nested timers to 4 ms and throttle those of a tab in the background to one
// a second. A wait ends at a message, which no throttling holds back.
"use strict";

function createMidiGlue(events) {
  const glue = {
    access: null,
    stopRequested: false,
    queue: [],
    open: new Map(),
    nextId: 1,
    nextSendAt: 0,
    lastSendAt: 0,
    wake: null,

    async openPort(input, name) {
      const ports = input ? this.access.inputs : this.access.outputs;
      const port = Array.from(ports.values()).find((candidate) => candidate.name === name);
      if (!port) return -1;
      try {
        await port.open();
      } catch (error) {
        // Chromium refuses a port another program holds.
        return -2;
      }
      const id = this.nextId++;
      this.open.set(id, port);
      if (input) {
        port.onmidimessage = (event) => {
          this.queue.push([id, event.data]);
          if (this.wake) this.wake();
        };
      }
      return id;
    },

    closePort(id) {
      const port = this.open.get(id);
      if (!port) return;
      if (port.type === "input") port.onmidimessage = null;
      this.open.delete(id);
      port.close();
    },

    send(id, data) {
      const port = this.open.get(id);
      const at = Math.max(performance.now(), this.nextSendAt);
      try {
        port.send(data, at);
      } catch (error) {
        return false;
      }
      this.nextSendAt = at;
      this.lastSendAt = Math.max(this.lastSendAt, at);
      return true;
    },

    pace(milliseconds) {
      this.nextSendAt = Math.max(performance.now(), this.nextSendAt) + milliseconds;
    },

    connected(id) {
      const port = this.open.get(id);
      return port !== undefined && port.state === "connected";
    },

    wait(milliseconds) {
      if (this.queue.length > 0) return Promise.resolve();
      return new Promise((resolve) => {
        const done = () => {
          clearTimeout(timer);
          this.wake = null;
          resolve();
        };
        const timer = setTimeout(done, milliseconds);
        this.wake = done;
      });
    },

    // The program's calls that tell what happens.
    report: (kind, text, first, second) => events.report(kind, text, first, second),
    ended: (key, text, status) => events.ended(key, text, status),
    image: (sound, records, bytes) => events.image(sound !== 0, records, bytes),
    port: (input, index, name) => events.port(input !== 0, index, name),
  };
  return glue;
}
