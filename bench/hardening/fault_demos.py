#!/usr/bin/env python3
"""Four fault demonstrations against a real Koldane program, one figure line each.

The figures are for quoting a service's behaviour before and after a change; nothing is
asserted and scripts/test never runs it. Each demonstration copies Koldane into a fresh
folder of its own (mode 0755, so that a service running as another user can reach it),
writes its settings file beside the copy, starts it in the foreground on a free port and
removes processes, sockets and folder again, also when it fails or gets SIGTERM.

  fault_demos.py --koldane PATH [--only serial|threads|memory|refused] [--serial-labels N]

  serial   a 200-label job on a 9600-baud serial printer (a socat pseudo-terminal pair
           read at about 960 bytes a second), then 5 small jobs one second apart:
           how many of the 6 arrive whole, in order, and what the log says.
           A socat pair buffers about 34 KB itself, so the 200-label job (14 KB) leaves
           the service at once; --serial-labels 1000 (71 KB) makes it wait on the printer
  threads  the service as the user nobody with at most 12 processes and threads;
           17 idle connections, then one job: printed or not, service alive or not,
           new connections refused or not, and the log lines
  memory   300 senders each promise 8 MiB, send all but the last byte and stall:
           the service's peak resident memory, and whether a small job still prints
  refused  allowFrom keeps the loopback out; 5 s of connections opened and closed as
           fast as possible: how many, and how large the log grew

Needs socat (serial) and root (threads: to run the service as nobody).
"""
import argparse
import errno
import os
import pwd
import resource
import selectors
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

# The job frame, a free port, waiting on a condition and the printers, as the fault tests
# have them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "tests", "hardening"))
from fault_fixtures import FifoPrinter, PacedTtyReader, frame, free_port, wait_for  # noqa: E402

DEMOS = ("serial", "threads", "memory", "refused")
MIB = 1024 * 1024


def note(text):
    """Progress goes to stderr; stdout carries the figure lines only."""
    sys.stderr.write("  " + text + "\n")
    sys.stderr.flush()


def mem_available_kb():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemAvailable:"):
                return int(line.split()[1])
    return 0


class Stop(Exception):
    """Raised by SIGTERM and SIGHUP so that every demonstration's clean-up runs."""


def raise_stop(signum, _frame):
    raise Stop("signal %d" % signum)


class Demo:
    """One demonstration's folder, Koldane copy, processes, sockets and threads; close()
    takes them all down again in reverse order."""

    def __init__(self, koldane, name):
        self.folder = tempfile.mkdtemp(prefix="tervane-demo-%s-" % name)
        os.chmod(self.folder, 0o755)
        self.devices = os.path.join(self.folder, "devices")
        os.mkdir(self.devices)
        os.chmod(self.devices, 0o755)
        self.exe = os.path.join(self.folder, "Koldane")
        shutil.copy(koldane, self.exe)
        os.chmod(self.exe, 0o755)
        self.log = self.exe + ".LOG"
        self.port = free_port()
        self.service = None
        self.cleanups = []

    def on_close(self, action):
        self.cleanups.append(action)

    def write_settings(self, settings):
        with open(self.exe + ".INI", "wb") as f:
            f.write(settings)
        os.chmod(self.exe + ".INI", 0o644)

    def link_device(self, name, target):
        os.symlink(target, os.path.join(self.devices, name))

    def fifo_printer(self):
        printer = FifoPrinter(self.folder)
        self.on_close(printer.close)
        self.link_device("printer", printer.path)
        return printer

    def start(self, receive_timeout_ms, preexec=None):
        env = dict(os.environ)
        env.update({
            "TERVANE_SERVICE_PORT": str(self.port),
            "TERVANE_RECEIVE_TIMEOUT_MS": str(receive_timeout_ms),
            "TERVANE_DEVICE_DIR": self.devices,
        })
        with open(os.path.join(self.folder, "stderr.txt"), "ab") as err:
            self.service = subprocess.Popen([self.exe], cwd=self.folder, env=env,
                                            stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=err,
                                            preexec_fn=preexec)
        if not wait_for(lambda: self.listening() or self.service.poll() is not None, 15):
            raise RuntimeError("Koldane is not listening on port %d" % self.port)
        if self.service.poll() is not None:
            raise RuntimeError("Koldane ended at start with code %d" % self.service.returncode)

    def listening(self):
        """The listening socket, seen in /proc without connecting to it."""
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            try:
                with open(table) as f:
                    lines = f.readlines()[1:]
            except OSError:
                continue
            for line in lines:
                fields = line.split()
                if fields[1].endswith(":%04X" % self.port) and fields[3] == "0A":
                    return True
        return False

    def status_kb(self, key):
        """VmRSS, VmHWM, ... in kB from /proc/PID/status; 0 once the process is gone."""
        try:
            with open("/proc/%d/status" % self.service.pid) as f:
                for line in f:
                    if line.startswith(key + ":"):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0

    def threads(self):
        try:
            return len(os.listdir("/proc/%d/task" % self.service.pid))
        except OSError:
            return 0

    def log_bytes(self):
        try:
            with open(self.log, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def log_messages(self):
        """The log's lines without their date and time ("Y-M-D h:m:s - text")."""
        out = []
        for line in self.log_bytes().decode("latin-1").split("\n"):
            line = line.strip("\r")
            if not line:
                continue
            out.append(line.split(" - ", 1)[1] if " - " in line else line)
        return out

    def stop_service(self):
        if self.service is None or self.service.poll() is not None:
            return
        self.service.send_signal(signal.SIGTERM)
        try:
            self.service.wait(20)
        except subprocess.TimeoutExpired:
            self.service.kill()
            self.service.wait()

    def close(self):
        # A second signal must not cut the clean-up short.
        stop_signals = {signal.SIGTERM, signal.SIGHUP, signal.SIGINT}
        signal.pthread_sigmask(signal.SIG_BLOCK, stop_signals)
        try:
            self._close()
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, stop_signals)

    def _close(self):
        first_error = None
        try:
            self.stop_service()
        except Exception as e:  # the rest is cleaned up all the same
            first_error = e
        for action in reversed(self.cleanups):
            try:
                action()
            except Exception as e:
                first_error = first_error or e
        shutil.rmtree(self.folder, ignore_errors=True)
        if first_error:
            note("clean-up: %s" % first_error)


def close_quietly(sock):
    try:
        sock.close()
    except OSError:
        pass


def send_and_wait_close(port, payload, timeout):
    """Sends a frame on its own connection and waits until the service closes it;
    the time it took, or None when the service did not close it in time."""
    started = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(payload)
            s.shutdown(socket.SHUT_WR)
            while s.recv(4096):
                pass
        return time.monotonic() - started
    except OSError:
        return None


def exit_text(code):
    if code < 0:
        try:
            return "killed by %s" % signal.Signals(-code).name
        except ValueError:
            return "killed by signal %d" % -code
    return "exit code %d" % code


# --- serial -------------------------------------------------------------------------

def big_label_job(labels=200):
    """About 13 KB of EPL2-like text: one numbered label after the other."""
    parts = []
    for n in range(1, labels + 1):
        parts.append(b'N\nA50,0,0,1,1,1,N,"LABEL %03d"\n' % n)
        parts.append(b'A50,40,0,1,1,1,N,"SAMPLE %03d OF %03d"\n' % (n, labels))
        parts.append(b"P1\n")
    return b"".join(parts)


def demo_serial(koldane, labels=200):
    demo = Demo(koldane, "serial")
    try:
        tty_a = os.path.join(demo.folder, "ttyA")
        tty_b = os.path.join(demo.folder, "ttyB")
        pair = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + tty_a, "pty,raw,echo=0,link=" + tty_b],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def stop_pair():
            if pair.poll() is None:
                pair.terminate()
                try:
                    pair.wait(10)
                except subprocess.TimeoutExpired:
                    pair.kill()
                    pair.wait()
        demo.on_close(stop_pair)
        if not wait_for(lambda: os.path.exists(tty_a) and os.path.exists(tty_b), 10):
            raise RuntimeError("socat did not make its pseudo-terminals")
        reader = PacedTtyReader(tty_b, rate=960)
        demo.on_close(reader.close)

        demo.write_settings(b"port=5\r\nbaudrate=9600\r\n")
        demo.link_device("com5", tty_a)
        demo.start(receive_timeout_ms=60000)

        jobs = [big_label_job(labels)] + [b"SMALL %d\nP1\n" % k for k in range(1, 6)]
        expected = sum(len(j) for j in jobs)
        # 90 s, or more when a larger first job needs longer at 960 bytes a second.
        longest = max(90.0, expected / 960.0 + 20)
        note("one job of %d bytes, then %d small ones" % (len(jobs[0]), len(jobs) - 1))
        closed = [None] * len(jobs)

        def send(i):
            closed[i] = send_and_wait_close(demo.port, frame(jobs[i]), 120)
        senders = []
        started = time.monotonic()
        for i in range(len(jobs)):
            if i:
                time.sleep(max(0.0, started + i - time.monotonic()))
            t = threading.Thread(target=send, args=(i,), daemon=True)
            t.start()
            senders.append(t)

        # Done when the reader has had nothing for 5 s after the expected byte count,
        # or after every connection was closed by the service (nothing more can come),
        # or after 90 s (longer for a larger first job).
        def finished():
            got, last = reader.received()
            idle = time.monotonic() - last >= 5
            all_closed = not any(t.is_alive() for t in senders)
            return idle and (got >= expected or all_closed)
        wait_for(finished, longest - (time.monotonic() - started), 0.2)
        data = reader.contents()
        note("reader got %d of %d bytes; connections closed after %s s" % (
            len(data), expected,
            ", ".join("-" if c is None else "%.1f" % c for c in closed)))

        positions = [data.find(j) for j in jobs]
        whole = [p for p in positions if p >= 0]
        if len(whole) < 2:
            order = "n/a"
        else:
            order = "yes" if whole == sorted(whole) else "no"
        open_failures = sum("Nu pot deschide portul" in m for m in demo.log_messages())
        undelivered = []
        for root, _, files in os.walk(demo.folder):
            for name in files:
                if "UNDELIVERED" in name.upper():
                    path = os.path.join(root, name)
                    with open(path, "rb") as f:
                        text = f.read()
                    held = sum(1 for j in jobs if j in text)
                    undelivered.append("%s: %d of the sent jobs whole, %d bytes" % (
                        os.path.relpath(path, demo.folder), held, len(text)))
        return ("serial: jobs sent %d (first %d labels, %d bytes), jobs printed whole %d, "
                "order kept %s, \"Nu pot deschide portul\" lines %d, undelivered file %s" % (
                    len(jobs), labels, len(jobs[0]), len(whole), order, open_failures,
                    "; ".join(undelivered) if undelivered else "none"))
    finally:
        demo.close()


# --- threads ------------------------------------------------------------------------

def demo_threads(koldane):
    if os.geteuid() != 0:
        return "threads: skipped (needs root to run the service as nobody)"
    nobody = pwd.getpwnam("nobody")
    demo = Demo(koldane, "threads")
    idle = []
    try:
        # The service's log and job copy are written in its folder: it belongs to nobody.
        os.chown(demo.folder, nobody.pw_uid, nobody.pw_gid)
        printer = demo.fifo_printer()
        demo.write_settings(b"port=printer\r\n")

        def as_nobody():
            os.setgroups([])
            os.setgid(nobody.pw_gid)
            # Set while still root; the count covers every process and thread of nobody.
            resource.setrlimit(resource.RLIMIT_NPROC, (12, 12))
            os.setuid(nobody.pw_uid)
        demo.start(receive_timeout_ms=5000, preexec=as_nobody)
        threads_at_start = demo.threads()
        peak = [threads_at_start]
        sampling = threading.Event()

        def sample():
            while not sampling.is_set() and demo.service.poll() is None:
                peak[0] = max(peak[0], demo.threads())
                time.sleep(0.05)
        sampler = threading.Thread(target=sample, daemon=True)
        sampler.start()
        demo.on_close(sampling.set)

        def close_idle():
            for s in idle:
                close_quietly(s)
        demo.on_close(close_idle)
        idle_failures = 0
        for _ in range(17):
            try:
                idle.append(socket.create_connection(("127.0.0.1", demo.port), timeout=3))
            except OSError:
                idle_failures += 1
        job = b'N\nA50,0,0,1,1,1,N,"THREADS DEMO"\nP1\n'
        sender = threading.Thread(target=send_and_wait_close,
                                  args=(demo.port, frame(job), 15), daemon=True)
        sender.start()
        time.sleep(15)
        sampling.set()

        printed = job in printer.contents()
        code = demo.service.poll()
        alive = "yes" if code is None else "no (%s)" % exit_text(code)
        try:
            probe = socket.create_connection(("127.0.0.1", demo.port), timeout=5)
            probe.close()
            refused = "no"
        except OSError as e:
            refused = "yes (%s)" % (errno.errorcode.get(e.errno, str(e)) if e.errno else e)

        counts = {}
        routine = {"Conexiune acceptata": 0, "Eroare Read()": 0}
        for m in demo.log_messages():
            if m in routine:
                routine[m] += 1
            else:
                counts[m] = counts.get(m, 0) + 1
        others = "; ".join("\"%s\" x%d" % (m, n) for m, n in counts.items()) or "none"
        return ("threads: %sjob printed %s, service alive %s, new connection refused %s, "
                "threads at start %d peak %d, log lines: %s "
                "(besides \"Conexiune acceptata\" x%d, \"Eroare Read()\" x%d)" % (
                    "%d of 17 idle connections failed, " % idle_failures if idle_failures else "",
                    "yes" if printed else "no", alive, refused, threads_at_start, peak[0],
                    others, routine["Conexiune acceptata"], routine["Eroare Read()"]))
    finally:
        demo.close()


# --- memory -------------------------------------------------------------------------

def demo_memory(koldane):
    senders_wanted = 300
    promised = 8 * MIB
    rss_limit_kb = 6 * 1024 * 1024       # stop sending when the service passes 6 GiB
    machine_reserve_kb = 2 * 1024 * 1024  # or when the machine has less than this left
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < senders_wanted + 64:
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, senders_wanted + 1024), hard))

    demo = Demo(koldane, "memory")
    sockets = []
    try:
        printer = demo.fifo_printer()
        demo.write_settings(b"port=printer\r\n")
        demo.start(receive_timeout_ms=60000)

        def close_all():
            for s in sockets:
                close_quietly(s)
        demo.on_close(close_all)

        body = memoryview(b"J" * (256 * 1024))
        to_send = promised - 1  # the last byte never comes
        peak_rss = 0
        stopped_early = None
        selector = selectors.DefaultSelector()
        demo.on_close(selector.close)
        left = {}

        def sample():
            nonlocal peak_rss, stopped_early
            rss = demo.status_kb("VmRSS")
            peak_rss = max(peak_rss, rss)
            if rss > rss_limit_kb:
                stopped_early = "service RSS passed 6 GiB"
            elif mem_available_kb() < machine_reserve_kb:
                stopped_early = "machine's available memory below 2 GiB"

        # All connections first, each with its length word, then their bytes in
        # parallel: whichever socket can take more gets the next piece. A service that
        # no longer accepts is not waited for long.
        connect_failures = 0
        for _ in range(senders_wanted):
            try:
                s = socket.create_connection(("127.0.0.1", demo.port), timeout=3)
                sockets.append(s)
                s.sendall(struct.pack("<I", promised))
            except OSError:
                connect_failures += 1
                if connect_failures >= 5:
                    break
                continue
            s.setblocking(False)
            left[s] = to_send
            selector.register(s, selectors.EVENT_WRITE)
        opened = len(left)
        complete = 0
        cut_off = 0
        stalled = False
        started = time.monotonic()
        last_progress = started
        next_sample = 0.0
        while left and stopped_early is None:
            now = time.monotonic()
            if now >= next_sample:
                sample()
                next_sample = now + 0.2
                if stopped_early:
                    break
            if now - last_progress > 15:
                stalled = True  # the service takes no more bytes from anyone
                break
            for key, _ in selector.select(0.2):
                s = key.fileobj
                try:
                    n = s.send(body[:min(len(body), left[s])])
                except BlockingIOError:
                    continue
                except OSError:  # the service closed it: this sender ends here
                    cut_off += 1
                    selector.unregister(s)
                    del left[s]
                    continue
                last_progress = time.monotonic()
                left[s] -= n
                if left[s] == 0:
                    complete += 1
                    selector.unregister(s)
                    del left[s]
        note("%d senders sent their %d bytes in %.1f s" % (
            complete, to_send, time.monotonic() - started))
        # The service still takes in what the kernel holds for it: go on sampling
        # until its memory stops growing.
        last = -1
        settle_end = time.monotonic() + 10
        while stopped_early is None and time.monotonic() < settle_end:
            sample()
            rss = demo.status_kb("VmRSS")
            if rss == last:
                break
            last = rss
            time.sleep(0.2)
        hwm = demo.status_kb("VmHWM")
        note("service: %d threads, VmRSS %d MiB" % (
            demo.threads(), demo.status_kb("VmRSS") // 1024))

        job = b'N\nA50,0,0,1,1,1,N,"AFTER THE STALLED SENDERS"\nP1\n'
        threading.Thread(target=send_and_wait_close, args=(demo.port, frame(job), 10),
                         daemon=True).start()
        printed = wait_for(lambda: job in printer.contents(), 10)
        code = demo.service.poll()
        extras = []
        if cut_off:
            extras.append("%d closed by the service while sending" % cut_off)
        if stalled:
            extras.append("%d left when the service stopped taking bytes" % len(left))
        if stopped_early:
            extras.append("stopped early: " + stopped_early)
        if connect_failures:
            extras.append("%d connections failed" % connect_failures)
        return ("memory: senders opened %d (%d sent all but the last byte%s), "
                "peak RSS %d MiB (VmHWM %d MiB), small job printed within 10 s %s%s" % (
                    opened, complete,
                    "".join("; " + e for e in extras),
                    peak_rss // 1024, hwm // 1024, "yes" if printed else "no",
                    "" if code is None else ", service ended (%s)" % exit_text(code)))
    finally:
        demo.close()


# --- refused ------------------------------------------------------------------------

def demo_refused(koldane, seconds=5.0, workers=4):
    demo = Demo(koldane, "refused")
    try:
        demo.fifo_printer()
        demo.write_settings(b"port=printer\r\nallowFrom=10.9.9.9\r\n")
        demo.start(receive_timeout_ms=5000)

        made = [0] * workers
        failed = [0] * workers
        kinds = {}
        kinds_lock = threading.Lock()
        end = time.monotonic() + seconds

        def hammer(i):
            while time.monotonic() < end:
                s = socket.socket()
                s.settimeout(1)  # a full backlog must not hold a worker past the 5 s
                try:
                    s.connect(("127.0.0.1", demo.port))
                    made[i] += 1
                except OSError as e:
                    failed[i] += 1
                    kind = errno.errorcode.get(e.errno, "timed out") if e.errno else "timed out"
                    with kinds_lock:
                        kinds[kind] = kinds.get(kind, 0) + 1
                finally:
                    s.close()
        workers_threads = [threading.Thread(target=hammer, args=(i,), daemon=True)
                           for i in range(workers)]
        for t in workers_threads:
            t.start()
        for t in workers_threads:
            t.join()
        # The service may still be working through its queue of connections: read the
        # log once it has stopped growing.
        last = -1
        for _ in range(100):
            size = len(demo.log_bytes())
            if size == last:
                break
            last = size
            time.sleep(0.5)
        log = demo.log_bytes()
        lines = [l for l in log.split(b"\n") if l.strip(b"\r")]
        refusals = sum(b"Conexiune refuzata" in l for l in lines)
        errors = ", ".join("%s %d" % (k, n) for k, n in sorted(kinds.items()))
        return ("refused: refused connections made %d in %.0f s (connect errors %d%s), "
                "log %d bytes, %d lines (%d \"Conexiune refuzata\")" % (
                    sum(made), seconds, sum(failed), ": " + errors if errors else "",
                    len(log), len(lines), refusals))
    finally:
        demo.close()


RUNNERS = {"serial": demo_serial, "threads": demo_threads, "memory": demo_memory,
           "refused": demo_refused}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--koldane", required=True, help="the Koldane program to run")
    parser.add_argument("--only", choices=DEMOS, help="run this demonstration alone")
    parser.add_argument("--serial-labels", type=int, default=200, metavar="N",
                        help="labels in the serial demonstration's first job (default 200, "
                             "about 14 KB; a socat pair buffers about 34 KB by itself)")
    args = parser.parse_args()
    koldane = os.path.abspath(args.koldane)
    if not os.access(koldane, os.X_OK):
        parser.error("%s is not an executable program" % koldane)
    signal.signal(signal.SIGTERM, raise_stop)
    signal.signal(signal.SIGHUP, raise_stop)

    failures = 0
    for name in ([args.only] if args.only else DEMOS):
        note("%s ..." % name)
        try:
            if name == "serial":
                line = demo_serial(koldane, args.serial_labels)
            else:
                line = RUNNERS[name](koldane)
        except (Exception, KeyboardInterrupt, Stop) as e:
            failures += 1
            line = "%s: failed: %s: %s" % (name, type(e).__name__, e)
            print(line, flush=True)
            if isinstance(e, (KeyboardInterrupt, Stop)):
                return 130
            continue
        print(line, flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
