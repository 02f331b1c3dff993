"""What the fault tests and the fault demonstrations share: the job frame, a free port,
waiting on a condition, and the printers a service writes to (a FIFO, a slow serial line)."""

import os
import select
import socket
import struct
import threading
import time


def frame(job):
    return struct.pack("<I", len(job)) + job


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(step)
    return condition()


class ReadingPrinter:
    """A descriptor read by a thread of this process into one buffer. `chunk` bytes at a
    time, and with `rate` (bytes a second) paced as a slow printer takes them; it notes
    when the last byte came."""

    def __init__(self, fd, chunk=65536, rate=None):
        self.fd = fd
        self.chunk = chunk
        self.pause = chunk / float(rate) if rate else 0
        self.data = bytearray()
        self.last_byte = time.monotonic()
        self.lock = threading.Lock()
        self.running = True
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.running:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if not ready:
                continue
            try:
                piece = os.read(self.fd, self.chunk)
            except (BlockingIOError, InterruptedError):
                continue
            except OSError:  # a pseudo-terminal pair went away
                time.sleep(0.1)
                continue
            with self.lock:
                self.data += piece
                self.last_byte = time.monotonic()
            if self.pause:
                time.sleep(self.pause * len(piece) / self.chunk)

    def contents(self):
        with self.lock:
            return bytes(self.data)

    def received(self):
        with self.lock:
            return len(self.data), self.last_byte

    def jobs(self):
        return self.contents().count(b"P1\n")

    def close(self):
        self.running = False
        self.thread.join(5)
        os.close(self.fd)


class FifoPrinter(ReadingPrinter):
    """A FIFO that anyone may write (a service may run as another user), held open and
    read by a thread of this process."""

    def __init__(self, folder, name="printer.fifo"):
        self.path = os.path.join(folder, name)
        os.mkfifo(self.path)
        os.chmod(self.path, 0o666)  # the umask would keep a service of another user out
        super().__init__(os.open(self.path, os.O_RDWR | os.O_NONBLOCK))


class PacedTtyReader(ReadingPrinter):
    """The far end of a pseudo-terminal pair read in 96-byte pieces at about `rate`
    bytes a second, as a 9600-baud printer takes them."""

    def __init__(self, path, rate):
        super().__init__(os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK), chunk=96, rate=rate)
