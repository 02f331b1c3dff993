#!/usr/bin/env python3
"""tervane-studio as a virtual label printer, through the real programs: raw TCP
connections (jobs split across many segments, several labels and status queries on one
connection, many connections at once, endless text without a print command), the
client through Koldane and a CUPS raw queue, the client in serial mode through the
pseudo-terminal, and the keep folder.

    studio_printer_test.py --studio PATH --preview PATH [--client PATH --koldane PATH --support DIR]
                           [--wine WINE]

With --wine the studio and the preview are Windows programs started through Wine (the
studio stopped with SIGINT, which Wine hands to it as Ctrl+C); the chains through the
client, Koldane, CUPS and the pseudo-terminal are Linux's, and the serial printer is
checked to say that it is not available."""
import argparse
import base64
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

OPTIONS = None
STUDIO = None   # the command that starts the studio: [PATH] or [WINE, PATH]
PREVIEW = None  # the same for tervane-preview
STOP_SIGNAL = signal.SIGTERM
LABEL = b'N\r\nA10,10,0,3,1,1,N,"FIRST"\r\nP1\r\n'
SECOND = b'N\r\nB20,20,0,1,2,4,60,B,"12345678"\r\nP1\r\n'


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Studio:
    """The studio with a printer on a free port; more arguments as given."""

    def __init__(self, *extra):
        self.process = subprocess.Popen([*STUDIO, "--listen", "127.0.0.1:0", "--printer", "0", *extra],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        assert "open http://127.0.0.1:" in line, line + self.process.stderr.read()
        self.port = int(line.split("127.0.0.1:")[1].split("/")[0])
        line = self.process.stdout.readline()
        assert "printer: raw TCP on 127.0.0.1:" in line, line
        self.printer = int(line.split("127.0.0.1:")[1].split()[0])

    def stop(self):
        self.process.send_signal(STOP_SIGNAL)
        try:
            code = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the studio did not end on SIGTERM")
        finally:
            self.process.stdout.close()
            self.process.stderr.close()
        assert code == 0, f"the studio ended with {code}"

    def request(self, method, path, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        conn.request(method, path, headers=headers or {})
        res = conn.getresponse()
        body = res.read()
        conn.close()
        return res.status, json.loads(body)

    def labels(self):
        status, answer = self.request("GET", "/api/printer/labels")
        assert status == 200, answer
        return answer["labels"]

    def wait_labels(self, count, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            labels = self.labels()
            if len(labels) >= count:
                return labels
            time.sleep(0.05)
        raise AssertionError(f"{count} labels expected, the printer shows {len(self.labels())}")


def preview_png(job, work, dpi=203):
    """The picture tervane-preview draws of a job (its first label)."""
    out = tempfile.mkdtemp(dir=work)
    path = os.path.join(out, "job")
    with open(path, "wb") as f:
        f.write(job)
    done = subprocess.run([*PREVIEW, "--dpi", str(dpi), "--out", out, path], capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    with open(os.path.join(out, "label-001.png"), "rb") as f:
        return f.read()


def job_bytes(label):
    return label["job"].encode("latin-1")


class NetworkPrinterTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tervane-printer-")
        cls.keep = os.path.join(cls.work, "kept", "labels")  # made by the studio
        cls.studio = Studio("--printer-keep", cls.keep)

    @classmethod
    def tearDownClass(cls):
        cls.studio.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        status, _ = self.studio.request("DELETE", "/api/printer/labels")
        self.assertEqual(status, 200)

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.studio.printer), timeout=20)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return s

    def test_labels_and_status_queries_on_one_connection(self):
        with self.connect() as s:
            s.sendall(LABEL + b"^ee\r\n")
            self.assertEqual(s.recv(100), b"00\r\n")
            s.sendall(SECOND + b"UQ\r\n")
            report = b""
            while not report.endswith(b"drawn\r\n"):
                report += s.recv(1000)
            self.assertIn(b"203 dpi\r\n", report)
            self.assertIn(b"printhead 832 dots", report)
            labels = self.studio.wait_labels(2)
            # The connection stays open between jobs; a later job is still drawn. Other
            # commands get no answer.
            s.sendall(b"OD\r\n" + LABEL)
            labels = self.studio.wait_labels(3)
            s.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                s.recv(100)
            sender = "127.0.0.1:%d" % s.getsockname()[1]
        self.assertEqual([job_bytes(l) for l in labels], [b"OD\r\n" + LABEL, SECOND, LABEL])  # newest first
        self.assertEqual({l["sender"] for l in labels}, {sender})
        self.assertEqual([l["id"] for l in labels], sorted((l["id"] for l in labels), reverse=True))
        self.assertTrue(all(l["time"].endswith("Z") and l["note"] == "" for l in labels))

    def test_printer_at_300_dpi(self):
        # A 300 dpi printer reports itself so and draws as the preview does at 300 dpi;
        # a resolution the labels cannot be drawn at is refused.
        refused = subprocess.run([*STUDIO, "--listen", "127.0.0.1:0", "--printer", "0", "--printer-dpi", "250"],
                                 capture_output=True, text=True, timeout=30)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("--printer-dpi 250", refused.stderr)
        studio = Studio("--printer-dpi", "300")
        try:
            with socket.create_connection(("127.0.0.1", studio.printer), timeout=20) as s:
                s.sendall(SECOND + b"UQ\r\n")
                report = b""
                while not report.endswith(b"drawn\r\n"):
                    report += s.recv(1000)
            self.assertIn(b"300 dpi\r\nprinthead 1248 dots (106 mm)\r\n", report)
            label = studio.wait_labels(1)[0]
            self.assertEqual(label["dpi"], 300)
            self.assertEqual(base64.b64decode(label["png_base64"]), preview_png(SECOND, self.work, 300))
        finally:
            studio.stop()

    def test_job_split_across_many_segments(self):
        job = b'I8,A,001\r\nq400\r\nN\r\nA20,20,0,4,1,1,N,"SPLIT JOB"\r\nB20,80,0,1,2,4,60,N,"A1234567"\r\nP1\r\n'
        with self.connect() as s:
            for i in range(0, len(job) - 1, 5):
                s.sendall(job[i:min(i + 5, len(job) - 1)])
                time.sleep(0.002)
            time.sleep(0.3)
            self.assertEqual(self.studio.labels(), [], "drawn before its print command was complete")
            s.sendall(job[-1:])
            label = self.studio.wait_labels(1)[0]
        self.assertEqual(job_bytes(label), job)
        self.assertEqual(base64.b64decode(label["png_base64"]), preview_png(job, self.work))

    def test_unknown_command_is_marked_as_lint_marks_it(self):
        job = b'N\r\nA10,10,0,3,1,1,N,"X"\r\nQQFROB 1\r\nP1\r\n'
        with self.connect() as s:
            s.sendall(job)
            label = self.studio.wait_labels(1)[0]
        path = os.path.join(self.work, "unknown.epl")
        with open(path, "wb") as f:
            f.write(job)
        lint = subprocess.run([*PREVIEW, "--lint", "--out", self.work, path], capture_output=True, text=True)
        expected = [line.split(": ", 1)[1] for line in lint.stdout.splitlines() if ": unknown-command:" in line]
        self.assertTrue(expected, lint.stdout)
        self.assertEqual([w["kind"] + ": " + w["message"] for w in label["warnings"] if w["kind"] == "unknown-command"],
                         expected)

    def test_text_without_print_command_is_capped_and_dropped(self):
        with self.connect() as s:
            line = b'A10,10,0,3,1,1,N,"' + b"X" * 1000 + b'"\r\n'
            s.sendall(b"N\r\n" + line * 1100)  # over 1,000,000 bytes, no P
            s.sendall(LABEL)
            labels = self.studio.wait_labels(2)
        self.assertEqual(job_bytes(labels[0]), LABEL)
        self.assertIn("dropped: more than 1000000 bytes without a print command", labels[1]["note"])
        self.assertEqual(labels[1]["job"], "")
        # Text left without a print command when the sender closes is shown, marked.
        with self.connect() as s:
            s.sendall(b'N\r\nA10,10,0,3,1,1,N,"CUT"\r\n')
        cut = self.studio.wait_labels(3)[0]
        self.assertIn("stopped before the print command", cut["note"])

    def test_many_connections_at_once(self):
        # 16 connections are served side by side; the others wait until one of them ends.
        served, count = 16, 24
        connections = [self.connect() for _ in range(count)]
        for i, s in enumerate(connections):
            s.sendall(b'N\r\nA10,10,0,3,1,1,N,"C%02d"\r\n' % i)
        for s in connections:
            s.sendall(b"P1\r\n")
        self.studio.wait_labels(served)
        for s in connections:
            s.close()
        labels = self.studio.wait_labels(count)
        self.assertEqual(sorted(job_bytes(l) for l in labels),
                         sorted(b'N\r\nA10,10,0,3,1,1,N,"C%02d"\r\nP1\r\n' % i for i in range(count)))

    def test_keep_folder_and_clearing(self):
        with self.connect() as s:
            s.sendall(SECOND)
            label = self.studio.wait_labels(1)[0]
        names = sorted(n for n in os.listdir(self.keep) if n.endswith("-%06d.png" % label["id"]) or
                       n.endswith("-%06d.job" % label["id"]))
        self.assertEqual(len(names), 2, os.listdir(self.keep))
        with open(os.path.join(self.keep, names[0]), "rb") as f:
            self.assertEqual(f.read(), SECOND)
        with open(os.path.join(self.keep, names[1]), "rb") as f:
            self.assertEqual(f.read(), base64.b64decode(label["png_base64"]))
        # Clearing takes the same protection as the rest of the API: not from another site.
        status, answer = self.studio.request("DELETE", "/api/printer/labels", {"Origin": "http://evil.example"})
        self.assertEqual(status, 403, answer)
        self.assertEqual(len(self.studio.labels()), 1)
        status, answer = self.studio.request("DELETE", "/api/printer/labels")
        self.assertEqual((status, answer["cleared"]), (200, 1))
        self.assertEqual(self.studio.labels(), [])
        self.assertEqual(len([n for n in os.listdir(self.keep) if "-%06d." % label["id"] in n]), 2)


def write_crlf(path, lines):
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode())


def copy_program(program, folder):
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, os.path.basename(program))
    shutil.copy2(program, target)
    return target


class SerialOnWindowsTest(unittest.TestCase):
    def test_serial_printer_is_refused_with_a_reason(self):
        if not OPTIONS.wine:
            self.skipTest("the Windows program only")
        done = subprocess.run([*STUDIO, "--listen", "127.0.0.1:0", "--printer-serial", "com5"], capture_output=True,
                              text=True, timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertIn("--printer-serial is not available on Windows", done.stderr)


class ChainTest(unittest.TestCase):
    """The client's own runs, as the requesting application starts them."""

    REQUEST = "x://0\\A7654321\\VIRTUAL%20PRINTER\\CHAIN\\"

    def setUp(self):
        if OPTIONS.wine or not OPTIONS.client:
            self.skipTest("the client, Koldane and the pseudo-terminal on Linux")
        self.work = tempfile.mkdtemp(prefix="tervane-printer-chain-")
        self.devices = os.path.join(self.work, "devices")
        os.makedirs(self.devices)

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def run_client(self, ini_lines):
        client = copy_program(OPTIONS.client, os.path.join(self.work, "client"))
        write_crlf(os.path.join(self.work, "client", "barcode.ini"), ini_lines)
        env = dict(os.environ, TERVANE_DEVICE_DIR=self.devices)
        done = subprocess.run([client, self.REQUEST], env=env, cwd=os.path.dirname(client), capture_output=True,
                              timeout=60)
        self.assertEqual(done.returncode, 0, done)

    def test_client_koldane_cups_raw_queue(self):
        if not shutil.which("cupsd"):
            self.skipTest("cupsd is not installed")
        cups = os.path.join(self.work, "cups")
        fixture = os.path.join(OPTIONS.support, "cups_fixture.sh")
        subprocess.run(["sh", fixture, "start", cups], check=True, capture_output=True, timeout=120)
        studio = None
        koldane = None
        try:
            with open(os.path.join(cups, "ready")) as f:
                ready = dict(line.split("=", 1) for line in f.read().split())
            env = dict(os.environ, CUPS_SERVER=ready["CUPS_SERVER"])
            studio = Studio()
            subprocess.run(["lpadmin", "-p", "VirtualLabel", "-E", "-v", f"socket://127.0.0.1:{studio.printer}",
                            "-m", "raw", "-o", "raw-default=true"], env=env, check=True, capture_output=True)
            service = copy_program(OPTIONS.koldane, os.path.join(self.work, "koldane"))
            write_crlf(os.path.join(self.work, "koldane", "Koldane.INI"), ["printerName=VirtualLabel"])
            service_port = free_port()
            koldane = subprocess.Popen([service], cwd=os.path.dirname(service), stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL,
                                       env=dict(env, TERVANE_SERVICE_PORT=str(service_port)))
            deadline = time.time() + 20
            while subprocess.run(["ss", "-Hltn", f"sport = :{service_port}"], capture_output=True,
                                 text=True).stdout.find("LISTEN") < 0:
                self.assertLess(time.time(), deadline, "Koldane does not listen")
                time.sleep(0.1)
            self.run_client(["[destination]", "ADDRESS=127.0.0.1", f"NETPORT={service_port}"])
            label = studio.wait_labels(1, seconds=60)[0]
            self.assertIn("A7654321", label["job"])
            # The same picture tervane-preview draws of the request: the job came through unchanged.
            out = tempfile.mkdtemp(dir=self.work)
            drawn = subprocess.run([*PREVIEW, "--request", self.REQUEST, "--ini",
                                    os.path.join(self.work, "client", "barcode.ini"), "--out", out],
                                   capture_output=True, text=True)
            self.assertEqual(drawn.returncode, 0, drawn.stdout + drawn.stderr)
            with open(os.path.join(out, "label-001.png"), "rb") as f:
                self.assertEqual(base64.b64decode(label["png_base64"]), f.read())
            self.assertTrue(any(b["scansToData"] and b["data"] == "A7654321" for b in label["barcodes"]), label)
        finally:
            if koldane:
                koldane.terminate()
                koldane.wait(timeout=20)
            if studio:
                studio.stop()
            subprocess.run(["sh", fixture, "stop", cups], capture_output=True, timeout=120)

    def test_client_serial_port(self):
        link = os.path.join(self.devices, "com7")
        studio = Studio("--printer-serial", link)
        try:
            self.assertTrue(os.readlink(link).startswith("/dev/pts/"))
            self.run_client(["[com]", "PORT=COM7", "BAUDRATE=9600"])
            label = studio.wait_labels(1)[0]
            self.assertEqual(label["sender"], link)
            self.assertIn("A7654321", label["job"])
            # Jobs keep coming on the same line.
            self.run_client(["[com]", "PORT=COM7", "BAUDRATE=9600"])
            labels = studio.wait_labels(2)
            self.assertEqual(labels[0]["job"], labels[1]["job"])
        finally:
            studio.stop()
        self.assertFalse(os.path.lexists(link), "the link stays after the studio ended")


def main():
    global OPTIONS, STUDIO, PREVIEW, STOP_SIGNAL
    parser = argparse.ArgumentParser()
    for name in ("--studio", "--preview"):
        parser.add_argument(name, required=True)
    for name in ("--client", "--koldane", "--support", "--wine"):
        parser.add_argument(name)
    OPTIONS, rest = parser.parse_known_args()
    STUDIO, PREVIEW = [OPTIONS.studio], [OPTIONS.preview]
    if OPTIONS.wine:
        STUDIO, PREVIEW = [OPTIONS.wine, OPTIONS.studio], [OPTIONS.wine, OPTIONS.preview]
        STOP_SIGNAL = signal.SIGINT
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
