"""The service host with the probe as its program: the child's command line
and folder, the four stop requests, relaunching, the failure codes the
service control manager sees, the controls, and the instance guard."""
import os
import shutil
import re
import statistics
import subprocess
import time
import uuid

from harness import (ENV, RUNNING, WINE, WORK, STOPPED, Sandbox, TaviCase, b, config, hx, poll, probe, scm, status,
                     stopped_exit, watch_stop, winpath)

CLOSE = [("main", "WM_CLOSE", "outside")]
SC = [("main", "SC_CLOSE", "outside")]


class ServiceCase(TaviCase):
    def install(self, end, option, exe=None, retry=False, start=True, name=None, box=None):
        """A service for a program (a copy of the probe), registered and
        started through tavi's command line; its name."""
        name = self.service(name)
        tail = b'/install /name=%s /exe="%s" /option="%s" /end=%s%s%s' % (
            b(name), b(winpath(exe or self.child())), b(option), b(end),
            b" /retry" * retry, b" /start" * start)
        self.assertEqual((box or self.box).tavi(tail), (0, []))
        return name

    def install_child(self, end, extra="", **kwargs):
        log = self.child_log()
        return self.install(end, "--log %s %s" % (log.win, extra), **kwargs), log

    def stop(self, name):
        return stopped_exit(name, ("control", 1))


class ChildTest(ServiceCase):
    def test_command_line_and_folder(self):
        # (folder, file name): a path with a blank is quoted, and a program
        # in a folder named ソ (83 5C) runs in that folder, not cut inside it.
        for folder, file_name in [("", "probe.exe"), ("with blank", "probe.exe"), ("ソ", "childソ.exe")]:
            with self.subTest(folder=folder):
                exe = self.child(os.path.join(self.box.dir, folder), file_name)
                self.child(self.box.dir, "with.exe")  # what an unquoted line would start
                log = self.child_log(exe + ".log")
                name = self.install("close", "", exe=exe, start=False)
                self.assertEqual(stopped_exit(name, ("start",))[0], (0, 0))
                start = log.wait("start")[0]
                path = b(winpath(exe))
                self.assertEqual(start["cmd"], (b'"%s" ' if b" " in path else b"%s ") % path)
                self.assertEqual(start["cwd"], b(winpath(os.path.dirname(exe))))
                # A window method gives the child no console of the host's and
                # no process group of its own.
                self.assertEqual((start["group"], start["ppid"] in start["conprocs"].split(",")), ("0", False))

    def test_stop_methods_reach_the_unowned_window_only(self):
        # The child logs the messages and ends a second after the first.
        for end, stored, messages in [("close", None, CLOSE), ("syscommand", None, SC),
                                      ("sysandclose", None, SC + CLOSE), ("close", "7", CLOSE),
                                      ("close", "abc", CLOSE)]:
            with self.subTest(end=end, stored=stored):
                name, log = self.install_child(end, "--windows --linger 1000", start=not stored)
                if stored:
                    self.box.write_ini(self.box.read_ini().replace(b"end=0", b"end=" + b(stored)))
                    scm(name, ("start",))
                log.wait("windows")
                self.assertEqual(self.stop(name)[0], (0, 0))
                self.assertEqual(log.messages(), messages)
                self.assertEqual(log.events("start")[0]["group"], "0")

    def test_default_reaction_and_interrogate(self):
        name, log = self.install_child("syscommand", "--windows")
        log.wait("windows")
        pid = status(name)["pid"]
        self.assertEqual(scm(name, ("control", 4))[-1]["state"], str(RUNNING))
        self.assertEqual(self.stop(name)[0], (0, 0))
        # DefWindowProc turns SC_CLOSE into the child's own WM_CLOSE.
        self.assertEqual(log.messages(), SC + [("main", "WM_CLOSE", "defproc")])
        self.assertEqual((log.wait("exit")[0]["code"], log.events("start")[0]["ppid"]), ("0", str(pid)))
        # Only the system sends a shutdown; Wine refuses it from a program.
        name, log = self.install_child("close", "--windows")
        log.wait("windows")
        refused = scm(name, ("control", 5))
        self.assertEqual((refused[0]["ok"], refused[-1]["state"], log.messages()), ("0", str(RUNNING), []))

    def test_hung_window_does_not_hold_the_stop(self):
        name, log = self.install_child("sysandclose", "--windows --hang")
        log.wait("windows")
        _, seen = self.stop(name)
        self.assertLess(int(seen[-1]["ms"]), 3000, seen)


class HostTest(ServiceCase):
    def test_relaunch_pace_and_none_after_a_stop(self):
        # With ctrlbreak every child shares the host's console; with the other
        # methods Wine starts a console host for each, which hides the pace.
        name, log = self.install_child("ctrlbreak", retry=True)
        starts = log.wait("start", count=12)
        host = status(name)
        self.assertEqual((host["state"], {s["ppid"] for s in starts}), (RUNNING, {str(host["pid"])}))
        stamps = [float(s["tick"]) for s in starts]
        pace = (stamps[-1] - stamps[0]) / (len(stamps) - 1)  # the mean: launch noise cancels
        self.assertTrue(90 <= pace < 1000, stamps)
        self.stop(name)
        count = len(log.events("start"))
        time.sleep(1.5)  # only a launch already under way may still log
        self.assertLessEqual(len(log.events("start")), count + 1)

    def test_stops_by_itself_with_the_reason(self):
        folder = os.path.join(self.box.dir, "program.exe")
        os.makedirs(folder)
        missing = os.path.join(self.box.dir, "absent", "absent.exe")
        for exe in [os.path.join(self.box.dir, "absent.exe"), missing, folder]:
            with self.subTest(exe=exe):
                error = int(probe("launch", hx(winpath(exe) + " "), hx(winpath(os.path.dirname(exe))))[0]["error"])
                name = self.install("close", "", exe=exe, start=False)
                self.assertEqual(stopped_exit(name, ("start",))[0], (error, 0))
                self.assertNotEqual(error, 0)
        # A child that ends (crashes) without retry ends the service.
        name, log = self.install_child("close", "--crash", start=False)
        self.assertEqual(stopped_exit(name, ("start",))[0], (0, 0))
        self.assertEqual(log.wait("exit")[0]["code"], str(0xC0000005))

    def test_command_line_over_259_bytes_is_refused(self):
        exe = self.child()
        for length, code in [(259, 0), (260, 206)]:
            log = self.child_log()
            option = "--log %s --pad " % log.win
            option += "p" * (length - len(winpath(exe)) - 1 - len(option))
            name = self.install("close", option[:-1] if code else option, exe=exe, start=False)
            if code:  # tavi registers no such line: it comes into tavi.ini by hand
                self.box.write_ini(name=name, exe=winpath(exe), option=option, end=0)
            self.assertEqual(stopped_exit(name, ("start",))[0], (code, 0))
            self.assertEqual(len(log.events("start")), 1 - bool(code))

    def test_folder_deleted_while_relaunching_and_crashes_relaunched(self):
        going = os.path.join(self.box.dir, "going")
        log = self.child_log()
        name = self.install("ctrlbreak", "--log " + log.win, exe=self.child(going), retry=True)
        log.wait("start", count=3)
        stopped = watch_stop(name)
        shutil.rmtree(going)
        error = int(probe("launch", hx(winpath(going) + "\\probe.exe x"), hx(winpath(going)))[0]["error"])
        self.assertEqual(stopped()[0], (error, 0))
        self.assertNotEqual(error, 0)
        name, log = self.install_child("ctrlbreak", "--crash", retry=True)
        log.wait("exit", count=3)
        self.assertEqual(status(name)["state"], RUNNING)
        self.assertLess(int(self.stop(name)[1][-1]["ms"]), 3000)

    def test_instance_guard(self):
        name, log = self.install_child("close", "--windows")
        log.wait("windows")
        pid = status(name)["pid"]
        mutex = "$$tavi$$%s$$" % name
        self.assertEqual(probe("mutex", mutex)[0]["exists"], "1")
        self.assertEqual(self.box.tavi("", cwd=os.path.join(self.box.dir, "..")), (0, []))
        self.assertEqual((status(name)["pid"], len(log.events("start"))), (pid, 1))
        self.stop(name)
        self.assertEqual(probe("mutex", mutex)[0]["exists"], "0")
        # "$$tavi$$" + name + "$$" holds 249 bytes of name: a longer one runs unguarded.
        name, log = self.install_child("close", "--windows", name=("tavitest" + uuid.uuid4().hex[:6]).ljust(250, "n"))
        log.wait("windows")
        self.assertEqual(self.stop(name)[0], (0, 0))

    def test_settings_files_that_hold_no_program(self):
        name = self.service()
        scm(name, ("create", winpath(self.box.exe), 3, 0x10))
        error = int(probe("launch", hx(" "), "")[0]["error"])
        for data in [b"", bytes(range(256)) * 8, None]:
            if data is None:
                os.remove(self.box.ini)
                os.mkdir(self.box.ini)
            else:
                self.box.write_ini(data)
            self.assertEqual(stopped_exit(name, ("start",))[0], (error, 0))

    def test_shift_jis_names_and_folders(self):
        box = Sandbox(self, "ソ表能")
        name = self.service("ソ表能" + uuid.uuid4().hex[:6])
        exe = self.child(os.path.join(box.dir, "能ソ"), "表示.exe")
        log = self.child_log()
        option = "--log %s 表ソ能 --windows" % log.win  # 能 last would escape the closing quote
        tail = '/install /name=%s /exe="%s" /option="%s" /description="表示ソフト \\ 説明" /end=close /start' % (name, winpath(exe), option)
        self.assertEqual(box.tavi(tail), (0, []))
        self.assertEqual((config(name)["display"], config(name)["description"], config(name)["path"]),
                         (b(name), b("表示ソフト \\ 説明"), b(winpath(box.exe))))
        start = log.wait("start")[0]
        self.assertEqual((start["cmd"], start["cwd"]), (b(winpath(exe) + " " + option), b(winpath(os.path.dirname(exe)))))
        self.assertEqual(probe("mutex", "$$tavi$$%s$$" % name)[0]["exists"], "1")
        self.assertEqual(self.stop(name)[0], (0, 0))
        self.assertEqual(box.tavi("/uninstall /name=" + name), (0, []))


class CtrlBreakTest(ServiceCase):
    """Wine 8 delivers no Ctrl+Break. The child shows that it shares the
    host's console and leads a process group of its own; Wine's trace of the
    services' processes shows the host's call."""

    def restart_server(self, debug="-all", trace=os.devnull):
        server = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver")
        for flag in ("-k", "-w", "-p"):
            subprocess.run([server, flag], env=ENV, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(trace, "ab") as err:  # services.exe and its services write here
            subprocess.run([WINE, "cmd", "/c", "exit"], stdout=subprocess.DEVNULL, stderr=err,
                           stdin=subprocess.DEVNULL, env=dict(ENV, WINEDEBUG=debug), timeout=60)

    def test_shared_console_own_group_and_the_call(self):
        trace = os.path.join(WORK, "console-%s.txt" % uuid.uuid4().hex[:6])
        self.restart_server("+pid,+console", trace)
        self.addCleanup(self.restart_server)
        name, log = self.install_child("ctrlbreak", "--wait")
        relaunched, relaunch_log = self.install_child("ctrlbreak", retry=True)
        for service, log, count in [(name, log, 1), (relaunched, relaunch_log, 3)]:
            starts, host = log.wait("start", count), status(service)["pid"]
            for start in starts:
                self.assertEqual((start["ppid"], start["group"]), (str(host), "1"))
                self.assertEqual(set(start["conprocs"].split(",")) - {start["pid"]}, {str(host)})
            self.stop(service)
            with open(trace, "rb") as f:  # one console for all; one Ctrl+Break to the last child
                calls = re.findall(rb"^%04x:\w+:trace:console:(?:GenerateConsoleCtrlEvent \(1, (\w+)\)|alloc_console Started)"
                                   % host, f.read().replace(b"\0", b""), re.M)
            self.assertEqual(sorted(bool(c) for c in calls), [False, True], calls)
            self.assertTrue(poll(lambda: max(calls) in {b"%x" % int(e["pid"]) for e in log.events("start")}))
