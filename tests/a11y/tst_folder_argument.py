"""A folder named on the command line of the real program: opened at start;
with a player already running, handed to it over the session bus (the second
start ends and the running player lists the folder, or says what is wrong with
it); with no session bus, the player just starts with it."""
import os
import signal
import subprocess
import sys

from session import Session, check, descendants, finish, list_entries, main_window, press, role, states, wait_for, write_wav

s = Session(sys.argv[1])


def rez():
    with open(os.path.join(s.work, "rez.dat"), "rb") as f:
        return f.read()


def folder(name, files):
    path = os.path.join(s.work.encode(), name)
    os.mkdir(path)
    for f in files:
        write_wav(os.path.join(path, f.encode()), 500)
    return path


try:
    one = folder(b"music1", ["a.wav", "b.wav"])
    two = folder(b"music2", ["c.wav", "d.wav"])
    # Not UTF-8 (windows-1251 "мелодии"), as old disks carry.
    odd = folder(b"\xec\xe5\xeb\xee\xe4\xe8\xe8", ["e.wav"])
    other = os.path.join(s.work.encode(), b"elsewhere")
    os.mkdir(other)
    with open(os.path.join(s.work, "rez.dat"), "wb") as f:
        f.write(one + b"/")

    # No session bus: the player starts with the folder all the same.
    env = dict(s.env, DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(s.work, "no-bus-here"),
               QT_QPA_PLATFORM="offscreen", ZOLM_REPORT_FIRST_PAINT="1")
    r = subprocess.run([s.player.encode(), b"music2"], cwd=s.work, env=env, capture_output=True, timeout=60)
    check(r.returncode == 0 and b"first-paint-ms" in r.stdout, "without a session bus the player starts (%d)" % r.returncode)
    check(rez() == two + b"/", "... and remembers the folder it was given, made absolute (%r)" % rez())
    with open(os.path.join(s.work, "rez.dat"), "wb") as f:
        f.write(one + b"/")

    # Two starts with folders at the same moment (a file manager opening two
    # folders): neither finds a player, yet one becomes it and the other hands its
    # folder over and ends.
    pair = [s.start([b"music1"]), s.start([b"music2"])]
    check(wait_for(lambda: [p.poll() for p in pair].count(None) == 1 and 0 in [p.poll() for p in pair]),
          "two starts at once leave one player (%r)" % [p.poll() for p in pair])
    for p in pair:
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            p.wait(10)
    with open(os.path.join(s.work, "rez.dat"), "wb") as f:
        f.write(one + b"/")

    # The first start, with a relative folder and its final "/".
    first = s.start([b"music2/"])
    app = s.app(first)
    if not check(app is not None, "the first player's window is on the accessibility bus"):
        raise SystemExit(1)  # nothing more can be checked
    window = main_window(app)
    _, entries = list_entries(window)
    check([e.name for e in entries] == ["c.wav", "d.wav"], "the first player lists the folder it was given")
    check(rez() == two + b"/", "rez.dat holds that folder")
    check(window.name == "ZOLM Player", "nothing plays (%r)" % window.name)

    def second(arg, cwd):
        p = s.start([arg], cwd=cwd)
        try:
            out, err = p.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()
            return None, b"still running"
        return p.returncode, err

    # A second start, from another directory, with a name that is not UTF-8.
    code, err = second(os.path.relpath(odd, other), other)
    check(code == 0, "the second start hands the folder over and ends (%r, %r)" % (code, err[-200:] if err else err))
    check(len(s.players()) == 1, "one player on the desktop")

    def listed(names):
        _, e = list_entries(window)
        return e is not None and [x.name for x in e] == names

    check(wait_for(lambda: listed(["e.wav"])), "the running player lists the handed-over folder")
    check(rez() == odd + b"/", "and remembers it byte for byte (%r)" % rez())

    # What is not a folder is reported by the running player, which keeps its list.
    for arg, text in [(b"gone <&>", "Папка не найдена: «%s»"), (b"music1/a.wav", "Это не папка: «%s»")]:
        code, _ = second(arg, s.work)
        check(code == 0, "a second start with %r ends" % arg)
        name = os.path.join(s.work.encode(), arg).decode("utf-8")
        expected = text % name

        def box():
            for i in range(app.childCount):
                w = app.getChildAtIndex(i)
                if w is not None and w is not window and role(w) in ("dialog", "alert", "frame"):
                    labels = [d.name for d in descendants(w) if role(d) == "label"]
                    if expected in labels:
                        return w
            return None
        b = wait_for(box)
        check(b is not None, "the running player says %r" % expected)
        if b is not None:
            ok = [d for d in descendants(b) if role(d) == "push button"]
            if ok:
                press(ok[0])
            wait_for(lambda: box() is None)
        check(rez() == odd + b"/" and listed(["e.wav"]), "rez.dat and the list stay as they were")

    # While the About box has the main window disabled, the running player takes no folder.
    about = [d for d in descendants(window) if role(d) == "menu item" and d.name == "О программе..."]
    if check(len(about) == 1, "the About command is on the bus"):
        press(about[0])
        check(wait_for(lambda: "sensitive" not in states(window)), "the About box has the main window disabled")
        code, err = second(b"music1", s.work)
        check(code == 1 and b"close it" in err, "a busy player refuses and the second start says so (%r, %r)" % (code, err))
        check(rez() == odd + b"/", "rez.dat stays as it was")
finally:
    s.close()
finish()
