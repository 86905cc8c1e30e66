"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const DEFAULTS = { intercept: true, extensions: "zip exe dll arj rar", folder: "" };
const fields = ["intercept", "extensions", "folder"];

function show(settings) {
  document.getElementById("intercept").checked = settings.intercept;
  document.getElementById("extensions").value = settings.extensions;
  document.getElementById("folder").value = settings.folder;
}

async function save() {
  const folder = document.getElementById("folder").value.trim();
  const status = document.getElementById("status");
  if (folder !== "" && !folder.startsWith("/")) {
    status.textContent = "The folder must be an absolute path.";
    return;
  }
  await api.storage.local.set({
    intercept: document.getElementById("intercept").checked,
    extensions: document.getElementById("extensions").value,
    folder,
  });
  status.textContent = "Saved.";
}

api.storage.local.get(Object.keys(DEFAULTS)).then((stored) => show({ ...DEFAULTS, ...stored }));
for (const id of fields) document.getElementById(id).addEventListener("change", save);
