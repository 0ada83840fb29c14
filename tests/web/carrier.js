// The Web MIDI stand-in's worker (standin.js): carries the messages the
// page sends to the rig over one WebSocket, in order, even while the page's
// thread is busy, and the device's answers back. Tells the page "open" once
// the socket is: a browser grants MIDI access with its ports reachable, so
// the page has no port to send on before then.
"use strict";
const socket = new WebSocket(location.origin.replace(/^http/, "ws") + "/midi");
socket.onopen = () => postMessage("open");
socket.onmessage = (event) => postMessage(event.data);
onmessage = (event) => socket.send(event.data);
