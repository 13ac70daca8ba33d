"""The command-line roads (/install, /uninstall): every exit code and message,
the settings file they write and read, the service record, and the start-up
probe's effect on an existing registration."""
import os

from harness import (E, RUNNING, STOPPED, T, Sandbox, TaviCase, b, collect, config, hx, poll, probe,
                     scm, status, winpath)

P = r"C:\apps\web.exe"
NOTEPAD = r"C:\windows\system32\notepad.exe"  # runs until its window is closed

# tail ({n}: a new service name), exit code, boxes (message, caption, answer),
# whether the service is registered and tavi.ini written afterwards.
ROADS = [
    ("/install /exe=%s" % P, 1, [(1, E)], 0, 0),
    ("/install", 1, [(1, E)], 0, 0),  # both missing: the name only
    ("/install /exe=%s /no_error" % P, 1, [], 0, 0),
    ("/install /name={n}", 1, [(2, E)], 0, 0),
    ("/install /name={n} /exe=C:\\apps\\web.com /no_error", 1, [], 0, 0),
    ("/install /name={n} /exe=C:\\tools.d\\app /no_error", 1, [], 0, 0),
    ("/install /name={n} /exe=C:\\apps\\app.EXE", 0, [], 1, 1),
    ("/install /name={n} /exe=C:\\apps\\run.Bat /ok", 0, [(17, T)], 1, 1),
    ("/install /name={n} /exe=%s /question" % P, 0, [(13, E, "yes")], 1, 1),
    ("/install /name={n} /exe=%s /question" % P, 2, [(13, E, "no")], 0, 0),
    ("/install /uninstall /name={n} /exe=%s" % P, 0, [], 1, 1),
    # Escaped, 200 quotes take 400 bytes, 130 backslashes 260: not storable.
    ('/install /name={n} /exe=%s /option="%s"' % (P, '\\"' * 200), 1, [(28, E)], 0, 0),
    ("/install /name={n} /exe=%s /option=%s /no_error" % (P, "\\" * 130), 1, [], 0, 0),
    ("/install /name={n} /exe=%s /option=%s" % (P, "o" * 243), 0, [], 1, 1),  # a command line of 259 bytes
    ("/install /name={n} /exe=%s /option=%s" % (P, "o" * 244), 1, [(28, E)], 0, 0),
    # Cut at 259 bytes, the option would end in half a double-byte character.
    (b'/install /name={n} /exe=C:\\a.exe /no_error /option=' + b"a" * 258 + b("ソ"), 1, [], 0, 0),
    ("/uninstall", 1, [(1, E)], 0, 0),
    ("/uninstall /no_error", 1, [], 0, 0),
    ("/uninstall /name={n}", 3, [(6, E)], 0, 0),
    ("/uninstall /name={n} /no_error", 3, [], 0, 0),
]


class RoadTest(TaviCase):
    def run_case(self, tail, code, boxes, sandbox=None, cwd=None):
        name = self.service()
        answers = [(box[1], box[2] if len(box) > 2 else "ok") for box in boxes]
        got = (sandbox or self.box).tavi(b(tail).replace(b"{n}", b(name)), *answers, cwd=cwd)
        self.assertEqual(got[0], code, got)
        self.assertBoxes(got[1], *[(m, c, name) for m, c, *_ in boxes])
        return name

    def test_roads(self):
        for tail, code, boxes, registered, written in ROADS:
            with self.subTest(tail=tail):
                name = self.run_case(tail, code, boxes)
                self.assertEqual((bool(config(name)), os.path.exists(self.box.ini)),
                                 (bool(registered), bool(written)))
                if written:
                    os.remove(self.box.ini)

    def test_start_and_its_failure(self):
        name = self.run_case("/install /name={n} /exe=%s /start /ok" % NOTEPAD, 0, [(16, T)])
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))
        # A host of the name already runs (its mutex is held): the start fails.
        name = self.service()
        holder = probe("mutex", "$$tavi$$%s$$" % name, "hold", background=True)[0]
        self.addCleanup(holder.kill)
        self.assertTrue(poll(lambda: probe("mutex", "$$tavi$$%s$$" % name)[0]["exists"] == "1"))
        tail = "/install /name=%s /exe=%s /start" % (name, NOTEPAD)
        self.assertEqual(self.box.tavi(tail, (T, "ok"))[0], 4)
        scm(name, ("delete",))
        self.assertEqual(self.box.tavi(tail + " /no_error /ok"), (0, []))
        self.assertEqual(status(name)["state"], STOPPED)

    def test_ini_takes_the_settings_file_and_leaves_it(self):
        name = self.service()
        hand = "; by hand\r\n[tavi]\r\nname = %s\r\nexe=%s\r\ndescription=from file\r\ndesktop=1\r\n" % (name, P)
        self.box.write_ini(hand)
        code, boxes = self.box.tavi("/install /ini /ok /name=other /exe=C:\\x.txt", (T, "ok"))
        self.assertEqual(code, 0)
        self.assertBoxes(boxes, (17, T, name))
        # auto defaults to 1 when the file lacks it.
        self.assertEqual((config(name)["type"], config(name)["start"]), ("272", "2"))
        self.assertEqual((config(name)["description"], self.box.read_ini()), (b"from file", b(hand)))
        os.remove(self.box.ini)
        for tail in ("/install /ini", "/uninstall /ini"):
            self.run_case(tail, 1, [(1, E)])
        self.assertFalse(os.path.exists(self.box.ini))

    def test_name_taken_and_the_registration_read_back(self):
        # (start type, type) registered; flags given; auto and desktop saved.
        for start, kind, flags, saved in [(2, 0x110, "", b"auto=1\r\ndesktop=1"), (3, 0x10, "/auto /desktop", b"auto=0\r\ndesktop=0"),
                                          (4, 0x110, "/auto", b"auto=1\r\ndesktop=1"), (4, 0x110, "", b"auto=0\r\ndesktop=1")]:
            name = self.service()
            scm(name, ("create", r"C:\apps\other.exe", start, kind))
            code, boxes = self.box.tavi("/install /name=%s /exe=%s %s" % (name, P, flags), (E, "ok"))
            self.assertEqual((code, boxes[0]["text"]), (3, b("すでに同名のサービスが登録済みです。")))
            self.assertIn(saved, self.box.read_ini())
            self.assertEqual(config(name)["path"], rb"C:\apps\other.exe")

    def test_settings_file_that_cannot_be_written(self):
        os.mkdir(self.box.ini)  # a folder in its place: even root cannot write it
        name = self.run_case("/install /name={n} /exe=%s" % P, 3, [(4, E)])
        self.assertIsNone(config(name))

    def test_folder_length(self):
        for length, code, boxes in [(250, 0, []), (251, 1, [(29, E)])]:
            folder = os.path.join(self.box.dir, "f")
            folder += "x" * (length - len(winpath(folder)))
            box = Sandbox(self, os.path.basename(folder), self.box.dir)
            # Wine starts no program whose path reaches 260 bytes.
            os.rename(box.exe, os.path.join(box.dir, "t.exe"))
            box.exe = os.path.join(box.dir, "t.exe")
            name = self.run_case("/install /name={n} /exe=" + P, code, boxes, box, cwd=self.box.dir)
            self.assertEqual((bool(config(name)), sorted(os.listdir(box.dir))), (code == 0, ["t.exe", "tavi.ini"][:2 - code]))

    def test_uninstall(self):
        for tail in ["-uninstall -ini -ok -name={o}", "/UNINSTALL /INI /OK /NAME={o}"]:
            name, other = self.service(), self.service()
            for n in (name, other):
                scm(n, ("create", P, 3, 0x10))
            self.box.write_ini(name=name)
            code, boxes = self.box.tavi(tail.replace("{o}", other), (T, "ok"))
            self.assertEqual(code, 0)
            self.assertBoxes(boxes, (18, T, name))
            self.assertEqual((config(name), bool(config(other))), (None, True))
        name = self.run_case("/install /name={n} /exe=%s /start" % NOTEPAD, 0, [])
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))
        code, boxes = self.box.tavi("/uninstall /name=%s /question" % name, (T, "no"))
        self.assertEqual((code, status(name)["state"]), (2, STOPPED))  # stopped by the probe
        code, boxes = self.box.tavi("/uninstall /name=%s /question /ok" % name, (T, "yes"), (T, "ok"))
        self.assertEqual(code, 0)
        self.assertBoxes(boxes, (15, T, name), (18, T, name))
        self.assertIsNone(config(name))

    def test_two_installs_of_one_name_at_once(self):
        other = Sandbox(self)
        name = self.service()
        line = "/install /name=%s /exe=%s /no_error" % (name, P)
        runs = [probe("run", winpath(s.dir), hx(s.line(line)), 60000, background=True) for s in (self.box, other)]
        codes = [int(collect(*run)[-1]["code"]) for run in runs]
        self.assertEqual(sorted(codes), [0, 3])
        winner = [self.box, other][codes.index(0)]
        self.assertEqual(config(name)["path"], b(winpath(winner.exe)))


class RecordTest(TaviCase):
    def test_record(self):
        name = self.service()
        description = "Web サーバー"
        for flags, kind, start, desc in [("", "16", "3", ""), ('/desktop /auto /description="%s"' % description, "272", "2", description)]:
            scm(name, ("delete",))
            self.assertEqual(self.box.tavi("/install /name=%s /exe=%s %s" % (name, P, flags))[0], 0)
            self.assertEqual(config(name), {"kind": "config", "type": kind, "start": start, "error": "1", "account": "LocalSystem",
                                            "path": b(winpath(self.box.exe)), "display": b(name), "description": b(desc)})

    def test_folder_with_a_blank_is_quoted_and_runs(self):
        box = Sandbox(self, "with blank")
        name = self.service()
        self.assertEqual(box.tavi("/install /name=%s /exe=%s /start" % (name, NOTEPAD))[0], 0)
        self.assertEqual(config(name)["path"], b'"%s"' % b(winpath(box.exe)))
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))

    def test_starts_from_other_folders(self):
        name = self.service()
        self.assertEqual(self.box.tavi("/install /name=%s /exe=%s /start" % (name, NOTEPAD))[0], 0)
        self.assertTrue(poll(lambda: status(name)["state"] == RUNNING))
        pid = status(name)["pid"]
        # Without /install or /uninstall: taken for the service control
        # manager's start; a second host of the name ends at once, and a copy
        # with no service of its own ends when the dispatcher cannot connect.
        self.assertEqual(self.box.tavi("", cwd=self.box.dir + "/.."), (0, []))
        self.assertEqual(Sandbox(self).tavi("/ok /question", cwd=self.box.dir), (0, []))
        self.assertEqual((status(name)["state"], status(name)["pid"]), (RUNNING, pid))
        # /install and /uninstall typed elsewhere are carried out, and the
        # probe stops a running service of the name as it does at home.
        self.assertEqual(self.box.tavi("/install /name=%s /exe=%s /no_error" % (name, P), cwd=self.box.dir + "/..")[0], 3)
        self.assertEqual(status(name)["state"], STOPPED)
        self.assertEqual(self.box.tavi("/uninstall /name=%s" % name, cwd=self.box.dir + "/..")[0], 0)
        self.assertIsNone(config(name))


SO = b("ソ")  # 83 5C: its second byte is a backslash
# What reaches the program, and whether it is given quoted (where \" is a quote).
OPTIONS = [
    (b"  lead --exit 0 trail  ", True),
    (b"'a b --exit 0'", True),
    (b'"--exit 0 quoted"', True),
    (b'-c "C:\\Program Files\\w.conf" --exit 0 \\\\srv\\s', True),
    (b"--exit=0,C:\\data\\", False),  # a backslash or ソ last cannot stand before a quote
    (b"--exit=0," + SO + b'"x' + SO, False),
    (b"--exit 0 " + b"\\" * 9 + b"a" * 232, True),  # escaped, 259 bytes: the most the file keeps
]


class SettingsFileTest(TaviCase):
    def test_exact_bytes(self):
        name = self.service()
        tail = '/install /name=%s /exe=%s /option="-p 80 \\"x\\"" /description="Web server" /end=ctrlbreak /auto /desktop /retry' % (name, P)
        self.assertEqual(self.box.tavi(tail)[0], 0)
        self.assertEqual(self.box.read_ini(), b('[tavi]\r\nexe=%s\r\noption="-p 80 \\"x\\""\r\nname=%s\r\n'
                         'description=Web server\r\nend=3\r\nauto=1\r\ndesktop=1\r\nretry=1\r\nencode=1\r\n' % (P, name)))

    def test_options_reach_the_program_whole(self):
        # The program path is short and relative to tavi's folder, so that
        # the longest option still fits the child's 259-byte command line.
        self.child(name="c.exe")
        log, name = self.child_log(os.path.join(self.box.dir, "c.exe.log")), self.service()
        for option, quoted in OPTIONS:
            with self.subTest(option=option):
                given = b'"%s"' % option.replace(b'"', b'\\"') if quoted else option
                tail = b"/install /name=%s /exe=.\\c.exe /option=%s /no_error" % (b(name), given)
                self.box.tavi(tail)
                self.assertEqual(scm(name, ("start",), ("watch", STOPPED, 30000))[-1]["state"], "1")
                self.assertEqual(log.events("start")[-1]["cmd"], b".\\c.exe " + option)
        # Written by hand, without encode, the option is taken literally.
        self.box.write_ini(name=name, exe=r".\c.exe", option=b'--exit 0 "C:\\a b" \\\\x\\')
        scm(name, ("start",), ("watch", STOPPED, 30000))
        self.assertEqual(log.events("start")[-1]["cmd"], b'.\\c.exe --exit 0 "C:\\a b" \\\\x\\')

    def test_integers_as_the_profile_reader_reads_them(self):
        for auto, desktop, start, kind in [("yes", "1x", "3", "272"), ("0x1", "-1", "2", "272"), ("1", "0", "2", "16")]:
            name = self.service()
            self.box.write_ini(name=name, exe=P, auto=auto, desktop=desktop)
            self.assertEqual(self.box.tavi("/install /ini")[0], 0)
            self.assertEqual((config(name)["start"], config(name)["type"]), (start, kind))
