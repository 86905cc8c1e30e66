// Hands links to the Tarvex Download Service through its native messaging
// host: from the context menu of a link, and, when the option is on, every
// download the browser starts whose name ends in one of the taken
// extensions. The browser's own download is cancelled only once the window
// has accepted the link; until then it waits, paused.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "de.tarvex.tvx";
const DEFAULTS = { intercept: true, extensions: "zip exe dll arj rar", folder: "" };

async function options() {
  return { ...DEFAULTS, ...(await api.storage.local.get(Object.keys(DEFAULTS))) };
}

// The extensions of the option, lower case, without dots.
function extensionList(text) {
  return text.split(/[\s,;]+/).map((e) => e.replace(/^\./, "").toLowerCase()).filter(Boolean);
}

// The rule of the built-in browser: the name (or the address) ends in
// ".<extension>", letters compared without regard to case.
function isTaken(name, extensions) {
  const lower = name.toLowerCase();
  return extensions.some((e) => lower.endsWith("." + e));
}

// Sends one request to the host; resolves to the host's answer.
async function handOver(request) {
  const { folder } = await options();
  const cookies = await api.cookies.getAll({ url: request.url });
  const message = { ...request, folder, cookies };
  try {
    return await api.runtime.sendNativeMessage(HOST, message);
  } catch (error) {
    return { ok: false, error: String(error && error.message ? error.message : error) };
  }
}

// Says why tvx did not take a link: the browser gives a background script
// no other way to reach the person.
function tell(message) {
  api.notifications.create({
    type: "basic",
    iconUrl: "icon-48.png",
    title: "Tarvex Download Service",
    message,
  }).catch(() => {});
}

function createMenus() {
  api.contextMenus.removeAll(() => {
    api.contextMenus.create({ id: "tvx-download", title: "Download with Tarvex", contexts: ["link"] });
    api.contextMenus.create({ id: "tvx-add", title: "Add link to the Tarvex list", contexts: ["link"] });
  });
}

api.runtime.onInstalled.addListener(createMenus);
api.runtime.onStartup.addListener(createMenus);

api.contextMenus.onClicked.addListener((info) => {
  if (!/^https?:/i.test(info.linkUrl || "")) return;
  handOver({
    action: info.menuItemId === "tvx-add" ? "add" : "download",
    url: info.linkUrl,
    referrer: info.pageUrl || "",
    text: info.linkText || "",
  }).then((answer) => {
    if (!answer || !answer.ok) tell("tvx did not take the link: " + (answer && answer.error));
  });
});

// A file name without its folders.
function baseName(path) {
  return (path || "").split(/[\\/]/).pop();
}

async function onDownload(item) {
  const settings = await options();
  const url = item.finalUrl || item.url || "";
  if (!settings.intercept || !/^https?:/i.test(url)) return;
  const extensions = extensionList(settings.extensions);
  const name = baseName(item.filename) || baseName(new URL(url).pathname);
  if (!isTaken(name, extensions) && !isTaken(new URL(url).pathname, extensions)) return;
  await api.downloads.pause(item.id).catch(() => {});
  const answer = await handOver({
    action: "download",
    url,
    referrer: item.referrer || "",
    filename: name,
  });
  if (answer && answer.ok) {
    // A small file may have arrived before the answer: then its copy goes.
    const [now] = await api.downloads.search({ id: item.id });
    if (now && now.state === "complete") await api.downloads.removeFile(item.id).catch(() => {});
    else await api.downloads.cancel(item.id).catch(() => {});
    await api.downloads.erase({ id: item.id }).catch(() => {});
  } else {
    tell("The browser downloads " + name + " itself; tvx did not take it: " +
      (answer && answer.error));
    await api.downloads.resume(item.id).catch(() => {});
  }
}

api.downloads.onCreated.addListener((item) => {
  onDownload(item).catch((error) => console.warn("Tarvex:", error));
});
