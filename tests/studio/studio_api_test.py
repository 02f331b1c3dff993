#!/usr/bin/env python3
"""The studio's JSON API against the real program on a free port: renders, settings as
the client reads them, test prints to a real TCP listener, and bad input (bad JSON,
huge bodies, binary junk, slow clients, other sites' requests) answered with clear 4xx
JSON errors while the studio keeps serving.

    studio_api_test.py --studio PATH [--wine WINE]

With --wine the studio is a Windows program started through Wine, and is stopped with
SIGINT, which Wine hands to it as Ctrl+C (a SIGTERM would end Wine's process, not ask
the program to stop)."""
import argparse
import base64
import http.client
import http.server
import json
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

STUDIO = None  # the command that starts the studio: [PATH] or [WINE, PATH]
STOP_SIGNAL = signal.SIGTERM
TUBE = "x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\"


def start_studio(*extra, env=None):
    process = subprocess.Popen([*STUDIO, "--listen", "127.0.0.1:0", *extra], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env=env)
    line = process.stdout.readline()
    if "open http://127.0.0.1:" not in line:
        process.kill()
        raise AssertionError("the studio did not start: " + line + process.stderr.read())
    return process, int(line.split("127.0.0.1:")[1].split("/")[0])


def stop(process):
    process.send_signal(STOP_SIGNAL)
    try:
        process.wait(timeout=10)
        if process.returncode != 0:
            raise AssertionError(f"the studio ended with {process.returncode} on {STOP_SIGNAL.name}: {process.stderr.read()[-2000:]}")
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise AssertionError(f"the studio did not end on {STOP_SIGNAL.name}")
    finally:
        for pipe in (process.stdout, process.stderr):
            if pipe:
                pipe.close()


class Studio:
    def __init__(self, port):
        self.port = port

    def request(self, method, path, body=None, headers=None, raw=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        h = {"Content-Type": "application/json"}
        h.update(headers or {})
        data = raw if raw is not None else (None if body is None else json.dumps(body).encode())
        conn.request(method, path, body=data, headers=h)
        res = conn.getresponse()
        payload = res.read()
        conn.close()
        return res.status, res.getheader("Content-Type"), payload

    def json(self, method, path, body=None, **kw):
        status, ctype, payload = self.request(method, path, body, **kw)
        return status, json.loads(payload)

    def raw(self, data, wait=10):
        """Sends bytes on a connection of its own; the answer until the studio closes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=wait) as s:
            s.sendall(data)
            chunks = []
            while True:
                try:
                    chunk = s.recv(65536)
                except (ConnectionResetError, socket.timeout):
                    break
                if not chunk:
                    break
                chunks.append(chunk)
            return b"".join(chunks)


class ApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.process, port = start_studio()
        cls.studio = Studio(port)

    @classmethod
    def tearDownClass(cls):
        stop(cls.process)

    def assertServing(self):
        status, info = self.studio.json("GET", "/api/info")
        self.assertEqual(status, 200)
        self.assertEqual(info["program"], "tervane-studio")

    def test_render_request_gives_picture_summary_job_and_scans(self):
        status, answer = self.studio.json("POST", "/api/render", {"argument": TUBE})
        self.assertEqual(status, 200)
        self.assertEqual(answer["exitCode"], 0)
        self.assertEqual(answer["jobs"], ['D8\n\nN\nB125,0,0,1,2,4,160,N,"A1234567"\nA170,125,0,2,1,1,N,"*A1234567*"\n'
                                          'A90,145,0,2,1,1,N,"LINE TWO"\nA90,165,0,2,1,1,N,"LINE THREE"\nP1\n'])
        label = answer["labels"][0]
        self.assertTrue(base64.b64decode(label["png_base64"]).startswith(b"\x89PNG\r\n\x1a\n"))
        self.assertIn("1 barcode; copies 1; clipped: none", label["summary"])
        self.assertEqual(label["warnings"], [])
        self.assertEqual(label["barcodes"][0]["scans"], ["CODE-128:A1234567"])
        self.assertTrue(label["barcodes"][0]["scansToData"])

    def test_settings_and_build_reach_the_client(self):
        # tervane-b renders protocol 10 in dialect B; the ini's move-left value moves it.
        ini = "[sizing]\r\nBIOCHIMIEMOVELEFT=80\r\n"
        status, answer = self.studio.json("POST", "/api/render", {"build": "tervane-b", "ini": ini,
                                                                  "argument": "x://10\\D1\\B^Q^A1\\"})
        self.assertEqual(status, 200)
        self.assertEqual(answer["jobs"], ["^P1\n^L\nBQ,-70,0,2,5,80,0,0,A1\nE\n"])
        self.assertIn("clipped", [w["kind"] for w in answer["labels"][0]["warnings"]])

    def test_stock_millimetres_and_dpi(self):
        # The stock comes back in dots with the label's dpi, for the page's ruler and outline.
        for dpi, width_mm, dots, length in [(203, 50, 400, 240), (300, 50, 591, 354), (203, 25.4, 203, 240)]:
            status, answer = self.studio.json("POST", "/api/render", {"argument": TUBE, "dpi": dpi,
                                                                      "stock": {"widthMm": width_mm, "lengthMm": 30}})
            self.assertEqual(status, 200)
            label = answer["labels"][0]
            self.assertEqual((label["width"], label["dpi"], label["stock"]),
                             (dots, dpi, {"width": dots, "length": length}), (dpi, width_mm))
        # The job's own width wins over the given stock; a side nobody gives is 0.
        status, answer = self.studio.json("POST", "/api/render", {"job": 'q320\nN\nA10,10,0,2,1,1,N,"X"\nP1\n',
                                                                  "stock": {"widthMm": 50}})
        self.assertEqual(answer["labels"][0]["stock"], {"width": 320, "length": 0})

    def test_label_count_is_capped(self):
        status, answer = self.studio.json("POST", "/api/render", {"argument": "x://100\\1^250^1^0\\B^1\\"})
        self.assertEqual(status, 200)
        self.assertEqual(len(answer["labels"]), 200)
        self.assertIn("stopped after 200 labels (--max-labels)", answer["lines"])

    def test_job_bytes_travel_unchanged(self):
        job = 'N\nA10,10,0,2,1,1,N,"\u00e9\u00ff\u0080"\nP1\n'
        status, answer = self.studio.json("POST", "/api/render", {"job": job})
        self.assertEqual(status, 200)
        self.assertEqual(answer["jobs"], [job])
        self.assertIsNone(answer["exitCode"])

    def test_settings_read_by_each_build(self):
        ini = "[com]\r\nport=3\r\n[destination]\r\n[suffix]\r\nADDRESS=host\r\nab=XY\r\n"
        status, a = self.studio.json("POST", "/api/settings", {"build": "tervane", "ini": ini})
        self.assertEqual(status, 200)
        self.assertEqual(a["settings"]["PORT"], "COM3")
        self.assertEqual(a["settings"]["ADDRESS"], "")
        # The empty line after the last line end is an entry too, as the client reads it.
        self.assertEqual(a["suffix"], [{"key": "ADDRESS", "value": "host"}, {"key": "AB", "value": "XY"},
                                       {"key": "", "value": ""}])
        status, b = self.studio.json("POST", "/api/settings", {"build": "tervane-b", "ini": ini})
        self.assertEqual(b["settings"]["ADDRESS"], "host")  # no [suffix] section in tervane-b
        self.assertNotIn("suffix", b)
        self.assertNotIn("MAXTEXTLEN", b["settings"])

    def test_info_gives_the_client_defaults(self):
        status, info = self.studio.json("GET", "/api/info")
        self.assertEqual(info["defaults"]["tervane"]["BIOCHIMIEMOVELEFT"], 0)
        self.assertTrue(info["defaultFile"].startswith("[com]\r\nport=1\r\n"))
        self.assertIsNone(info["printTo"])

    def test_bad_requests_get_clear_json_errors(self):
        cases = [
            ("POST", "/api/render", b"{\"argument\":", {}, 400, "not JSON"),
            ("POST", "/api/render", b"\x00\xff\xfe\x89PNG junk", {}, 400, "not JSON"),
            ("POST", "/api/render", b"[1,2]", {}, 400, "must be a JSON object"),
            ("POST", "/api/render", b"", {}, 400, "no body"),
            ("POST", "/api/render", b"[" * 100000 + b"]" * 100000, {}, 400, "nested deeper than 16"),
            ("POST", "/api/render", b'{"argument":"x","colour":1}', {}, 400, 'unknown field "colour"'),
            ("POST", "/api/render", b'{"argument":"x","job":"N"}', {}, 400, "either"),
            ("POST", "/api/render", b'{}', {}, 400, "either"),
            ("POST", "/api/render", b'{"argument":5}', {}, 400, '"argument" must be a string'),
            ("POST", "/api/render", b'{"argument":"x","build":"tervane-c"}', {}, 400, '"build"'),
            ("POST", "/api/render", b'{"argument":"x","dpi":250}', {}, 400, '"dpi" must be 203 or 300'),
            ("POST", "/api/render", b'{"argument":"x","dpi":203.5}', {}, 400, '"dpi"'),
            ("POST", "/api/render", b'{"argument":"x","stock":{"widthMm":-1}}', {}, 400, "millimetres"),
            ("POST", "/api/render", b'{"argument":"x","stock":{"widthMm":501}}', {}, 400, "millimetres"),
            ("POST", "/api/render", b'{"argument":"x","maxLabels":201}', {}, 400, '"maxLabels"'),
            ("POST", "/api/render", '{"argument":"\u0103"}'.encode(), {}, 400, "above U+00FF"),
            ("POST", "/api/render", json.dumps({"argument": "x" * 50001}).encode(), {}, 413, "at most 50000"),
            ("POST", "/api/render", json.dumps({"job": "x" * 1000001}).encode(), {}, 413, "at most 1000000"),
            ("POST", "/api/render", json.dumps({"argument": "x", "ini": "x" * 65537}).encode(), {}, 413,
             "at most 65536"),
            ("POST", "/api/settings", b'{"build":"tervane"}', {}, 400, '"ini"'),
            ("POST", "/api/render", b'{"argument":"x"}', {"Content-Type": "text/plain"}, 415, "application/json"),
            ("GET", "/api/render", None, {}, 405, "POST"),
            ("POST", "/api/info", b"{}", {}, 405, "GET"),
            ("GET", "/api/nothing", None, {}, 404, "no API"),
            ("GET", "/etc/passwd", None, {}, 404, "nothing at"),
            ("GET", "/../CMakeLists.txt", None, {}, 404, "nothing"),
            ("GET", "/api/info", None, {"Host": "attacker.example:8104"}, 403, "serves http://127.0.0.1:"),
            ("POST", "/api/render", b'{"argument":"x"}', {"Origin": "http://attacker.example"}, 403, "another site"),
            ("POST", "/api/print", b'{"argument":"x"}', {}, 403, "--print-to"),
        ]
        for method, path, raw, headers, status, text in cases:
            with self.subTest(path=path, body=(raw or b"")[:40], headers=headers):
                got, ctype, payload = self.studio.request(method, path, raw=raw, headers=headers)
                self.assertEqual(got, status, payload[:300])
                self.assertTrue(ctype.startswith("application/json"), ctype)
                self.assertIn(text, json.loads(payload)["error"])
        self.assertServing()

    def test_limits_hold_their_bound(self):
        # At each bound the request passes the check (and fails only later, or not at all).
        nest = lambda depth: "[" * (depth - 1) + "]" * (depth - 1)
        cases = [
            ({"argument": "x" * 50000}, 200, None),
            ({"job": "x" * 1000000, "maxLabels": 1}, 200, None),
            ({"argument": "x", "ini": "x" * 65536}, 200, None),
            ({"argument": "x", "stock": {"widthMm": 500}}, 200, None),
            ({"argument": "x", "maxLabels": 1}, 200, None),
        ]
        for body, status, text in cases:
            with self.subTest(fields=list(body)):
                got, answer = self.studio.json("POST", "/api/render", body)
                self.assertEqual(got, status, str(answer)[:300])
        for depth, text in [(16, 'unknown field "x"'), (17, "nested deeper than 16")]:
            raw = ('{"x":' + nest(depth) + "}").encode()
            got, ctype, payload = self.studio.request("POST", "/api/render", raw=raw)
            self.assertIn(text, json.loads(payload)["error"], depth)

    def test_huge_bodies_are_refused_unread(self):
        # Announced by Content-Length: refused before the body is read.
        head = (b"POST /api/render HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/json\r\n"
                b"Content-Length: %d\r\n\r\n" % (self.studio.port, 5 * 1024 * 1024))
        answer = self.studio.raw(head + b"{" * 1000)
        self.assertTrue(answer.startswith(b"HTTP/1.1 413"), answer[:200])
        self.assertIn(b'"error"', answer)
        # Chunked, or with no length at all: refused once the headers are read. The
        # answer is awaited after the first of 6 MiB, before the rest is sent: a studio
        # that read the body would wait for it and answer 400 when the read times out.
        chunk = b"100000\r\n" + b" " * 0x100000 + b"\r\n"
        for coding, status in [(b"Transfer-Encoding: chunked\r\n", b"413"), (b"", b"411")]:
            head = (b"POST /api/render HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/json\r\n"
                    b"%s\r\n" % (self.studio.port, coding))
            with socket.create_connection(("127.0.0.1", self.studio.port), timeout=30) as s:
                s.sendall(head + chunk)
                answer = b""
                while b"\r\n\r\n" not in answer:
                    data = s.recv(65536)
                    if not data:
                        break
                    answer += data
                self.assertTrue(answer.startswith(b"HTTP/1.1 " + status), answer[:200])
                try:
                    s.sendall(chunk * 5 + b"0\r\n\r\n")
                except (BrokenPipeError, ConnectionResetError):
                    pass
        self.assertServing()

    def test_pages_and_answers_refuse_frames(self):
        # No other site may show the studio in a frame and lure a click on Print.
        for path in ["/", "/api/info"]:
            with self.subTest(path=path):
                conn = http.client.HTTPConnection("127.0.0.1", self.studio.port, timeout=30)
                conn.request("GET", path)
                res = conn.getresponse()
                res.read()
                conn.close()
                self.assertEqual(res.status, 200)
                self.assertEqual(res.getheader("Content-Security-Policy"), "frame-ancestors 'none'")
                self.assertEqual(res.getheader("X-Frame-Options"), "DENY")

    def test_binary_junk_instead_of_http(self):
        for junk in [os.urandom(3000), b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03" + os.urandom(500),
                     b"GET / HTTP/1.1\r\nHost: " + b"x" * 20000 + b"\r\n\r\n", b"\r\n" * 5000]:
            with self.subTest(junk=junk[:16]):
                answer = self.studio.raw(junk)
                self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 4"), answer[:200])
        self.assertServing()

    def test_slow_clients_are_dropped_and_others_served(self):
        started = time.time()
        stalled = []
        # Half a request line, half the headers, half a body: each then says nothing.
        for part in [b"POS", b"POST /api/render HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % self.studio.port,
                     b"POST /api/render HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/json\r\n"
                     b"Content-Length: 100\r\n\r\n{\"argu" % self.studio.port] * 4:
            s = socket.create_connection(("127.0.0.1", self.studio.port))
            s.sendall(part)
            stalled.append(s)
        try:
            # Twelve stalled clients hold more than the eight workers; the studio still answers.
            status, answer = self.studio.json("POST", "/api/render", {"argument": TUBE})
            self.assertEqual(status, 200)
            for s in stalled:
                s.settimeout(30)
                data = s.recv(4096)
                while data and not data.endswith(b"}"):
                    more = s.recv(4096)
                    if not more:
                        break
                    data += more
                self.assertTrue(data == b"" or data.startswith(b"HTTP/1.1 4"), data[:200])
        finally:
            for s in stalled:
                s.close()
        self.assertLess(time.time() - started, 25, "the stalled clients were not dropped in time")
        self.assertServing()


class ProgramFiveHandler(http.server.BaseHTTPRequestHandler):
    """Another program's web server whose /api/info has a "program" that is no text."""

    def do_GET(self):
        body = b'{"program": 5}'
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class ProgramTest(unittest.TestCase):
    def test_default_address(self):
        # Served at 127.0.0.1:8104, or refused there when something else holds the port.
        process = subprocess.Popen(STUDIO, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            line = process.stdout.readline() or process.stderr.readline()
            self.assertIn("127.0.0.1:8104", line)
        finally:
            if process.poll() is None:
                stop(process)
            else:
                process.stdout.close()
                process.stderr.close()

    def test_remote_address_needs_the_flag(self):
        run = subprocess.run([*STUDIO, "--listen", "0.0.0.0:0"], capture_output=True, text=True, timeout=10)
        self.assertEqual(run.returncode, 1)
        self.assertIn("--allow-remote", run.stderr)
        for bad in ["8104", "127.0.0.1:", "127.0.0.1:70000", "127.0.0.1:x", ":8104"]:
            with self.subTest(listen=bad):
                run = subprocess.run([*STUDIO, "--listen", bad], capture_output=True, text=True, timeout=10)
                self.assertEqual(run.returncode, 1)
                self.assertIn("--listen", run.stderr)

    def test_remote_address_with_the_flag_warns(self):
        process = subprocess.Popen([*STUDIO, "--listen", "0.0.0.0:0", "--allow-remote"], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        try:
            self.assertIn("WARNING", process.stderr.readline())
            self.assertIn("open http://127.0.0.1:", process.stdout.readline())
        finally:
            stop(process)

    def test_open_starts_the_browser_at_the_page(self):
        # --open hands the served address to xdg-open (on Windows through the shell's
        # http handler, under Wine its browser launcher); without one on PATH the studio
        # says so and serves on.
        with tempfile.TemporaryDirectory() as folder:
            opened = os.path.join(folder, "opened")
            with open(os.path.join(folder, "xdg-open"), "w") as f:
                f.write(f'#!/bin/sh\necho "$@" >{opened}.part && mv {opened}.part {opened}\n')
            os.chmod(os.path.join(folder, "xdg-open"), 0o755)
            process, port = start_studio("--open", env=dict(os.environ, PATH=folder + ":/usr/bin:/bin"))
            try:
                deadline = time.time() + 10
                while not os.path.exists(opened) and time.time() < deadline:
                    time.sleep(0.05)
                with open(opened) as f:
                    self.assertEqual(f.read(), f"http://127.0.0.1:{port}/\n")
                # Started again at the same address, as by a second click on the shortcut:
                # the browser opens at the studio that runs. A port held by anything else
                # (silent, or answering JSON that only looks alike) is still refused.
                os.remove(opened)
                holder = socket.create_server(("127.0.0.1", 0))
                lookalike = http.server.ThreadingHTTPServer(("127.0.0.1", 0), ProgramFiveHandler)
                threading.Thread(target=lookalike.serve_forever, daemon=True).start()
                try:
                    for taken, code in [(port, 0), (holder.getsockname()[1], 1), (lookalike.server_port, 1)]:
                        run = subprocess.run([*STUDIO, "--listen", f"127.0.0.1:{taken}", "--open"],
                                             capture_output=True, text=True, timeout=30,
                                             env=dict(os.environ, PATH=folder + ":/usr/bin:/bin"))
                        self.assertEqual(run.returncode, code, run.stdout + run.stderr)
                finally:
                    holder.close()
                    lookalike.shutdown()
                    lookalike.server_close()
                deadline = time.time() + 10
                while not os.path.exists(opened) and time.time() < deadline:
                    time.sleep(0.05)
                with open(opened) as f:
                    self.assertEqual(f.read(), f"http://127.0.0.1:{port}/\n")
            finally:
                stop(process)
            if len(STUDIO) > 1:
                return  # under Wine the shell hands any http address to Wine's launcher
            process, port = start_studio("--open", env=dict(os.environ, PATH=os.path.join(folder, "none")))
            try:
                self.assertIn(f"open http://127.0.0.1:{port}/ by hand", process.stderr.readline())
                self.assertEqual(Studio(port).request("GET", "/")[0], 200)
            finally:
                stop(process)

    def test_print_a_test_label_sends_wire_frames(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(4)
        received = []

        def accept(count):
            for _ in range(count):
                conn, _ = listener.accept()
                with conn:
                    data = b""
                    while True:
                        chunk = conn.recv(65536)
                        if not chunk:
                            break
                        data += chunk
                    received.append(data)

        thread = threading.Thread(target=accept, args=(2,))
        thread.start()
        port = listener.getsockname()[1]
        process, studio_port = start_studio("--print-to", f"127.0.0.1:{port}")
        try:
            studio = Studio(studio_port)
            status, info = studio.json("GET", "/api/info")
            self.assertEqual(info["printTo"], f"127.0.0.1:{port}")
            two = TUBE + "%04x://4\\H555\\N1\\N2\\N3"
            status, answer = studio.json("POST", "/api/print", {"argument": two})
            self.assertEqual(status, 200, answer)
            self.assertEqual(answer["sent"], 2)
            thread.join(10)
            status, rendered = studio.json("POST", "/api/render", {"argument": two})
            self.assertEqual(received, [struct.pack("<I", len(j)) + j.encode("latin-1") for j in rendered["jobs"]])
            listener.close()
            status, answer = studio.json("POST", "/api/print", {"argument": TUBE})
            self.assertEqual(status, 502)
            self.assertIn("not printed: connect() failed", answer["error"])
        finally:
            stop(process)
            listener.close()

    def test_print_holds_the_labels_a_render_shows(self):
        # One label job of 200 labels is printed; of 201, refused before anything is sent.
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(4)
        received = []

        def accept():
            conn, _ = listener.accept()
            with conn:
                received.append(conn.recv(16))

        thread = threading.Thread(target=accept, daemon=True)
        thread.start()
        process, studio_port = start_studio("--print-to", f"127.0.0.1:{listener.getsockname()[1]}")
        try:
            studio = Studio(studio_port)
            status, answer = studio.json("POST", "/api/print", {"argument": "x://100\\1^201^1^0\\B^1\\"})
            self.assertEqual(status, 400, answer)
            self.assertIn("at most 200", answer["error"])
            self.assertEqual(received, [])
            status, answer = studio.json("POST", "/api/print", {"argument": "x://100\\1^200^1^0\\B^1\\"})
            self.assertEqual(status, 200, answer)
            self.assertEqual(answer["sent"], 1)
            thread.join(10)
            self.assertEqual(len(received), 1)
        finally:
            stop(process)
            listener.close()


def main():
    global STUDIO, STOP_SIGNAL
    parser = argparse.ArgumentParser()
    parser.add_argument("--studio", required=True)
    parser.add_argument("--wine")
    options, rest = parser.parse_known_args()
    STUDIO = [options.studio]
    if options.wine:
        STUDIO = [options.wine, options.studio]
        STOP_SIGNAL = signal.SIGINT
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
