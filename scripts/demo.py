"""tavi's main job, shown under Wine: a sample program becomes a service.

Run by scripts/demo.sh, which builds tavi and prepares Wine first. The
sample program is the tests' probe acting as a window program that prints a
few lines on its standard output and error, and writes what happens to it into
a file of its own. tavi puts the printed lines into the service's log.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
import harness  # noqa: E402
from harness import ChildLog, config, poll, remove_service, scm, status, winpath  # noqa: E402

NAME = "TaviDemo"
STATES = {1: "STOPPED", 2: "START_PENDING", 3: "STOP_PENDING", 4: "RUNNING"}


def say(text=""):
    print(text, flush=True)


def show_boxes(code, boxes):
    for box in boxes:
        say(
            '    message box "%s": %s'
            % (box["caption"].decode("cp932"), box["text"].decode("cp932").replace("\n", " / "))
        )
    say("    exit code %s" % code)


def show_log(log):
    for event in log.events():
        if event["kind"] == "start":
            say(
                "    started: pid %s, command line %s, in %s"
                % (event["pid"], event["cmd"].decode("cp932"), event["cwd"].decode("cp932"))
            )
        elif event["kind"] == "msg":
            sender = "its own default handling" if event["from"] == "defproc" else "tavi"
            say("    received %s on its %s window, from %s" % (event["msg"], event["win"], sender))
        elif event["kind"] == "exit":
            say("    ended with exit code %s" % event["code"])


def main():
    os.makedirs(harness.WORK, exist_ok=True)
    remove_service(NAME)
    box = harness.Sandbox(name="demo")
    program = os.path.join(box.dir, "sample", "sample.exe")
    os.makedirs(os.path.dirname(program))
    shutil.copyfile(harness.PROBE, program)
    log = ChildLog(os.path.join(box.dir, "sample", "sample.log"))

    say("1. Register the sample program as the service %s and start it:" % NAME)
    tail = (
        '/install /name=%s /exe="%s" /option="--windows --streams --log %s"'
        ' /description="tavi demo" /end=sysandclose /log=service.log /start /ok'
        % (NAME, winpath(program), log.win)
    )
    say("    %s> tavi.exe %s" % (winpath(box.dir), tail))
    show_boxes(*box.tavi(tail, "ok"))

    say("\n2. The settings file tavi.ini that it wrote:")
    for line in box.read_ini().decode("cp932").splitlines():
        say("    " + line)

    say("\n3. The registration:")
    c = config(NAME)
    say(
        "    binary path %s, start type %s, type 0x%x, account %s, description %s"
        % (
            c["path"].decode("cp932"),
            c["start"],
            int(c["type"]),
            c["account"],
            c["description"].decode("cp932"),
        )
    )

    poll(lambda: log.events("windows"))
    s = status(NAME)
    say(
        "\n4. The service is %s (host process %d); the program's output:"
        % (STATES.get(s["state"]), s["pid"])
    )
    show_log(log)

    say("\n5. Stop the service: tavi asks the program to end and waits for it:")
    seen = [
        r
        for r in scm(NAME, ("control", 1), ("watch", harness.STOPPED, 30000))
        if r["kind"] == "status"
    ]
    for r in seen:
        say(
            "    %s (check point %s, exit code %s)"
            % (STATES.get(int(r["state"])), r["checkpoint"], r["exit"])
        )
    poll(lambda: log.events("exit"))
    say("    the program's output now:")
    show_log(log)

    say("\n6. The service's log, service.log in tavi's folder: the program's lines among tavi's:")
    with open(os.path.join(box.dir, "service.log"), "rb") as f:
        lines = f.read().splitlines()
    for line in lines:
        say("    " + line.decode("cp932"))

    say("\n7. Remove the service:")
    show_boxes(*box.tavi("/uninstall /ini /ok", "ok"))
    gone = config(NAME) is None
    say("    service %s" % ("removed" if gone else "STILL REGISTERED"))
    return 0 if gone else 1


if __name__ == "__main__":
    sys.exit(main())
