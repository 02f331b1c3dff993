"""The examples of the guides: parsed from the marked blocks of docs/*.md, run through
the real client (its label jobs caught by a TCP listener standing in for the print
service) and drawn by tervane-preview. Shared by scripts/docs, which draws the pictures,
and tests/docs/check_docs.py, which checks that the guides still tell the truth.

An example in a guide:

    <!-- example: NAME [build=b] [exit=N] -->
    ```ini settings        (optional; barcode.ini lines, without [destination])
    ...
    ```
    ```text argument       (the client's one argument, as the requesting program passes it)
    ...
    ```
    ```text job            (one block per label job the client delivers, in order)
    ...
    ```
    ![...](pictures/NAME.png)   (one per label: NAME.png, or NAME-1.png, NAME-2.png, ...)
    <!-- end example -->
"""
import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import threading

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DOCS = os.path.join(ROOT, "docs")
PICTURES = os.path.join(DOCS, "pictures")

_START = re.compile(r"^<!-- example: ([a-z0-9-]+)((?: [a-z]+=[^ ]+)*) -->$")
_END = "<!-- end example -->"
_FENCE = re.compile(r"^```(\w+) (settings|argument|job)$")
_PICTURE = re.compile(r"!\[[^\]]*\]\((?:\.\./)*(?:docs/)?pictures/([a-z0-9-]+\.png)\)")


class Example:
    def __init__(self, name, options, source, line):
        self.name = name
        self.build = options.get("build", "a")
        self.exit_code = int(options.get("exit", "0"))
        self.source = source
        self.line = line
        self.settings = ""
        self.argument = None
        self.jobs = []
        self.pictures = []

    def where(self):
        return "%s:%d (%s)" % (os.path.relpath(self.source, ROOT), self.line, self.name)

    def picture_names(self, labels):
        if labels == 1:
            return [self.name + ".png"]
        return ["%s-%d.png" % (self.name, i + 1) for i in range(labels)]


def parse(path):
    """The examples of one Markdown file, in order."""
    examples = []
    current = None
    block = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        if block is not None:
            role, text = block
            if line == "```":
                body = "".join(t + "\n" for t in text)
                if role == "settings":
                    current.settings = body
                elif role == "argument":
                    current.argument = "\n".join(text)
                else:
                    current.jobs.append(body)
                block = None
            else:
                text.append(line)
            continue
        m = _START.match(line)
        if m:
            if current is not None:
                raise ValueError("%s:%d: example inside example" % (path, number))
            options = dict(o.split("=", 1) for o in m.group(2).split())
            current = Example(m.group(1), options, path, number)
            continue
        if current is None:
            continue
        if line == _END:
            if current.argument is None:
                raise ValueError("%s: example without an argument" % current.where())
            examples.append(current)
            current = None
            continue
        m = _FENCE.match(line)
        if m:
            block = (m.group(2), [])
            continue
        current.pictures.extend(_PICTURE.findall(line))
    if current is not None or block is not None:
        raise ValueError("%s: example not closed" % path)
    return examples


def all_examples():
    examples = []
    for name in sorted(os.listdir(DOCS)):
        if name.endswith(".md"):
            examples.extend(parse(os.path.join(DOCS, name)))
    names = [e.name for e in examples]
    doubles = sorted({n for n in names if names.count(n) > 1})
    if doubles:
        raise ValueError("examples named twice: " + ", ".join(doubles))
    return examples


def ini_text(example, destination=None):
    """barcode.ini for the example, with CR LF line ends as Windows editors write them."""
    text = example.settings
    if destination:
        text += "[destination]\nADDRESS=%s\nNETPORT=%d\n" % destination
    return text.replace("\n", "\r\n")


class FrameListener:
    """A stand-in print service: one wire frame per connection, kept in order."""

    def __init__(self):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(16)
        self.server.settimeout(0.2)
        self.port = self.server.getsockname()[1]
        self.frames = []
        self.errors = []
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        # After the client has ended (done), every connection it made is already in the
        # backlog: go on accepting until none is left.
        while True:
            try:
                connection, _ = self.server.accept()
            except socket.timeout:
                if self.done.is_set():
                    break
                continue
            with connection:
                connection.settimeout(10)
                data = b""
                try:
                    while True:
                        chunk = connection.recv(65536)
                        if not chunk:
                            break
                        data += chunk
                except OSError as e:
                    self.errors.append(str(e))
                if len(data) < 4 or struct.unpack("<I", data[:4])[0] != len(data) - 4:
                    self.errors.append("malformed frame: %r" % data[:40])
                self.frames.append(data[4:])

    def close(self):
        # Called when the client has ended.
        self.done.set()
        self.thread.join()
        self.server.close()


def run_client(programs, example):
    """(exit code, label jobs as text) of the real client run with the example.
    programs: {"a": path of tervane, "b": path of tervane-b}; the program is copied
    into a fresh folder beside the example's barcode.ini."""
    work = tempfile.mkdtemp(prefix="tervane-docs.")
    listener = FrameListener()
    try:
        exe = os.path.join(work, os.path.basename(programs[example.build]))
        shutil.copy2(programs[example.build], exe)
        with open(os.path.join(work, "barcode.ini"), "w", newline="") as f:
            f.write(ini_text(example, ("127.0.0.1", listener.port)))
        run = subprocess.run([exe, example.argument], cwd=work, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60)
    finally:
        listener.close()
        shutil.rmtree(work, ignore_errors=True)
    if listener.errors:
        raise RuntimeError("%s: %s" % (example.where(), "; ".join(listener.errors)))
    code = run.returncode - 256 if run.returncode > 127 else run.returncode
    return code, [frame.decode("latin-1") for frame in listener.frames]


def draw(preview, example, out_dir):
    """Draws the example's labels into out_dir; returns the pictures' names, in order."""
    work = tempfile.mkdtemp(prefix="tervane-docs.")
    try:
        ini = os.path.join(work, "barcode.ini")
        with open(ini, "w", newline="") as f:
            f.write(ini_text(example))
        command = [preview, "--request", example.argument, "--ini", ini, "--out", work]
        if example.build == "b":
            command += ["--build", "b"]
        run = subprocess.run(command, capture_output=True, timeout=120)
        if run.returncode not in (0, 2):
            raise RuntimeError("%s: tervane-preview failed: %s" % (example.where(),
                                                                 run.stderr.decode(errors="replace")))
        labels = sorted(n for n in os.listdir(work) if re.match(r"label-\d+\.png$", n))
        names = example.picture_names(len(labels))
        for label, name in zip(labels, names):
            shutil.move(os.path.join(work, label), os.path.join(out_dir, name))
        return names
    finally:
        shutil.rmtree(work, ignore_errors=True)
