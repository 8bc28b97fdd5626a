"""A desktop session for the real program: the X server the test runs on
(scripts/with-xvfb.sh), the accessibility bus of the private session bus it runs
on (dbus-run-session), and helpers to find the player's controls through AT-SPI."""
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time

import pyatspi
from pyatspi.role import ROLE_NAMES

FAILURES = []


def role(acc):
    """The role's name from pyatspi's own table, by the role's number: at-spi2-core
    renames roles between releases (2.56 calls the push button "button")."""
    return ROLE_NAMES.get(acc.getRole()) or acc.getRoleName()


def check(condition, what):
    if condition:
        print("ok:", what)
    else:
        print("FAIL:", what)
        FAILURES.append(what)
    return condition


def wait_for(predicate, seconds=20.0):
    """The predicate's first true value, or None when time runs out."""
    end = time.monotonic() + seconds
    while True:
        try:
            value = predicate()
        except Exception:  # the tree changes under us while the window builds
            value = None
        if value:
            return value
        if time.monotonic() > end:
            return None
        time.sleep(0.1)


def write_wav(path, ms=2000, rate=8000):
    frames = rate * ms // 1000
    data = b"\0\0" * frames
    header = (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " +
              struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16) + b"data" + struct.pack("<I", len(data)))
    with open(path, "wb") as f:
        f.write(header + data)


class Session:
    def remembered_folder_with_bad_file(self):
        """A folder holding one file that is no sound, remembered in rez.dat: its path."""
        music = os.path.join(self.work, "music")
        os.mkdir(music)
        with open(os.path.join(music, "bad.mp3"), "wb") as f:
            f.write(b"not a sound")
        with open(os.path.join(self.work, "rez.dat"), "wb") as f:
            f.write(music.encode() + b"/")
        return music

    def __init__(self, player):
        self.player = os.path.abspath(player)
        self.work = tempfile.mkdtemp(prefix="zolm-a11y-")
        self.procs = []
        self.server = None  # the X server is scripts/with-xvfb.sh's
        self.env = dict(os.environ)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", SDL_AUDIODRIVER="dummy")
        if "DISPLAY" not in self.env:
            raise SystemExit("no X server: run this through scripts/with-xvfb.sh")
        # The player has the display; this process finds the accessibility bus through its
        # own session bus only (with a display libatspi asks the X server first, and in
        # parallel runs then often missed the player's window).
        os.environ.pop("DISPLAY")

    def start(self, args=(), cwd=None, **kw):
        p = subprocess.Popen([self.player.encode()] + list(args), cwd=cwd or self.work, env=self.env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
        self.procs.append(p)
        return p

    def app(self, proc):
        """The player's application object on the accessibility bus, once its main window is there."""
        def find():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                a = desktop.getChildAtIndex(i)
                if a is not None and a.get_process_id() == proc.pid and main_window(a) is not None:
                    return a
            return None
        return wait_for(find)

    def players(self):
        desktop = pyatspi.Registry.getDesktop(0)
        return [a for a in (desktop.getChildAtIndex(i) for i in range(desktop.childCount))
                if a is not None and a.name == "zolm-player"]

    def cannot_start(self, what):
        """Where the compositor cannot run here, the test is skipped (ctest's SKIP_RETURN_CODE), loudly."""
        print("skip: %s did not start" % what, flush=True)
        self.close()
        sys.exit(77)

    def close(self):
        for p in self.procs:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
        if self.server:
            self.server.terminate()
            self.server.wait()
        subprocess.run(["rm", "-rf", self.work])


def descendants(acc):
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def main_window(app):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and role(w) == "frame" and w.name.startswith("ZOLM Player"):
            return w
    return None


def states(acc):
    return {pyatspi.stateToString(s) for s in acc.getState().getStates()}


def press(acc, action="Press"):
    a = acc.queryAction()
    names = [a.getName(i) for i in range(a.nActions)]
    a.doAction(names.index(action))


def list_entries(window):
    """The entries of the playlist, whatever view shows them: the named children
    of the one object with a list or table role."""
    lists = [d for d in descendants(window) if role(d) in ("list", "list box", "table", "tree table", "tree")]
    if len(lists) != 1:
        return None, None
    entries = [d for d in descendants(lists[0]) if role(d) in ("list item", "table cell", "tree item")]
    return lists[0], entries


def pixels(png):
    """A picture file as (width, height, RGB bytes)."""
    size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True, text=True).stdout.split()
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True).stdout
    return int(size[0]), int(size[1]), raw


def finish():
    print("%d failed" % len(FAILURES))
    sys.exit(1 if FAILURES else 0)


def compositor_env(drop=(), **display):
    """The program's environment on a compositor of the test's: the display alone tells it
    which one; its stderr is read, so a leak report there, not the suppressions."""
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", SDL_AUDIODRIVER="dummy", **display)
    if "LSAN_OPTIONS" in env:
        env["LSAN_OPTIONS"] += ":print_suppressions=0"
    for var in ("QT_QPA_PLATFORM", "XDG_SESSION_TYPE") + tuple(drop):
        env.pop(var, None)
    return env


class WestonSession(Session):
    """Weston's headless back end with XWayland instead of Xvfb: the program
    natively on Wayland, or with xwayland=True told to be an X11 client. Its
    screenshots show what the compositor shows."""

    def __init__(self, player, xwayland=False):
        self.player = os.path.abspath(player)
        self.work = tempfile.mkdtemp(prefix="zolm-weston-")
        self.procs = []
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        log = os.path.join(self.work, "weston.log")
        # --debug lets weston-screenshooter take pictures; pixman, as there is no GPU.
        self.weston = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman", "--debug", "--socket=wayland-zolm",
             "--width=1024", "--height=768", "--idle-time=0", "--xwayland", "--log=" + log],
            env=dict(os.environ, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=self.work),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server = self.weston
        # Without a seat, Qt 6.4's Wayland text input dereferences the missing keyboard
        # as a text box paints its cursor; a desktop always has a seat. Compose is what
        # Qt uses on X11.
        # Nothing tells the program to use Wayland but the display itself; X11 is there too.
        self.env = compositor_env(XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-zolm", QT_IM_MODULE="compose")
        if not wait_for(lambda: os.path.exists(os.path.join(runtime, "wayland-zolm"))):
            self.cannot_start("weston")
        def display():
            with open(log) as f:
                for line in f:
                    if "xserver listening on display" in line:
                        return line.split()[-1]
        self.env["DISPLAY"] = wait_for(display) or ":none"
        if xwayland:
            self.env["QT_QPA_PLATFORM"] = "xcb"

    def screenshot(self):
        """The screen as (width, height, RGB bytes)."""
        shots = os.path.join(self.work, "shots")
        os.makedirs(shots, exist_ok=True)
        subprocess.run(["weston-screenshooter"], cwd=shots, env=self.env, check=True, capture_output=True)
        png = os.path.join(shots, sorted(os.listdir(shots))[-1])
        shot = pixels(png)
        os.remove(png)
        return shot


class SwaySession(WestonSession):
    """sway's headless back end (what wlroots desktops run): the program natively on
    Wayland, framed by sway, pictures by grim, windows told and focused through swaymsg.
    sway refuses to run as root: as root the test runs it as nobody."""

    def __init__(self, player, xwayland=False):
        self.player = os.path.abspath(player)
        self.work = tempfile.mkdtemp(prefix="zolm-sway-")
        os.chmod(self.work, 0o755)
        self.procs = []
        runtime = os.path.join(self.work, "sway-runtime")
        os.mkdir(runtime, 0o700)
        config = os.path.join(self.work, "sway.conf")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution 1024x768\n")
        as_user = []
        if os.getuid() == 0:
            os.chown(runtime, 65534, 65534)
            as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        env = dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), HOME=self.work, XDG_RUNTIME_DIR=runtime,
                   WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        self.sway = subprocess.Popen(as_user + ["sway", "-c", config], env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server = self.sway
        socket = wait_for(lambda: [n for n in os.listdir(runtime) if n.startswith("wayland-") and not n.endswith(".lock")])
        ipc = wait_for(lambda: [n for n in os.listdir(runtime) if n.startswith("sway-ipc.")])
        if not socket or not ipc:
            self.cannot_start("sway")
        own = os.path.join(self.work, "runtime")
        os.mkdir(own, 0o700)
        # The program's runtime folder is its own; the display is named by its path.
        self.env = compositor_env(["DISPLAY"], XDG_RUNTIME_DIR=own, WAYLAND_DISPLAY=os.path.join(runtime, socket[0]),
                                  QT_IM_MODULE="compose", SWAYSOCK=os.path.join(runtime, ipc[0]))

    def screenshot(self):
        png = os.path.join(self.work, "shot.png")
        subprocess.run(["grim", png], env=self.env, check=True, capture_output=True)
        return pixels(png)

    def windows(self):
        """sway's windows: (id, title, focused, shell)."""
        import json
        tree = json.loads(subprocess.run(["swaymsg", "-t", "get_tree"], env=self.env, capture_output=True,
                                         text=True).stdout or "{}")
        found = []
        self.rects = {}
        def walk(n):
            if n.get("type") in ("con", "floating_con") and n.get("pid"):
                found.append((n["id"], n.get("name") or "", n.get("focused"), n.get("shell")))
                self.rects[n["id"]] = n["rect"]
            for c in n.get("nodes", []) + n.get("floating_nodes", []):
                walk(c)
        walk(tree)
        return found

    def click(self, con, avoid):
        """A left click, with sway's own cursor, inside window `con` (below its title bar) outside window `avoid`."""
        self.windows()
        r, a = self.rects[con], self.rects.get(avoid, {"x": 0, "y": 0, "width": 0, "height": 0})
        for y in range(r["y"] + 40, r["y"] + r["height"] - 5, 5):  # below the title bar
            for x in range(r["x"] + 5, r["x"] + r["width"] - 5, 5):
                if not (a["x"] <= x < a["x"] + a["width"] and a["y"] <= y < a["y"] + a["height"]):
                    for command in ("cursor set %d %d" % (x, y), "cursor press button1", "cursor release button1"):
                        subprocess.run(["swaymsg", "seat", "seat0"] + command.split(), env=self.env, capture_output=True)
                    return (x, y)
        return None


def dbus_call(bus, name, path, method, args=None, reply="()", fds=None):
    """A method call on the session bus, its reply unpacked; method is "interface.Method"."""
    from gi.repository import GLib
    iface, method = method.rsplit(".", 1)
    if fds is None:
        return bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply), 0, 20000, None).unpack()
    return bus.call_with_unix_fd_list_sync(name, path, iface, method, args, GLib.VariantType(reply), 0, 20000,
                                           fds, None)[0].unpack()


class MutterSession(Session):
    """mutter's headless back end (GNOME's compositor, without GNOME Shell): the program
    natively on Wayland. Pictures come from mutter's screen cast over a private PipeWire,
    clicks from its remote desktop interface, both on the test's session bus."""

    def __init__(self, player, xwayland=False):
        from gi.repository import Gio, GLib
        if xwayland:
            raise SystemExit("mutter: the test runs the program natively only")
        self.player = os.path.abspath(player)
        self.work = tempfile.mkdtemp(prefix="zolm-mutter-")
        self.procs, self.server = [], None
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=self.work, XDG_CONFIG_HOME=self.work)
        for var in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(var, None)
        quiet = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(subprocess.Popen(["pipewire"], **quiet))
        if not wait_for(lambda: os.path.exists(os.path.join(runtime, "pipewire-0"))):
            self.cannot_start("pipewire")
        self.procs.append(subprocess.Popen(["wireplumber"], **quiet))
        self.server = subprocess.Popen(["mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor",
                                        "1024x768", "--wayland-display", "wayland-zolm"], **quiet)
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        cast, remote = "org.gnome.Mutter.ScreenCast", "org.gnome.Mutter.RemoteDesktop"
        call = lambda name, path, method, args=None, reply="()": dbus_call(self.bus, name, path, method, args, reply)
        ready = lambda: call(cast, "/org/gnome/Mutter/ScreenCast", "org.freedesktop.DBus.Peer.Ping") is not None
        if not wait_for(lambda: os.path.exists(os.path.join(runtime, "wayland-zolm")) and ready()):
            self.cannot_start("mutter")
        # A remote desktop session with the screen cast of the monitor.
        self.remote, = call(remote, "/org/gnome/Mutter/RemoteDesktop", remote + ".CreateSession", None, "(o)")
        ident, = call(remote, self.remote, "org.freedesktop.DBus.Properties.Get",
                      GLib.Variant("(ss)", (remote + ".Session", "SessionId")), "(v)")
        session, = call(cast, "/org/gnome/Mutter/ScreenCast", cast + ".CreateSession",
                        GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", ident)},)), "(o)")
        self.stream, = call(cast, session, cast + ".Session.RecordMonitor", GLib.Variant("(sa{sv})", ("", {})), "(o)")
        nodes = []
        self.bus.signal_subscribe(cast, cast + ".Stream", "PipeWireStreamAdded", self.stream, None, 0,
                                  lambda *a: nodes.append(a[-1].unpack()[0]))
        call(remote, self.remote, remote + ".Session.Start")
        context = GLib.MainContext.default()
        if not wait_for(lambda: (context.iteration(False), nodes)[1]):
            self.cannot_start("mutter's screen cast")
        self.node, self.call, self.cast_env = nodes[0], call, env
        # The program's runtime folder is its own (no sound server in it); the display is named by its path.
        own = os.path.join(self.work, "own")
        os.mkdir(own, 0o700)
        self.env = compositor_env(["DISPLAY"], XDG_RUNTIME_DIR=own, WAYLAND_DISPLAY=os.path.join(runtime, "wayland-zolm"),
                                  QT_IM_MODULE="compose")

    def screenshot(self):
        png = os.path.join(self.work, "shot.png")
        subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", "path=%d" % self.node, "num-buffers=1", "!",
                        "videoconvert", "!", "pngenc", "!", "filesink", "location=" + png],
                       env=self.cast_env, check=True, capture_output=True, timeout=20)
        return pixels(png)

    def click_at(self, x, y):
        from gi.repository import GLib
        remote = "org.gnome.Mutter.RemoteDesktop"
        self.call(remote, self.remote, remote + ".Session.NotifyPointerMotionAbsolute",
                  GLib.Variant("(sdd)", (self.stream, x, y)))
        time.sleep(0.15)
        # Held as a hand holds it: mutter lets a client bring a window forward only while the
        # button that focused it is down.
        for down in (True, False):  # BTN_LEFT
            self.call(remote, self.remote, remote + ".Session.NotifyPointerButton", GLib.Variant("(ib)", (272, down)))
            time.sleep(0.15)


class KWinSession(Session):
    """KWin's own compositor (kwin_wayland --virtual): the program natively on Wayland or,
    with xwayland=True, as an X11 client framed by KWin, as on Plasma. Pictures from
    KWin's screenshot interface, which a session without Plasma's permissions opens to
    others by KWIN_SCREENSHOT_NO_PERMISSION_CHECKS. kwin_wayland carries a file capability
    that a container may refuse to exec: a copy without it is run."""

    def __init__(self, player, xwayland=False, scale="1"):
        from gi.repository import Gio
        self.player = os.path.abspath(player)
        self.work = tempfile.mkdtemp(prefix="zolm-kwin-")
        self.procs = []
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        kwin = os.path.join(self.work, "kwin_wayland")
        subprocess.run(["cp", subprocess.run(["which", "kwin_wayland"], capture_output=True, text=True).stdout.strip(),
                        kwin], check=True)
        shown = os.path.join(self.work, "display")
        args = [kwin, "--virtual", "--no-lockscreen", "--socket", "wayland-zolm", "--scale", scale,
                # a screen of 1024 x 768 device pixels
                "--width", str(round(1024 / float(scale))), "--height", str(round(768 / float(scale)))]
        if xwayland:
            # KWin's XWayland wants the sockets' folder there already (X servers make it themselves).
            if not os.path.isdir("/tmp/.X11-unix"):
                os.mkdir("/tmp/.X11-unix")
                os.chmod("/tmp/.X11-unix", 0o1777)
            args += ["--xwayland", "--exit-with-session", "/bin/sh -c 'echo $DISPLAY > %s; exec sleep 600'" % shown]
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=self.work, XDG_CONFIG_HOME=self.work,
                   KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1")
        env.pop("WAYLAND_DISPLAY", None)
        self.log = os.path.join(self.work, "kwin.log")
        with open(self.log, "w") as log:
            self.server = subprocess.Popen(args, env=dict(env, QT_LOGGING_RULES="kwin_scripting=true"), stdout=log, stderr=log)
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        if xwayland:
            display = wait_for(lambda: os.path.exists(shown) and open(shown).read().strip(), 30)
            self.env = compositor_env(["WAYLAND_DISPLAY"], DISPLAY=display, QT_QPA_PLATFORM="xcb",
                                      XDG_CURRENT_DESKTOP="KDE", XDG_RUNTIME_DIR=runtime)
        else:
            display = wait_for(lambda: os.path.exists(os.path.join(runtime, "wayland-zolm")), 30)
            self.env = compositor_env(["DISPLAY"], XDG_CURRENT_DESKTOP="KDE", XDG_RUNTIME_DIR=runtime,
                                      WAYLAND_DISPLAY="wayland-zolm", QT_IM_MODULE="compose")
        ready = lambda: "CaptureWorkspace" in dbus_call(self.bus, "org.kde.KWin", "/org/kde/KWin/ScreenShot2",
                                                        "org.freedesktop.DBus.Introspectable.Introspect", None, "(s)")[0]
        if not display or not wait_for(ready, 30):
            self.cannot_start("kwin_wayland")
        os.environ.pop("DISPLAY", None)

    def x(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=20).stdout

    def kwin_windows(self, then=""):
        """KWin's windows as its scripting interface tells them, after running the script `then`
        on them (`w`, each window; `main`, the main window)."""
        import json
        from gi.repository import GLib
        script = os.path.join(self.work, "windows.js")
        with open(script, "w") as f:
            f.write("var ws = workspace.clientList(), main = ws.filter(function (w) { return !w.transient; })[0];\n"
                    "ws.forEach(function (w) { %s; });\n"
                    "ws.forEach(function (w) { print('ZOLM ' + JSON.stringify({caption: w.caption, active: w.active,"
                    " minimised: w.minimized, minimise: w.minimizable, maximise: w.maximizable, frameless: w.noBorder})); });\n" % then)
        seen = os.path.getsize(self.log)
        call = lambda path, method, args=None, reply="()": dbus_call(self.bus, "org.kde.KWin", path, method, args, reply)
        number, = call("/Scripting", "org.kde.kwin.Scripting.loadScript", GLib.Variant("(ss)", (script, "zolm")), "(i)")
        call("/%d" % number, "org.kde.kwin.Script.run")
        call("/Scripting", "org.kde.kwin.Scripting.unloadScript", GLib.Variant("(s)", ("zolm",)), "(b)")
        def told():
            with open(self.log) as f:
                f.seek(seen)
                return [json.loads(l.split("ZOLM ", 1)[1]) for l in f if "ZOLM " in l] or None
        return wait_for(told, 5) or []

    def screenshot(self):
        """KWin's picture of its screen, 32-bit pixels in memory order blue, green, red, alpha."""
        import threading
        from gi.repository import Gio, GLib
        out, into = os.pipe()
        data = []
        reader = threading.Thread(target=lambda: data.append(b"".join(iter(lambda: os.read(out, 1 << 16), b""))))
        reader.start()
        fds = Gio.UnixFDList.new()
        fds.append(into)  # a copy, closed with the list
        os.close(into)
        try:
            info = dbus_call(self.bus, "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2.CaptureWorkspace",
                             GLib.Variant("(a{sv}h)", ({"native-resolution": GLib.Variant("b", True)}, 0)), "(a{sv})", fds)[0]
        finally:
            for fd in fds.steal_fds():  # the picture ends where every copy of the writing end is closed
                os.close(fd)
            reader.join()
            os.close(out)
        w, h, stride, raw = info["width"], info["height"], info["stride"], data[0]
        rows = b"".join(raw[y * stride:y * stride + 4 * w] for y in range(h))
        rgb = bytearray(3 * w * h)
        for channel in range(3):
            rgb[channel::3] = rows[2 - channel::4]
        return w, h, bytes(rgb)
