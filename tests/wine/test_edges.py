"""Requests that cannot be carried out whole: settings that could never start, tavi.exe's own path
too long for tavi.ini beside it, and a settings file whose writing fails halfway."""
import os
import resource
import signal

from harness import E, Sandbox, TaviCase, b, config, hx, ini, probe, scm, stopped_exit, winpath

P = r"C:\apps\web.exe"


class EdgeTest(TaviCase):
    def test_ini_that_could_never_start_is_not_registered(self):
        name = self.service()
        self.box.write_ini(name=name, exe=P, option="o" * 244)  # 15 + 1 + 244 bytes of command line
        code, boxes = self.box.tavi("/install /ini", (E, "ok"))
        self.assertEqual((code, config(name)), (1, None))
        self.assertBoxes(boxes, (28, E))

    def test_own_path_too_long(self):
        box = Sandbox(self, "f" + "x" * (251 - len(winpath(self.box.dir + "/f"))), self.box.dir)
        os.rename(box.exe, os.path.join(box.dir, "t.exe"))  # Wine starts no program whose path reaches 260 bytes
        box.exe, name, files = os.path.join(box.dir, "t.exe"), self.service(), {}
        scm(name, ("create", winpath(box.exe), 3, 0x10))
        for f in ("tavi.ini", "tavi.in"):  # tavi.in: where a settings path cut at 259 bytes would lead
            box.ini, files[f] = os.path.join(box.dir, f), ini(name=name, exe=P)
            box.write_ini(files[f])
        # In its own folder, or elsewhere (where, without /install or /uninstall, it takes the
        # service road, and no dispatcher answers a person's start).
        for tail, home, boxes in [("/uninstall /ini", 1, [(29, E)]), ("/uninstall /name=%s /no_error" % name, 0, []),
                                  ("/install /name=x /exe=" + P, 1, [(29, E)]), ("", 1, [(29, E)]), ("/ok", 0, [])]:
            code, shown = box.tavi(tail, *[(c, "ok") for _, c in boxes], cwd=box.dir if home else self.box.dir)
            self.assertEqual(code, 1, tail)
            self.assertBoxes(shown, *boxes)
        # The service control manager's start shows no box that nobody could answer: it stops at once.
        self.assertEqual(stopped_exit(name, ("start",))[0], (206, 0))
        self.assertEqual((bool(config(name)), config("x"), sorted(os.listdir(box.dir))), (True, None, sorted(["t.exe", *files])))
        for f, data in files.items():
            with open(os.path.join(box.dir, f), "rb") as read:
                self.assertEqual(read.read(), data)

    def test_a_write_that_fails_halfway_leaves_the_file_as_it_was(self):
        old, name = b"; kept\r\n[other]\r\nk=v\r\n[tavi]\r\nname=old\r\n", self.service()
        tail = hx(self.box.line("/install /name=%s /exe=%s /description=%s /no_error" % (name, P, "d" * 250)))
        # No file of the probe and tavi may grow past 300 bytes (a write past it fails): the description
        # is the key that takes tavi.ini past it. Without the limit, the other lines stay.
        capped = lambda: (resource.setrlimit(resource.RLIMIT_FSIZE, (300, 300)), signal.signal(signal.SIGXFSZ, signal.SIG_IGN))
        for limit, code, kept in [(capped, "3", old), (None, "0", old[:27])]:
            self.box.write_ini(old)
            self.assertEqual(probe("run", winpath(self.box.dir), tail, 60000, preexec=limit)[-1]["code"], code)
            self.assertEqual((self.box.read_ini()[:len(kept)], sorted(os.listdir(self.box.dir))), (kept, ["tavi.exe", "tavi.ini"]))
        self.assertIn(b"description=%s\r\nend=2\r\n" % (b"d" * 250), self.box.read_ini())
