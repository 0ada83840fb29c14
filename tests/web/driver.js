// Drives the page under test by itself, for a browser no test tool drives
// (Firefox ESR): takes the image from the rig, updates, and posts how the
// update ended to the rig.
(() => {
  "use strict";
  const report = (result) => fetch("/result", { method: "POST", body: JSON.stringify(result) });
  const until = (ready) =>
    new Promise((resolve) => {
      const look = () => (ready() ? resolve() : setTimeout(look, 50));
      look();
    });
  window.addEventListener("load", async () => {
    try {
      await until(() => document.body.dataset.ready);
      const text = await (await fetch("/image")).text();
      const files = new DataTransfer();
      files.items.add(new File([text], "Corvilent.led", { type: "text/plain" }));
      const input = document.getElementById("file");
      input.files = files.files;
      input.dispatchEvent(new Event("change"));
      await until(() => !document.getElementById("update").disabled);
      document.getElementById("update").click();
      await until(() => !document.getElementById("confirm").hidden);
      document.getElementById("send").click();
      await until(() => document.body.dataset.status !== undefined);
      report({
        status: Number(document.body.dataset.status),
        said: document.getElementById("said").textContent,
        agent: navigator.userAgent,
      });
    } catch (error) {
      report({ error: String(error) });
    }
  });
})();
