"""tavi's main job, shown under Wine: a sample program becomes a service.

Run by scripts/demo.sh, which builds tavi and prepares Wine first. The
sample program is the project's test child: a window program that writes what
happens to it into a log.
"""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
import harness  # noqa: E402
from catalogue import CAPTION  # noqa: E402

NAME = "TaviDemo"
STATES = {1: "STOPPED", 2: "START_PENDING", 3: "STOP_PENDING", 4: "RUNNING"}


def say(text=""):
    print(text, flush=True)


def show_box(box):
    say("    message box \"%s\": %s" % (box.caption.decode("cp932"),
                                       box.text.decode("cp932").replace("\n", " / ")))


def show_log(path):
    if not os.path.exists(path):
        say("    (no output yet)")
        return
    for line in open(path, encoding="latin-1"):
        words = line.split()
        fields = dict(w.split("=", 1) for w in words[1:] if "=" in w)
        if words[0] == "start":
            say("    started: pid %s, command line %s, in %s" % (
                fields["pid"], harness.unhex(fields["cmdline"]).decode("cp932"),
                harness.unhex(fields["cwd"]).decode("cp932")))
        elif words[0] == "msg":
            sender = "its own default handling" if fields.get("from") == "defproc" else "tavi"
            say("    received %s on its %s window, from %s" % (fields["msg"], fields["window"], sender))
        elif words[0] == "exit":
            say("    ended with exit code %s" % fields["code"])


def main():
    folder = os.path.join(harness.WORK, "demo")
    harness.remove_service(NAME)
    box = harness.Sandbox(name="demo")
    program = os.path.join(box.dir, "sample", "sample.exe")
    os.makedirs(os.path.dirname(program))
    shutil.copyfile(os.path.join(harness.TOOLS, "testchild.exe"), program)
    log = os.path.join(box.dir, "sample", "sample.log")

    say("1. Register the sample program as the service %s and start it:" % NAME)
    tail = '/install /name=%s /exe="%s" /option="--log %s --windows" /description="tavi demo" /end=sysandclose /start /ok' % (
        NAME, harness.winpath(program), harness.winpath(log))
    say("    %s> tavi.exe %s" % (harness.winpath(folder), tail))
    code, boxes = box.run(tail.encode("cp932"), answers=[(CAPTION, "ok")])
    for b in boxes:
        show_box(b)
    say("    exit code %d" % code)

    say("\n2. The settings file tavi.ini that it wrote:")
    for line in box.read_ini().decode("cp932").splitlines():
        say("    " + line)

    say("\n3. The registration:")
    config = harness.service_config(NAME)
    say("    binary path %s, start type %s, type 0x%x, account %s, description %s" % (
        harness.unhex(config["path"]).decode("cp932"), config["start"],
        int(config["type"]), config["account"],
        harness.unhex(config["description"]).decode("cp932")))

    harness.poll(lambda: os.path.exists(log), timeout=30)
    status = harness.service_status(NAME)
    say("\n4. The service is %s (host process %d); the program's output:" % (
        STATES.get(status["state"]), status["pid"]))
    show_log(log)

    say("\n5. Stop the service:")
    harness.tool("scmtool", "control", NAME, 1)
    harness.tool("scmtool", "wait", NAME, harness.SERVICE_STOPPED, 30000)
    harness.poll(lambda: "exit" in open(log, encoding="latin-1").read(), timeout=30)
    status = harness.service_status(NAME)
    say("    the service is %s, exit code %d; the program's output now:" % (
        STATES.get(status["state"]), status["exit"]))
    show_log(log)

    say("\n6. Remove the service:")
    code, boxes = box.run(b"/uninstall /ini /ok", answers=[(CAPTION, "ok")])
    for b in boxes:
        show_box(b)
    gone = harness.tool("scmtool", "exists", NAME)[0] != 0
    say("    exit code %d; service %s" % (code, "removed" if gone else "STILL REGISTERED"))
    return 0 if gone else 1


if __name__ == "__main__":
    sys.exit(main())
