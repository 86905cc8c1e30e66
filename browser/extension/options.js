"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const DEFAULTS = {
  intercept: true, extensions: "zip exe dll arj rar", folder: "",
  serviceAddress: "http://127.0.0.1:6800/jsonrpc", serviceSecret: "",
};
const fields = ["intercept", "extensions", "folder", "serviceAddress", "serviceSecret"];

function show(settings) {
  document.getElementById("intercept").checked = settings.intercept;
  document.getElementById("extensions").value = settings.extensions;
  document.getElementById("folder").value = settings.folder;
  document.getElementById("serviceAddress").value = settings.serviceAddress;
  document.getElementById("serviceSecret").value = settings.serviceSecret;
}

async function save() {
  const folder = document.getElementById("folder").value.trim();
  const status = document.getElementById("status");
  if (folder !== "" && !folder.startsWith("/")) {
    status.textContent = "The folder must be an absolute path.";
    return;
  }
  // Empty, the address goes back to the default.
  const serviceAddress = document.getElementById("serviceAddress").value.trim() || DEFAULTS.serviceAddress;
  if (!/^https?:\/\/[^/]/i.test(serviceAddress)) {
    status.textContent = "The service address must be an http:// or https:// address.";
    return;
  }
  document.getElementById("serviceAddress").value = serviceAddress;
  await api.storage.local.set({
    intercept: document.getElementById("intercept").checked,
    extensions: document.getElementById("extensions").value,
    folder,
    serviceAddress,
    serviceSecret: document.getElementById("serviceSecret").value.trim(),
  });
  status.textContent = "Saved.";
}

api.storage.local.get(Object.keys(DEFAULTS)).then((stored) => show({ ...DEFAULTS, ...stored }));
for (const id of fields) document.getElementById(id).addEventListener("change", save);
