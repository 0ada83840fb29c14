// The Web MIDI stand-in's worker (standin.js): carries the page's commands
// to the rig's bridge over one WebSocket, in order, and its answers back.
"use strict";
const socket = new WebSocket(location.origin.replace(/^http/, "ws") + "/midi");
const early = [];
socket.onopen = () => early.splice(0).forEach((text) => socket.send(text));
socket.onmessage = (event) => postMessage(JSON.parse(event.data));
onmessage = (event) => {
  const text = JSON.stringify(event.data);
  if (socket.readyState === WebSocket.OPEN) socket.send(text);
  else early.push(text);
};
