// Hands links to the Tarvex Download Service through its native messaging
// host: from the context menu of a link, and, when the option is on, every
// download the browser starts whose name ends in one of the taken
// extensions. A browser that cannot start the host (Flatpak, Snap) hands
// them instead to the download service (tvx-session --enable-rpc) over its
// aria2-compatible JSON-RPC, when the options name its address and secret.
//
// Nothing is lost on the way: the browser's own download is removed only
// once tvx answers that the download is under way in a file the person
// chose. Until then Chromium's download waits, paused; Firefox's goes on
// (Firefox cancels a paused download and cannot resume it). When tvx
// declines, fails, is missing or the person cancels its Save dialog, the
// browser's download goes on and a notification says so. Every failure
// ends in a state the person can see.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "de.tarvex.tvx";
const DEFAULTS = {
  intercept: true, extensions: "zip exe dll arj rar", folder: "",
  serviceAddress: "http://127.0.0.1:6800/jsonrpc", serviceSecret: "",
};
// How long the service may take to answer before the hand-off counts as
// failed: Chromium's download waits paused meanwhile.
const SERVICE_TIMEOUT_MS = 20000;
// Firefox alone has getBrowserInfo; its downloads cannot be paused safely.
const PAUSES = typeof api.runtime.getBrowserInfo !== "function";

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

function parse(url) {
  try {
    return new URL(url);
  } catch {
    return null;
  }
}

// The host lies within the domain (the domain itself or below it).
function within(host, domain) {
  const d = domain.replace(/^\./, "").toLowerCase();
  host = host.toLowerCase();
  return host === d || host.endsWith("." + d);
}

// Whether the browser would send the cookie with a request for target
// started by the page at initiator ("" when the person typed the address).
// A SameSite=Strict cookie goes only to a request from its own site: the
// page's scheme is the target's and its host lies within the cookie's
// domain, which is never a public suffix. Lax and unrestricted cookies go
// with a download, a top-level navigation. A partitioned cookie goes only
// when the page is of the site it was partitioned for.
function wouldSend(cookie, target, initiator) {
  const partition = cookie.partitionKey && cookie.partitionKey.topLevelSite;
  if (partition) {
    const site = parse(partition);
    return Boolean(initiator && site && site.protocol === initiator.protocol &&
      within(initiator.hostname, site.hostname));
  }
  if (cookie.sameSite !== "strict" || !initiator) return true;
  return initiator.protocol === target.protocol && within(initiator.hostname, cookie.domain);
}

// The cookies of the target as the browser would send them for a request
// the page at referrer started.
async function cookiesFor(url, referrer) {
  const target = parse(url);
  const initiator = referrer ? parse(referrer) : null;
  let all;
  try {
    // Partitioned cookies too, where the browser knows them.
    all = await api.cookies.getAll({ url, partitionKey: {} });
  } catch {
    all = await api.cookies.getAll({ url });
  }
  return all.filter((cookie) => wouldSend(cookie, target, initiator));
}

function errorText(error) {
  return String(error && error.message ? error.message : error);
}

// The service's address when the options configure one: a secret is set and
// the address is an http: or https: URL.
function serviceOf(settings) {
  const address = parse(settings.serviceAddress || "");
  if (!settings.serviceSecret || !address || !/^https?:$/i.test(address.protocol)) return null;
  return { address: address.href, secret: settings.serviceSecret };
}

// Adds the download to the service with aria2.addUri; resolves to
// {ok: true} once the service answers with the download's gid, else to
// {ok: false, error}.
async function addToService(service, request, cookies, out) {
  const given = {};
  if (request.referrer) given.referer = request.referrer;
  if (cookies.length) given.header = ["Cookie: " + cookies.map((c) => `${c.name}=${c.value}`).join("; ")];
  if (out) given.out = out;
  let status, text;
  try {
    const response = await fetch(service.address, {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({
        jsonrpc: "2.0", id: "tvx-extension", method: "aria2.addUri",
        params: ["token:" + service.secret, [request.url], given],
      }),
      signal: globalThis.AbortSignal?.timeout?.(SERVICE_TIMEOUT_MS),
    });
    status = response.status;
    text = await response.text();
  } catch (error) {
    return { ok: false, error: `the download service at ${service.address} cannot be reached: ${errorText(error)}` };
  }
  let answer = null;
  try {
    answer = JSON.parse(text);
  } catch {}
  if (answer && answer.error) {
    return { ok: false, error: "the download service answered: " + (answer.error.message || JSON.stringify(answer.error)) };
  }
  if (status !== 200) return { ok: false, error: `the download service answered HTTP ${status}` };
  if (!answer || typeof answer.result !== "string") {
    return { ok: false, error: "the download service gave no download id" };
  }
  return { ok: true };
}

// Sends one request to the host; resolves to the host's answer, an answer
// {ok: false, error} for anything that went wrong on the way. When the host
// cannot be started or ends without answering (sendNativeMessage fails) and
// the service is configured, the service gets the download instead; out is
// the name the browser proposed for it. A host's own refusal is final.
async function handOver(request, out = "") {
  try {
    const settings = await options();
    const sent = await cookiesFor(request.url, request.referrer);
    // Only what a request needs of each cookie goes to the host.
    const cookies = sent.map(
      ({ name, value, domain, path, secure, hostOnly, expirationDate }) =>
        ({ name, value, domain, path, secure, hostOnly, expirationDate }));
    let answer;
    try {
      answer = await api.runtime.sendNativeMessage(HOST, { ...request, folder: settings.folder, cookies });
    } catch (error) {
      const service = serviceOf(settings);
      if (!service) throw error;
      const added = await addToService(service, request, sent, baseName(out));
      return added.ok ? added : { ok: false, error: `${added.error} (native messaging: ${errorText(error)})` };
    }
    return answer ?? { ok: false, error: "the host gave no answer" };
  } catch (error) {
    return { ok: false, error: errorText(error) };
  }
}

// Says what happened: the browser gives a background script no other way to
// reach the person.
function tell(message) {
  Promise.resolve(api.notifications.create({
    type: "basic",
    iconUrl: "icon-48.png",
    title: "Tarvex Download Service",
    message,
  })).catch((error) => console.warn("Tarvex:", message, error));
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
    if (!answer.ok) tell("tvx did not take the link: " + answer.error);
  });
});

// A file name without its folders.
function baseName(path) {
  return (path || "").split(/[\\/]/).pop();
}

// tvx has the download under way: the browser's copy goes, finished or not.
async function dropBrowserCopy(id) {
  const [now] = await api.downloads.search({ id });
  if (now && now.state === "complete") await api.downloads.removeFile(id).catch(() => {});
  else await api.downloads.cancel(id).catch(() => {});
  await api.downloads.erase({ id }).catch(() => {});
}

// tvx did not take it: the browser's download goes on, and the person is
// told what really happened.
async function keepBrowserCopy(id, name, why, paused) {
  if (paused) {
    try {
      await api.downloads.resume(id);
    } catch (error) {
      tell(`tvx did not take ${name} (${why}), and the browser could not resume its own ` +
        `download (${error && error.message ? error.message : error}): start it again.`);
      return;
    }
  }
  const [now] = await api.downloads.search({ id }).catch(() => []);
  const state = now ? now.state : "gone";
  tell(state === "interrupted" || state === "gone"
    ? `tvx did not take ${name} (${why}), and the browser's download of it has stopped: start it again.`
    : `The browser downloads ${name} itself; tvx did not take it: ${why}`);
}

async function onDownload(item) {
  const settings = await options();
  const url = item.finalUrl || item.url || "";
  const address = parse(url);
  if (!settings.intercept || !address || !/^https?:$/i.test(address.protocol)) return;
  const extensions = extensionList(settings.extensions);
  const name = baseName(item.filename) || baseName(address.pathname);
  if (!isTaken(name, extensions) && !isTaken(address.pathname, extensions)) return;
  const paused = PAUSES && await api.downloads.pause(item.id).then(() => true, () => false);
  const answer = await handOver({ action: "download", url, referrer: item.referrer || "", filename: name },
    baseName(item.filename));
  if (answer.ok) await dropBrowserCopy(item.id);
  else await keepBrowserCopy(item.id, name, answer.error, paused);
}

api.downloads.onCreated.addListener((item) => {
  onDownload(item).catch((error) => {
    // Whatever broke, the browser's download must not stay paused unseen.
    if (PAUSES) api.downloads.resume(item.id).catch(() => {});
    tell("Tarvex could not take over a download: " + (error && error.message ? error.message : error));
  });
});
