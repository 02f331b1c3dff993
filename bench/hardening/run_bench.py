#!/usr/bin/env python3
"""Side-by-side benchmark of the print service (Koldane) and p910nd on one virtual
printer, and of the client against a minimal sender. Run through scripts/bench.

The printer is a FIFO held open by a reader that counts the jobs (tervane_load count).
Both servers get the same 131-byte EPL2 job, one job per connection: p910nd as raw
bytes on its port 9100+n, Koldane as a wire frame on its own port, in serial mode with
the FIFO as its port. For each server and each sender count the script prints jobs per
second, connection errors and the jobs counted at the printer, then the ratios.
"""
import argparse
import os
import shutil
import signal
import statistics
import socket
import subprocess
import sys
import tempfile
import time

REQUEST = "x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, timeout=15):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        with open("/proc/net/tcp") as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                if fields[1].endswith(":%04X" % port) and fields[3] == "0A":
                    return True
        time.sleep(0.05)
    return False


def parse_pairs(text):
    words = text.split()
    out = {}
    for key, value in zip(words[0::2], words[1::2]):
        try:
            out[key] = float(value)
        except ValueError:
            pass
    return out


def measure(tools, fifo, port, jobs, senders, raw):
    """Runs one load against a server; returns (jobs/s, errors, counted at printer)."""
    counter = subprocess.Popen([tools["load"], "count", fifo, "--expect", str(jobs),
                                "--idle-ms", "5000"], stdout=subprocess.PIPE, text=True)
    if counter.stdout.readline().strip() != "ready":
        raise RuntimeError("the printer reader did not start")
    cmd = [tools["load"], "send", "--port", str(port), "--jobs", str(jobs),
           "--senders", str(senders)]
    if raw:
        cmd.append("--raw")
    sent = parse_pairs(subprocess.run(cmd, capture_output=True, text=True, check=True).stdout)
    counted = parse_pairs(counter.communicate(timeout=120)[0])
    return sent["jobs_per_second"], int(sent["errors"]), int(counted.get("jobs", 0)), \
        int(counted.get("broken", 0))


def start_p910nd(fifo, folder):
    os.makedirs("/var/lock/p910nd", exist_ok=True)
    # Port 9100 + n; the first free n from 0 to 2.
    for n in range(3):
        port = 9100 + n
        with socket.socket() as s:
            try:
                s.bind(("0.0.0.0", port))
            except OSError:
                continue
        proc = subprocess.Popen(["p910nd", "-d", "-f", fifo, str(n)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                cwd=folder)
        if wait_listening(port):
            return proc, port
        proc.kill()
        proc.wait()
    raise RuntimeError("p910nd did not start (ports 9100-9102 busy?)")


def start_koldane(tools, fifo, folder, env_extra):
    exe = os.path.join(folder, "Koldane")
    shutil.copy(tools["koldane"], exe)
    devices = os.path.join(folder, "devices")
    os.makedirs(devices, exist_ok=True)
    os.symlink(fifo, os.path.join(devices, "printer"))
    with open(exe + ".INI", "wb") as f:
        f.write(b"port=printer\r\n")
    port = free_port()
    env = dict(os.environ, TERVANE_SERVICE_PORT=str(port), TERVANE_DEVICE_DIR=devices)
    env.update(env_extra)
    proc = subprocess.Popen([exe], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_listening(port):
        raise RuntimeError("Koldane did not start")
    return proc, port


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def profile(tools, pid, port, jobs, senders, out_dir):
    """Samples the service while it serves a load: perf when it can count, else nothing."""
    data = os.path.join(out_dir, "perf-%d.data" % senders)
    perf = subprocess.Popen(["perf", "record", "-e", "cpu-clock", "-F", "4999", "-g",
                             "-p", str(pid), "-o", data], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    subprocess.run([tools["load"], "send", "--port", str(port), "--jobs", str(jobs),
                    "--senders", str(senders)], capture_output=True, check=True)
    perf.send_signal(signal.SIGINT)
    perf.wait(30)
    # Inclusive shares of the service's own functions and of the calls they make.
    report = subprocess.run(["perf", "report", "-i", data, "--children", "--sort", "sym",
                             "--stdio", "-g", "none", "--percent-limit", "2"],
                            capture_output=True, text=True).stdout
    lines = [l for l in report.splitlines() if l.strip() and not l.startswith("#")]
    return lines[:40]


def client_run(tools, folder, runs):
    """The client's whole run against a sink, beside a minimal C sender."""
    sink_port = free_port()
    sink = subprocess.Popen([tools["load"], "sink", "--port", str(sink_port)],
                            stdout=subprocess.PIPE, text=True)
    sink.stdout.readline()
    client_dir = os.path.join(folder, "client")
    os.makedirs(client_dir)
    exe = os.path.join(client_dir, "tervane")
    shutil.copy(tools["tervane"], exe)
    with open(os.path.join(client_dir, "barcode.ini"), "wb") as f:
        f.write(b"[sizing]\r\nBiochimieMoveLeft=80\r\n[destination]\r\nADDRESS=127.0.0.1\r\n"
                b"NETPORT=%d\r\n" % sink_port)
    job_file = os.path.join(folder, "job.epl")
    with open(job_file, "wb") as f:
        f.write(b'D8\n\nN\nB45,0,0,1,2,4,160,N,"A1234567"\nA90,125,0,2,1,1,N,"*A1234567*"\n'
                b'A10,145,0,2,1,1,N,"LINE TWO"\nA10,165,0,2,1,1,N,"LINE THREE"\nP1\n')

    def timed(cmd):
        start = time.perf_counter()
        for _ in range(runs):
            subprocess.run(cmd, check=True, stdin=subprocess.DEVNULL)
        return (time.perf_counter() - start) / runs * 1000.0

    client_ms = timed([exe, REQUEST])
    minimal_ms = timed([tools["minimal"], "127.0.0.1", str(sink_port), job_file])
    sink.send_signal(signal.SIGTERM)
    result = parse_pairs(sink.communicate(timeout=10)[0])
    return client_ms, minimal_ms, int(result.get("connections", 0)), int(result.get("bytes", 0))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--jobs", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--client-runs", type=int, default=300)
    parser.add_argument("--profile", action="store_true")
    parser.add_argument("--koldane-env", action="append", default=[],
                        help="NAME=value for the service (for comparisons)")
    args = parser.parse_args()
    b = args.build
    tools = {
        "koldane": os.path.join(b, "service", "Koldane"),
        "tervane": os.path.join(b, "client", "tervane"),
        "load": os.path.join(b, "bench", "hardening", "tervane_load"),
        "minimal": os.path.join(b, "bench", "hardening", "minimal_sender"),
    }
    env_extra = dict(e.split("=", 1) for e in args.koldane_env)
    folder = tempfile.mkdtemp(prefix="tervane-bench-")
    os.chmod(folder, 0o755)
    fifo = os.path.join(folder, "printer.fifo")
    os.mkfifo(fifo)
    rounds = {}
    try:
        # Both servers run side by side; the measurements alternate between them, round
        # after round, so that a passing disturbance of the machine does not fall on one
        # server only. The figures reported are the medians of the rounds.
        p910nd, p_port = start_p910nd(fifo, folder)
        kold_dir = os.path.join(folder, "koldane")
        os.makedirs(kold_dir)
        koldane, k_port = start_koldane(tools, fifo, kold_dir, env_extra)
        try:
            for _ in range(args.rounds):
                for senders in (1, 16):
                    rounds.setdefault(("p910nd", senders), []).append(
                        measure(tools, fifo, p_port, args.jobs, senders, True))
                    rounds.setdefault(("Koldane", senders), []).append(
                        measure(tools, fifo, k_port, args.jobs, senders, False))
            if args.profile:
                for senders in (1, 16):
                    counter = subprocess.Popen([tools["load"], "count", fifo], stdout=subprocess.PIPE,
                                               text=True)
                    counter.stdout.readline()
                    lines = profile(tools, koldane.pid, k_port, args.jobs // 2, senders, folder)
                    counter.send_signal(signal.SIGTERM)
                    counter.communicate(timeout=10)
                    print("profile of Koldane, %d sender(s), cpu-clock samples:" % senders)
                    for line in lines:
                        print("  " + line)
        finally:
            stop(koldane)
            stop(p910nd)

        print("%-8s %7s %12s %8s %16s %8s   %s" % ("server", "senders", "jobs/s", "errors",
                                                    "counted/sent", "broken", "jobs/s per round"))
        medians = {}
        for (server, senders), runs in sorted(rounds.items()):
            medians[(server, senders)] = statistics.median(r[0] for r in runs)
            print("%-8s %7d %12.1f %8d %10d/%-6d %8d   %s" % (
                server, senders, medians[(server, senders)], sum(r[1] for r in runs),
                sum(r[2] for r in runs), args.jobs * len(runs), sum(r[3] for r in runs),
                " ".join("%.0f" % r[0] for r in runs)))
        for senders in (1, 16):
            print("ratio Koldane/p910nd, %2d sender(s): %.2f" %
                  (senders, medians[("Koldane", senders)] / medians[("p910nd", senders)]))

        client_ms, minimal_ms, connections, nbytes = client_run(tools, folder, args.client_runs)
        print("client whole run: %.2f ms; minimal C sender: %.2f ms; ratio %.2f "
              "(%d connections, %d bytes at the sink)" %
              (client_ms, minimal_ms, client_ms / minimal_ms, connections, nbytes))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
