#!/usr/bin/python3
"""Script-level benchmark: one SendMail from VBScript under Wine's cscript, with a file of 1, 16
and 64 MiB attached, to the discard sink on 127.0.0.1; in the same run curl sends the same message
text to the same sink. Prints wall time and peak memory (the peak resident set of the process
running cscript, as the kernel counts it) as ratios to the attachment and to curl.

  script_bench.py [--preset win64|win32] [--runs N] [MiB ...]      default 1 16 64

Needs the preset's DLL built (cmake --build --preset win64); registers it in a prefix of its own,
build/<preset>/bench-prefix.
"""
import argparse
import os
import re
import socket
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "server"))
import script_support  # noqa: E402

MIB = 1 << 20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port):
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    sys.exit("script_bench: the discard sink did not start")


def measured(command, marker=None):
    """Runs a command; its wall time, its peak resident set in bytes and its output. With a
    marker, the peak is that of the process whose command line holds the marker."""
    begin = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    watch = PeakWatch(marker) if marker else None
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - begin
    process.returncode = os.waitstatus_to_exitcode(status)
    peak = watch.stop() if watch else usage.ru_maxrss * 1024
    return wall, peak, output, process.returncode


class PeakWatch(threading.Thread):
    """The kernel's high-water mark of a process's resident set (VmHWM), read until it ends. Wine
    runs cscript.exe in a process of its own, detached from the one started here, so wait4 cannot
    see it; it is found by a marker in its command line."""

    def __init__(self, marker):
        super().__init__(daemon=True)
        self.marker = marker.encode()
        self.peak = 0
        self.running = True
        self.start()

    def find(self):
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    line = f.read()
            except OSError:
                continue
            if line.lower().startswith(b"c:\\windows\\system32\\cscript.exe") and self.marker in line:
                return pid
        return None

    def run(self):
        pid = None
        while self.running and pid is None:
            pid = self.find()
            time.sleep(0.01)
        while pid:
            try:
                with open("/proc/%s/status" % pid) as f:
                    found = re.search(r"VmHWM:\s+(\d+) kB", f.read())
            except OSError:
                return
            if found:
                self.peak = max(self.peak, int(found.group(1)) * 1024)
            time.sleep(0.01)

    def stop(self):
        self.running = False
        self.join()
        return self.peak


def unstuffed(data):
    """The message text a client was given, from the data as it arrived."""
    return re.sub(rb"(?m)^\.", b"", data[:-len(b".\r\n")])


def median(values):
    return sorted(values)[len(values) // 2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--preset", default="win64", choices=["win64", "win32"])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("sizes", nargs="*", type=int, default=[1, 16, 64])
    args = parser.parse_args()
    build = os.path.join(ROOT, "build", args.preset)
    dll = os.path.join(build, "server", "PellamSMTP.dll")
    if not os.path.exists(dll):
        sys.exit("script_bench: %s is missing (cmake --build --preset %s)" % (dll, args.preset))
    work = os.path.join(build, "bench-work")
    os.makedirs(work, exist_ok=True)
    prefix = os.path.join(build, "bench-prefix")
    wine_run = os.path.join(ROOT, "scripts", "wine-run")
    script_support.ARGS = argparse.Namespace(wine_run=wine_run, prefix=prefix, arch=args.preset,
                                             scripts=os.path.join(ROOT, "tests", "server",
                                                                  "scripts"), work=work)
    windows = script_support.windows_path
    subprocess.run([wine_run, prefix, args.preset, "regsvr32", "/s", windows(dll)], check=True)

    port = free_port()
    arrived = os.path.join(work, "arrived.data")
    sink = subprocess.Popen([sys.executable, os.path.join(ROOT, "benchmarks", "discard_sink.py"),
                             str(port), arrived])
    try:
        wait_listening(port)
        cscript = [wine_run, prefix, args.preset, "cscript", "//nologo",
                   windows(os.path.join(ROOT, "tests", "server", "scripts", "send.vbs"))]
        print("One SendMail from VBScript under cscript (%s DLL) to a discard sink on loopback, "
              "vs curl sending the same text; medians of %d runs" % (args.preset, args.runs))
        print("%8s %9s %8s %8s %9s %7s %9s %8s %9s %9s %7s" % (
            "file MiB", "text MiB", "wall s", "s/MiB", "curl s", "wall x", "peak MiB",
            "peak/file", "added/file", "curl MiB", "peak x"))
        base = None
        for size in [0] + args.sizes:
            attachment = os.path.join(work, "load-%d.bin" % size)
            with open(attachment, "wb") as f:
                f.write(os.urandom(size * MIB))
            properties = {"Host": "127.0.0.1", "Port": str(port), "From": "bench@example.org",
                          "To": "sink@example.org",
                          "TextBody": "The attached file is the load.",
                          "Attachment": windows(attachment)}
            ours, curl, failed = [], [], False
            for _ in range(args.runs):
                marker = "Subject=bench-%d" % time.time_ns()
                properties["Subject"] = marker[len("Subject="):]
                wall, peak, output, _ = measured(cscript + script_support.steps(properties), marker)
                failed = failed or b"Result=True" not in output
                ours.append((wall, peak))
                text = os.path.join(work, "text-%d.eml" % size)
                with open(arrived, "rb") as f:
                    data = f.read()
                with open(text, "wb") as f:
                    f.write(unstuffed(data))
                wall, peak, _, code = measured(
                    ["curl", "-s", "-S", "--upload-file", text, "--mail-from", "bench@example.org",
                     "--mail-rcpt", "sink@example.org", "smtp://127.0.0.1:%d" % port])
                failed = failed or code != 0
                curl.append((wall, peak))
            wall, peak = median([w for w, _ in ours]), median([p for _, p in ours])
            curl_wall, curl_peak = median([w for w, _ in curl]), median([p for _, p in curl])
            if size == 0:
                base = peak
                print("%8d %9.2f %8.2f %8s %9.3f %7.1f %9.1f %8s %9s %9.1f %7.1f%s" % (
                    0, len(data) / MIB, wall, "-", curl_wall, wall / curl_wall, peak / MIB, "-",
                    "-", curl_peak / MIB, peak / curl_peak, "  (a send failed)" if failed else ""))
                continue
            print("%8d %9.2f %8.2f %8.3f %9.3f %7.1f %9.1f %8.2f %9.2f %9.1f %7.1f%s" % (
                size, len(data) / MIB, wall, wall / size, curl_wall, wall / curl_wall, peak / MIB,
                peak / (size * MIB), (peak - base) / (size * MIB), curl_peak / MIB,
                peak / curl_peak, "  (a send failed)" if failed else ""))
            os.remove(attachment)
        print("(peak: the largest resident set of the cscript process; added: peak less that of "
              "the send without a file)")
    finally:
        sink.terminate()
        sink.wait()
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix))
    return 0


if __name__ == "__main__":
    sys.exit(main())
