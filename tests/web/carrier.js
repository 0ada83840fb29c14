// The Web MIDI stand-in's worker (standin.js): carries the messages the
// page sends to the rig over one WebSocket, in order, even while the page's
// thread is busy, and the device's answers back. Tells the page "open" once
// the socket is: a browser grants MIDI access with its ports reachable.
"use strict";
const socket = new WebSocket(location.origin.replace(/^http/, "ws") + "/midi");
const early = [];
socket.onopen = () => {
  early.splice(0).forEach((hex) => socket.send(hex));
  postMessage("open");
};
socket.onmessage = (event) => postMessage(event.data);
onmessage = (event) => (socket.readyState === WebSocket.OPEN ? socket.send(event.data) : early.push(event.data));
