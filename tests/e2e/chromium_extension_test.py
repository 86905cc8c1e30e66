#!/usr/bin/python3
"""Chromium with the Tarvex extension hands downloads to tvx, end to end.

A page on a local server sets a cookie and links to archives that the server
gives out only with that cookie. A click on a link starts the browser's
download; the extension hands it through tvx-browser-host to a tvx window
(which the host starts). The cases:
 1. the Save dialog answered with Return: the archive arrives in the list's
    folder byte for byte, with the page's cookie, and the browser's own
    download is cancelled and leaves no file behind;
 3. the Save dialog cancelled: the browser's download goes on and ends whole;
 4. a download the browser finishes at once: tvx gets it all the same, and
    no copy of the browser's stays;
 2. no host (its manifest removed): the browser downloads the file itself.

    chromium_extension_test.py SOURCE_DIR HOST_PROGRAM TVX_PROGRAM

Exits 77 (skipped) with a message when Chromium, its driver, Selenium, Xvfb
or xdotool are missing or Chromium cannot start.
"""

import http.server
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED = 77
EXTENSION_ID = "mjckjmldakkeappkllebphipapfhiplf"  # from the manifest's key
COOKIE = "session=s3cret-4711"
ARCHIVES = {f"/files/{name}": random.Random(seed).randbytes(size) for name, seed, size in (
    ("pack.zip", 19, 1536 * 1024), ("other.zip", 20, 512 * 1024),
    ("kept.zip", 21, 512 * 1024), ("tiny.zip", 22, 40 * 1024))}


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIPPED)


class Site(http.server.BaseHTTPRequestHandler):
    """The page, and the archive behind its cookie. The browser gets the
    archive slowly, so that its download is still running when the extension
    cancels it; tvx ("GET HTTP") gets it at once, ranges included."""

    requests = []

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.answer(body=False)

    def do_GET(self):
        self.answer(body=True)

    def answer(self, body):
        agent = self.headers.get("User-Agent", "")
        cookie = COOKIE in (self.headers.get("Cookie") or "")
        Site.requests.append((self.command, self.path, agent, cookie))
        if self.path == "/":
            page = ("<html><body>" + " ".join(
                f'<a id="{p[7:-4]}" href="{p}">{p[7:]}</a>' for p in ARCHIVES) +
                "</body></html>").encode()
            self.send_response(200)
            self.send_header("Set-Cookie", f"{COOKIE}; Path=/files")
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            if body:
                self.wfile.write(page)
            return
        archive = ARCHIVES.get(self.path)
        if archive is None or not cookie:
            self.send_error(403 if archive is not None else 404)
            return
        start = 0
        ranged = self.headers.get("Range", "")
        if ranged.startswith("bytes=") and ranged.endswith("-"):
            start = int(ranged[6:-1])
        self.send_response(206 if start else 200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT")
        self.send_header("Content-Length", str(len(archive) - start))
        if start:
            self.send_header("Content-Range", f"bytes {start}-{len(archive) - 1}/{len(archive)}")
        self.end_headers()
        if not body:
            return
        try:
            if agent == "GET HTTP" or self.path == "/files/tiny.zip":
                self.wfile.write(archive[start:])
                return
            for offset in range(start, len(archive), 32768):
                self.wfile.write(archive[offset:offset + 32768])
                time.sleep(0.1)
        except OSError:
            pass  # the browser cancelled


def wait_for(what, predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError(f"timed out after {seconds} s waiting for {what}")


def start_display(work):
    if shutil.which("Xvfb") is None or shutil.which("xdotool") is None:
        skip("Xvfb or xdotool is not installed")
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x900x24",
                             "-nolisten", "tcp"], pass_fds=(write,),
                            stderr=open(os.path.join(work, "xvfb.log"), "w"))
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    if not number:
        skip("Xvfb did not start")
    return xvfb, ":" + number


def windows_of(tvx, folder):
    """The tvx processes running in folder."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if (os.readlink(f"/proc/{pid}/exe") == os.path.realpath(tvx)
                    and os.readlink(f"/proc/{pid}/cwd") == os.path.realpath(folder)):
                found.append(int(pid))
        except OSError:
            pass
    return found


def main():
    source, host, tvx = sys.argv[1:4]
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
    except ImportError:
        skip("python3-selenium is not installed")
    chromium, driver_program = shutil.which("chromium"), shutil.which("chromedriver")
    if chromium is None or driver_program is None:
        skip("chromium or chromium-driver is not installed")

    work = tempfile.mkdtemp(prefix="tvx-chromium-")
    home, runtime, folder, downloads, profile = (
        os.path.join(work, name) for name in ("home", "run", "list", "browser-downloads", "profile"))
    for path in (home, runtime, folder, downloads, os.path.join(profile, "NativeMessagingHosts")):
        os.makedirs(path, mode=0o700)
    with open(os.path.join(profile, "NativeMessagingHosts", "de.tarvex.tvx.json"), "w") as f:
        f.write('{"name": "de.tarvex.tvx", "description": "test", "path": "%s", "type": "stdio",'
                ' "allowed_origins": ["chrome-extension://%s/"]}' % (host, EXTENSION_ID))

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    site = f"http://127.0.0.1:{server.server_address[1]}"
    xvfb, display = start_display(work)
    driver = None
    try:
        env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=runtime, DISPLAY=display,
                   QT_QPA_PLATFORM="xcb", PATH=os.path.dirname(tvx) + ":" + os.environ["PATH"])
        env.pop("QT_QPA_PLATFORMTHEME", None)
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for argument in (f"--user-data-dir={profile}",
                         f"--load-extension={os.path.join(source, 'browser', 'extension')}",
                         "--disable-features=DisableLoadExtensionCommandLineSwitch",
                         "--no-first-run", "--no-default-browser-check", "--disable-gpu"):
            options.add_argument(argument)
        if os.geteuid() == 0:
            options.add_argument("--no-sandbox")
        options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                                  "download.prompt_for_download": False})
        try:
            driver = webdriver.Chrome(service=Service(driver_program, env=env), options=options)
        except Exception as error:  # a browser that cannot start is no fault of tvx
            skip(f"Chromium cannot start: {str(error).splitlines()[0]}")

        # The folder to hand to, set in the extension's options.
        driver.get(f"chrome-extension://{EXTENSION_ID}/options.html")
        field = wait_for("the options page", lambda: driver.find_elements(By.ID, "folder"), 20)[0]
        field.send_keys(folder)
        driver.execute_script("document.getElementById('folder').dispatchEvent(new Event('change'))")
        wait_for("the options saved",
                 lambda: driver.find_element(By.ID, "status").text == "Saved.", 10)

        driver.get(site + "/")

        def answer_save_dialog(key):
            """tvx's save dialog (the host starts tvx the first time) gets the key."""
            dialog = wait_for("tvx's save dialog", lambda: subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Save As$"], env=env,
                capture_output=True, text=True).stdout.split(), 60)[0]
            subprocess.run(["xdotool", "windowfocus", "--sync", dialog], env=env, check=True)
            time.sleep(0.5)
            subprocess.run(["xdotool", "key", key], env=env, check=True)

        def arrived(name):
            def check():
                for root, _, names in os.walk(folder):
                    if name in names and not any(n.startswith("CTL_") for n in names):
                        path = os.path.join(root, name)
                        with open(path, "rb") as f:
                            if f.read() == ARCHIVES["/files/" + name]:
                                return path
                return None
            return check

        def in_browser(name):
            """The browser's own finished copy of the archive, whole."""
            path = os.path.join(downloads, name)
            return (os.path.exists(path)
                    and open(path, "rb").read() == ARCHIVES["/files/" + name])

        # 1. Taken: the archive arrives through tvx with the page's cookie and
        # the browser's own download is cancelled, nothing of it left.
        driver.find_element(By.ID, "pack").click()
        answer_save_dialog("Return")
        path = wait_for("pack.zip in the list's folder", arrived("pack.zip"), 60)
        assert any(agent == "GET HTTP" and cookie for _, p, agent, cookie in Site.requests
                   if p == "/files/pack.zip"), "tvx did not send the page's cookie"
        assert any(agent != "GET HTTP" for _, p, agent, _ in Site.requests
                   if p == "/files/pack.zip"), "the browser never asked for the archive"
        wait_for("the browser's download to go", lambda: not os.listdir(downloads), 20)
        print(f"1. {path} arrived through tvx; the browser's download was cancelled")

        # 3. The Save dialog cancelled: the browser's download goes on.
        driver.find_element(By.ID, "other").click()
        answer_save_dialog("Escape")
        wait_for("the browser to finish other.zip", lambda: in_browser("other.zip"), 60)
        assert not arrived("other.zip")(), "tvx wrote other.zip after a cancel"
        print("3. Save dialog cancelled: the browser downloaded the file itself")

        # 4. A download the browser has (or nearly has) already: tvx takes it,
        # and no copy of the browser's stays.
        driver.find_element(By.ID, "tiny").click()
        time.sleep(1)
        answer_save_dialog("Return")
        wait_for("tiny.zip through tvx", arrived("tiny.zip"), 60)
        wait_for("the browser's copy of tiny.zip to go",
                 lambda: not os.path.exists(os.path.join(downloads, "tiny.zip")), 20)
        print("4. tvx has tiny.zip; the browser's copy went")

        # 2. No host: nothing is lost, the browser downloads it.
        os.remove(os.path.join(profile, "NativeMessagingHosts", "de.tarvex.tvx.json"))
        driver.find_element(By.ID, "kept").click()
        wait_for("the browser to finish kept.zip", lambda: in_browser("kept.zip"), 60)
        print("2. without the host the browser downloaded the file itself")
    finally:
        if driver is not None:
            driver.quit()
        for pid in windows_of(tvx, folder):
            os.kill(pid, signal.SIGTERM)
        xvfb.terminate()
        xvfb.wait()
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
