#!/usr/bin/env python3
"""The studio in a real browser: started as the Start-menu shortcut starts it (--open,
which reaches a stand-in xdg-open: on Windows through the shell and Wine's browser
launcher), then headless Chromium, driven through chromedriver's WebDriver HTTP
interface, opens the page, composes a protocol 0 label, sees its barcode
scan (zbarimg on the downloaded picture), raises BIOCHIMIEMOVELEFT until the label is
clipped, and downloads a barcode.ini that the client reads (tervane-preview --ini).

    studio_browser_test.py --studio PATH --preview PATH --artefacts DIR [--wine WINE]

With --wine the studio and the preview are the Windows programs, run under Wine; the
browser and zbarimg stay Linux's. Exit 0 when every step held, 77 when Chromium,
chromedriver, zbarimg or Wine is missing (skipped). The screenshot of the page stays in
DIR/studio-browser.png."""
import argparse
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SAMPLE = "B7654321"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def call(method, url, body=None, timeout=60):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(url, data=data, method=method,
                                 headers={"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(req, timeout=timeout) as res:
            return json.loads(res.read() or b"{}").get("value")
    except urllib.error.HTTPError as e:
        raise AssertionError(f"{method} {url}: {e.code} {e.read()[:500]!r}")


class Browser:
    def __init__(self, driver_url, downloads, profile):
        self.base = driver_url
        args = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--user-data-dir=" + profile, "--window-size=1400,1300"]
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {
                "binary": "/usr/bin/chromium", "args": args,
                "prefs": {"download.default_directory": downloads,
                          "download.prompt_for_download": False}}}}}
        self.session = call("POST", self.base + "/session", caps)["sessionId"]
        self.url = self.base + "/session/" + self.session
        # Headless Chromium saves downloads only where it is told to.
        call("POST", self.url + "/goog/cdp/execute",
             {"cmd": "Browser.setDownloadBehavior",
              "params": {"behavior": "allow", "downloadPath": downloads}})

    def go(self, url):
        call("POST", self.url + "/url", {"url": url})

    def find(self, css):
        return call("POST", self.url + "/element", {"using": "css selector", "value": css})[ELEMENT]

    def click(self, css):
        call("POST", self.url + f"/element/{self.find(css)}/click", {})

    def type(self, css, text):
        element = self.find(css)
        call("POST", self.url + f"/element/{element}/clear", {})
        call("POST", self.url + f"/element/{element}/value", {"text": text})

    def js(self, script, *args):
        return call("POST", self.url + "/execute/sync", {"script": script, "args": list(args)})

    def wait(self, script, what, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = self.js(script)
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError("timed out waiting for " + what)

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(call("GET", self.url + "/screenshot")))

    def close(self):
        try:
            call("DELETE", self.url, timeout=20)
        except Exception:
            pass


def wait_file(folder, name, seconds=20):
    path = os.path.join(folder, name)
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path) and not os.path.exists(path + ".crdownload"):
            with open(path, "rb") as f:
                return f.read(), path
        time.sleep(0.1)
    raise AssertionError(f"{name} was not downloaded (folder holds {os.listdir(folder)})")


# The barcodes of the page's labels: (data, scans to data, x0), as the page shows them.
BARCODES = """return Array.from(document.querySelectorAll('#labels .barcodes li')).map(
    e => [e.textContent, e.dataset.scansToData === 'true', Number(e.dataset.x0)]);"""


def run(options, work):
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads)
    wine = [options.wine] if options.wine else []
    # The desktop's browser is not started: a stand-in xdg-open keeps the address.
    bin_folder = os.path.join(work, "bin")
    os.makedirs(bin_folder)
    opened = os.path.join(work, "opened")
    with open(os.path.join(bin_folder, "xdg-open"), "w") as f:
        f.write(f'#!/bin/sh\necho "$1" >{opened}.part && mv {opened}.part {opened}\n')
    os.chmod(os.path.join(bin_folder, "xdg-open"), 0o755)
    studio = subprocess.Popen(wine + [options.studio, "--listen", "127.0.0.1:0", "--open"], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True,
                              env=dict(os.environ, PATH=bin_folder + os.pathsep + os.environ["PATH"]))
    driver = None
    browser = None
    try:
        line = studio.stdout.readline()
        assert "open http://127.0.0.1:" in line, line
        page = line.split("open ")[1].split()[0]
        deadline = time.time() + 30
        while not os.path.exists(opened):
            assert time.time() < deadline, "--open started no browser"
            time.sleep(0.1)
        with open(opened) as f:
            assert f.read() == page + "\n", "--open opened another address than " + page
        driver_port = free_port()
        driver = subprocess.Popen(["/usr/bin/chromedriver", f"--port={driver_port}"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        driver_url = f"http://127.0.0.1:{driver_port}"
        deadline = time.time() + 20
        while True:
            try:
                if call("GET", driver_url + "/status", timeout=2).get("ready"):
                    break
            except Exception:
                pass
            assert time.time() < deadline, "chromedriver did not start"
            time.sleep(0.2)
        browser = Browser(driver_url, downloads, os.path.join(work, "profile"))
        browser.go(page)
        browser.wait("return document.body.dataset.rendered", "the first picture")

        # Compose: protocol 0 (picked after another one), a sample number typed in.
        browser.click('#protocol option[value="6"]')
        browser.click('#protocol option[value="0"]')
        browser.type("#value-1", SAMPLE)
        codes = browser.wait(BARCODES.replace("return ", "const c = ") +
                             f"; return c.length === 1 && c[0][0].includes('\"{SAMPLE}\"') && c[0][1] ? c : null;",
                             "the sample's barcode shown as scanning")
        assert f"scans as: CODE-128:{SAMPLE}" in codes[0][0], codes
        assert codes[0][2] == 125, codes  # BIOCHIMIEMOVELEFT 0: the barcode at x 125
        # The browser decoded the studio's picture of it.
        size = browser.js("const i = document.querySelector('#labels img.label-picture');"
                          "return i && i.complete ? [i.naturalWidth, i.naturalHeight] : null;")
        assert size and size[0] > 0 and size[1] > 0, size

        # The downloaded picture, read by zbarimg: an independent reader.
        browser.click(".png-download")
        _, png = wait_file(downloads, "label-001.png")
        scanned = subprocess.run(["zbarimg", "--quiet", "--raw", png], capture_output=True, text=True)
        assert scanned.stdout.strip() == SAMPLE, (scanned.returncode, scanned.stdout, scanned.stderr)

        # Tune: the label moves left with BIOCHIMIEMOVELEFT; past 90 its text lines (at
        # x 90 - m) run off the stock and the "clipped" warning appears, and not before.
        clipped_at = None
        for move in range(20, 201, 20):
            browser.type("#ini-BIOCHIMIEMOVELEFT", str(move))
            codes = browser.wait(BARCODES.replace("return ", "const c = ") +
                                 f"; return c.length === 1 && c[0][2] === {125 - move} ? c : null;",
                                 f"the barcode at x {125 - move}")
            kinds = browser.js("return Array.from(document.querySelectorAll('#warnings li'))"
                               ".map(e => e.dataset.kind || '');")
            if "clipped" in kinds:
                clipped_at = move
                break
        assert clipped_at == 100, f"clipped first at BIOCHIMIEMOVELEFT={clipped_at}"
        side = browser.js("return document.querySelector('#labels .label-side').textContent")
        assert "clipped" in side, side

        # The downloaded barcode.ini: CR LF line ends, read by the client itself.
        browser.click("#ini-download")
        ini, ini_path = wait_file(downloads, "barcode.ini")
        assert b"\r\nBIOCHIMIEMOVELEFT=100\r\n" in ini, ini
        assert ini.endswith(b"\r\n") and ini.count(b"\n") == ini.count(b"\r\n"), ini
        out = os.path.join(work, "preview")
        os.makedirs(out)
        read = subprocess.run(wine + [options.preview, "--request", f"x://0\\{SAMPLE}\\TWO\\THREE\\", "--ini", ini_path,
                               "--out", out], capture_output=True, text=True)
        assert read.returncode == 0 and "clipped: left (A at -10,145)" in read.stdout, read.stdout + read.stderr

        os.makedirs(options.artefacts, exist_ok=True)
        browser.screenshot(os.path.join(options.artefacts, "studio-browser.png"))
        print("studio browser test passed; screenshot " + os.path.join(options.artefacts, "studio-browser.png"))
    finally:
        if browser:
            try:
                os.makedirs(options.artefacts, exist_ok=True)
                browser.screenshot(os.path.join(options.artefacts, "studio-browser-last.png"))
            except Exception:
                pass
            browser.close()
        for process in (driver, studio):
            if process:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--studio", required=True)
    parser.add_argument("--preview", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--wine", help="Wine's loader, to run the Windows programs with")
    options = parser.parse_args()
    for tool in ("/usr/bin/chromium", "/usr/bin/chromedriver") + ((options.wine,) if options.wine else ()):
        if not os.path.exists(tool):
            print(f"skipped: {tool} is not installed")
            return 77
    if not shutil.which("zbarimg"):
        print("skipped: zbarimg (zbar-tools) is not installed")
        return 77
    work = tempfile.mkdtemp(prefix="tervane-studio-browser-")
    try:
        run(options, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
