#!/usr/bin/python3
"""End-to-end cases: the built program, driven through its accessibility tree as a user would.

usage: platterly_e2e.py --bin BUILD/bin --out OUTDIR CASE...
Each case gets its own X server, D-Bus session and accessibility bus, and runs the program
from a copy of BUILD/bin. A failing case leaves a screenshot, the program's output and the
program folder in OUTDIR/CASE. PLATTERLY_E2E_SHOTS=1 also saves the key moments.
"""

import argparse
import base64
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import checks  # noqa: E402
import ui  # noqa: E402
from session import Desktop, Program, ProgramFolder, Timeout, wait_for  # noqa: E402

MAIN = "Platterly 2.0"
BOX = "Platterly"  # every message box's caption
DEMO_CUE = os.path.join("discs", "Platterly Demo.cue")
DEMO_STATUS = "Image Platterly Demo"


class Case:
    def __init__(self, name, build_bin, out_root):
        self.name = name
        self.out = os.path.join(out_root, name)
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        self.shots = os.environ.get("PLATTERLY_E2E_SHOTS") == "1"
        self.desktop = Desktop(self.out).start()
        ui.configure()
        self.folder = ProgramFolder(build_bin, self.out)
        self.program = None
        self.app = self.main = self.tree = None
        self.runs = 0

    # -- the program -------------------------------------------------------------------
    def start(self, rows=None, env=None):
        """Starts the program and waits for its track list (rows, when given)."""
        self.runs += 1
        self.program = Program(self.desktop, self.folder, self.out, self.runs, env)
        self.app = self.program.app
        self.main = ui.main_window(self.app)
        self.tree = wait_for("the track list", lambda: ui.find(self.main, "tree"))
        if rows is not None:
            wait_for(f"{rows} rows in the track list",
                     lambda: self.tree.queryTable().nRows == rows, timeout=30)
        self.no_message_box()
        return self.app

    def exit_program(self):
        """File > Exit; the program must end by itself and report success."""
        item = ui.menu_item(self.app, "File", "Exit")
        try:
            ui.press(item, opens_modal=True)
        except Exception:  # noqa: BLE001 (the program may leave the bus before answering)
            pass
        rc = self.program.wait_exit(timeout=30)
        assert rc == 0, f"the program exited with code {rc}"
        self.program = None

    # -- what the user sees ------------------------------------------------------------
    def status(self):
        bar = wait_for("the status bar", lambda: ui.find(self.main, "status bar"))
        return [label.name for label in ui.find_all(bar, "label")]

    def wait_status(self, text, timeout=30):
        wait_for(f"the status bar to read {text!r}", lambda: self.status() == [text], timeout)

    def titles(self):
        return [row[1] for row in self.rows()]

    def cell(self, row, column):
        return self.tree.queryTable().getAccessibleAt(row, column)

    def rows(self):
        table = self.tree.queryTable()
        return [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)]
                for r in range(table.nRows)]

    def message_boxes(self):
        return [w for w in ui.windows(self.app) if ui.plain(w.name) == BOX]

    @staticmethod
    def box_text(box):
        return "\n".join(label.name for label in ui.find_all(box, "label") if label.name)

    def no_message_box(self):
        boxes = self.message_boxes()
        assert not boxes, f"unexpected message: {self.box_text(boxes[0])!r}"

    def wait_message_box(self, timeout=30):
        return wait_for("a message box", lambda: next(iter(self.message_boxes()), None), timeout)

    def open_dialog(self, press_what, title):
        ui.press(press_what, opens_modal=True)
        return ui.wait_window(self.app, title)

    def moment(self, label):
        if self.shots:
            self.desktop.screenshot(os.path.join(self.out, f"{self.name}-{label}.png"))

    def wait_job(self, what, done, timeout):
        """Waits until the job's windows are gone and done() holds; a message box on the way
        fails the case. Returns the captions the job's windows showed."""
        captions = set()

        def finished():
            others = [w for w in ui.windows(self.app) if ui.plain(w.name) != MAIN]
            for w in others:
                if ui.plain(w.name) == BOX:
                    raise AssertionError(f"message during the {what}: {self.box_text(w)!r}")
                if not captions:
                    self.moment("job")
                captions.add(ui.plain(w.name))
            return not others and done()
        wait_for(f"the {what} to finish and its window to close", finished, timeout=timeout)
        print(f"job captions seen: {sorted(captions)}")
        return captions

    # -- tear-down -----------------------------------------------------------------------
    def close(self, passed):
        if self.program is not None:
            self.program.kill()
        self.desktop.stop()
        if passed:
            self.folder.remove()


def ripped(folder):
    """The files in a folder but a rip's log and cue sheet, sorted."""
    return sorted(f for f in os.listdir(folder) if not f.endswith((".log", ".cue")))


def field_beside(dialog, caption):
    """The text field on the same line as a caption: the options dialog's ID3 fields carry
    no accessible name of their own, so they are found as a sighted user finds them."""
    label = wait_for(f"the caption \"{caption}\"", lambda: ui.find(dialog, "label", caption))
    lx, ly, lw, lh = ui.extents(label)
    middle = ly + lh // 2
    for text in ui.find_all(dialog, "text"):
        x, y, w, h = ui.extents(text)
        if y <= middle <= y + h and x >= lx + lw:
            return text
    raise AssertionError(f"no text field beside \"{caption}\"")


def choose(combo, item_name):
    """Opens a drop-down list with the mouse and clicks one of its entries."""
    ui.click(combo)
    item = wait_for(f"the entry \"{item_name}\"",
                    lambda: ui.find(combo, "list item", item_name))
    ui.click(item)
    wait_for(f"the list to show \"{item_name}\"", lambda: combo.name == item_name)


def show_tab(dialog, caption):
    """Clicks a page's tab; callers then wait for the page's own widgets to show."""
    ui.click(wait_for(f"the tab \"{caption}\"", lambda: ui.find(dialog, "page tab", caption)))


# ======================================================================================
# The cases
# ======================================================================================

def case_track_list(c):
    """The demo disc's tracks, their lengths and sizes, and the drive in the status bar."""
    disc = checks.Disc(c.folder.file(DEMO_CUE))
    expected = []
    for number, (m, s) in enumerate(disc.length_texts(), start=1):
        expected.append([str(number), "Track" + checks.two_digits(number),
                         checks.two_digits(m) + ":" + checks.two_digits(s), checks.size_text(m, s)])
    c.start(rows=len(expected))
    c.moment("list")
    assert c.main.name == MAIN, c.main.name
    headers = [h.name for h in ui.children(c.tree) if ui.role_name(h) == "table column header"]
    assert headers == ["No.", "Title", "Length(min)", "Size(MB)"], headers
    assert c.rows() == expected, f"track list {c.rows()} != {expected}"
    # Every row starts ticked, so Extract is offered at once.
    unticked = [r for r in range(len(expected)) if not ui.is_checked(c.cell(r, 0))]
    assert not unticked, f"rows {unticked} start unticked"
    assert ui.is_enabled(ui.find(c.main, "push button", "Extract"))
    status = wait_for("the status bar", lambda: ui.find(c.main, "status bar"))
    texts = [label.name for label in ui.find_all(status, "label")]
    assert texts == [DEMO_STATUS], f"status bar shows {texts}"
    c.exit_program()


def case_rename(c):
    """Renamed titles survive a restart and are stored under the disc's own key."""
    disc = checks.Disc(c.folder.file(DEMO_CUE))
    c.start(rows=6)
    table = c.tree.queryTable()

    # Keyboard: select the row, F2, type the new title over the selected old one, OK.
    ui.click(c.cell(2, 1))
    wait_for("row 3 to be selected", lambda: table.isRowSelected(2))
    ui.key("F2")
    dialog = ui.wait_window(c.app, "Rename Track Title")
    edit = wait_for("the title field", lambda: ui.find(dialog, "text"))
    assert ui.text_of(edit) == "Track03", ui.text_of(edit)
    ui.wait_focused(edit)
    typed = "Night Drive (Live)"
    ui.type_text(typed)
    wait_for(f"the field to read {typed!r}", lambda: ui.text_of(edit) == typed)
    c.moment("rename")
    ui.press(ui.find(dialog, "push button", "OK"))
    ui.wait_window_gone(c.app, "Rename Track Title")
    wait_for("the new title in row 3", lambda: c.cell(2, 1).name == typed)

    # Double click: an empty title cannot be accepted; a non-ASCII one can, with Enter.
    ui.click(c.cell(4, 1), "b1d")
    dialog = ui.wait_window(c.app, "Rename Track Title")
    edit = wait_for("the title field", lambda: ui.find(dialog, "text"))
    assert ui.text_of(edit) == "Track05", ui.text_of(edit)
    ok = ui.find(dialog, "push button", "OK")
    ui.set_text(edit, "")
    wait_for("OK to be disabled for an empty title", lambda: not ui.is_enabled(ok))
    ui.key("Return")
    # Keys arrive in order, unlike the accessibility calls: once the typed "x" shows, the Return
    # before it has been handled, and the dialog has stayed open.
    ui.type_text("x")
    wait_for("Return on an empty title to leave the dialog open", lambda: ui.text_of(edit) == "x")
    accented = "Überfahrt – Café"
    ui.set_text(edit, accented)
    wait_for("OK to be enabled again", lambda: ui.is_enabled(ok))
    ui.key("Return")
    ui.wait_window_gone(c.app, "Rename Track Title")
    wait_for("the new title in row 5", lambda: c.cell(4, 1).name == accented)

    # Cancel keeps the old title.
    ui.click(c.cell(0, 1))
    wait_for("row 1 to be selected", lambda: table.isRowSelected(0))
    ui.key("F2")
    dialog = ui.wait_window(c.app, "Rename Track Title")
    edit = wait_for("the title field", lambda: ui.find(dialog, "text"))
    ui.wait_focused(edit)
    ui.type_text("Not this one")
    wait_for("the typed title", lambda: ui.text_of(edit) == "Not this one")
    ui.press(ui.find(dialog, "push button", "Cancel"))
    ui.wait_window_gone(c.app, "Rename Track Title")
    assert c.cell(0, 1).name == "Track01", c.cell(0, 1).name
    c.exit_program()

    info, raw = checks.read_profile(c.folder.file("cdinfo.dat"))
    key = disc.key()
    assert key.lower() in info, f"cdinfo.dat has no section [{key}]: {sorted(info)}"
    section = info[key.lower()]
    want = {"tracknumber": "6", "1": "Track01", "2": "Track02", "3": typed, "4": "Track04",
            "5": accented, "6": "Track06"}
    got = {k: section.get(k) for k in want}
    assert got == want, f"cdinfo.dat [{key}] holds {got}"
    assert accented.encode("utf-8") in raw, "the accented title is not stored as UTF-8"
    assert b"\r\n" in raw and b"\n" not in raw.replace(b"\r\n", b""), "cdinfo.dat is not CRLF"

    c.start(rows=6)
    c.moment("restarted")
    titles = [row[1] for row in c.rows()]
    assert titles == ["Track01", "Track02", typed, "Track04", accented, "Track06"], titles
    c.exit_program()


def case_rip_mp3(c):
    """Two of four tracks ripped to tagged MP3 files; their WAV files go, nothing else comes.
    The disc is a short one of our own, so the encoder's time does not dominate the case."""
    c.folder.replace_discs("Rip Test", "6s", "9s", "4s", "5s")
    disc = checks.Disc(c.folder.file("discs", "Rip Test.cue"))
    artist, album = "The Demo Band", "Sampler"
    output = c.folder.file("Output")
    c.start(rows=4)

    # The tag is switched on and filled in the options dialog's ID3 page.
    dialog = c.open_dialog(ui.find(c.main, "push button", "Options"), "Options")
    show_tab(dialog, "ID3 Tag")
    use = wait_for("Use ID3 tag", lambda: ui.find(dialog, "check box", "Use ID3 tag"))
    ui.click(use)
    wait_for("Use ID3 tag to be ticked", lambda: ui.is_checked(use))
    for caption, value in (("Artist:", artist), ("Album:", album)):
        field = field_beside(dialog, caption)
        ui.click(field)
        ui.wait_focused(field, caption)
        ui.type_text(value)
        wait_for(f"{caption} to read {value!r}", lambda f=field, v=value: ui.text_of(f) == v)
    c.moment("id3")
    ui.press(ui.find(dialog, "push button", "OK"))
    ui.wait_window_gone(c.app, "Options")

    # Tick tracks 2 and 4 only.
    ui.press(ui.menu_item(c.app, "Edit", "Select None"))
    wait_for("every row unticked", lambda: not any(ui.is_checked(c.cell(r, 0)) for r in range(4)))
    extract = ui.find(c.main, "push button", "Extract")
    wait_for("Extract to be disabled with nothing ticked", lambda: not ui.is_enabled(extract))
    # A click with Ctrl held ticks or unticks a row.
    for row in (1, 3):
        ui.ctrl_click(c.cell(row, 1))
    wait_for("rows 2 and 4 ticked", lambda: [ui.is_checked(c.cell(r, 0)) for r in range(4)]
             == [False, True, False, True])

    # The program made its default output folder when it started.
    assert os.listdir(output) == [], os.listdir(output)
    ui.press(extract, opens_modal=True)

    mp3s = [os.path.join(output, f"Track0{n}.mp3") for n in (2, 4)]
    wavs = [os.path.join(output, f"Track0{n}.wav") for n in (2, 4)]
    c.wait_job("rip", lambda: all(os.path.exists(p) for p in mp3s)
               and not any(os.path.exists(p) for p in wavs), timeout=120)
    c.moment("ripped")
    assert ripped(output) == ["Track02.mp3", "Track04.mp3"], os.listdir(output)

    for number, path in zip((2, 4), mp3s):
        info = checks.probe(path)
        seconds = disc.track_seconds(number)
        assert info["codec"] == "mp3", info
        assert (info["rate"], info["channels"]) == (44100, 2), info
        assert info["bit_rate"] == 128000, f"default 128 kbit/s expected: {info}"
        assert abs(info["duration"] - seconds) < 0.2, f"{path}: {info['duration']} s, track {seconds} s"
        tag = checks.id3v1(path)
        assert tag is not None, f"{path} has no ID3v1 tag"
        want = {"title": f"Track0{number}", "artist": artist, "album": album, "track": number,
                "genre": 255}
        got = {k: tag[k] for k in want}
        assert got == want, f"{path} tag {got} != {want}"
    c.exit_program()

    options, _ = checks.read_profile(c.folder.file("options.ini"))
    assert options["id3"]["use"] == "1", options.get("id3")
    info, _ = checks.read_profile(c.folder.file("cdinfo.dat"))
    section = info[disc.key().lower()]
    assert (section.get("artist"), section.get("album")) == (artist, album), section


def case_two_discs(c):
    """Two discs whose tracks share their names, ripped into one folder: the second rip asks
    once before it would replace the first one's files. Skip keeps them and rips the new track
    only; Replace writes the second disc over them."""
    output = c.folder.file("Output")
    first = [os.path.join(output, f"Track0{n}.mp3") for n in (1, 2)]
    c.folder.replace_discs("Disc A", "3s", "2s")
    c.start(rows=2)
    ui.press(ui.find(c.main, "push button", "Extract"), opens_modal=True)
    c.wait_job("first disc's rip", lambda: all(os.path.exists(p) for p in first), timeout=120)
    assert ripped(output) == ["Track01.mp3", "Track02.mp3"], os.listdir(output)
    kept = {p: open(p, "rb").read() for p in first}
    c.exit_program()

    c.folder.replace_discs("Disc B", "5s", "4s", "2s")
    c.start(rows=3)
    extract = ui.find(c.main, "push button", "Extract")

    def ask(button):
        ui.press(extract, opens_modal=True)
        box = c.wait_message_box()
        text = c.box_text(box)
        c.moment(f"asked-{button}")
        ui.press(ui.find(box, "push button", button), opens_modal=True)
        wait_for("the question to close", lambda: not c.message_boxes())
        return text

    text = ask("Skip")
    assert "Track01.mp3\nTrack02.mp3\n" in text and "Track03" not in text, text
    third = os.path.join(output, "Track03.mp3")
    c.wait_job("rip of the new track", lambda: os.path.exists(third), timeout=120)
    assert ripped(output) == ["Track01.mp3", "Track02.mp3", "Track03.mp3"], \
        os.listdir(output)
    for path, data in kept.items():
        assert open(path, "rb").read() == data, f"{path} was replaced after Skip"

    text = ask("Replace")
    assert "Track01.mp3\nTrack02.mp3\nTrack03.mp3\n" in text, text
    c.wait_job("second disc's rip", lambda: all(
        open(p, "rb").read() != data for p, data in kept.items()), timeout=120)
    for number, seconds in ((1, 5.0), (2, 4.0)):
        duration = checks.probe(first[number - 1])["duration"]
        assert abs(duration - seconds) < 0.2, f"Track0{number}.mp3: {duration} s, not {seconds} s"
    assert ripped(output) == ["Track01.mp3", "Track02.mp3", "Track03.mp3"], \
        os.listdir(output)
    c.exit_program()


def case_wav_to_ogg(c):
    """Two WAV files picked in the file dialog become Ogg Vorbis files; the slower one is
    brought to 44100 Hz on the way and the temporary file is removed."""
    inputs = os.path.join(c.out, "input files")
    os.makedirs(inputs)
    loud = os.path.join(inputs, "Chord Test.wav")
    slow = os.path.join(inputs, "low rate.wav")
    checks.sox_wav(loud, 4.5, 44100, 2, "sine", "440", "sine", "660")
    checks.sox_wav(slow, 3.0, 22050, 1, "sine", "330")
    before = {p: open(p, "rb").read() for p in (loud, slow)}
    output = c.folder.file("Output")
    os.makedirs(output)
    c.start(rows=6)

    picker = c.open_dialog(ui.menu_item(c.app, "File", "WAV to OGG..."), "Open")
    name = wait_for("the file-name field", lambda: ui.find(picker, "text", "File name:"))
    # As a user would: go to the folder, then name both files. The field's completer pops up
    # while the path is typed, and a Return that meets the popup only closes it (or takes its
    # entry), so the user looks and presses Return again.
    def folder_open():
        return next((b for b in ui.find_all(picker, "combo box") if b.name == inputs), None)

    for attempt in range(3):
        if ui.text_of(name) != inputs:
            ui.set_text(name, "")
            ui.click(name)
            ui.wait_focused(name)
            ui.type_text(inputs)
            wait_for("the folder in the file-name field", lambda: ui.text_of(name) == inputs)
        ui.key("Return")
        try:
            wait_for("the folder to open", folder_open, timeout=10)
            break
        except Timeout:
            if attempt == 2:
                raise
    wait_for("the field to be emptied", lambda: ui.text_of(name) == "")
    ui.wait_focused(name)
    both = '"Chord Test.wav" "low rate.wav"'
    ui.type_text(both)
    wait_for("both names in the field", lambda: ui.text_of(name) == both)
    c.moment("picker")
    ui.key("Return")

    oggs = [os.path.join(output, "Chord Test.ogg"), os.path.join(output, "low rate.ogg")]
    c.wait_job("OGG job", lambda: all(os.path.exists(p) for p in oggs), timeout=90)
    c.moment("encoded")
    assert sorted(os.listdir(output)) == ["Chord Test.ogg", "low rate.ogg"], os.listdir(output)
    for path, seconds, channels in ((oggs[0], 4.5, 2), (oggs[1], 3.0, 1)):
        info = checks.probe(path)
        assert info["codec"] == "vorbis", info
        assert (info["rate"], info["channels"]) == (44100, channels), f"{path}: {info}"
        assert abs(info["duration"] - seconds) < 0.1, f"{path}: {info['duration']} s, input {seconds} s"
    for path, data in before.items():
        assert open(path, "rb").read() == data, f"{path} was changed"
    c.exit_program()


def case_options(c):
    """OK stores the dialog's values (options.ini holds them after exit); Cancel stores nothing."""
    missing = c.folder.file("no such folder")
    rips = c.folder.file("rips")
    os.makedirs(rips)
    c.start(rows=6)
    options_item = ui.menu_item(c.app, "Edit", "Options")

    dialog = c.open_dialog(options_item, "Options")
    folder = wait_for("the output folder field",
                      lambda: ui.find(dialog, "text", "Output directory(WAV/MP3)"))
    assert ui.text_of(folder) == c.folder.file("Output"), ui.text_of(folder)
    choose(ui.find(dialog, "combo box", "MP3 file(*.MP3)"), "WAV file(*.WAV)")
    normalize = ui.find(dialog, "check box", "Normalize")
    assert not ui.is_checked(normalize)
    ui.click(normalize)
    wait_for("Normalize to be ticked", lambda: ui.is_checked(normalize))

    # A folder that does not exist is refused and the dialog stays open.
    ui.set_text(folder, missing)
    ui.press(ui.find(dialog, "push button", "OK"), opens_modal=True)
    box = c.wait_message_box()
    assert c.box_text(box) == missing + ",The output directory does not exist.", c.box_text(box)
    c.moment("refused")
    ui.press(ui.find(box, "push button", "OK"))
    wait_for("the message to close", lambda: not c.message_boxes())
    assert ui.find(c.app, "dialog", "Options"), "the dialog closed"
    ui.set_text(folder, rips)
    ui.press(ui.find(dialog, "push button", "OK"))
    ui.wait_window_gone(c.app, "Options")

    # Reopened, it shows what OK stored; changes then cancelled are not kept.
    dialog = c.open_dialog(options_item, "Options")
    folder = wait_for("the output folder field",
                      lambda: ui.find(dialog, "text", "Output directory(WAV/MP3)"))
    assert ui.text_of(folder) == rips, ui.text_of(folder)
    assert ui.find(dialog, "combo box", "WAV file(*.WAV)"), "the format was not kept"
    assert ui.is_checked(ui.find(dialog, "check box", "Normalize"))
    delete_wav = ui.find(dialog, "check box", "Delete WAV file after processing")
    assert ui.is_checked(delete_wav)
    ui.click(delete_wav)
    wait_for("Delete WAV to be unticked", lambda: not ui.is_checked(delete_wav))
    show_tab(dialog, "LAME")
    choose(wait_for("the mode list", lambda: ui.find(dialog, "combo box", "Joint Stereo")), "Mono")
    c.moment("cancelling")
    ui.press(ui.find(dialog, "push button", "Cancel"))
    ui.wait_window_gone(c.app, "Options")

    dialog = c.open_dialog(options_item, "Options")
    assert ui.is_checked(wait_for("Delete WAV", lambda: ui.find(
        dialog, "check box", "Delete WAV file after processing"))), "Cancel stored a change"
    show_tab(dialog, "LAME")
    wait_for("the LAME page", lambda: ui.find(dialog, "label", "Mode:"))
    assert ui.find(dialog, "combo box", "Joint Stereo"), "Cancel stored the mode"
    ui.press(ui.find(dialog, "push button", "Cancel"))
    ui.wait_window_gone(c.app, "Options")
    c.exit_program()

    ini, raw = checks.read_profile(c.folder.file("options.ini"))
    common, mp3 = ini["commonoptions"], ini["mp3options"]
    got = {"OutputFolder": common.get("outputfolder"), "OutputFormat": common.get("outputformat"),
           "IsNormalize": common.get("isnormalize"), "IsKeepWav": common.get("iskeepwav"),
           "StereoMode": mp3.get("stereomode")}
    want = {"OutputFolder": rips, "OutputFormat": "1", "IsNormalize": "1", "IsKeepWav": "0",
            "StereoMode": "1"}
    assert got == want, f"options.ini holds {got}, expected {want}"
    assert b"\n" not in raw.replace(b"\r\n", b""), "options.ini is not CRLF"


def case_recorder(c):
    """The recorder's Start button and its menu, as a screen reader finds and presses them:
    New... makes a new recording, Exit closes the window."""
    c.start(rows=6)
    ui.press(ui.menu_item(c.app, "Actions", "Record"), opens_modal=True)
    recorder = ui.wait_window(c.app, "Record")
    start = wait_for("the Start button", lambda: ui.find(recorder, "push button", "Start"))
    ui.press(start)
    menu = wait_for("the Start menu", lambda: ui.find(start, "popup menu"))
    items = [ui.plain(i.name) for i in ui.children(menu) if i.name]
    assert items == ["New...", "Open...", "Save", "Save As...", "Undo", "Recording Control...",
                     "MP3 format", "Exit"], items
    c.moment("start-menu")
    new = next(i for i in ui.children(menu) if ui.plain(i.name) == "New...")
    ui.press(new, opens_modal=True)
    dialog = ui.wait_window(c.app, "New sound file")
    wait_for("the Start menu to close", lambda: ui.find(start, "popup menu") is None)
    ui.press(ui.find(dialog, "push button", "OK"))
    ui.wait_window_gone(c.app, "New sound file")
    wait_for("the caption of a new recording", lambda: ui.plain(recorder.name) == "Record(NoName)")
    record = ui.find(recorder, "push button", "Record")
    assert ui.is_enabled(record), "Record is not enabled after New"
    with open(c.folder.file("MyNoName.wav"), "rb") as f:
        header = f.read()
    assert len(header) == 44 and header.startswith(b"RIFF"), header
    c.no_message_box()

    ui.press(start)
    menu = wait_for("the Start menu", lambda: ui.find(start, "popup menu"))
    ui.press(next(i for i in ui.children(menu) if ui.plain(i.name) == "Exit"))
    ui.wait_window_gone(c.app, "Record")
    c.no_message_box()
    c.exit_program()


def choose_drive(c, name):
    """Options > CD-ROM: picks a drive and confirms."""
    dialog = c.open_dialog(ui.menu_item(c.app, "Edit", "Options"), "Options")
    show_tab(dialog, "CD-ROM")
    drives = wait_for("the drive list", lambda: ui.find(dialog, "combo box"))
    wait_for("the drive list to be filled", lambda: drives.name)
    if drives.name != name:
        choose(drives, name)
    ui.press(ui.find(dialog, "push button", "OK"))
    ui.wait_window_gone(c.app, "Options")


def case_names_kept(c):
    """Names typed for a disc come back with it after it leaves: its image taken away and put
    back, or the drive switched in Options and back. The drive chosen there is the one the
    status bar and the list show, and the one the next start opens."""
    discs = c.folder.file("discs")
    c.folder.replace_discs("Alpha", "5s", "6s", "7s")
    subprocess.run([os.path.join(c.folder.build_bin, "makedisc"), "--seed", "12", discs, "Beta",
                    "4s", "4s"], check=True, capture_output=True, timeout=60)
    c.start(rows=3)
    c.wait_status("Image Alpha")
    ui.click(c.cell(1, 1))
    wait_for("row 2 to be selected", lambda: c.tree.queryTable().isRowSelected(1))
    ui.key("F2")
    dialog = ui.wait_window(c.app, "Rename Track Title")
    edit = wait_for("the title field", lambda: ui.find(dialog, "text"))
    ui.wait_focused(edit)
    ui.type_text("Kept Name")
    wait_for("the typed title", lambda: ui.text_of(edit) == "Kept Name")
    ui.key("Return")
    ui.wait_window_gone(c.app, "Rename Track Title")
    want = ["Track01", "Kept Name", "Track03"]
    wait_for("the new title", lambda: c.titles() == want)

    # The image leaves and comes back.
    aside = os.path.join(c.out, "aside")
    os.makedirs(aside)
    for ext in (".cue", ".bin"):
        shutil.move(os.path.join(discs, "Alpha" + ext), aside)
    wait_for("the list to empty", lambda: c.tree.queryTable().nRows == 0)
    for ext in (".cue", ".bin"):
        shutil.move(os.path.join(aside, "Alpha" + ext), discs)
    wait_for("the disc's names back", lambda: c.titles() == want)
    c.moment("back")

    # Another drive and back again.
    choose_drive(c, "Image Beta")
    c.wait_status("Image Beta")
    wait_for("the second disc's list", lambda: c.titles() == ["Track01", "Track02"])
    choose_drive(c, "Image Alpha")
    c.wait_status("Image Alpha")
    wait_for("the first disc's names back", lambda: c.titles() == want)

    # The drive chosen last is the one the next start opens.
    choose_drive(c, "Image Beta")
    c.wait_status("Image Beta")
    c.exit_program()
    c.start(rows=2)
    c.wait_status("Image Beta")
    dialog = c.open_dialog(ui.menu_item(c.app, "Edit", "Options"), "Options")
    show_tab(dialog, "CD-ROM")
    wait_for("the drive list to show the open drive",
             lambda: ui.find(dialog, "combo box", "Image Beta"))
    ui.press(ui.find(dialog, "push button", "Cancel"))
    ui.wait_window_gone(c.app, "Options")
    c.exit_program()
    info, _ = checks.read_profile(c.folder.file("cdinfo.dat"))
    key = checks.Disc(os.path.join(discs, "Alpha.cue")).key()
    assert info[key.lower()].get("2") == "Kept Name", info.get(key.lower())


def case_keyboard(c):
    """The keyboard alone: F2 on the row shown at start, Space ticks, Ctrl+Tab turns the
    options' pages from a drop-down list, Tab walks the tag fields in order, F1 says when the
    manual cannot be opened, Ctrl+Q quits."""
    # The desktop's launcher fails, whether or not this machine has one.
    launcher = os.path.join(c.out, "bin", "xdg-open")
    os.makedirs(os.path.dirname(launcher))
    with open(launcher, "w", encoding="utf-8") as f:
        f.write("#!/bin/sh\nexit 3\n")
    os.chmod(launcher, 0o755)
    c.start(rows=6, env={"PATH": os.path.dirname(launcher) + ":" + os.environ["PATH"]})
    table = c.tree.queryTable()
    wait_for("the first row selected at start", lambda: table.isRowSelected(0))
    # Without a window manager the window takes the keyboard once clicked; the status bar
    # takes no focus itself, so the list keeps it.
    ui.click(ui.find(c.main, "status bar"))
    wait_for("the list to have the focus", lambda: ui.is_focused(c.tree))
    ui.key("F2")
    dialog = ui.wait_window(c.app, "Rename Track Title")
    edit = wait_for("the title field", lambda: ui.find(dialog, "text"))
    assert ui.text_of(edit) == "Track01", ui.text_of(edit)
    ui.key("Escape")
    ui.wait_window_gone(c.app, "Rename Track Title")

    # Space ticks and unticks the focused row; Down moves focus and selection together.
    # (Nothing gives the window back the keyboard after a dialog here but a click.)
    ui.click(ui.find(c.main, "status bar"))
    wait_for("the list to have the focus", lambda: ui.is_focused(c.tree))
    ui.key("space")
    wait_for("row 1 unticked", lambda: not ui.is_checked(c.cell(0, 0)))
    ui.key("Down")
    wait_for("row 2 selected", lambda: table.isRowSelected(1))
    ui.key("space")
    wait_for("row 2 unticked", lambda: not ui.is_checked(c.cell(1, 0)))
    ui.key("space")
    wait_for("row 2 ticked again", lambda: ui.is_checked(c.cell(1, 0)))
    assert not ui.is_checked(c.cell(0, 0)) and ui.is_checked(c.cell(2, 0))

    ui.key("F1")
    c.wait_status("Cannot open the help file (xdg-open ended with code 3).")

    dialog = c.open_dialog(ui.menu_item(c.app, "Edit", "Options"), "Options")
    fmt = wait_for("the format list", lambda: ui.find(dialog, "combo box", "MP3 file(*.MP3)"))
    # A click gives the list the focus and opens it; Escape closes it and keeps the focus.
    ui.click(fmt)
    wait_for("the list to open", lambda: ui.find(fmt, "list item", "WAV file(*.WAV)"))
    ui.key("Escape")
    ui.wait_focused(fmt, "the format list")
    ui.ctrl_key("Tab")
    wait_for("the LAME page", lambda: ui.find(dialog, "label", "Mode:"))
    for _ in range(3):
        ui.ctrl_key("Tab")
    artist = wait_for("the ID3 page", lambda: field_beside(dialog, "Artist:"))
    c.moment("id3")
    ui.click(artist)
    ui.wait_focused(artist, "Artist")
    order = [field_beside(dialog, "Album:"), field_beside(dialog, "Year:"),
             ui.find(dialog, "combo box"), field_beside(dialog, "Comment:")]
    for field in order:
        ui.key("Tab")
        ui.wait_focused(field, field.name or ui.role_name(field))
    ui.press(ui.find(dialog, "push button", "Cancel"))
    ui.wait_window_gone(c.app, "Options")

    ui.click(ui.find(c.main, "status bar"))
    wait_for("the list to have the focus", lambda: ui.is_focused(c.tree))
    ui.ctrl_key("q")
    rc = c.program.wait_exit(timeout=30)
    assert rc == 0, f"the program exited with code {rc}"
    c.program = None


# A dark desktop theme as the generic Unix platform theme reads it (KDE's colour file).
DARK_KDEGLOBALS = """[Colors:Window]
BackgroundNormal=45,45,48
ForegroundNormal=230,230,230
[Colors:View]
BackgroundNormal=30,30,32
ForegroundNormal=230,230,230
[Colors:Button]
BackgroundNormal=55,55,60
ForegroundNormal=230,230,230
[Colors:Selection]
BackgroundNormal=42,130,218
ForegroundNormal=255,255,255
"""


def case_dark_theme(c):
    """Under a dark palette every text of the main window reads on its background (measured
    on the screen's pixels), and the options dialog shows all its tabs."""
    from PIL import Image  # noqa: PLC0415 (only this case needs it)
    config = os.path.join(c.folder.home, ".config")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "kdeglobals"), "w", encoding="utf-8") as f:
        f.write(DARK_KDEGLOBALS)
    c.start(rows=6, env={"XDG_CURRENT_DESKTOP": "KDE", "KDE_SESSION_VERSION": "5",
                         "QT_STYLE_OVERRIDE": "Fusion"})
    c.wait_status(DEMO_STATUS)
    ui.click(c.cell(2, 1))
    wait_for("row 3 to be selected", lambda: c.tree.queryTable().isRowSelected(2))
    shot = c.desktop.screenshot(os.path.join(c.out, "dark_theme-screen.png"))
    assert shot, "no screenshot"
    screen = Image.open(shot)
    x, y, w, h = ui.extents(c.main)
    screen.crop((x, y, x + w, y + h)).save(os.path.join(c.out, "dark_theme-main.png"))

    def box(acc, bottom=None):
        ax, ay, aw, ah = ui.extents(acc)
        top = ay + 1 if bottom is None else ay + ah - bottom
        return (ax + 1, top, ax + aw - 1, ay + ah - 1)

    status = ui.find(ui.find(c.main, "status bar"), "label")
    extract = ui.find(c.main, "push button", "Extract")
    areas = {"status bar": box(status), "title": box(c.cell(1, 1)),
             "toolbar caption": box(extract, bottom=18),
             "disc header": box(ui.find(c.main, "label", "No names yet"))}
    measured = {what: checks.text_contrast(screen, area) for what, area in areas.items()}
    print(f"backgrounds and contrasts: {measured}")
    # The menu bar takes the palette as it is: proof that the desktop's dark one applied.
    menu_bar = next(m for m in ui.children(c.main) if ui.role_name(m) == "menu bar")
    background = checks.text_contrast(screen, box(menu_bar))[0]
    assert checks.luminance(background) < 0.2, f"the dark palette did not apply: {background}"
    weak = {what: m for what, m in measured.items() if m[1] < 4.5}
    assert not weak, f"text that does not read on its background: {weak}"

    dialog = c.open_dialog(ui.menu_item(c.app, "Edit", "Options"), "Options")
    tabs = wait_for("the eight tabs", lambda: len(ui.find_all(dialog, "page tab")) == 8
                    and ui.find_all(dialog, "page tab"))
    dx, dy, dw, dh = ui.extents(dialog)
    for tab in tabs:
        tx, ty, tw, th = ui.extents(tab)
        assert ui.is_showing(tab) and dx <= tx and tx + tw <= dx + dw, \
            f"tab {tab.name!r} at {tx}..{tx + tw} outside the dialog's {dx}..{dx + dw}"
    shot = c.desktop.screenshot(os.path.join(c.out, "dark_theme-options.png"))
    ui.press(ui.find(dialog, "push button", "Cancel"))
    ui.wait_window_gone(c.app, "Options")
    c.exit_program()


def case_library_rip(c):
    """FLAC and a name pattern chosen in the options dialog: the rip files the tracks under the
    artist and album, tagged, exactly where the dialog's example said."""
    c.folder.replace_discs("Library Test", "3s", "4s")
    disc = checks.Disc(c.folder.file("discs", "Library Test.cue"))
    output = c.folder.file("Output")
    artist, album = "AC/DC", "Back in Black"
    c.start(rows=2)

    dialog = c.open_dialog(ui.find(c.main, "push button", "Options"), "Options")
    show_tab(dialog, "ID3 Tag")
    # The artist holds a "/": a value, so it cannot make a folder. Typed through the text
    # interface, as the keyboard synthesiser garbles some characters.
    for caption, value in (("Artist:", artist), ("Album:", album)):
        field = field_beside(dialog, caption)
        ui.set_text(field, value)
        wait_for(f"{caption} to read {value!r}", lambda f=field, v=value: ui.text_of(f) == v)
    show_tab(dialog, "Output")
    choose(wait_for("the format list", lambda: ui.find(dialog, "combo box", "MP3 file(*.MP3)")),
           "FLAC file(*.FLAC)")
    show_tab(dialog, "File names")
    combo = wait_for("the pattern list", lambda: ui.find(dialog, "combo box", "File name pattern"))
    field = wait_for("the pattern field", lambda: ui.find(combo, "text"))
    ui.click(field)
    ui.wait_focused(field)
    pattern = "%A/%d/%n - %t"
    ui.type_text(pattern)
    wait_for("the pattern to be typed", lambda: ui.text_of(field) == pattern)
    # The example: the first track of the disc, under the folder the pattern makes.
    example = os.path.join(output, "AC-DC", album, "01 - Track01.flac")
    wait_for("the example", lambda: ui.find(dialog, "label", example), timeout=10)
    c.moment("names")
    ui.press(ui.find(dialog, "push button", "OK"))
    ui.wait_window_gone(c.app, "Options")

    ui.press(ui.find(c.main, "push button", "Extract"), opens_modal=True)
    flacs = [example, os.path.join(output, "AC-DC", album, "02 - Track02.flac")]
    c.wait_job("rip", lambda: all(os.path.exists(p) for p in flacs), timeout=120)
    c.moment("ripped")
    found = sorted(os.path.relpath(os.path.join(d, f), output)
                   for d, _, files in os.walk(output) for f in files
                   if not f.endswith((".log", ".cue")))
    assert found == sorted(os.path.relpath(p, output) for p in flacs), found
    for number, path in zip((1, 2), flacs):
        info = checks.probe(path)
        assert info["codec"] == "flac", info
        seconds = disc.track_seconds(number)
        assert abs(info["duration"] - seconds) < 0.02, f"{path}: {info['duration']} s, not {seconds}"
        tags = subprocess.run(["metaflac", "--export-tags-to=-", path], check=True,
                              capture_output=True, text=True, timeout=30).stdout.splitlines()
        for want in (f"ARTIST={artist}", f"ALBUM={album}", f"TITLE=Track0{number}",
                     f"TRACKNUMBER={number}", "TRACKTOTAL=2"):
            assert want in tags, f"{path}: {want!r} not in {tags}"
    c.exit_program()
    options, _ = checks.read_profile(c.folder.file("options.ini"))
    assert options["commonoptions"]["namepattern"] == pattern, options["commonoptions"]
    assert options["commonoptions"]["outputformat"] == "4", options["commonoptions"]


class StandInMusicBrainz:
    """MusicBrainz and the Cover Art Archive on 127.0.0.1: the release of the demo disc, known
    by the disc id computed here from the image's own table of contents, and its cover behind
    the archive's redirect."""

    def __init__(self, disc, titles, cover):
        import hashlib  # noqa: PLC0415
        import http.server  # noqa: PLC0415
        import json  # noqa: PLC0415
        import threading  # noqa: PLC0415
        offsets = [disc.lead_out] + disc.starts + [0] * (99 - len(disc.starts))
        text = "%02X%02X" % (1, len(disc.starts)) + "".join("%08X" % o for o in offsets)
        digest = base64.b64encode(hashlib.sha1(text.encode()).digest()).decode()
        self.disc_id = digest.replace("+", ".").replace("/", "_").replace("=", "-")
        release = {"id": "e2e-release", "title": "Stand-In Album", "date": "1998-10-01",
                   "artist-credit": [{"name": "Stand-In Band", "joinphrase": ""}],
                   "media": [{"position": 1, "track-count": len(titles),
                              "discs": [{"id": self.disc_id}],
                              "tracks": [{"id": f"t{n}", "position": n, "title": t,
                                          "recording": {"id": f"rec{n}"}}
                                         for n, t in enumerate(titles, start=1)]}]}
        answer = json.dumps({"releases": [release]}).encode()
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802
                outer.requests.append((self.path, self.headers.get("User-Agent", "")))
                if self.path.startswith(f"/ws/2/discid/{outer.disc_id}?"):
                    self.reply(200, "application/json", answer)
                elif self.path == "/release/e2e-release/front":
                    self.send_response(307)
                    self.send_header("Location", "/images/front.jpg")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                elif self.path == "/images/front.jpg":
                    self.reply(200, "image/jpeg", cover)
                else:
                    self.reply(404, "application/json", b'{"error":"Not Found"}')

            def reply(self, status, kind, body):
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.address = f"http://127.0.0.1:{self.server.server_address[1]}"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def case_musicbrainz(c):
    """A disc without names names itself from MusicBrainz once the window is up: the titles
    ("/" and right-to-left text kept) in the list, artist, album and year in the header with
    the cover beside them, all kept for the disc at exit."""
    import io  # noqa: PLC0415
    from PIL import Image  # noqa: PLC0415
    disc = checks.Disc(c.folder.file(DEMO_CUE))
    titles = ["Opening / Overture", "שלום", "Third", "Fourth", "Fifth",
              "Last"]
    image = io.BytesIO()
    Image.new("RGB", (120, 120), (200, 60, 40)).save(image, "JPEG")
    server = StandInMusicBrainz(disc, titles, image.getvalue())
    try:
        c.folder.write_options(f"[MusicBrainz]\r\nServer={server.address}\r\n"
                               f"CoverArtServer={server.address}\r\nAutoLookup=1\r\n"
                               "[AccurateRip]\r\nEnabled=0\r\n[CommonOptions]\r\nOutputFormat=4\r\n"
                               "NamePattern=%A/%d/%n - %t\r\n")
        c.start(rows=6)
        wait_for("the names from MusicBrainz", lambda: c.titles() == titles)
        artist = wait_for("the artist field", lambda: ui.find(c.main, "text", "Artist"))
        wait_for("the artist in the header", lambda: ui.text_of(artist) == "Stand-In Band")
        assert ui.text_of(ui.find(c.main, "text", "Album")) == "Stand-In Album"
        assert ui.text_of(ui.find(c.main, "text", "Year")) == "1998"
        wait_for("where the names came from",
                 lambda: ui.find(c.main, "label", "Names from MusicBrainz"))
        cover = wait_for("the cover", lambda: ui.find(c.main, None, "Cover"))
        wait_for("the cover shown", lambda: cover.description == "Front cover")
        x, y, w, h = ui.extents(cover)
        assert w >= 90 and h >= 90, f"the cover is {w}x{h}"
        c.wait_status(DEMO_STATUS)
        c.desktop.screenshot(os.path.join(c.out, "musicbrainz-header.png"))
        # The keyboard goes from the track list into the header.
        ui.click(ui.find(c.main, "status bar"))
        wait_for("the list to have the focus", lambda: ui.is_focused(c.tree))
        ui.key("Tab")
        ui.wait_focused(artist, "Artist")
        agents = {agent for _, agent in server.requests}
        assert all(a.startswith("Platterly/") for a in agents), agents
        assert any(p.startswith(f"/ws/2/discid/{server.disc_id}?") for p, _ in server.requests), \
            server.requests
        # The first track ripped: the cover beside it and inside it, with the release's ids.
        ui.press(ui.menu_item(c.app, "Edit", "Select None"))
        wait_for("every row unticked", lambda: not any(ui.is_checked(c.cell(r, 0)) for r in range(6)))
        ui.ctrl_click(c.cell(0, 1))
        wait_for("row 1 ticked", lambda: ui.is_checked(c.cell(0, 0)))
        ui.press(ui.find(c.main, "push button", "Extract"), opens_modal=True)
        album = c.folder.file("Output", "Stand-In Band", "Stand-In Album")
        flac = os.path.join(album, "01 - Opening - Overture.flac")
        c.wait_job("rip", lambda: os.path.exists(flac), timeout=120)
        assert ripped(album) == ["01 - Opening - Overture.flac", "cover.jpg"], \
            os.listdir(album)
        with open(os.path.join(album, "cover.jpg"), "rb") as f:
            assert f.read() == image.getvalue()
        embedded = c.folder.file("embedded.jpg")
        subprocess.run(["metaflac", f"--export-picture-to={embedded}", flac], check=True,
                       timeout=30)
        with open(embedded, "rb") as f:
            assert f.read() == image.getvalue()
        tags = subprocess.run(["metaflac", "--export-tags-to=-", flac], check=True,
                              capture_output=True, text=True, timeout=30).stdout.splitlines()
        for want in ("ALBUMARTIST=Stand-In Band", "MUSICBRAINZ_ALBUMID=e2e-release",
                     "MUSICBRAINZ_TRACKID=rec1", f"MUSICBRAINZ_DISCID={server.disc_id}"):
            assert want in tags, f"{want!r} not in {tags}"
        c.exit_program()
    finally:
        server.close()
    info, _ = checks.read_profile(c.folder.file("cdinfo.dat"))
    section = info[disc.key().lower()]
    assert section.get("1") == titles[0] and section.get("2") == titles[1], section
    assert section.get("source") == "MusicBrainz", section
    assert os.path.exists(c.folder.file("covers", disc.key() + ".jpg"))


def case_parallel_rip(c):
    """Six tracks ripped to MP3 with two encoders: the job window shows the drive and both
    encoders at once, every track ends as its own MP3, and no WAV or partial file is left."""
    # Tracks long enough that the encoders are still at work when the window is looked at.
    c.folder.replace_discs("Parallel Test", "60s", "60s", "60s", "60s", "60s", "60s")
    c.folder.write_options("[MusicBrainz]\r\nAutoLookup=0\r\n[AccurateRip]\r\nEnabled=0\r\n"
                           "[CommonOptions]\r\nParallelEncoders=2\r\n")
    output = c.folder.file("Output")
    c.start(rows=6)
    ui.press(ui.find(c.main, "push button", "Extract"), opens_modal=True)

    def lines():
        job = next((w for w in ui.windows(c.app) if ui.plain(w.name) not in (MAIN, BOX)), None)
        label = job and next((l for l in ui.find_all(job, "label")
                              if l.name.startswith(("Encoding", "Extracting"))), None)
        return label.name.split("\n") if label else []

    wait_for("two encoders in the job window",
             lambda: sum(line.startswith("Encoding") for line in lines()) == 2, timeout=60)
    c.moment("two-encoders")
    mp3s = [os.path.join(output, f"Track0{n}.mp3") for n in range(1, 7)]
    c.wait_job("parallel rip", lambda: all(os.path.exists(p) for p in mp3s), timeout=120)
    assert ripped(output) == [os.path.basename(p) for p in mp3s], os.listdir(output)
    for path in mp3s:
        info = checks.probe(path)
        assert info["codec"] == "mp3" and abs(info["duration"] - 60) < 0.2, f"{path}: {info}"
    c.exit_program()


def accuraterip_ids(disc):
    """The disc's AccurateRip ids and CDDB id, computed here from the image's table."""
    starts = [s - checks.LEAD_IN for s in disc.starts]
    lead_out = disc.lead_out - checks.LEAD_IN
    id1 = (sum(starts) + lead_out) & 0xFFFFFFFF
    id2 = (sum(max(s, 1) * n for n, s in enumerate(starts, start=1))
           + lead_out * (len(starts) + 1)) & 0xFFFFFFFF
    digits = sum(sum(int(d) for d in str(s // 75)) for s in disc.starts)
    seconds = disc.lead_out // 75 - disc.starts[0] // 75
    cddb = ((digits % 255) << 24) | (seconds << 8) | len(starts)
    return len(starts), id1, id2, cddb


class StandInAccurateRip:
    """The AccurateRip database on 127.0.0.1: the disc's dBAR file with the checksums given,
    or 404 for everything."""

    def __init__(self, ids):
        import http.server  # noqa: PLC0415
        import threading  # noqa: PLC0415
        count, id1, id2, cddb = ids
        self.path = (f"/accuraterip/{id1 & 0xF:x}/{id1 >> 4 & 0xF:x}/{id1 >> 8 & 0xF:x}/"
                     f"dBAR-{count:03d}-{id1:08x}-{id2:08x}-{cddb:08x}.bin")
        self.header = bytes([count]) + b"".join(v.to_bytes(4, "little") for v in (id1, id2, cddb))
        self.crcs = None  # None: not in the database
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802
                outer.requests.append(self.path)
                if self.path == outer.path and outer.crcs is not None:
                    body = outer.header + b"".join(
                        bytes([9]) + crc.to_bytes(4, "little") + bytes(4) for crc in outer.crcs)
                    self.send_response(200)
                else:
                    body = b"Not Found"
                    self.send_response(404)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.address = f"http://127.0.0.1:{self.server.server_address[1]}"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def track_sums(disc, work):
    """Each track's copy CRC (zlib) and AccurateRip v1 and v2 (whipper's accuraterip-checksum,
    an implementation independent of the program's), from the image's own bytes."""
    import wave  # noqa: PLC0415
    import zlib  # noqa: PLC0415
    bin_path = os.path.splitext(disc.cue)[0] + ".bin"
    bounds = disc.starts + [disc.lead_out]
    count = len(disc.starts)
    sums = []
    with open(bin_path, "rb") as f:
        for n in range(count):
            f.seek((bounds[n] - disc.starts[0]) * checks.SECTOR_BYTES)
            pcm = f.read((bounds[n + 1] - bounds[n]) * checks.SECTOR_BYTES)
            path = os.path.join(work, f"track{n + 1}.wav")
            with wave.open(path, "wb") as w:
                w.setnchannels(2)
                w.setsampwidth(2)
                w.setframerate(44100)
                w.writeframes(pcm)
            versions = []
            for flag in ("--accuraterip-v1", "--accuraterip-v2"):
                out = subprocess.run(["accuraterip-checksum", flag, path, str(n + 1), str(count)],
                                     check=True, capture_output=True, text=True, timeout=60)
                versions.append(int(out.stdout.strip(), 16))
            sums.append((zlib.crc32(pcm), *versions))
    return sums


def read_cue(path):
    """A cue sheet's FILE names and, per file, its TRACK number and INDEX 01 time in frames."""
    files = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            m = re.match(r'FILE "(.*)" (WAVE|MP3)$', line)
            if m:
                files.append({"file": m.group(1), "pregap": 0})
            m = re.match(r"TRACK (\d\d) AUDIO$", line)
            if m:
                files[-1]["track"] = int(m.group(1))
            m = re.match(r"(INDEX 01|PREGAP) (\d\d):(\d\d):(\d\d)$", line)
            if m:
                frames = (int(m.group(2)) * 60 + int(m.group(3))) * 75 + int(m.group(4))
                files[-1]["index01" if m.group(1) == "INDEX 01" else "pregap"] = frames
    return files


def case_verified_rip(c):
    """Rips checked against a stand-in AccurateRip database: accurate, a mismatch, a disc not
    in the database and no server at all. Each rip finishes without a message box; the log
    beside the tracks holds the checksums computed here and each track's result, the cue sheet
    names the files written at the table's positions, and the main window's result bar says
    how it went."""
    c.folder.replace_discs("Verify Test", "3s", "4s", "2s")
    disc = checks.Disc(c.folder.file("discs", "Verify Test.cue"))
    output = c.folder.file("Output")
    os.makedirs(output, exist_ok=True)
    sums = track_sums(disc, c.out)
    server = StandInAccurateRip(accuraterip_ids(disc))
    log_path = os.path.join(output, "Unknown Artist - Unknown Album.log")
    cue_path = os.path.join(output, "Unknown Artist - Unknown Album.cue")
    options = ("[CommonOptions]\r\nOutputFormat=1\r\n[MusicBrainz]\r\nAutoLookup=0\r\n"
               "[AccurateRip]\r\nServer={}\r\n")

    def rip(results, summary):
        for name in os.listdir(output):
            os.remove(os.path.join(output, name))
        ui.press(ui.find(c.main, "push button", "Extract"), opens_modal=True)
        c.wait_job("rip", lambda: os.path.exists(log_path), timeout=60)
        bar = wait_for("the result bar", lambda: ui.find(c.main, None, "Job result"), timeout=20)
        wait_for("the summary", lambda: ui.find(bar, "label", summary), timeout=20)
        assert ui.find(bar, "push button", "Open Folder") is not None
        assert ui.find(bar, "push button", os.path.basename(log_path)) is not None
        c.moment(f"result-{len(server.requests)}")
        with open(log_path, encoding="utf-8") as f:
            log = f.read()
        for n, ((crc, v1, v2), result) in enumerate(zip(sums, results), start=1):
            line = (f"Track {n:02d}  copy CRC {crc:08X}  AccurateRip v1 {v1:08X}  v2 {v2:08X}  "
                    f"{result}\n")
            assert line in log, f"{line!r} not in the log:\n{log}"
        assert summary in log, log
        cue = read_cue(cue_path)
        assert [e["track"] for e in cue] == list(range(1, len(sums) + 1)), cue
        start = cue[0]["pregap"]
        for entry, toc_start in zip(cue, disc.starts):
            path = os.path.join(output, entry["file"])
            assert os.path.isfile(path), path
            # One file per track, each from its INDEX 01: the files laid end to end after the
            # first track's pre-gap start where the table of contents says.
            assert entry["index01"] == 0, entry
            assert start == toc_start - checks.LEAD_IN, (entry, start, toc_start)
            start += (os.path.getsize(path) - 44) // checks.SECTOR_BYTES
        assert start == disc.lead_out - checks.LEAD_IN

    try:
        c.folder.write_options(options.format(server.address))
        c.start(rows=3)
        server.crcs = [v1 for _, v1, _ in sums]
        rip(["accurately ripped (confidence 9)"] * 3, "All 3 tracks accurately ripped")
        server.crcs = [sums[0][1], sums[1][1] ^ 0x10, sums[2][2]]  # track 3 matches its v2
        rip(["accurately ripped (confidence 9)", "mismatch", "accurately ripped (confidence 9)"],
            "2 of 3 tracks accurately ripped; mismatch: tracks 02")
        server.crcs = None
        rip(["not in database"] * 3, "0 of 3 tracks accurately ripped; not verified: tracks "
            "01, 02, 03")
        # One request per rip, for this disc's file.
        assert server.requests == [server.path] * 3, server.requests
        bar = ui.find(c.main, None, "Job result")
        ui.press(ui.find(bar, "push button", "Close"))
        wait_for("the result bar to go",
                 lambda: ui.find(c.main, None, "Job result") is None, timeout=10)
        c.exit_program()
    finally:
        server.close()
    # Nothing listens there any more: the rip finishes all the same.
    c.folder.write_options(options.format(server.address))
    c.start(rows=3)
    rip(["could not be verified"] * 3, "0 of 3 tracks accurately ripped; not verified: tracks "
        "01, 02, 03")
    c.exit_program()


CASES = {
    "track_list": case_track_list,
    "rename": case_rename,
    "rip_mp3": case_rip_mp3,
    "two_discs": case_two_discs,
    "wav_to_ogg": case_wav_to_ogg,
    "options": case_options,
    "recorder": case_recorder,
    "names_kept": case_names_kept,
    "keyboard": case_keyboard,
    "dark_theme": case_dark_theme,
    "library_rip": case_library_rip,
    "musicbrainz": case_musicbrainz,
    "parallel_rip": case_parallel_rip,
    "verified_rip": case_verified_rip,
}


def run(name, build_bin, out_root):
    started = time.monotonic()
    case = None
    passed = False
    try:
        case = Case(name, build_bin, out_root)
        CASES[name](case)
        passed = True
    except Exception:  # noqa: BLE001
        traceback.print_exc()
        if case is not None:
            shot = case.desktop.screenshot(os.path.join(case.out, f"{name}-failure.png"))
            if shot:
                print(f"screenshot of the failure: {shot}")
            print(f"program output and folder: {case.out}")
    finally:
        if case is not None:
            case.close(passed)
    print(f"{name}: {'passed' if passed else 'FAILED'} in {time.monotonic() - started:.1f} s")
    return passed


def check_prerequisites(build_bin):
    """Everything the cases need, named when missing, so a broken set-up reads as one
    failure rather than five time-outs."""
    missing = []
    for name in ("platterly", "WM8EUTIL", "makedisc", DEMO_CUE):
        if not os.path.exists(os.path.join(build_bin, name)):
            missing.append(os.path.join(build_bin, name) + " (build the project first)")
    for tool in ("Xvfb", "dbus-launch", "dbus-send", "/usr/libexec/at-spi-bus-launcher",
                 "/usr/bin/import", "ffprobe", "sox", "lame", "metaflac", "accuraterip-checksum"):
        if shutil.which(tool) is None:
            missing.append(tool + " (scripts/install-deps.sh installs it)")
    try:
        import gi  # noqa: PLC0415
        gi.require_version("Atspi", "2.0")
    except (ImportError, ValueError) as e:
        missing.append(f"python3-pyatspi for {sys.executable} ({e})")
    for m in missing:
        print(f"missing: {m}")
    return not missing


def main():
    # ctest ends a case that overruns with SIGTERM: tear the desktop down on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the build's program folder")
    parser.add_argument("--out", default=".", help="where each case keeps its output")
    parser.add_argument("--check", action="store_true", help="only check the prerequisites")
    parser.add_argument("cases", nargs="*", default=list(CASES))
    args = parser.parse_args()
    if args.check:
        return 0 if check_prerequisites(args.bin) else 1
    unknown = [n for n in args.cases if n not in CASES]
    if unknown:
        parser.error(f"unknown cases {unknown}; known: {list(CASES)}")
    if len(args.cases) == 1:
        return 0 if run(args.cases[0], os.path.abspath(args.bin), os.path.abspath(args.out)) else 1
    # The accessibility library binds to one bus per process: one process per case.
    failed = [n for n in args.cases
              if subprocess.run([sys.executable, os.path.abspath(__file__), "--bin", args.bin,
                                 "--out", args.out, n]).returncode != 0]
    if failed:
        print(f"failed: {' '.join(failed)}")
    return 1 if failed else 0

if __name__ == "__main__":
    sys.exit(main())
