"""The command-line roads: exit codes and messages, the settings file, the service record."""

import getpass
import glob
import os
from pathlib import Path

from harness import E, RUNNING, START_PENDING, STOPPED, T, Sandbox, TaviCase, b, config, ini
from harness import WORK, poll, probe, registry, scm, status, watch_stop, winpath

P, NOTEPAD = r"C:\apps\web.exe", r"C:\windows\system32\notepad.exe"  # notepad runs until closed
SO = b("ソ")  # 83 5C: its second byte is a backslash
# A tail ({n}: a new service name, {p}: a program), the exit code, the boxes (message, caption[,
# answer]), and whether the service is registered and tavi.ini written.
ROADS = [
    ("/install /exe={p}", 1, [(1, E)], 0),
    ("/install", 1, [(1, E)], 0),  # both missing: the name only
    ("/install /name={n}", 1, [(2, E)], 0),
    ("/install /name={n} /exe=C:\\t.d\\app /no_error", 1, [], 0),
    ("/install /name={n} /exe=C:\\a\\app.EXE", 0, [], 1),
    ("/install /name={n} /exe=C:\\a\\r.Bat /ok", 0, [(17, T)], 1),
    ("/install /question /name={n} /exe={p}", 0, [(13, E, "yes")], 1),
    ("/install /question /name={n} /exe={p}", 2, [(13, E, "no")], 0),
    ("/install /uninstall /name={n} /exe={p}", 0, [], 1),
    # Escaped, 200 quotes take 400 bytes and 130 backslashes 260: not storable.
    ('/install /name={n} /exe={p} /option="%s"' % ('\\"' * 200), 1, [(28, E)], 0),
    ("/install /no_error /name={n} /exe={p} /option=" + "\\" * 130, 1, [], 0),
    # The command line of a 243-byte option has 259 bytes, of 244 one too many.
    ("/install /name={n} /exe={p} /option=" + "o" * 243, 0, [], 1),
    ("/install /name={n} /exe={p} /option=" + "o" * 244, 1, [(28, E)], 0),
    # Cut at 259 bytes, an option would end in half a ソ, a program path lose its extension.
    (b"/install /no_error /name={n} /exe=C:\\a.exe /option=" + b"a" * 258 + SO, 1, [], 0),
    ('/install /no_error /name={n} /exe="C:\\%s.exe"' % ("p" * 253), 1, [], 0),
    # The log's numbers at both ends of their ranges and one past; its names within 259 bytes.
    ("/install /name={n} /exe={p} /log=w /logsize=2147483647 /logkeep=99", 0, [], 1),
    ("/install /name={n} /exe={p} /logsize=0 /logkeep=100", 1, [(28, E)], 0),
    ("/install /no_error /name={n} /exe={p} /logsize=2147483648", 1, [], 0),
    ("/install /no_error /name={n} /exe={p} /log=" + "l" * 250, 1, [], 0),
    ("/install /name={n} /exe={p} /logsize= 1000000", 1, [(28, E)], 0),  # given empty
    ("/install /no_error /name={n} /exe={p} /logkeep=", 1, [], 0),
    # The relaunch's longest pause and the stop's bound at both ends of their ranges and one past.
    ("/install /name={n} /exe={p} /retrymax=0 /stoptime=3600", 0, [], 1),
    ("/install /name={n} /exe={p} /retrymax=3600 /stoptime=1", 0, [], 1),
    ("/install /name={n} /exe={p} /retrymax=3601", 1, [(28, E)], 0),
    ("/install /no_error /name={n} /exe={p} /stoptime=0", 1, [], 0),
    ("/install /no_error /name={n} /exe={p} /stoptime=3601", 1, [], 0),
    # Variables: one of 3000 bytes; none without "=", with an empty name, with blanks at an end.
    ("/install /name={n} /exe={p} /env=LONG=" + "x" * 3000, 0, [], 1),
    ("/install /name={n} /exe={p} /env=NONE", 1, [(28, E)], 0),
    ("/install /no_error /name={n} /exe={p} /env==x", 1, [], 0),
    ("/install /no_error /name={n} /exe={p} /env=", 1, [], 0),
    ('/install /no_error /name={n} /exe={p} /env="A=1 "', 1, [], 0),
    ("/install /ini", 1, [(1, E)], 0),  # no settings file
    ("/uninstall /ini", 1, [(1, E)], 0),
    ("/uninstall", 1, [(1, E)], 0),
    ("/uninstall /name={n}", 3, [(6, E)], 0),
]
# The account: none without a password; a password only with a user's (or LocalSystem's, the empty
# one); the desktop only with LocalSystem; a name that fits, as given and as registered.
I = "/install /name={n} /exe={p} "
ROADS += [
    (I + "/account=.\\someone", 1, [(31, E, "ok", ".\\someone")], 0),
    (I + "/account=LocalService /password=x", 1, [(32, E, "ok", "LocalService")], 0),
    (I + "/password=x", 1, [(32, E, "ok", "LocalSystem")], 0),
    (I + "/no_error /account=virtual /password=", 1, [], 0),
    (I + "/account=NetworkService /desktop", 1, [(33, E)], 0),
    (I + "/account=", 1, [(30, E)], 0),
    (I + "/password=x /account=" + "u" * 260, 1, [(30, E)], 0),
    ("/install /name=%s /exe={p} /account=virtual" % ("s" * 249), 1, [(30, E)], 0),
]
# The exit codes that end the service: up to 16 of 0 to 4294967295, comma-separated, nothing else.
ROADS += [
    (I + "/noretry=" + ",".join(str(c) for c in range(4294967280, 4294967296)), 0, [], 1),
    (I + "/noretry=" + ",".join(str(c) for c in range(17)), 1, [(28, E)], 0),
    (I + "/noretry=4294967296", 1, [(28, E)], 0),
    (I + "/no_error /noretry=", 1, [], 0),
    (I + "/no_error /noretry=1,,2", 1, [], 0),
    (I + "/no_error /noretry=x", 1, [], 0),
    (I + "/no_error /noretry=1,", 1, [], 0),
]
# An option, and whether it is given quoted (where \" is a quote): it reaches the program whole.
OPTIONS = [
    (b"  lead --exit 0 trail  ", 1),
    (b"'a b --exit 0'", 1),
    (b'"--exit 0 \\\\srv\\q"', 1),
    (b"--exit=0,C:\\data\\", 0),  # ends that cannot stand before a quote
    (b"--exit=0," + SO + b'"x' + SO, 0),
    (b"--exit 0 " + SO, 1),  # quoted, its closing quote after a second byte 0x5C
    (b"--exit 0 " + b"\\" * 9 + b"a" * 232, 1),  # escaped, 259 bytes: the most the file keeps
]


class RoadTest(TaviCase):
    def run_case(self, tail, code, boxes, box=None, cwd=None, name=None, trace=None):
        # Runs the tail for a service name (new unless given), checks its code and boxes; the name.
        name = name or self.service()
        tail = b(tail).replace(b"{n}", b(name)).replace(b"{p}", b(P))
        answers = [(box + ("ok",))[2] for box in boxes]
        got = (box or self.box).tavi(tail, *answers, cwd=cwd, trace=trace)
        self.assertEqual(got[0], code, got)
        # A box's fourth item is what its text names, the service by default.
        self.assertBoxes(got[1], *[(m, c, *(rest[1:] or [name])) for m, c, *rest in boxes])
        return name

    def test_roads(self):
        for tail, code, boxes, done in ROADS:
            with self.subTest(tail=tail):
                name = self.run_case(tail, code, boxes)
                record = config(name) and (config(name)["type"], config(name)["start"])
                wanted = ("16", "3") if done else None  # own process, started on demand
                self.assertEqual((record, os.path.exists(self.box.ini)), (wanted, done))
                if done:  # an [env] section only with variables given
                    self.assertEqual(b"[env]" in self.box.read_ini(), "/env" in str(tail))
                    os.remove(self.box.ini)

    def test_own_path_too_long(self):
        # tavi's folder may have 250 bytes, not 251 (Wine starts no program whose path reaches 260).
        folder = lambda n: "f" + "x" * (n - len(winpath(self.box.dir + "/f")))
        fits, box = [Sandbox(self, folder(n), self.box.dir, "t.exe") for n in (250, 251)]
        tail = "/install /name=%s /exe=%s" % (self.service(), P)
        self.assertEqual(fits.tavi(tail, cwd=self.box.dir), (0, []))
        code, shown = box.tavi(tail, cwd=box.dir)
        self.assertEqual(code, 1)
        self.assertBoxes(shown, (29, E))
        # The service control manager's start shows no box that nobody could answer.
        name = self.service()
        scm(name, ("create", winpath(box.exe), 3, 0x10))
        box.write_ini(name=name, exe=P)
        self.assertEqual(watch_stop(name, ("start",))()[0], (206, 0))

    def test_start_and_its_failure(self):
        # /start waits for the program to run: RUNNING comes only after START_PENDING. A program
        # that cannot be launched, a log that cannot be opened and an [env] that cannot be formed
        # stop the service before it runs (its exit code given), a failed start.
        bad_env = "[tavi]\r\nname=%s\r\nexe=" + NOTEPAD + "\r\n[env]\r\nNOVALUE\r\n"
        for tail, written, code, boxes, stopped in [
            ("/install /name={n} /exe=%s /start /ok" % NOTEPAD, None, 0, [(16, T)], None),
            ("/install /name={n} /exe=C:\\none\\x.exe /start /ok", None, 4, [(3, T)], 2),
            (
                "/install /name={n} /exe=%s /log=C:\\none\\x.log /start" % NOTEPAD,
                None,
                4,
                [(3, T)],
                3,
            ),
            ("/install /ini /start /ok", bad_env, 4, [(3, T)], 10),
        ]:
            with self.subTest(tail=tail):
                name = self.service()
                written and self.box.write_ini(written % name)
                self.run_case(tail, code, boxes, name=name)
                if stopped is None:
                    self.assertEqual(status(name)["state"], RUNNING)
                    self.assertEqual(watch_stop(name, ("control", 1))()[0], (0, 0))
                until = STOPPED if stopped else RUNNING
                seen = [r for r in scm(name, ("start",), ("watch", until, 30000)) if "state" in r]
                states = [int(r["state"]) for r in seen]
                self.assertLessEqual(set(states), {START_PENDING, until}, seen)
                self.assertEqual((states[-1], int(seen[-1]["exit"])), (until, stopped or 0))
                scm(name, ("control", 1), ("watch", STOPPED, 30000), ("delete",))
        # A host of the name runs already (its mutex is held): the start fails.
        name = self.service()
        self.addCleanup(probe("mutex", "$$tavi$$%s$$" % name, "hold", background=True)[0].kill)
        self.assertTrue(poll(lambda: probe("mutex", "$$tavi$$%s$$" % name)[0]["exists"] == "1"))
        self.run_case("/install /name={n} /exe=%s /start" % NOTEPAD, 4, [(3, T)], name=name)
        scm(name, ("delete",))  # silenced, the failed start counts as done
        self.run_case("/install /name={n} /exe=%s /start /no_error /ok" % NOTEPAD, 0, [], name=name)
        self.assertEqual(status(name)["state"], STOPPED)

    def test_accounts(self):
        # Each account registered as the platform names it, stored, its service running; a user's
        # password in no file of tavi's folder (its log among them) nor the service's registry
        # entry, the right to log on as a service asked for; /uninstall removes the service.
        user, secret = getpass.getuser(), "S3cret-pw"
        for i, (given, shown) in enumerate(
            [
                ("LocalSystem", "LocalSystem"),
                ("localservice", "NT AUTHORITY\\LocalService"),
                ("NetworkService", "NT AUTHORITY\\NetworkService"),
                ("virtual", "NT SERVICE\\{n}"),
                (".\\%s /password=%s" % (user, secret), ".\\" + user),
            ]
        ):
            with self.subTest(account=given):
                # A log each: the one before may still be open while its service stops.
                tail = "/install /name={n} /exe=%s /log=%d.log /start /account=" % (NOTEPAD, i)
                name = self.run_case(tail + given, 0, [], trace="-all,fixme+advapi")
                self.assertEqual(config(name)["account"], b(shown.replace("{n}", name)))
                self.assertIn(b"\r\naccount=%s\r\n" % b(given.split()[0]), self.box.read_ini())
                self.assertEqual(status(name)["state"], RUNNING)
                logon = b"LsaAddAccountRights" in Path(WORK, "trace.txt").read_bytes()
                self.assertEqual(logon, "password" in given)
                found = [Path(f).read_bytes() for f in glob.glob(self.box.dir + "/*")]
                found.append(registry("HKLM\\System\\CurrentControlSet\\Services\\" + name))
                self.assertFalse([f for f in found if b(secret) in f])
                self.run_case("/uninstall /name={n}", 0, [], name=name)
                self.assertIsNone(config(name))

    def test_ini_takes_the_settings_file(self):
        # Written by hand: a comment, blanks, no auto (1 by default). It is read, not rewritten.
        name = self.service()
        hand = "; by hand\r\n[tavi]\r\nname = %s\r\nexe=%s\r\ndescription=d\r\ndesktop=1\r\n"
        self.box.write_ini(hand % (name, P))
        self.run_case("/install /ini /ok /name=other /exe=C:\\x.txt", 0, [(17, T)], name=name)
        record = [config(name)[k] for k in ("type", "start", "description")]
        self.assertEqual(record, ["272", "2", b"d"])
        self.assertEqual(self.box.read_ini(), b(hand % (name, P)))

    def test_a_refused_request_leaves_running_services_running(self):
        # A service in this folder and one in another, each running a window program. Requests
        # typed in either folder, or in a third one, are carried out; those that fail change
        # nothing. The delete stops the service.
        services = []
        for box in (self.box, Sandbox(self)):
            log, name = self.child_log(), self.service()
            tail = '/install /name=%s /exe="%s" /option="--windows --log %s" /end=close /start'
            self.assertEqual(box.tavi(tail % (name, winpath(self.child()), log.win)), (0, []))
            services.append((box, name, log, box.read_ini()))
            log.wait("windows")
        up = os.path.dirname(self.box.dir)
        for where, cwd, tail, code, answers in [
            (0, None, "/install /name={a} /exe=C:\\x\\p.exe /no_error", 3, ()),
            (0, None, "-UNINSTALL -Ini /question -name=x", 2, ("no",)),  # the file's name
            (1, None, "/install /name={a} /exe=C:\\x\\p.exe /no_error", 3, ()),
            (0, up, "/install /name={a} /exe=C:\\x\\p.exe /no_error", 3, ()),
        ]:
            with self.subTest(tail=tail, where=where, cwd=cwd):
                tail = tail.replace("{a}", services[0][1])
                self.assertEqual(services[where][0].tavi(tail, *answers, cwd=cwd)[0], code)
                for box, name, log, kept in services:
                    self.assertEqual((box.read_ini(), status(name)["state"]), (kept, RUNNING))
                    self.assertEqual((len(log.events("start")), len(log.alive())), (1, 1))
        # Without /install or /uninstall, a start elsewhere is taken for the service control
        # manager's: a copy with no service of its own ends when the dispatcher cannot connect.
        self.assertEqual(Sandbox(self).tavi("/ok /question", cwd=self.box.dir), (0, []))
        tail = "/uninstall /question /ok /name=" + services[0][1]
        code, boxes = self.box.tavi(tail, "yes", cwd=up)
        self.assertBoxes(boxes, (15, T, services[0][1]), (18, T, services[0][1]))
        # Deleted, the service goes once its program has ended and it has stopped.
        gone = lambda: config(services[0][1]) is None and not services[0][2].alive()
        self.assertEqual((code, poll(gone)), (0, True))

    def test_settings_file_record_and_options(self):
        # In a folder whose name has a blank: the path registered is quoted, and the service starts.
        # The description ends in 表, whose second byte is 0x5C: the options after it still count.
        box, name, text = Sandbox(self, "with blank"), self.service(), "Web サーバー一覧表"
        tail = '/install /name=%s /exe=%s /option="-p \\"x\\"" /description="%s" /retry /auto '
        tail += "/end=ctrlbreak /desktop /log=web.log /logkeep=9 /stoptime=3600 /retrymax=0 "
        tail += '/env="SPACED=a b" /env="SJIS=ソ" /env=GONE= /noretry=0,4294967295'
        box.write_ini(b"[env]\r\nOLD=1\r\n[other]\r\nkept=1\r\n")  # [env] replaced, the rest kept
        box.tavi(tail % (name, NOTEPAD, text))
        keys = dict(exe=NOTEPAD, option='"-p \\"x\\""', name=name, description=text, end=3)
        keys.update(auto=1, desktop=1, retry=1, encode=1, log="web.log", logsize=10485760)
        keys.update(logkeep=9, retrymax=0, stoptime=3600, account="", noretry="0,4294967295")
        env = b"[env]\r\nSPACED=a b\r\nSJIS=%s\r\nGONE=\r\n" % SO
        self.assertEqual(box.read_ini(), b"[other]\r\nkept=1\r\n" + ini(**keys) + env)
        record = dict(kind="config", type="272", start="2", error="1", account=b"LocalSystem")
        record.update(path=b'"%s"' % b(winpath(box.exe)), display=b(name), description=b(text))
        record.update(preshutdown="3610000")  # the bound, the end by force, and room
        self.assertEqual(config(name), record)
        started = scm(name, ("start",), ("watch", RUNNING, 30000))[-1]["state"]
        self.assertEqual(started, str(RUNNING))
        # Each option reaches the program whole; a short program path leaves it the most room.
        self.child(name="c.exe")
        log = self.child_log(os.path.join(self.box.dir, "c.exe.log"))
        for option, quoted in OPTIONS:
            with self.subTest(option=option):
                given = b'"%s"' % option.replace(b'"', b'\\"') if quoted else option
                name = self.run_case(b"/install /name={n} /exe=.\\c.exe /option=" + given, 0, [])
                self.assertEqual(watch_stop(name, ("start",))()[0], (0, 0))
                self.assertEqual(log.events("start")[-1]["cmd"], b".\\c.exe " + option)
