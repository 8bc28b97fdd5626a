#!/usr/bin/python3
"""Pictures of the main window, the About box and help on a headless compositor, light
and dark, at scales 1 and 1.5, side by side at half size: docs/desktops/NAME-THEME-SCALE.png.
  scripts/desktop-shots.py PLAYER mutter|kwin   (under dbus-run-session)
The sessions are the tests' (tests/a11y/session.py)."""
import os
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "a11y"))
from session import KWinSession, MutterSession, descendants, main_window, press, role, states, wait_for, write_wav

player, desktop = sys.argv[1], sys.argv[2]
# What each desktop's users get: GNOME hands Qt its GTK theme; Plasma, on Debian 12 with no
# Plasma theme for Qt 6, Qt's own style, dark through the Adwaita-Dark style.
themes = {"mutter": ("gnome", {"XDG_CURRENT_DESKTOP": "GNOME", "QT_QPA_PLATFORMTHEME": "gtk3"},
                     {"light": {"GTK_THEME": "Adwaita"}, "dark": {"GTK_THEME": "Adwaita:dark"}}),
          "kwin": ("kde", {"XDG_CURRENT_DESKTOP": "KDE"}, {"light": {}, "dark": {"QT_STYLE_OVERRIDE": "Adwaita-Dark"}})}
name, common, variants = themes[desktop]
out = os.path.join(here, "..", "docs", "desktops")

for theme, extra in variants.items():
    for scale in ("1", "1.5"):
        # KWin scales its screen, as Plasma's display settings do; mutter only by a
        # setting of GNOME Shell's: there Qt scales itself.
        s = MutterSession(player) if desktop == "mutter" else KWinSession(player, scale=scale)
        try:
            music = os.path.join(s.work, "music")
            os.mkdir(music)
            for song in ("Second song.wav", "Первая песня.wav", "Третья.wav"):
                write_wav(os.path.join(music, song))
            with open(os.path.join(s.work, "rez.dat"), "wb") as f:
                f.write(music.encode() + b"/")
            with open(os.path.join(s.work, "readme.txt"), "w") as f:
                f.write("ZOLM Player: справка.\nF1 - эта справка, Ctrl+O - открыть папку.\n")
            for var in ("QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "GTK_THEME"):
                s.env.pop(var, None)
            s.env.update(common, **extra)
            if desktop == "mutter":
                s.env["QT_SCALE_FACTOR"] = scale
            app = s.app(s.start())
            window = main_window(app)
            item = lambda name: next(d for d in descendants(window) if role(d) == "menu item" and d.name == name)
            def opened(title):
                return next((w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
                             if w is not None and w is not window and w.name == title and "showing" in states(w)), None)
            pictures = []
            def picture():
                time.sleep(1.5)
                w, h, raw = s.screenshot()
                png = os.path.join(s.work, "%d.png" % len(pictures))
                subprocess.run(["convert", "-size", "%dx%d" % (w, h), "-depth", "8", "rgb:-", png], input=raw, check=True)
                pictures.append(png)
            picture()
            for opener, title, closer in (("О программе...", "О программе", "Угу"),
                                          ("Справка: ZOLM Player", "Помощь!", "X")):
                press(item(opener))
                box = wait_for(lambda: opened(title))
                picture()
                press(next(d for d in descendants(box) if role(d) == "push button" and d.name == closer))
                wait_for(lambda: "sensitive" in states(window))
            target = os.path.join(out, "%s-%s-%s.png" % (name, theme, scale))
            subprocess.run(["convert"] + pictures + ["-resize", "512x384", "+append", "-colors", "128", target], check=True)
            print(target)
        finally:
            s.close()
