#!/usr/bin/env python3
"""The studio in a real browser: started as the Start-menu shortcut starts it (--open,
which reaches a stand-in xdg-open: on Windows through the shell and Wine's browser
launcher), then headless Chromium, driven through chromedriver's WebDriver HTTP
interface, opens the page, composes a protocol 0 label, sees its barcode
scan (zbarimg on the downloaded picture), raises BIOCHIMIEMOVELEFT until the label is
clipped, downloads a barcode.ini that the client reads (tervane-preview --ini), lays a
label wider than the window out at 1280x800 and 1920x1080, fitted and at real size, with
its rulers, stock outline and warning marks, and sees labels sent to the studio's virtual
printer appear in its Printer view without a reload (printing the time from a label's
last byte to its picture on the page).

    studio_browser_test.py --studio PATH --preview PATH --artefacts DIR [--wine WINE]

With --wine the studio and the preview are the Windows programs, run under Wine; the
browser and zbarimg stay Linux's. Exit 0 when every step held, 77 when Chromium,
chromedriver, zbarimg or Wine is missing (skipped). The screenshots of the page stay in
DIR: studio-browser.png and one per window size and picture size
(studio-1280x800-fit.png, ...)."""
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

    def window(self, width, height):
        call("POST", self.url + "/goog/cdp/execute",
             {"cmd": "Emulation.setDeviceMetricsOverride",
              "params": {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}})

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


def post(url, body):
    req = urllib.request.Request(url, data=json.dumps(body).encode(), method="POST",
                                 headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(req, timeout=60) as res:
        return json.loads(res.read())


def settled(check, seconds=10):
    """check() until it holds (layout follows a resize a frame later); its last failure."""
    deadline = time.time() + seconds
    while True:
        try:
            return check()
        except AssertionError:
            if time.time() > deadline:
                raise
            time.sleep(0.1)


# 200 mm of stock (q1600 at 203 dpi), wider than the printhead: "clipped" marks the
# part past the head; the "X" 10 dots left of the bars, a short quiet zone (x 90..100,
# y 40..140).
WIDE_JOB = 'q1600\nQ240,24\nN\nB100,40,0,1,2,4,100,N,"12345"\nA80,80,0,2,1,1,N,"X"\nA40,180,0,4,1,1,N,"WIDE STOCK"\nP1\n'
WIDE_DOTS, WIDE_LENGTH, DPI = 1600, 240, 203

# Where the page put the first label's picture and all around it, as the browser lays it out.
GEOMETRY = """
const r = (e) => { const b = e.getBoundingClientRect();
                   return {left: b.left, top: b.top, right: b.right, bottom: b.bottom, width: b.width, height: b.height}; };
const view = document.querySelector('#labels .view'), picture = view.querySelector('.picture');
const shown = (e) => getComputedStyle(e).display !== 'none';
return {page: [document.scrollingElement.scrollWidth, document.scrollingElement.clientWidth],
        panel: r(document.querySelector('#see')), view: r(view), viewScroll: [view.scrollWidth, view.clientWidth],
        picture: r(picture), img: r(picture.querySelector('img')),
        outline: r(picture.querySelector('.outline')), drawn: picture.querySelector('.outline.drawn') !== null,
        top: r(picture.querySelector('.ruler.top')), left: r(picture.querySelector('.ruler.left')),
        topTens: r(picture.querySelector('.ruler.top .tick.ten')),
        topNumbers: Array.from(picture.querySelectorAll('.ruler.top .num')).filter(shown).map((e) => [e.textContent, r(e)]),
        leftNumbers: Array.from(picture.querySelectorAll('.ruler.left .num')).filter(shown).map((e) => [e.textContent, r(e)]),
        marks: Array.from(picture.querySelectorAll('.mark')).map((e) => [e.dataset.kind, r(e)])};"""


def near(a, b, slack, what):
    assert abs(a - b) <= slack, f"{what}: {a} where {b} was expected"


def check_layout(g, real, width, warnings):
    """The picture in its panel and the page not scrolling sideways; the rulers, outline
    and marks at the picture's scale."""
    assert g["page"][0] <= g["page"][1], f"the page scrolls sideways: {g['page']}"
    assert g["panel"]["left"] <= g["view"]["left"] and g["view"]["right"] <= g["panel"]["right"], (g["view"], g["panel"])
    pic, img = g["picture"], g["img"]
    near(img["height"] / img["width"], WIDE_LENGTH / WIDE_DOTS, 0.01, "the picture's aspect")
    if real:
        near(img["width"], WIDE_DOTS / DPI * 96, 0.6, "the real-size width in CSS px (96 per inch)")
        if width == 1280:
            assert g["viewScroll"][0] > g["viewScroll"][1], f"200 mm fit in the panel at 1280: {g['viewScroll']}"
    else:
        assert g["view"]["left"] < pic["left"] and pic["right"] <= g["view"]["right"], (pic, g["view"])
        assert pic["width"] >= g["view"]["width"] - 40, f"the picture does not fill the panel: {pic} in {g['view']}"
        assert g["viewScroll"][0] <= g["viewScroll"][1], f"the fitted picture scrolls: {g['viewScroll']}"
    scale = img["width"] / WIDE_DOTS  # CSS px per dot
    mm = DPI / 25.4 * scale  # CSS px per mm
    # The rulers: along the top and the left, a long tick each 10 mm from 0 to 200,
    # each number just before its tick.
    near(g["top"]["bottom"], pic["top"], 0.5, "the top ruler's bottom")
    near(g["top"]["width"], pic["width"], 0.5, "the top ruler's width")
    near(g["left"]["right"], pic["left"], 0.5, "the left ruler's right side")
    near(g["left"]["height"], pic["height"], 0.5, "the left ruler's height")
    near(g["topTens"]["left"], pic["left"], 1, "the top ruler's 0 mm tick")
    near(g["topTens"]["right"], pic["left"] + 200 * mm, 1.5, "the top ruler's 200 mm tick")
    assert len(g["topNumbers"]) >= 4 and len(g["leftNumbers"]) >= 2, (g["topNumbers"], g["leftNumbers"])
    for text, box in g["topNumbers"]:
        assert pic["left"] + int(text) * mm - 5 <= box["right"] <= pic["left"] + int(text) * mm, (text, box, mm)
    for text, box in g["leftNumbers"]:
        assert pic["top"] + int(text) * mm - 4 <= box["bottom"] <= pic["top"] + int(text) * mm, (text, box, mm)
    # The stock is the job's q and Q: the whole picture.
    assert not g["drawn"]
    for side in ("left", "top", "width", "height"):
        near(g["outline"][side], pic[side], 0.5, "the outline's " + side)
    # Each placed warning marked where the checks found it.
    inside = [w for w in warnings if w["placed"] and 0 <= w["where"]["x0"] < w["where"]["x1"] <= WIDE_DOTS
              and 0 <= w["where"]["y0"] < w["where"]["y1"] <= WIDE_LENGTH]
    assert len(inside) == 2 and len(g["marks"]) == len([w for w in warnings if w["placed"]]), (warnings, g["marks"])
    for w in inside:
        box = next(m for kind, m in g["marks"] if kind == w["kind"])
        near(box["left"], pic["left"] + w["where"]["x0"] * scale, 1, w["kind"] + " mark's left")
        near(box["top"], pic["top"] + w["where"]["y0"] * scale, 1, w["kind"] + " mark's top")
        near(box["right"], pic["left"] + w["where"]["x1"] * scale, 1, w["kind"] + " mark's right")
        near(box["bottom"], pic["top"] + w["where"]["y1"] * scale, 1, w["kind"] + " mark's bottom")


def lay_out_wide_label(browser, page, artefacts):
    """A 200 mm label job at two window sizes, fitted and at real size; a screenshot of each."""
    browser.click('#source option[value="job"]')
    browser.type("#job", WIDE_JOB)
    browser.wait(f"const p = document.querySelector('#labels .picture'); return p && p.dataset.dots === '{WIDE_DOTS}';",
                 "the wide label")
    warnings = post(page + "api/render", browser.js("return renderBody();"))["labels"][0]["warnings"]
    shots = []
    for width, height in [(1280, 800), (1920, 1080)]:
        browser.window(width, height)
        for real in (False, True):
            if browser.js("return document.getElementById('real-size').checked;") != real:
                browser.click("#real-size")
            settled(lambda: check_layout(browser.js(GEOMETRY), real, width, warnings))
            browser.js("document.getElementById('see').scrollIntoView();")
            shots.append(os.path.join(artefacts, f"studio-{width}x{height}-{'real' if real else 'fit'}.png"))
            browser.screenshot(shots[-1])
    return shots


# A label for the virtual printer: its text line tells which one it is.
PRINTED = 'N\r\nq400\r\nA20,20,0,4,1,1,N,"RECEIVED %d"\r\nB20,80,0,1,2,4,60,B,"V%07d"\r\nP1\r\n'


def see_printed_labels(browser, printer_port, count=5):
    """Labels sent to the printer appear in the page's Printer view, newest first,
    without a reload, and go with Clear; returns the milliseconds from each label's last byte to its
    picture on the page."""
    browser.js("window.sameDocument = true;")
    latencies = []
    with socket.create_connection(("127.0.0.1", printer_port), timeout=20) as s:
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for i in range(1, count + 1):
            job = (PRINTED % (i, i)).encode()
            s.sendall(job[:-1])
            time.sleep(0.2)
            s.sendall(job[-1:])
            sent = time.time() * 1000
            shown = browser.wait(
                "const b = document.querySelector('#printer-labels .received');"
                f"return b && b.querySelector('pre').textContent.includes('RECEIVED {i}') && "
                "b.querySelector('img.label-picture') && b.querySelector('img.label-picture').complete"
                " ? Number(b.dataset.shownAt) : null;",
                f"printed label {i} on the page")
            latencies.append(shown - sent)
    assert browser.js("return window.sameDocument === true;"), "the page was reloaded"
    texts = browser.js("return Array.from(document.querySelectorAll('#printer-labels .received pre'))"
                       ".map(e => e.textContent);")
    assert [t.split('"')[1] for t in texts] == [f"RECEIVED {i}" for i in range(count, 0, -1)], texts
    side = browser.js("return document.querySelector('#printer-labels .received .label-side').textContent")
    assert "from 127.0.0.1:" in side and "no warnings" in side, side
    # Clear: the page's own DELETE passes the studio's Origin check.
    browser.click("#printer-clear")
    browser.wait("return document.querySelectorAll('#printer-labels .received').length === 0", "the cleared list")
    return latencies


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
    studio = subprocess.Popen(wine + [options.studio, "--listen", "127.0.0.1:0", "--open", "--printer", "0"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              env=dict(os.environ, PATH=bin_folder + os.pathsep + os.environ["PATH"]))
    driver = None
    browser = None
    try:
        line = studio.stdout.readline()
        assert "open http://127.0.0.1:" in line, line
        page = line.split("open ")[1].split()[0]
        line = studio.stdout.readline()
        assert "printer: raw TCP on 127.0.0.1:" in line, line
        printer_port = int(line.split("127.0.0.1:")[1].split()[0])
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
        shots = lay_out_wide_label(browser, page, options.artefacts)

        browser.window(1400, 1300)
        latencies = see_printed_labels(browser, printer_port)
        browser.screenshot(os.path.join(options.artefacts, "studio-printer.png"))
        print("printer: from a label's last byte to its picture on the page: " +
              ", ".join(f"{ms:.0f}" for ms in latencies) + " ms")
        print("studio browser test passed; screenshots " +
              " ".join([os.path.join(options.artefacts, "studio-browser.png")] + shots))
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
