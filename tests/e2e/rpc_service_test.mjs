// The download service driven by a client nobody here wrote, the npm
// "aria2" package, over WebSocket: three files added and waited for by their
// onDownloadComplete, then read back with tellStopped; the service killed
// with a download under way and started again completes it under the same
// gid, from where it stopped; SIGTERM ends it cleanly. Requests with a wrong
// secret, a foreign Host, a dir outside the root and a file: address are
// refused. Everything runs on 127.0.0.1.
//
//   node rpc_service_test.mjs TVX_SESSION

import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
let Aria2, WebSocket;
try {
  Aria2 = require("aria2");
  WebSocket = require(require.resolve("ws", { paths: [path.dirname(require.resolve("aria2"))] }));
} catch {
  console.log("SKIP: the npm aria2 package is not installed (scripts/setup.sh installs it)");
  process.exit(77);
}

const tvxSession = path.resolve(process.argv[2]);
const work = fs.mkdtempSync(path.join(os.tmpdir(), "tvx-rpc-"));
const home = path.join(work, "home");
const root = path.join(home, "Downloads");
fs.mkdirSync(home);
const secret = "test-" + crypto.randomBytes(8).toString("hex");

// The files, and a server that answers ranges and sends /slow.bin at about
// 2 MB/s, so that a kill finds it under way.
const files = {
  "/one.bin": crypto.randomBytes(300_000),
  "/two.zip": crypto.randomBytes(1_000_000),
  "/three.iso": crypto.randomBytes(2_000_000),
  "/slow.bin": crypto.randomBytes(6_000_000),
};
const ranges = [];
const fileServer = http.createServer((req, res) => {
  const body = files[new URL(req.url, "http://x").pathname];
  if (!body) return res.writeHead(404).end();
  let start = 0, end = body.length - 1;
  const range = /^bytes=(\d+)-(\d*)$/.exec(req.headers.range || "");
  const head = { "Last-Modified": "Tue, 01 Dec 2026 10:00:00 GMT", ETag: '"v1"', "Accept-Ranges": "bytes" };
  if (range) {
    start = Number(range[1]);
    end = range[2] ? Math.min(Number(range[2]), end) : end;
    ranges.push({ path: req.url, start });
    res.writeHead(206, { ...head, "Content-Length": end - start + 1,
      "Content-Range": `bytes ${start}-${end}/${body.length}` });
  } else {
    res.writeHead(200, { ...head, "Content-Length": body.length });
  }
  const slow = req.url === "/slow.bin";
  let at = start;
  const send = () => {
    while (at <= end) {
      const chunk = body.subarray(at, Math.min(at + 65536, end + 1));
      at += chunk.length;
      if (slow) return res.write(chunk, () => setTimeout(send, 30));
      if (!res.write(chunk)) return res.once("drain", send);
    }
    res.end();
  };
  send();
});
await new Promise((resolve) => fileServer.listen(0, "127.0.0.1", resolve));
const base = `http://127.0.0.1:${fileServer.address().port}`;

const port = await new Promise((resolve) => {
  const probe = net.createServer().listen(0, "127.0.0.1", () => {
    const { port } = probe.address();
    probe.close(() => resolve(port));
  });
});

function startService() {
  const child = spawn(tvxSession, ["--enable-rpc", "--rpc-listen-port", String(port), "--rpc-secret", secret],
    { cwd: work, env: { ...process.env, HOME: home, XDG_CONFIG_HOME: "", XDG_STATE_HOME: "" },
      stdio: ["ignore", "inherit", "pipe"] });
  child.stderrText = "";
  child.stderr.on("data", (d) => { child.stderrText += d; process.stderr.write(d); });
  child.exited = new Promise((resolve) => child.on("exit", (code, signal) => resolve({ code, signal })));
  return child;
}

async function until(what, check, ms = 30000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error("timed out waiting for " + what);
    await new Promise((r) => setTimeout(r, 100));
  }
}

async function connect(key = secret) {
  const aria2 = new Aria2({ host: "127.0.0.1", port, secret: key });
  await until("the service to listen", () => aria2.open().then(() => true, () => false));
  return aria2;
}

function post(body, host = `127.0.0.1:${port}`) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: "127.0.0.1", port, path: "/jsonrpc", method: "POST",
      headers: { Host: host, "Content-Type": "application/json" } }, (res) => {
      let text = "";
      res.on("data", (d) => (text += d));
      res.on("end", () => resolve({ status: res.statusCode, text }));
    });
    req.on("error", reject);
    req.end(JSON.stringify(body));
  });
}

let service = startService();
try {
  // Three files, waited for by their notifications.
  const aria2 = await connect();
  const completed = new Set();
  aria2.on("onDownloadComplete", ([{ gid }]) => completed.add(gid));
  const sha = crypto.createHash("sha256").update(files["/two.zip"]).digest("hex");
  const added = [
    { uri: "/one.bin", options: {}, file: path.join(root, "one.bin") },
    { uri: "/two.zip", options: { checksum: "sha-256=" + sha, out: "renamed.zip" },
      file: path.join(root, "renamed.zip") },
    { uri: "/three.iso", options: { dir: path.join(root, "isos"), split: "4" },
      file: path.join(root, "isos", "three.iso") },
  ];
  for (const a of added) a.gid = await aria2.call("addUri", [base + a.uri], a.options);
  await until("three onDownloadComplete", () => added.every((a) => completed.has(a.gid)));
  const stopped = await aria2.call("tellStopped", 0, 10, ["gid", "status", "totalLength", "completedLength", "files"]);
  assert.deepEqual(stopped.map((s) => s.gid).sort(), added.map((a) => a.gid).sort());
  for (const a of added) {
    const s = stopped.find((x) => x.gid === a.gid);
    assert.equal(s.status, "complete");
    assert.equal(s.completedLength, String(files[a.uri].length));
    assert.equal(s.files[0].path, a.file);
    assert.ok(fs.readFileSync(a.file).equals(files[a.uri]), a.file + " differs");
  }
  const stat = await aria2.call("getGlobalStat");
  assert.equal(stat.numStopped, "3");
  console.log("ok: three files added, completed and listed by the aria2 client");

  // Refusals.
  const refused = async (call, pattern) => {
    await assert.rejects(call, (e) => pattern.test(e.message) || assert.fail(e.message));
  };
  const stranger = await connect("wrong");
  await refused(stranger.call("getGlobalStat"), /Unauthorized/);
  await stranger.close();
  await refused(aria2.call("addUri", ["file:///etc/passwd"]), /only http and https/);
  await refused(aria2.call("addUri", [base + "/one.bin"], { dir: "/etc" }), /outside/);
  await refused(aria2.call("addUri", [base + "/one.bin"], { dir: root + "/../.." }), /outside/);
  await refused(aria2.call("addUri", [base + "/one.bin"], { out: "../../escape" }), /inside dir/);
  await refused(aria2.call("tellStatus", "0123456789abcdef"), /not found/);
  const foreign = await post({ jsonrpc: "2.0", id: 1, method: "aria2.getVersion", params: ["token:" + secret] },
    "rebound.example:" + port);
  assert.equal(foreign.status, 403);
  const closed = await new Promise((resolve) => {
    const ws = new WebSocket(`ws://127.0.0.1:${port}/jsonrpc`, { headers: { Host: "rebound.example" } });
    let answered = false;
    ws.on("open", () => ws.send(JSON.stringify({ jsonrpc: "2.0", id: 1, method: "aria2.getVersion",
      params: ["token:" + secret] })));
    ws.on("message", () => (answered = true));
    ws.on("close", () => resolve(!answered));
    ws.on("error", () => resolve(!answered));
  });
  assert.ok(closed, "a WebSocket with a foreign Host was answered");
  const plain = await post({ jsonrpc: "2.0", id: 7, method: "aria2.getVersion", params: ["token:" + secret] });
  assert.equal(plain.status, 200);
  assert.equal(JSON.parse(plain.text).id, 7);
  console.log("ok: wrong secret, file: address, dir outside the root, foreign Host refused");

  // Killed with a download under way, started again: the same gid completes
  // from where it stopped.
  const slowGid = await aria2.call("addUri", [base + "/slow.bin"]);
  await until("part of slow.bin", async () =>
    Number((await aria2.call("tellStatus", slowGid, ["completedLength"])).completedLength) > 1_500_000);
  await aria2.close();
  service.kill("SIGKILL");
  await service.exited;
  const rangesBefore = ranges.length;
  service = startService();
  const again = await connect();
  await until("slow.bin after the restart", async () =>
    (await again.call("tellStatus", slowGid, ["status"])).status === "complete");
  assert.ok(fs.readFileSync(path.join(root, "slow.bin")).equals(files["/slow.bin"]), "slow.bin differs");
  assert.ok(ranges.slice(rangesBefore).some((r) => r.path === "/slow.bin" && r.start > 0),
    "the restarted service fetched slow.bin from byte 0");
  assert.equal((await again.call("tellStopped", 0, 10)).length, 4);
  console.log("ok: killed and started again, the download completes under its gid");

  // tvx.runSession runs the list of the service's folder and says when it is done.
  fs.writeFileSync(path.join(work, "tvx_downctrl.htm"), `${base}/,.,list\n1,one.bin,One\n//END\n`);
  const sessionDone = new Promise((resolve) => again.once("tvx.onSessionComplete", ([r]) => resolve(r)));
  const started = await post({ jsonrpc: "2.0", id: 9, method: "tvx.runSession", params: ["token:" + secret, true] });
  assert.equal(JSON.parse(started.text).result, "OK", started.text);
  assert.deepEqual(await sessionDone, { status: 0 });
  assert.ok(fs.readFileSync(path.join(work, "one.bin")).equals(files["/one.bin"]));
  await again.close();
  console.log("ok: tvx.runSession runs the list and tells its end");

  service.kill("SIGTERM");
  const end = await service.exited;
  assert.equal(end.code, 0, "SIGTERM: " + JSON.stringify(end));
  assert.match(service.stderrText, /the download service stopped/);
  console.log("ok: SIGTERM stops the service cleanly");
} finally {
  service.kill("SIGKILL");
  fileServer.close();
  fileServer.closeAllConnections?.();
  fs.rmSync(work, { recursive: true, force: true });
}
