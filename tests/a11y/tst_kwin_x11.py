"""The real program as an X11 client of KWin (through KWin's XWayland, as on Plasma): the
error box's caption is not numbered (" <2>") though it is the main window's, and the
About box and the error box, minimised all the same (KWin offers it whatever their
frames ask for), come back at once. Each box in a KWin of its own: once a box has been
minimised and restored, this headless KWin manages no window the program maps later."""
import os
import sys
import time

from session import KWinSession, check, descendants, finish, main_window, press, role, states, wait_for


def minimise_and_close(title, opener):
    s = KWinSession(sys.argv[1], xwayland=True)
    try:
        music = s.remembered_folder_with_bad_file()
        proc = s.start()
        app = s.app(proc)
        if not check(app is not None, "the player's window is on the accessibility bus"):
            return
        window = main_window(app)
        found = [d for d in descendants(window) if (role(d), d.name) == opener]

        def box_id():
            """The X window of the box over the main window (the one transient for another)."""
            for w in s.x("xdotool", "search", "--onlyvisible", "--pid", str(proc.pid), "--name", ".").split():
                if "window id" in s.x("xprop", "-id", w, "WM_TRANSIENT_FOR"):
                    return w

        press(found[0] if found else None)
        box = wait_for(box_id)
        if not check(box, "%r opens" % title):
            return
        time.sleep(0.5)
        shown = s.x("xprop", "-id", box, "_NET_WM_VISIBLE_NAME", "WM_NAME")
        check("<2>" not in shown, "KWin shows %r unnumbered (%r)" % (title, shown))
        s.x("xdotool", "windowminimize", box)
        time.sleep(1)
        back = wait_for(lambda: "Normal" in s.x("xprop", "-id", box, "WM_STATE") and
                        "HIDDEN" not in s.x("xprop", "-id", box, "_NET_WM_STATE"), 10)
        if not back:  # else at the latest when the main window is activated (a click, its taskbar entry)
            main = s.x("xprop", "-id", box, "WM_TRANSIENT_FOR").split()[-1]
            s.x("xdotool", "windowactivate", main)
            back = wait_for(lambda: "Normal" in s.x("xprop", "-id", box, "WM_STATE"), 10)
        state = s.x("xprop", "-id", box, "WM_STATE", "_NET_WM_STATE")
        check(back, "%r minimised comes back (%r)" % (title, state))
        s.x("xdotool", "key", "--window", box, "Return")
        if not wait_for(lambda: "sensitive" in states(window), 5):
            s.x("xdotool", "windowactivate", "--sync", box, "key", "Return")
        check(wait_for(lambda: "sensitive" in states(window)), "%r closes" % title)
        proc.stderr.flush()
        os.set_blocking(proc.stderr.fileno(), False)
        warnings = [w for w in (proc.stderr.read() or b"").splitlines() if not w.startswith(b"QAccessibleTable::")]
        check(not warnings, "nothing on the way gave a warning (%r)" % warnings[:5])
    finally:
        s.close()


minimise_and_close("О программе", ("menu item", "О программе..."))
minimise_and_close("ZOLM Player - bad.mp3", ("push button", "Проиграть"))
finish()
