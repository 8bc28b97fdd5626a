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


def finish():
    print("%d failed" % len(FAILURES))
    sys.exit(1 if FAILURES else 0)


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
        self.env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-zolm",
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", SDL_AUDIODRIVER="dummy", QT_IM_MODULE="compose")
        if "LSAN_OPTIONS" in self.env:  # its stderr is read: a leak report, not the suppressions
            self.env["LSAN_OPTIONS"] += ":print_suppressions=0"
        # Nothing tells the program to use Wayland but the display itself; X11 is there too.
        for var in ("QT_QPA_PLATFORM", "XDG_SESSION_TYPE"):
            self.env.pop(var, None)
        if not wait_for(lambda: os.path.exists(os.path.join(runtime, "wayland-zolm"))):
            raise SystemExit("weston did not start")
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
        size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True, text=True).stdout.split()
        raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True).stdout
        os.remove(png)
        return int(size[0]), int(size[1]), raw


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
            raise SystemExit("sway did not start")
        own = os.path.join(self.work, "runtime")
        os.mkdir(own, 0o700)
        # The program's runtime folder is its own; the display is named by its path.
        self.env = dict(os.environ, XDG_RUNTIME_DIR=own, WAYLAND_DISPLAY=os.path.join(runtime, socket[0]),
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", SDL_AUDIODRIVER="dummy", QT_IM_MODULE="compose",
                        SWAYSOCK=os.path.join(runtime, ipc[0]))
        if "LSAN_OPTIONS" in self.env:
            self.env["LSAN_OPTIONS"] += ":print_suppressions=0"
        for var in ("QT_QPA_PLATFORM", "XDG_SESSION_TYPE", "DISPLAY"):
            self.env.pop(var, None)

    def screenshot(self):
        png = os.path.join(self.work, "shot.png")
        subprocess.run(["grim", png], env=self.env, check=True, capture_output=True)
        size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True, text=True).stdout.split()
        raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True).stdout
        return int(size[0]), int(size[1]), raw

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


class KWinSession(Session):
    """KWin's own compositor (kwin_wayland --virtual) with its XWayland: the program as
    an X11 client framed by KWin, as on Plasma. kwin_wayland carries a file capability
    that a container may refuse to exec: a copy without it is run."""

    def __init__(self, player):
        self.player = os.path.abspath(player)
        self.work = tempfile.mkdtemp(prefix="zolm-kwin-")
        self.procs = []
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        kwin = os.path.join(self.work, "kwin_wayland")
        subprocess.run(["cp", subprocess.run(["which", "kwin_wayland"], capture_output=True, text=True).stdout.strip(),
                        kwin], check=True)
        shown = os.path.join(self.work, "display")
        self.server = subprocess.Popen(
            [kwin, "--virtual", "--xwayland", "--no-lockscreen", "--socket", "wayland-zolm", "--width", "1024",
             "--height", "768", "--exit-with-session", "/bin/sh -c 'echo $DISPLAY > %s; exec sleep 600'" % shown],
            env=dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=self.work, XDG_CONFIG_HOME=self.work),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        display = wait_for(lambda: os.path.exists(shown) and open(shown).read().strip(), 30)
        if not display:
            raise SystemExit("kwin_wayland did not start")
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", XDG_CURRENT_DESKTOP="KDE",
                        XDG_RUNTIME_DIR=runtime, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", SDL_AUDIODRIVER="dummy")
        self.env.pop("WAYLAND_DISPLAY", None)
        if "LSAN_OPTIONS" in self.env:
            self.env["LSAN_OPTIONS"] += ":print_suppressions=0"
        os.environ.pop("DISPLAY", None)

    def x(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=20).stdout
