"""Screen readers on the real main window: every control is found by name and
role, the switches tell whether they are latched, the sliders their values,
the list its entries and the labels their text; pressing the play button
through its accessibility action plays the selected entry."""
import os
import sys

from session import Session, check, descendants, finish, list_entries, main_window, press, role, states, wait_for, write_wav

s = Session(sys.argv[1])
try:
    music = os.path.join(s.work, "music")
    os.mkdir(music)
    names = ["a.wav", "b.wav", "c <&>.wav"]
    for n in names:
        write_wav(os.path.join(music, n))
    with open(os.path.join(s.work, "rez.dat"), "wb") as f:
        f.write(music.encode() + b"/")
    proc = s.start()
    app = s.app(proc)
    if not check(app is not None, "the player's main window is on the accessibility bus"):
        raise SystemExit(1)  # nothing more can be checked
    window = main_window(app)
    controls = list(descendants(window))

    def one(kind, name):
        found = [c for c in controls if role(c) == kind and c.name == name]
        check(len(found) == 1, "one %s named %r (found %d)" % (kind, name, len(found)))
        return found[0] if found else None

    buttons = {n: one("push button", n) for n in
               ["Предыдущая", "Проиграть", "Стоп", "Следующая", "Свернуть в трей", "Открыть директорию..."]}
    switches = {n: one("check box", n) for n in
                ["Пауза", "Звук выкл./вкл.", "Переключатель случайного воспроизведения",
                 "Переключатель повтора плейлиста/песни"]}
    for n, sw in switches.items():
        if sw:
            check(not {"checked", "pressed"} & states(sw), "%r starts released" % n)
    nameless = [role(c) for c in controls
                if role(c) in ("push button", "check box", "slider", "list", "toggle button") and not c.name]
    check(not nameless, "no control without a name (%s)" % nameless)

    volume = one("slider", "Уровень звука")
    seek = one("slider", "Полоса прокрутки")
    if volume:
        v = volume.queryValue()
        check((v.currentValue, v.minimumValue, v.maximumValue) == (7, 0, 20), "volume reads 7 of 0..20")
    if seek:
        v = seek.queryValue()
        check((v.currentValue, v.maximumValue) == (0, 10), "seek bar reads 0 of 0..10 before a track plays")
    one("label", "0:00")
    one("label", "a.wav")

    playlist, entries = list_entries(window)
    check(playlist is not None and playlist.name == "Плейлист", "the playlist is one list named 'Плейлист'")
    check(entries is not None and [e.name for e in entries] == names, "the list's entries are the folder's files")
    if entries:
        check("selected" in states(entries[0]), "entry 0 is selected")

    # Play through the accessibility action, as a screen reader user would; a button is no switch.
    play = buttons["Проиграть"].queryAction()
    check("Toggle" not in [play.getName(i) for i in range(play.nActions)], "'Проиграть' offers no toggle")
    press(buttons["Проиграть"])
    check(wait_for(lambda: window.name == "ZOLM Player - a.wav"), "the press on 'Проиграть' plays a.wav (%r)" % window.name)
    check("checked" not in states(buttons["Проиграть"]), "... and the button stays unchecked")
    if seek:
        check(wait_for(lambda: seek.queryValue().maximumValue == 2000), "the seek bar spans the track's 2000 ms")
    pause = switches["Пауза"]
    press(pause)
    check(wait_for(lambda: {"checked", "pressed"} <= states(pause)), "pause latches and says so")
    press(pause, "Toggle")
    check(wait_for(lambda: not ({"checked", "pressed"} & states(pause))), "pause releases and says so")
    shuffle = switches["Переключатель случайного воспроизведения"]
    press(shuffle)
    check(wait_for(lambda: "checked" in states(shuffle)), "shuffle latches")
finally:
    s.close()
finish()
