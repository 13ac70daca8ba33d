"""The Windows event log: the source, each event with its type, ID and values, the bound on a
failing program's events, the message table in both languages; and the exit codes that end the
service. Wine's event log is a stub: a services.exe started with its trace channels on prints each
event of the services it starts, which is what these tests read."""

import os
import re
import subprocess
import unittest
from pathlib import Path

from harness import ENV, EXE, WINE, WORK, Sandbox, TaviCase, b, ini, poll, probe, registry, scm
from harness import status, watch_stop, winpath

SERVER = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver")
TRACE = Path(WORK, "events.txt")
INFO, WARNING, ERROR = 4, 2, 1
# Each event's type, by its ID.
TYPES = {1: INFO, 2: ERROR, 3: ERROR, 4: ERROR, 5: ERROR, 6: WARNING, 7: WARNING, 8: INFO}
TYPES.update({9: WARNING, 10: ERROR})


def restart_server(trace):  # the prefix's server, services.exe tracing events into TRACE or not
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([SERVER, "-k"], env=ENV, **quiet)
    subprocess.run([SERVER, "-w"], env=ENV, **quiet)
    subprocess.run([SERVER, "-p"], env=ENV, **quiet)
    env = dict(ENV, WINEDEBUG="-all,+eventlog,fixme+advapi" if trace else "-all")
    with open(TRACE if trace else os.devnull, "wb") as out:
        subprocess.run(
            [WINE, "wineboot"], env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out
        )


class EventTest(TaviCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK, exist_ok=True)
        restart_server(True)

    @classmethod
    def tearDownClass(cls):
        restart_server(False)

    def events(self, since):  # (type, ID, values) of each event traced after the offset since
        found, lines = [], TRACE.read_bytes()[since:].decode("latin-1").splitlines()
        for line in lines:
            head = re.search(r"fixme:advapi:ReportEventA \(\w+,0x(\w+),0x\w+,0x(\w+),", line)
            if head:
                found.append([int(head[1], 16), int(head[2], 16), []])
            value = re.search(r":eventlog:ReportEventW L\"(.*)\"$", line)
            if value and found:
                found[-1][2].append(value[1].replace("\\\\", "\\"))
        return [tuple(event[:2]) + (event[2],) for event in found]

    def run_service(self, keys, env=b"", stop_after=None, box=None):
        """A service of the folder's tavi.exe with these keys and [env] lines, started; when it
        stops by itself (or is stopped stop_after seconds after it runs), its exit codes, the
        events it wrote and its name."""
        box, name, since = box or self.box, self.service(), TRACE.stat().st_size
        scm(name, ("create", winpath(box.exe), 3, 0x10))
        box.write_ini(ini(name=name, **keys) + (b"[env]\r\n" + env + b"\r\n" if env else b""))
        stop = [("watch", 4, 30000), ("sleep", (stop_after or 0) * 1000), ("control", 1)]
        codes = watch_stop(name, ("start",), *stop * (stop_after is not None))()[0]
        return codes, self.events(since), name

    def test_each_event_with_its_values(self):
        # An event a row: "ID:value|value"; {p} the program, {o} its option, {n} the service. No
        # event holds an [env] value: each program has "A=hush".
        p, d, x3 = winpath(self.child()), winpath(self.box.dir) + "\\", "--exit 3 --log "
        x3, virtual, ctrlbreak = x3 + self.child_log().win, dict(account="virtual"), dict(end=3)
        ctrlbreak.update(stoptime=1)
        for exe, option, keys, env, stop_after, codes, events in [
            (p, x3, virtual, b"", None, (1066, 3), ["1:{p} {o}|NT SERVICE\\{n}", "6:3|0|1|1"]),
            (d + "absent.exe", "", {}, b"", None, (2, 0), ["2:2|{p} {o}"]),
            (p, "", dict(log="missing\\web.log"), b"", None, (3, 0), ["3:3|missing\\web.log"]),
            (p, "", {}, b"\r\nV=" + b"x" * 40000, None, (10, 0), ["4:10"]),
            (p, "", {}, b"\r\nB", None, (10, 0), ["5:10|2"]),
            # Ctrl+Break does not reach a console program under Wine: ended at the bound.
            (p, "--wait", ctrlbreak, b"", 0, (1460, 0), ["1:{p} {o}|LocalSystem", "9:1"]),
        ]:
            with self.subTest(exe=exe, option=option, keys=keys):
                keys.update(exe=exe, option=option)
                got, seen, name = self.run_service(keys, b"A=hush" + env, stop_after)
                texts = [e.format(p=exe, o=option, n=name).partition(":") for e in events]
                wanted = [(TYPES[int(i)], int(i), v.split("|")) for i, _, v in texts]
                self.assertEqual((got, seen), (codes, wanted))
        # Refused for its own reasons, with no settings read: under the name the manager gives.
        folder = "f" + "x" * (251 - len(winpath(self.box.dir + "/f")))
        long = Sandbox(self, folder, self.box.dir, "t.exe")
        self.assertEqual(self.run_service({}, box=long)[:2], ((206, 0), [(ERROR, 10, ["206"])]))

    def test_relaunches_paused_and_the_bound(self):
        # Four quick ends with 3, then a copy that runs: the first end and the pause are told once
        # each, the run of 10 s after them too. A program that fails without end, relaunched at
        # once or with pauses, writes its first end and (with pauses) the pause, no more, until a
        # minute has passed; the ends are counted.
        told = [(1,), (6, "3", "0", "1", "1"), (7, "4", "1", "3")]  # quick ends, pause, code
        for option, keys, stop_after, wanted in [
            ("--first 4", dict(stoptime=1), 15, told + [(8,), (9, "1")]),  # no window to close
            ("--exit 3", dict(retrymax=0), 5, told[:2]),
            ("--exit 3", dict(), 8, told),
        ]:
            with self.subTest(option=option, keys=keys):
                log = self.child_log()
                keys.update(exe=winpath(self.child()), option=option + " --log " + log.win, retry=1)
                seen = self.run_service(keys, stop_after=stop_after)[1]
                self.assertEqual(
                    [(i, *values) if i != 1 else (1,) for _, i, values in seen], wanted
                )
                self.assertGreater(len(log.events("start")), 4)

    def test_exit_codes_that_end_the_service(self):
        # With retry, a code of the list stops the service as without retry; another relaunches.
        for code, noretry, codes in [
            (3, "0,3", (1066, 3)),
            (0, "0", (0, 0)),
            (4294967295, "7,4294967295", (1066, 4294967295)),
            (3, "4,5", None),
        ]:
            with self.subTest(code=code, noretry=noretry):
                log = self.child_log()
                option = "--exit %d --log %s" % (code, log.win)
                keys = dict(exe=winpath(self.child()), option=option, retry=1, noretry=noretry)
                got = self.run_service(keys, stop_after=None if codes else 3)[0]
                self.assertEqual((got, len(log.events("start")) > 1), (codes or (0, 0), not codes))

    def test_the_source_and_its_texts(self):
        # Registered with the service, removed with it; each event's text in both languages, its
        # values in place, and no text past the last.
        name, key = self.service(), "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog"
        key += "\\Application\\" + name
        self.assertEqual(self.box.tavi("/install /name=%s /exe=C:\\a.exe" % name), (0, []))
        found = registry(key)
        self.assertIn(b"EventMessageFile    REG_EXPAND_SZ    " + b(winpath(self.box.exe)), found)
        self.assertIn(b"TypesSupported    REG_DWORD    0x7", found)
        self.assertEqual(self.box.tavi("/uninstall /name=" + name), (0, []))
        self.assertNotIn(b"TypesSupported", registry(key))
        inserts = {1: 2, 2: 2, 3: 2, 4: 1, 5: 2, 6: 4, 7: 3, 8: 0, 9: 1, 10: 1, 11: -1}
        for language, codepage in [("409", "ascii"), ("411", "cp932")]:
            for id, count in inserts.items():
                text = probe("message", winpath(EXE), id, language)[0]["text"].decode(codepage)
                with self.subTest(id=id, language=language, text=text):
                    marks = sorted(set(re.findall("<\\d>", text)))
                    wanted = ["<%d>" % (i + 1) for i in range(count)]
                    self.assertEqual((marks, "%" in text, text == ""), (wanted, False, count < 0))
