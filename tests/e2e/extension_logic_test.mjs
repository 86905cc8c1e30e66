// The browser extension's decisions without a browser: background.js runs
// against a stand-in for the WebExtension API, and each case checks what it
// did to the browser's download (pause, resume, cancel, remove, erase), what
// it told the person, which cookies went to the host, and what went to the
// download service when the host is missing.
//
//   node extension_logic_test.mjs SOURCE_DIR

import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";
import assert from "node:assert/strict";

const script = fs.readFileSync(path.join(process.argv[2], "browser", "extension", "background.js"), "utf8");

const page = "https://shop.example/item";
const cookies = [
  { name: "strict", value: "1", domain: ".files.example", sameSite: "strict", hostOnly: false },
  { name: "lax", value: "2", domain: "dl.files.example", sameSite: "lax", hostOnly: true },
  { name: "none", value: "3", domain: "dl.files.example", sameSite: "no_restriction", hostOnly: true },
  { name: "chips", value: "4", domain: "dl.files.example", sameSite: "no_restriction", hostOnly: true,
    partitionKey: { topLevelSite: "https://shop.example" } },
  { name: "chips-other", value: "5", domain: "dl.files.example", sameSite: "no_restriction",
    hostOnly: true, partitionKey: { topLevelSite: "https://elsewhere.example" } },
];

// Runs one download through the extension; returns what it did.
async function run({ firefox = false, answer = { ok: true }, state = "in_progress", url,
  referrer = page, getAll, resume, stored = {}, service }) {
  const did = [];
  let created;
  const api = {
    runtime: {
      onInstalled: { addListener() {} }, onStartup: { addListener() {} },
      sendNativeMessage: async (host, message) => {
        did.push(["send", message.cookies.map((c) => c.name).join(" ")]);
        if (answer instanceof Error) throw answer;
        return answer;
      },
      ...(firefox ? { getBrowserInfo: async () => ({ name: "Firefox" }) } : {}),
    },
    storage: { local: { get: async () => stored } },
    cookies: { getAll: getAll ?? (async () => cookies) },
    notifications: { create: async (n) => did.push(["tell", n.message]) },
    contextMenus: { removeAll() {}, create() {}, onClicked: { addListener() {} } },
    downloads: {
      onCreated: { addListener: (f) => { created = f; } },
      pause: async () => did.push(["pause"]),
      resume: resume ?? (async () => did.push(["resume"])),
      search: async () => [{ state }],
      cancel: async () => did.push(["cancel"]),
      removeFile: async () => did.push(["removeFile"]),
      erase: async () => did.push(["erase"]),
    },
  };
  const fetch = async (address, init) => {
    did.push([init.method, address, init.headers["Content-Type"], init.body]);
    return new Response(JSON.stringify(service), { status: service.error ? 400 : 200 });
  };
  vm.runInNewContext(script, { chrome: api, console, URL, Promise, fetch });
  url = url ?? "https://dl.files.example/get/pack.zip";
  created({ id: 7, url, filename: "/tmp/" + url.split("/").pop(), referrer });
  await new Promise((resolve) => setTimeout(resolve, 50));
  return did.map((step) => step.join(": "));
}

const refused = { ok: false, error: "the Save dialog was cancelled" };
const missing = new Error("Specified native messaging host not found.");
const noHost = ["pause", "send: lax none chips", "resume",
  "tell: The browser downloads pack.zip itself; tvx did not take it: Specified native messaging host not found."];
const cases = [
  ["taken while the browser still downloads", {},
    ["pause", "send: lax none chips", "cancel", "erase"]],
  ["taken after the browser finished", { state: "complete" },
    ["pause", "send: lax none chips", "removeFile", "erase"]],
  ["declined in Chromium: resumed, and said", { answer: refused },
    ["pause", "send: lax none chips", "resume",
      "tell: The browser downloads pack.zip itself; tvx did not take it: the Save dialog was cancelled"]],
  ["no host: resumed, and said", { answer: missing }, noHost],
  ["cookies refused: resumed, and said", { getAll: async () => { throw new Error("firstPartyDomain missing"); } },
    ["pause", "resume", "tell: The browser downloads pack.zip itself; tvx did not take it: firstPartyDomain missing"]],
  ["declined in Firefox: never paused", { firefox: true, answer: refused },
    ["send: lax none chips",
      "tell: The browser downloads pack.zip itself; tvx did not take it: the Save dialog was cancelled"]],
  ["taken in Firefox after it finished", { firefox: true, state: "complete" },
    ["send: lax none chips", "removeFile", "erase"]],
  ["declined, and the browser cannot resume", { answer: refused, resume: async () => { throw new Error("cannot be resumed"); } },
    ["pause", "send: lax none chips",
      "tell: tvx did not take pack.zip (the Save dialog was cancelled), and the browser could not resume its own download (cannot be resumed): start it again."]],
  ["declined, and the browser's download had failed", { firefox: true, answer: refused, state: "interrupted" },
    ["send: lax none chips",
      "tell: tvx did not take pack.zip (the Save dialog was cancelled), and the browser's download of it has stopped: start it again."]],
  ["a page of the same site gets the strict cookie, no foreign partition", { referrer: "https://www.files.example/" },
    ["pause", "send: strict lax none", "cancel", "erase"]],
  ["an address typed in sends no partitioned cookie", { referrer: "" },
    ["pause", "send: strict lax none", "cancel", "erase"]],
  ["a page over http is another site", { referrer: "http://www.files.example/" },
    ["pause", "send: lax none", "cancel", "erase"]],
  ["another name is left to the browser", { url: "https://dl.files.example/notes.txt" }, []],
];

// The host missing: the download service takes the download when a secret is set.
const secret = { serviceSecret: "s3cret" };
const post = ["POST", "http://127.0.0.1:6800/jsonrpc", "application/json", JSON.stringify({
  jsonrpc: "2.0", id: "tvx-extension", method: "aria2.addUri", params: ["token:s3cret",
    ["https://dl.files.example/get/pack.zip"],
    { referer: page, header: ["Cookie: lax=2; none=3; chips=4"], out: "pack.zip" }] })].join(": ");
const serviceCases = [
  ["no host, the service takes it", { answer: missing, stored: secret, service: { result: "2089b05ecca3d829" } },
    ["pause", "send: lax none chips", post, "cancel", "erase"]],
  ["no host, the service refuses: resumed, and said",
    { answer: missing, stored: secret, service: { error: { code: 1, message: "Unauthorized" } } },
    ["pause", "send: lax none chips", post, "resume", "tell: The browser downloads pack.zip itself; tvx did not " +
      "take it: the download service answered: Unauthorized (native messaging: Specified native messaging host not found.)"]],
  ["no host, no secret: no service", { answer: missing, stored: { serviceSecret: "" } }, noHost],
  ["no host, an address not http: no service",
    { answer: missing, stored: { ...secret, serviceAddress: "ws://127.0.0.1:6800/jsonrpc" } }, noHost],
];

let failed = 0;
for (const [name, options, expected] of [...cases, ...serviceCases]) {
  const did = await run(options);
  try {
    assert.deepEqual(did, expected);
    console.log("ok:", name);
  } catch {
    ++failed;
    console.log(`FAILED: ${name}\n  did:      ${JSON.stringify(did)}\n  expected: ${JSON.stringify(expected)}`);
  }
}
process.exit(failed ? 1 : 0);
