"""Soak run of the service host: a service whose child ends at once, with
relaunching on, runs until the host has relaunched it N times. The host's
handles, private bytes, working set and threads are read after a warm-up
and at the end; then the service is stopped and the stop is timed.

Run by scripts/soak.sh, which builds the programs and brings up the Wine
prefix and display. Prints a table and writes it as a report: bench/soak.md
for a full run (10000 relaunches or more), soak.md in SOAK_WORK for a
shorter check. Exits 1 when a figure grew by more than noise or the stop
took too long, 2 when the run itself failed (the service stopped, no
progress, a tool failed).

  soak.py [RELAUNCHES]        default 10000

Environment: TAVI_EXE, TAVI_TOOLS (scmtool.exe, testchild.exe, runin.exe),
SOAK_WORK (a scratch folder), WINEPREFIX, DISPLAY; SOAK_REPORT overrides
where the report goes.
"""
import datetime
import os
import platform
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
os.environ.setdefault("TAVI_WORK", os.environ.get("SOAK_WORK", os.path.join(ROOT, "build", "soak")))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))

import harness  # noqa: E402
from harness import SERVICE_RUNNING, SERVICE_STOPPED, service_status, tool, winpath  # noqa: E402

FULL_RUN = 10000
WARM_UP = 50
# Growth beyond these counts as a leak rather than noise.
LIMITS = {"handles": 20, "private": 1 << 20, "threads": 2}
STOP_LIMIT_MS = 3000
# The run fails when the counter does not move for this long.
STALL_S = 120
CHECK_EVERY_S = 10
SAMPLES = 20


def figures(pid):
    code, fields = tool("scmtool", "proc", pid)
    if code != 0:
        raise RuntimeError("scmtool proc %d: %r" % (pid, fields))
    return {key: int(fields[key]) for key in ("handles", "private", "workingset", "threads")}


def starts(counter):
    try:
        return os.path.getsize(counter)
    except FileNotFoundError:
        return 0


class Failed(Exception):
    pass


class Soak:
    def __init__(self, relaunches):
        self.relaunches = relaunches
        os.makedirs(harness.WORK, exist_ok=True)
        self.box = harness.Sandbox(name="soak", parent=harness.WORK)
        self.name = self.box.service("taviSoak")
        self.child = os.path.join(self.box.dir, "child.exe")
        shutil.copyfile(os.path.join(harness.TOOLS, "testchild.exe"), self.child)
        self.counter = os.path.join(self.box.dir, "starts")
        self.samples = []

    def status(self):
        status = service_status(self.name)
        if status is None:
            raise Failed("the service cannot be queried")
        return status

    def install(self):
        harness.remove_service(self.name)
        option = "--count %s --exit 0" % winpath(self.counter)
        tail = ('/install /name=%s /exe="%s" /option="%s" /end=ctrlbreak /retry /start /no_error'
                % (self.name, winpath(self.child), option))
        code, boxes = self.box.run(tail)
        if (code, boxes) != (0, []):
            raise Failed("tavi %s: exit %d, boxes %r" % (tail, code, boxes))
        # The first start in a fresh prefix may time out (1053): once more.
        if not harness.wait_state(self.name, SERVICE_RUNNING, 10000):
            tool("scmtool", "start", self.name)
            if not harness.wait_state(self.name, SERVICE_RUNNING, 30000):
                raise Failed("the service does not start: %r" % self.status())

    def wait_for(self, count, pid):
        """Polls the counter until count starts; checks the host meanwhile."""
        last, last_move = starts(self.counter), time.monotonic()
        next_check = time.monotonic() + CHECK_EVERY_S
        next_report = time.monotonic() + 60
        while True:
            now_count = starts(self.counter)
            now = time.monotonic()
            if now_count >= count:
                return now_count
            if now_count != last:
                last, last_move = now_count, now
            if now - last_move > STALL_S:
                raise Failed("no start for %d s at %d starts" % (STALL_S, now_count))
            if now >= next_check:
                next_check = now + CHECK_EVERY_S
                status = self.status()
                if status["state"] != SERVICE_RUNNING or (pid and status["pid"] != pid):
                    raise Failed("the service is no longer run by host %d: %r at %d starts"
                                 % (pid, status, now_count))
            if now >= next_report:
                next_report = now + 60
                print("  %d of %d starts" % (now_count, count), flush=True)
            time.sleep(1.0)

    def sample(self, pid, began):
        count = starts(self.counter)
        values = figures(pid)
        values.update(starts=count, seconds=time.monotonic() - began)
        self.samples.append(values)
        print("  sample: %d starts, %.0f s, handles %d, private %s, working set %s, threads %d"
              % (count, values["seconds"], values["handles"], mib(values["private"]),
                 mib(values["workingset"]), values["threads"]), flush=True)
        return values

    def run(self):
        began = time.monotonic()
        self.install()
        self.wait_for(WARM_UP, 0)
        pid = self.status()["pid"]
        first = self.sample(pid, began)
        target = self.relaunches + 1
        step = max(1, (target - first["starts"]) // SAMPLES)
        while self.samples[-1]["starts"] < target:
            self.wait_for(min(target, self.samples[-1]["starts"] + step), pid)
            self.sample(pid, began)
        if self.status()["pid"] != pid:
            raise Failed("the host changed during the run")
        _, fields = tool("testchild", "--control", self.name, 1, 15000, timeout=90)
        stop = {k: int(v) for k, v in fields.items()}
        final = harness.poll(lambda: self.status()["state"] == SERVICE_STOPPED, timeout=30)
        return {"began": began, "pid": pid, "stop": stop, "stopped": bool(final),
                "first": first, "last": self.samples[-1]}

    def cleanup(self):
        self.box.cleanup()


def mib(value):
    return "%.2f MiB" % (value / 1048576.0)


def show(key, value):
    return mib(value) if key in ("private", "workingset") else str(value)


LABELS = [("handles", "Handles"), ("private", "Private bytes"), ("workingset", "Working set"),
          ("threads", "Threads")]


def verdicts(result):
    first, last = result["first"], result["last"]
    problems = []
    for key, limit in LIMITS.items():
        growth = last[key] - first[key]
        if growth > limit:
            problems.append("%s grew by %s (limit %s)" % (key, show(key, growth), show(key, limit)))
    stop = result["stop"]
    if stop.get("ok") != 1 or not result["stopped"]:
        problems.append("the stop failed: %r" % stop)
    elif not 0 <= stop["stopped_ms"] <= STOP_LIMIT_MS:
        problems.append("the stop took %d ms (limit %d)" % (stop["stopped_ms"], STOP_LIMIT_MS))
    return problems


def randomisation():
    """Whether the processes of this run place their memory at random."""
    try:
        with open("/proc/self/personality") as f:
            no_randomize = int(f.read(), 16) & 0x0040000
    except (OSError, ValueError):
        return ""
    return ("off (setarch -R: Wine runs without its preloader here, see scripts/soak.sh)"
            if no_randomize else "on")


def report_path(relaunches):
    if "SOAK_REPORT" in os.environ:
        return os.environ["SOAK_REPORT"]
    if relaunches >= FULL_RUN:
        return os.path.join(ROOT, "bench", "soak.md")
    return os.path.join(harness.WORK, "soak.md")


def report(result, problems, load_before, path):
    first, last = result["first"], result["last"]
    relaunches = last["starts"] - 1
    window_s = last["seconds"] - first["seconds"]
    rate = (last["starts"] - first["starts"]) / window_s if window_s > 0 else 0.0
    wine = subprocess.run([harness.WINE64, "--version"], capture_output=True, text=True).stdout
    lines = [
        "# Soak: the service host relaunching a child that ends at once",
        "",
        "Written by `scripts/soak.sh` (`tests/soak/soak.py`); do not edit by hand.",
        "",
        "- Date: %s" % datetime.datetime.now().strftime("%Y-%m-%d %H:%M:%S"),
        "- Machine: %d cores; Linux %s; %s" % (os.cpu_count(), platform.release(), wine.strip()),
        "- Load average at the start / end (1 min): %.2f / %.2f"
        % (load_before, os.getloadavg()[0]),
        "- Address randomisation of the Wine processes: %s" % randomisation(),
        "- Service: tavi.exe (x64) with end=ctrlbreak (children share the host's console),"
        " retry=1; child `testchild --count FILE --exit 0`, which adds one byte to FILE and ends",
        "- Relaunches: %d in %.0f s (%.1f min); relaunch rate after the warm-up %.2f per second"
        " (%.0f ms per relaunch)" % (relaunches, last["seconds"], last["seconds"] / 60, rate,
                                     1000.0 / rate if rate else 0),
        "- Host figures (`scmtool proc`: GetProcessHandleCount, GetProcessMemoryInfo"
        " PrivateUsage and WorkingSetSize, Toolhelp thread count) after %d starts and at the end;"
        " under Wine the memory figures are Linux's (working set = VmRSS)" % first["starts"],
        "",
        "| Figure | after %d starts | after %d starts | difference | limit |"
        % (first["starts"], last["starts"]),
        "|---|---|---|---|---|",
    ]
    for key, label in LABELS:
        limit = "+" + show(key, LIMITS[key]) if key in LIMITS else "–"
        growth = last[key] - first[key]
        sign = "+" if growth >= 0 else "-"
        lines.append("| %s | %s | %s | %s%s | %s |" % (label, show(key, first[key]),
                                                         show(key, last[key]), sign,
                                                         show(key, abs(growth)), limit))
    stop = result["stop"]
    lines.append("| Stop: ControlService → SERVICE_STOPPED | | %d ms | | %d ms |"
                 % (stop.get("stopped_ms", -1), STOP_LIMIT_MS))
    lines += ["", "Samples during the run:", "",
              "| Starts | Time (s) | Handles | Private bytes | Working set | Threads |",
              "|---|---|---|---|---|---|"]
    for s in result["samples"]:
        lines.append("| %d | %.0f | %d | %s | %s | %d |" % (
            s["starts"], s["seconds"], s["handles"], mib(s["private"]), mib(s["workingset"]),
            s["threads"]))
    lines += ["", "Verdict: " + ("; ".join(problems) if problems else
                                  "no growth beyond noise, stop within %d ms" % STOP_LIMIT_MS), ""]
    text = "\n".join(lines)
    print(text)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as out:
        out.write(text)
    print("written to %s" % path)


def main():
    relaunches = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    if relaunches < WARM_UP * 2:
        sys.exit("at least %d relaunches" % (WARM_UP * 2))
    load_before = os.getloadavg()[0]
    soak = Soak(relaunches)
    try:
        print("soak: %d relaunches of service %s" % (relaunches, soak.name), flush=True)
        result = soak.run()
        result["samples"] = soak.samples
    except (Failed, RuntimeError, subprocess.TimeoutExpired) as error:
        print("soak failed after %d starts: %s" % (starts(soak.counter), error), flush=True)
        soak.cleanup()
        return 2
    soak.cleanup()
    problems = verdicts(result)
    report(result, problems, load_before, report_path(relaunches))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
