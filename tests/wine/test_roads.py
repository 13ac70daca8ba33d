"""The command-line roads: exit codes and messages, the settings file, the service record, the start-up probe."""
import os
import resource
import signal
from pathlib import Path

from harness import E, RUNNING, STOPPED, T, Sandbox, TaviCase, b, config, hx, ini, one, peek, poll, probe, scm, status, watch_stop, winpath

P, NOTEPAD = r"C:\apps\web.exe", r"C:\windows\system32\notepad.exe"  # notepad runs until closed
# tail ({n}: a new service name), exit code, boxes (message, caption[, answer]),
# whether the service is registered and tavi.ini written afterwards.
ROADS = [
    ("/install /exe=" + P, 1, [(1, E)], 0, 0), ("/install", 1, [(1, E)], 0, 0),  # both missing: the name only
    ("/install /no_error /exe=" + P, 1, [], 0, 0), ("/install /name={n}", 1, [(2, E)], 0, 0),
    ("/install /name={n} /exe=C:\\a\\web.com /no_error", 1, [], 0, 0), ("/install /name={n} /exe=C:\\t.d\\app /no_error", 1, [], 0, 0),
    ("/install /name={n} /exe=C:\\a\\app.EXE", 0, [], 1, 1), ("/install /name={n} /exe=C:\\a\\r.Bat /ok", 0, [(17, T)], 1, 1),
    ("/install /question /name={n} /exe=" + P, 0, [(13, E, "yes")], 1, 1), ("/install /question /name={n} /exe=" + P, 2, [(13, E, "no")], 0, 0),
    ("/install /uninstall /name={n} /exe=" + P, 0, [], 1, 1),
    # Escaped, 200 quotes take 400 bytes, 130 backslashes 260: not storable; the command line of a
    # 243-byte option is 259 bytes, of 244 one too many; cut at 259 bytes, an option would end in half
    # a ソ, a program path lose its extension.
    ('/install /name={n} /exe=%s /option="%s"' % (P, '\\"' * 200), 1, [(28, E)], 0, 0),
    ("/install /no_error /name={n} /exe=%s /option=%s" % (P, "\\" * 130), 1, [], 0, 0),
    ("/install /name={n} /exe=%s /option=%s" % (P, "o" * 243), 0, [], 1, 1), ("/install /name={n} /exe=%s /option=%s" % (P, "o" * 244), 1, [(28, E)], 0, 0),
    (b"/install /no_error /name={n} /exe=C:\\a.exe /option=" + b"a" * 258 + b("ソ"), 1, [], 0, 0),
    ('/install /no_error /name={n} /exe="C:\\%s.exe"' % ("p" * 253), 1, [], 0, 0),
    # The log's numbers in range, at both ends; its rotated names within 259 bytes.
    ("/install /name={n} /exe=%s /log=w.log /logsize=2147483647 /logkeep=99" % P, 0, [], 1, 1),
    ("/install /name={n} /exe=%s /logkeep=100" % P, 1, [(28, E)], 0, 0),
    ("/install /no_error /name={n} /exe=%s /logsize=2147483648" % P, 1, [], 0, 0),
    ("/install /no_error /name={n} /exe=%s /log=%s" % (P, "l" * 250), 1, [], 0, 0),
    ("/uninstall", 1, [(1, E)], 0, 0), ("/uninstall /no_error", 1, [], 0, 0), ("/uninstall /name={n}", 3, [(6, E)], 0, 0),
    ("/uninstall /name={n} /no_error", 3, [], 0, 0)]

class RoadTest(TaviCase):
    def run_case(self, tail, code, boxes, box=None, cwd=None, name=None):
        """Runs the tail with a (new) service name; checks code and boxes; the name."""
        name = name or self.service()
        got = (box or self.box).tavi(b(tail).replace(b"{n}", b(name)), *[(x + ("ok",))[2] for x in boxes], cwd=cwd)
        self.assertEqual(got[0], code, got)
        self.assertBoxes(got[1], *[(m, c, name) for m, c, *_ in boxes])
        return name

    def test_roads(self):
        for tail, code, boxes, registered, written in ROADS:
            with self.subTest(tail=tail):
                name = self.run_case(tail, code, boxes)
                self.assertEqual((bool(config(name)), os.path.exists(self.box.ini)), (bool(registered), bool(written)))
                written and os.remove(self.box.ini)

    def test_start_and_its_failure(self):
        name = self.run_case("/install /name={n} /exe=%s /start /ok" % NOTEPAD, 0, [(16, T)])
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))
        # A host of the name already runs (its mutex is held): the start fails.
        name, mutex = self.service(), "$$tavi$$%s$$"
        self.addCleanup(probe("mutex", mutex % name, "hold", background=True)[0].kill)
        self.assertTrue(poll(lambda: probe("mutex", mutex % name)[0]["exists"] == "1"))
        self.run_case("/install /name={n} /exe=%s /start" % NOTEPAD, 4, [(3, T)], name=name)
        scm(name, ("delete",))  # silenced, the failed start counts as done
        self.run_case("/install /name={n} /exe=%s /start /no_error /ok" % NOTEPAD, 0, [], name=name)
        self.assertEqual(status(name)["state"], STOPPED)

    def test_ini_takes_the_settings_file_and_leaves_it(self):
        name = self.service()
        hand = b("; by hand\r\n[tavi]\r\nname = %s\r\nexe=%s\r\ndescription=from file\r\ndesktop=1\r\n" % (name, P))
        self.box.write_ini(hand)
        self.run_case("/install /ini /ok /name=other /exe=C:\\x.txt", 0, [(17, T)], name=name)
        self.assertEqual([config(name)[k] for k in ("type", "start", "description")], ["272", "2", b"from file"])
        self.assertEqual(self.box.read_ini(), hand)  # auto defaults to 1
        os.remove(self.box.ini)
        [self.run_case(tail, 1, [(1, E)]) for tail in ("/install /ini", "/uninstall /ini")]
        self.assertFalse(os.path.exists(self.box.ini))

    def test_a_failed_registration_leaves_the_settings(self):
        # The settings are written beside tavi.ini and take its place only with the registration.
        taken, old = self.service(), ini(name="old", exe=P)
        scm(taken, ("create", P, 2, 0x110))
        for name, ini_is, number in [(taken, "file", 11), (None, "locked", 4), (None, "folder", 4)]:
            with self.subTest(ini_is=ini_is):
                self.box.write_ini(old)
                if ini_is == "folder":  # even root cannot write it
                    os.remove(self.box.ini), os.mkdir(self.box.ini)
                    self.addCleanup(os.rmdir, self.box.ini)
                if ini_is == "locked":  # held open by a program: the copy cannot take its place
                    lock = probe("lock", winpath(self.box.ini), background=True)
                    self.addCleanup(lock[0].kill)
                    self.assertTrue(poll(lambda: one(peek(lock), "lock")))
                name = self.run_case("/install /name={n} /exe=" + P, 3, [(number, E)], name=name)
                self.assertEqual(config(name)["path"] if name == taken else config(name), b(P) if name == taken else None)
                self.assertEqual(sorted(os.listdir(self.box.dir)), ["tavi.exe", "tavi.ini"])
                ini_is == "folder" or self.assertEqual(self.box.read_ini(), old)

    def test_a_refused_request_leaves_running_services_running(self):
        # A service in this folder and one in another, each running a window program.
        services = []
        for box in (self.box, Sandbox(self)):
            log, name = self.child_log(), self.service()
            tail = '/install /name=%s /exe="%s" /option="--windows --log %s" /end=close /start'
            self.assertEqual(box.tavi(tail % (name, winpath(self.child()), log.win)), (0, []))
            services.append((box, name, log, box.read_ini()))
            log.wait("windows")
        for box, tail, code, answers in [(0, "/install /name={a} /exe=C:\\x\\p.exe /no_error", 3, ()),
                                         (0, "/install /name={a} /exe=C:\\x\\p.txt /no_error", 1, ()),
                                         (0, "/uninstall /ini /question", 2, ("no",)),
                                         (1, "/install /name={a} /exe=C:\\x\\p.exe /no_error", 3, ())]:
            with self.subTest(tail=tail, box=box):
                code_got = services[box][0].tavi(tail.replace("{a}", services[0][1]), *answers)[0]
                self.assertEqual(code_got, code)
                for box, name, log, kept in services:
                    self.assertEqual((box.read_ini(), status(name)["state"]), (kept, RUNNING))
                    self.assertEqual((len(log.events("start")), len(log.alive())), (1, 1))

    def test_uninstall(self):
        name, other = self.service(), self.service()
        [scm(n, ("create", P, 3, 0x10)) for n in (name, other)]
        self.box.write_ini(name=name)  # either mark, any letter case; with /ini the file's name
        self.assertEqual(self.box.tavi("-UNINSTALL -ini /Ok -name=" + other, "ok")[0], 0)
        self.assertEqual((config(name), bool(config(other))), (None, True))
        name = self.run_case("/install /name={n} /exe=%s /start" % NOTEPAD, 0, [])
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))
        self.assertEqual(self.box.tavi("/uninstall /question /name=" + name, "no")[0], 2)
        self.assertEqual(status(name)["state"], RUNNING)  # answered No: left running
        self.run_case("/uninstall /question /ok /name={n}", 0, [(15, T, "yes"), (18, T)], name=name)
        self.assertIsNone(config(name))

    def test_record(self):
        box, name = Sandbox(self, "with blank"), self.service()
        for flags, kind, start, desc in [("", "16", "3", ""), ('/desktop /auto /description="Web サーバー"', "272", "2", "Web サーバー")]:
            scm(name, ("delete",))
            self.assertEqual(box.tavi("/install /name=%s /exe=%s %s" % (name, NOTEPAD, flags))[0], 0)
            self.assertEqual(config(name), {"kind": "config", "type": kind, "start": start, "error": "1", "account": "LocalSystem",
                                            "path": b'"%s"' % b(winpath(box.exe)), "display": b(name), "description": b(desc)})
        self.assertEqual(scm(name, ("start",), ("watch", RUNNING, 30000))[-1]["state"], str(RUNNING))  # quoted, it starts

    def test_starts_from_other_folders(self):
        name, elsewhere = self.run_case("/install /name={n} /exe=%s /start" % NOTEPAD, 0, []), os.path.dirname(self.box.dir)
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))
        # Taken for the service control manager's start without /install or /uninstall, a copy with no
        # service of its own ends when the dispatcher cannot connect; /install and /uninstall typed
        # elsewhere are carried out, and a refused one leaves the service running.
        self.assertEqual(Sandbox(self).tavi("/ok /question", cwd=self.box.dir), (0, []))
        self.run_case("/install /no_error /name=%s /exe=%s" % (name, P), 3, [], cwd=elsewhere)
        self.assertEqual(status(name)["state"], RUNNING)
        self.assertEqual(self.box.tavi("/uninstall /name=" + name, cwd=elsewhere)[0], 0)
        self.assertIsNone(config(name))

SO = b("ソ")  # 83 5C: its second byte is a backslash
# What reaches the program, and whether it is given quoted (where \" is a quote).
OPTIONS = [(b"  lead --exit 0 trail  ", 1), (b"'a b --exit 0'", 1), (b'"--exit 0 \\\\srv\\q"', 1),
           (b"--exit=0,C:\\data\\", 0), (b"--exit=0," + SO + b'"x' + SO, 0),  # ends that cannot stand before a quote
           (b"--exit 0 " + b"\\" * 9 + b"a" * 232, 1)]  # escaped, 259 bytes: the most the file keeps

class SettingsFileTest(TaviCase):
    def test_exact_bytes(self):
        name = self.service()
        self.box.tavi('/install /name=%s /exe=%s /option="-p \\"x\\"" /description="Web server" /end=ctrlbreak /auto '
                      '/desktop /retry /log="C:\\l\\web.log" /logsize=0 /logkeep=9' % (name, P))
        self.assertEqual(self.box.read_ini(), b('[tavi]\r\nexe=%s\r\noption="-p \\"x\\""\r\nname=%s\r\ndescription=Web '
                                                'server\r\nend=3\r\nauto=1\r\ndesktop=1\r\nretry=1\r\nencode=1\r\n'
                                                'log=C:\\l\\web.log\r\nlogsize=0\r\nlogkeep=9\r\n' % (P, name)))

    def test_options_reach_the_program_whole(self):
        # A short relative program path leaves the longest option room.
        self.child(name="c.exe")
        log = self.child_log(os.path.join(self.box.dir, "c.exe.log"))
        for option, quoted in OPTIONS:
            with self.subTest(option=option):
                name = self.service()
                given = b'"%s"' % option.replace(b'"', b'\\"') if quoted else option
                self.box.tavi(b"/install /no_error /name=%s /exe=.\\c.exe /option=%s" % (b(name), given))
                self.assertEqual(scm(name, ("start",), ("watch", STOPPED, 30000))[-1]["state"], str(STOPPED))
                self.assertEqual(log.events("start")[-1]["cmd"], b".\\c.exe " + option)

class EdgeTest(TaviCase):
    """Settings that could never start, tavi.exe's own path too long for tavi.ini beside it, and a
    settings file whose writing fails halfway."""

    def test_ini_that_could_never_start_is_not_registered(self):
        name = self.service()
        self.box.write_ini(name=name, exe=P, option="o" * 244)  # 15 + 1 + 244 bytes of command line
        code, boxes = self.box.tavi("/install /ini", "ok")
        self.assertEqual((code, config(name)), (1, None))
        self.assertBoxes(boxes, (28, E))

    def test_own_path_too_long(self):
        # tavi's folder may have 250 bytes, not 251 (Wine starts no program whose path reaches 260 bytes).
        fits, box = [Sandbox(self, "f" + "x" * (n - len(winpath(self.box.dir + "/f"))), self.box.dir, "t.exe") for n in (250, 251)]
        self.assertEqual(fits.tavi("/install /name=%s /exe=%s" % (self.service(), P), cwd=self.box.dir), (0, []))
        name, files = self.service(), {}
        scm(name, ("create", winpath(box.exe), 3, 0x10))
        for f in ("tavi.ini", "tavi.in"):  # tavi.in: where a settings path cut at 259 bytes would lead
            box.ini, files[f] = os.path.join(box.dir, f), ini(name=name, exe=P)
            box.write_ini(files[f])
        # In its own folder, or elsewhere (where, without /install or /uninstall, it takes the
        # service road, and no dispatcher answers a person's start).
        for tail, home, boxes in [("/uninstall /ini", 1, [(29, E)]), ("/uninstall /name=%s /no_error" % name, 0, []),
                                  ("/install /name=x /exe=" + P, 1, [(29, E)]), ("", 1, [(29, E)]), ("/ok", 0, [])]:
            code, shown = box.tavi(tail, cwd=box.dir if home else self.box.dir)
            self.assertEqual(code, 1, tail)
            self.assertBoxes(shown, *boxes)
        # The service control manager's start shows no box that nobody could answer: it stops at once.
        self.assertEqual(watch_stop(name, ("start",))()[0], (206, 0))
        self.assertEqual((bool(config(name)), config("x"), sorted(os.listdir(box.dir))), (True, None, sorted(["t.exe", *files])))
        self.assertEqual({f: Path(box.dir, f).read_bytes() for f in files}, files)

    def test_a_write_that_fails_halfway_leaves_the_file_as_it_was(self):
        old, name = b"; kept\r\n[other]\r\nk=v\r\n[tavi]\r\nname=old\r\n", self.service()
        tail = hx(self.box.line("/install /name=%s /exe=%s /description=%s /no_error" % (name, P, "d" * 250)))
        # No file of the probe and tavi may grow past 300 bytes (a write past it fails): the description
        # is the key that takes tavi.ini past it. Without the limit, the other lines stay.
        capped = lambda: (resource.setrlimit(resource.RLIMIT_FSIZE, (300, 300)), signal.signal(signal.SIGXFSZ, signal.SIG_IGN))
        # A Wine server kept up meanwhile: one that the capped probe started would inherit the limit and crash.
        self.addCleanup(probe("mutex", "tavi-server-up", "hold", background=True)[0].kill)
        self.assertTrue(poll(lambda: probe("mutex", "tavi-server-up")[0]["exists"] == "1"))
        for limit, code, kept in [(capped, "3", old), (None, "0", old[:27])]:
            self.box.write_ini(old)
            self.assertEqual(probe("run", winpath(self.box.dir), tail, 60000, preexec=limit)[-1]["code"], code)
            self.assertEqual((self.box.read_ini()[:len(kept)], sorted(os.listdir(self.box.dir))), (kept, ["tavi.exe", "tavi.ini"]))
        self.assertIn(b"description=%s\r\nend=2\r\n" % (b"d" * 250), self.box.read_ini())
