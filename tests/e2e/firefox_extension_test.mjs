// Firefox ESR with the Tarvex extension hands downloads to tvx, end to end,
// driven by puppeteer-core over WebDriver BiDi (the extension is installed
// as a temporary add-on). A page on a local server sets a cookie and links
// to archives the server gives out only with it. The cases:
//  1. a hand-off with its cookie: the Save dialog is accepted, the archive
//     arrives through tvx byte for byte, the browser's copy goes;
//  2. no host (its manifest missing): the browser downloads the file itself;
//  3. tvx's Save dialog cancelled: the browser's download goes on and ends
//     whole;
//  4. a download the browser finishes before tvx answers: tvx still gets it,
//     and the browser's finished copy is removed.
//
//   node firefox_extension_test.mjs SOURCE_DIR HOST_PROGRAM TVX_PROGRAM
//
// Exits 77 (skipped) with the reason when Firefox, puppeteer-core, Xvfb or
// xdotool are missing or Firefox cannot start.

import { execFileSync, spawn } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";

const SKIPPED = 77;
const COOKIE = "session=s3cret-4711";
const [source, host, tvx] = process.argv.slice(2);

function skip(reason) {
  console.log(`SKIPPED: ${reason}`);
  process.exit(SKIPPED);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitFor(what, predicate, seconds) {
  const deadline = Date.now() + seconds * 1000;
  for (;;) {
    const value = await predicate();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out after ${seconds} s waiting for ${what}`);
    await sleep(200);
  }
}

// The archives: the browser gets them slowly (so that its download runs
// while tvx decides), tvx ("GET HTTP") at once, ranges included. tiny.zip
// reaches the browser at once.
const archives = {
  "/files/pack.zip": crypto.randomBytes(768 * 1024),
  "/files/other.zip": crypto.randomBytes(512 * 1024),
  "/files/kept.zip": crypto.randomBytes(512 * 1024),
  "/files/tiny.zip": crypto.randomBytes(40 * 1024),
};
const requests = [];

function serve(request, response) {
  const agent = request.headers["user-agent"] || "";
  const cookie = (request.headers.cookie || "").includes(COOKIE);
  requests.push({ path: request.url, agent, cookie });
  if (request.url === "/") {
    const links = Object.keys(archives)
      .map((p) => `<a id="${path.basename(p, ".zip")}" href="${p}">${path.basename(p)}</a>`)
      .join(" ");
    response.writeHead(200, { "Content-Type": "text/html", "Set-Cookie": `${COOKIE}; Path=/files` });
    response.end(`<html><body>${links}</body></html>`);
    return;
  }
  const body = archives[request.url];
  if (!body || !cookie) {
    response.writeHead(body ? 403 : 404);
    response.end();
    return;
  }
  const range = /^bytes=(\d+)-$/.exec(request.headers.range || "");
  const start = range ? Number(range[1]) : 0;
  const head = {
    "Content-Type": "application/zip",
    "Accept-Ranges": "bytes",
    "Last-Modified": "Tue, 01 Dec 2026 10:00:00 GMT",
    "Content-Length": String(body.length - start),
  };
  if (start) head["Content-Range"] = `bytes ${start}-${body.length - 1}/${body.length}`;
  response.writeHead(start ? 206 : 200, head);
  if (agent === "GET HTTP" || request.url === "/files/tiny.zip") {
    response.end(body.subarray(start));
    return;
  }
  let offset = start;
  const next = () => {
    if (offset >= body.length || response.destroyed) return response.end();
    response.write(body.subarray(offset, offset + 32768));
    offset += 32768;
    setTimeout(next, 100);
  };
  next();
}

function startDisplay(work) {
  for (const tool of ["Xvfb", "xdotool"]) {
    try {
      execFileSync("which", [tool], { stdio: "ignore" });
    } catch {
      skip(`${tool} is not installed`);
    }
  }
  const xvfb = spawn("Xvfb", ["-displayfd", "3", "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
    { stdio: ["ignore", "ignore", fs.openSync(path.join(work, "xvfb.log"), "w"), "pipe"] });
  return new Promise((resolve) => {
    xvfb.stdio[3].once("data", (data) => resolve({ xvfb, display: ":" + String(data).trim() }));
  });
}

// The folder the hand-offs go to (set in main), and the tvx windows that
// run there: this test's, not another's.
let folder = "";
function tvxProcesses() {
  return fs.readdirSync("/proc").filter((pid) => /^\d+$/.test(pid)).filter((pid) => {
    try {
      return fs.readlinkSync(`/proc/${pid}/exe`) === fs.realpathSync(tvx) &&
        fs.readlinkSync(`/proc/${pid}/cwd`) === fs.realpathSync(folder);
    } catch {
      return false;
    }
  });
}

// The windows of tvx with this title on the display (not the browser's).
function windowsNamed(env, title) {
  return tvxProcesses().flatMap((pid) => {
    try {
      return execFileSync("xdotool", ["search", "--all", "--onlyvisible", "--pid", pid, "--name", title],
        { env }).toString().split(/\s+/).filter(Boolean);
    } catch {
      return [];
    }
  });
}

// Answers tvx's Save dialog with a key; the browser may hold the focus, so
// the dialog is focused and the key sent again until the dialog is gone.
async function answerSaveDialog(env, key) {
  await waitFor("tvx's Save dialog", () => windowsNamed(env, "^Save As$").length > 0, 60);
  for (let attempt = 0; attempt < 10; ++attempt) {
    const [dialog] = windowsNamed(env, "^Save As$");
    if (!dialog) return;
    try {
      execFileSync("xdotool", ["windowfocus", "--sync", dialog], { env });
      await sleep(300);
      execFileSync("xdotool", ["key", "--clearmodifiers", key], { env });
    } catch {
      // the dialog went meanwhile
    }
    await sleep(1500);
  }
  throw new Error("tvx's Save dialog does not take the key " + key);
}

function fileIs(file, bytes) {
  return fs.existsSync(file) && fs.statSync(file).size === bytes.length &&
    fs.readFileSync(file).equals(bytes);
}

async function main() {
  let puppeteer;
  try {
    const require = createRequire(path.join(source, "tests", "e2e", "package.json"));
    puppeteer = require("puppeteer-core");
  } catch {
    skip("puppeteer-core is not installed (npm ci in tests/e2e)");
  }
  const firefox = ["/usr/bin/firefox-esr", "/usr/bin/firefox"].find((p) => fs.existsSync(p));
  if (!firefox) skip("firefox-esr is not installed");

  const work = fs.mkdtempSync(path.join(os.tmpdir(), "tvx-firefox-"));
  const home = path.join(work, "home"), runtime = path.join(work, "run");
  const browserDownloads = path.join(work, "browser-downloads");
  folder = path.join(home, "Downloads");  // the folder a hand-off goes to by default
  const hosts = path.join(home, ".mozilla", "native-messaging-hosts");
  for (const dir of [home, runtime, browserDownloads, folder, hosts]) fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
  const manifest = path.join(hosts, "de.tarvex.tvx.json");
  fs.writeFileSync(manifest, JSON.stringify({
    name: "de.tarvex.tvx", description: "test", path: host, type: "stdio",
    allowed_extensions: ["tvx@tarvex.de"],
  }));

  const server = http.createServer(serve);
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  const site = `http://127.0.0.1:${server.address().port}`;
  const { xvfb, display } = await startDisplay(work);
  const env = { ...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, DISPLAY: display,
    QT_QPA_PLATFORM: "xcb", PATH: path.dirname(tvx) + ":" + process.env.PATH };
  delete env.QT_QPA_PLATFORMTHEME;
  let browser;
  try {
    try {
      browser = await puppeteer.launch({
        browser: "firefox", executablePath: firefox, headless: false, env,
        extraPrefsFirefox: {
          "browser.download.dir": browserDownloads,
          "browser.download.folderList": 2,
          "browser.download.useDownloadDir": true,
          "browser.download.always_ask_before_handling_new_types": false,
          "browser.download.alwaysOpenPanel": false,
          "browser.helperApps.neverAsk.saveToDisk": "application/zip",
        },
      });
    } catch (error) {
      skip(`Firefox cannot start: ${String(error.message).split("\n")[0]}`);
    }
    await browser.installExtension(path.join(source, "browser", "extension"));
    const page = await browser.newPage();
    await page.goto(site + "/");
    // A download link does not navigate: the page stays for every case.
    const click = (id) => page.click("#" + id);
    const inBrowser = (name) => path.join(browserDownloads, name);
    const inTvx = (name) => path.join(folder, name);
    const arrived = (name) => () => fileIs(inTvx(name), archives["/files/" + name]) &&
      !fs.existsSync(path.join(folder, "CTL_" + name));

    // 1. A hand-off with its cookie; the browser's copy goes.
    await click("pack");
    await answerSaveDialog(env, "Return");
    await waitFor("pack.zip through tvx", arrived("pack.zip"), 60);
    if (!requests.some((r) => r.path === "/files/pack.zip" && r.agent === "GET HTTP" && r.cookie))
      throw new Error("tvx did not send the page's cookie");
    await waitFor("the browser's copy of pack.zip to go", () => !fs.existsSync(inBrowser("pack.zip")), 20);
    console.log("1. handed over with its cookie; the browser's copy went");

    // 3. The Save dialog cancelled: the browser's own download goes on.
    await click("other");
    await answerSaveDialog(env, "Escape");
    await waitFor("the browser to finish other.zip", () => fileIs(inBrowser("other.zip"), archives["/files/other.zip"]), 60);
    if (fs.existsSync(inTvx("other.zip"))) throw new Error("tvx wrote other.zip after a cancel");
    console.log("3. Save dialog cancelled: the browser downloaded the file itself");

    // 4. The browser finishes before tvx answers: tvx takes it all the same.
    await click("tiny");
    await waitFor("the browser to finish tiny.zip", () => fileIs(inBrowser("tiny.zip"), archives["/files/tiny.zip"]), 30);
    await answerSaveDialog(env, "Return");
    await waitFor("tiny.zip through tvx", arrived("tiny.zip"), 60);
    await waitFor("the browser's finished copy to go", () => !fs.existsSync(inBrowser("tiny.zip")), 20);
    console.log("4. finished in the browser first: tvx has it, the browser's copy went");

    // 2. No host: nothing is lost, the browser downloads it.
    fs.rmSync(manifest);
    await click("kept");
    await waitFor("the browser to finish kept.zip", () => fileIs(inBrowser("kept.zip"), archives["/files/kept.zip"]), 60);
    console.log("2. without the host the browser downloaded the file itself");
    console.log("passed");
  } catch (error) {
    if (process.env.TVX_E2E_KEEP) {
      try {
        execFileSync("import", ["-window", "root", path.join(work, "failed.png")], { env });
      } catch {
        // no screenshot
      }
    }
    throw error;
  } finally {
    if (browser) await browser.close().catch(() => {});
    for (const pid of tvxProcesses()) process.kill(Number(pid), "SIGTERM");
    xvfb.kill();
    server.close();
    if (!process.env.TVX_E2E_KEEP) fs.rmSync(work, { recursive: true, force: true });
    else console.log("kept", work);
  }
}

main().then(() => process.exit(0), (error) => {
  console.error("FAILED:", error.message);
  process.exit(1);
});
