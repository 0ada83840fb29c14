// The page's side of the program's MIDI (Module.tessarine): the Web MIDI
// access the page was granted, the ports the program opened, the messages
// they received (waiting until the program looks, at its next wait), the
// pace of the sends, and the waits themselves.
//
// Every message goes out the moment it is sent, in order: a Web MIDI
// timestamp would not keep that order (Chromium sends a message whose time
// has passed at once, ahead of earlier ones still waiting for theirs), and a
// record with two chunks swapped still balances its checksum, a plain sum.
// So the program's pause after a chunk (pace) holds the page's thread at
// the next send until the pause is over; it is never a timer, which browsers
// stretch to 4 ms when nested and run once a second in a tab in the
// background. The pause after a record's last chunk costs nothing: the next
// send comes after the device's answer. A wait ends at a message, which no
// throttling holds back.
"use strict";

function createMidiGlue(events) {
  const glue = {
    access: null,
    stopRequested: false,
    queue: [],
    open: new Map(),
    nextId: 1,
    sentAt: 0,
    nextSendAt: 0,
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
      while (performance.now() < this.nextSendAt) {
        // the pause after the last message
      }
      try {
        port.send(data);
      } catch (error) {
        return false;
      }
      this.sentAt = performance.now();
      this.nextSendAt = this.sentAt;
      return true;
    },

    pace(milliseconds) {
      this.nextSendAt = this.sentAt + milliseconds;
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
    recordTry: (record, records, attempt, percent) => events.recordTry(record, records, attempt, percent),
    ended: (key, text, next, status) => events.ended(key, text, next, status),
    image: (bytes, records, sha256) => events.image(bytes, records, sha256),
    port: (input, index, name) => events.port(input !== 0, index, name),
  };
  return glue;
}
