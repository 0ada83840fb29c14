// Serves a folder's files on 127.0.0.1 (node scripts/serve-site.js FOLDER
// PORT), for trying the web page: nothing else is served.
"use strict";
const http = require("http");
const fs = require("fs");
const path = require("path");

const [folder, port] = [path.resolve(process.argv[2]), Number(process.argv[3] || 8080)];
const types = {
  ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".svg": "image/svg+xml", ".png": "image/png",
  ".webmanifest": "application/manifest+json",
};

http
  .createServer((request, response) => {
    const wanted = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    const file = path.join(folder, wanted === "/" ? "index.html" : wanted);
    if (!file.startsWith(folder + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" });
      response.end(data);
    });
  })
  .listen(port, "127.0.0.1");
