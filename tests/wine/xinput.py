"""Input from the X side, as a user's desktop would give it to a Wine window.

drop() drops files on an X window as a file manager would, with the XDND
protocol: Wine's X11 driver takes such a drop in the receiving program's own
process and hands the window a WM_DROPFILES with a real HDROP there, which a
helper posting WM_DROPFILES from another process could not do. An invisible
source window offers text/uri-list, answers the target's request for the
data and waits for the target to finish.

press_key() gives an X window the input focus and presses and releases a key
through the XTEST extension, so the key arrives as hardware input.

Both talk to libX11 (and libXtst) through ctypes.
"""
import ctypes
import ctypes.util
import os
import select
import time
import urllib.parse

CLIENT_MESSAGE, SELECTION_REQUEST, SELECTION_NOTIFY = 33, 30, 31
PROP_MODE_REPLACE = 0
XDND_VERSION = 5


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class _SelectionRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("owner", ctypes.c_ulong), ("requestor", ctypes.c_ulong),
                ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong),
                ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class _Selection(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("target", ctypes.c_ulong), ("property", ctypes.c_ulong),
                ("time", ctypes.c_ulong)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", _ClientMessage),
                ("request", _SelectionRequest), ("selection", _Selection),
                ("pad", ctypes.c_long * 24)]


def _x11():
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                        ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                        ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                       ctypes.c_ulong]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                    ctypes.c_char_p, ctypes.c_int]
    x11.XPending.argtypes = [ctypes.c_void_p]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x11


def press_key(window, keysym):
    """Focuses X window window and presses the key keysym (e.g. 0xFFBE, F1)."""
    x11 = _x11()
    xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                       ctypes.c_ulong]
    x11.XKeysymToKeycode.restype = ctypes.c_ubyte
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    display = x11.XOpenDisplay(None)
    if not display:
        raise RuntimeError("cannot open the X display")
    try:
        x11.XSetInputFocus(display, window, 2, 0)  # RevertToParent, CurrentTime
        x11.XSync(display, 0)
        code = x11.XKeysymToKeycode(display, keysym)
        xtst.XTestFakeKeyEvent(display, code, 1, 0)
        xtst.XTestFakeKeyEvent(display, code, 0, 0)
        x11.XSync(display, 0)
    finally:
        x11.XCloseDisplay(display)


def uri_list(paths):
    """text/uri-list of Unix paths, CRLF after each."""
    return b"".join(b"file://" + urllib.parse.quote(os.path.abspath(p)).encode() + b"\r\n"
                    for p in paths)


def drop(target, x, y, paths, timeout=10.0):
    """Drags paths onto X window target and drops them at root position
    (x, y). Returns the target's last XdndStatus answer (1 when it took the
    drop) once it has finished; raises at the time-out."""
    x11 = _x11()
    display = x11.XOpenDisplay(None)
    if not display:
        raise RuntimeError("cannot open the X display")
    try:
        atom = {name: x11.XInternAtom(display, name.encode(), 0) for name in (
            "XdndEnter", "XdndPosition", "XdndStatus", "XdndDrop", "XdndFinished",
            "XdndLeave", "XdndSelection", "XdndActionCopy", "text/uri-list")}
        source = x11.XCreateSimpleWindow(display, x11.XDefaultRootWindow(display),
                                         0, 0, 1, 1, 0, 0, 0)
        x11.XSetSelectionOwner(display, atom["XdndSelection"], source, 0)
        data = uri_list(paths)

        def send(message, *values):
            event = _Event()
            event.client.type = CLIENT_MESSAGE
            event.client.window = target
            event.client.message_type = atom[message]
            event.client.format = 32
            for i, value in enumerate((source,) + values):
                event.client.l[i] = value
            x11.XSendEvent(display, target, 0, 0, ctypes.byref(event))
            x11.XFlush(display)

        send("XdndEnter", XDND_VERSION << 24, atom["text/uri-list"], 0, 0)
        send("XdndPosition", 0, (x << 16) | y, 0, atom["XdndActionCopy"])
        accepted = None
        dropped = False
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not x11.XPending(display):
                select.select([x11.XConnectionNumber(display)], [], [], 0.05)
                continue
            event = _Event()
            x11.XNextEvent(display, ctypes.byref(event))
            if event.type == SELECTION_REQUEST:
                request = event.request
                answer = _Event()
                answer.selection.type = SELECTION_NOTIFY
                answer.selection.requestor = request.requestor
                answer.selection.selection = request.selection
                answer.selection.target = request.target
                answer.selection.time = request.time
                answer.selection.property = 0
                if request.target == atom["text/uri-list"]:
                    x11.XChangeProperty(display, request.requestor, request.property,
                                        request.target, 8, PROP_MODE_REPLACE, data, len(data))
                    answer.selection.property = request.property
                x11.XSendEvent(display, request.requestor, 0, 0, ctypes.byref(answer))
                x11.XFlush(display)
            elif event.type == CLIENT_MESSAGE:
                message = event.client.message_type
                if message == atom["XdndStatus"] and not dropped:
                    accepted = event.client.l[1] & 1
                    dropped = True
                    if accepted:
                        send("XdndDrop", 0, 0)
                    else:
                        send("XdndLeave", 0)
                        return 0
                elif message == atom["XdndFinished"]:
                    return accepted
        raise AssertionError("the XDND drop on window %#x did not finish" % target)
    finally:
        x11.XCloseDisplay(display)
