#!/usr/bin/env python3
"""Load... and Save... of the real Farlink.exe under Wine, worked through the file dialogs,
and the /PROFILE: start option: what the operator sees and what lands on disk."""
import contextlib
import json
import os
import resource
import struct
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from farlink_driver import Window  # noqa: E402
from farlink_wine import (MAIN_CAPTION, WineUnavailable, run_cases, wait_for,  # noqa: E402
                          wine_loader)

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "station"))
from station_process import Station  # noqa: E402

LOAD, SAVE = 4, 5
DIAL_NUMBER, MY_NUMBER, USERNAME, PASSWORD, DOMAIN = 1002, 1003, 1004, 1005, 1006
TEXT_FIELDS = (DIAL_NUMBER, MY_NUMBER, USERNAME, PASSWORD, DOMAIN)
LINE_LIST, PORT_LIST, DELAY = 1001, 1007, 1012
DIAL, STATUS = 3, 1008
DIRECT_RADIO, MODEM_RADIO = 1010, 1011


def profile_bytes(line, texts, comm_type, port, delay):
    """A profile as the format documents it, built independently of the program."""
    out = struct.pack("<i", line)
    for text in texts:
        raw = text.encode("cp1252")
        out += struct.pack("<H", len(raw))
        for code in reversed(raw):
            digits = str((code - 256 if code > 127 else code) * len(raw)).encode()
            out += bytes([len(digits)]) + digits
    return out + struct.pack("<iiii", 1, comm_type, port, delay)


SITE_TEXTS = ("5551234", "5550100", "J\u00f6rg", "s\u00e9cret!", "WORKGROUP")
SITE = profile_bytes(-1, SITE_TEXTS, 1, 1, 45)


def fields(dlg):
    """Everything Load can change, as the operator sees it."""
    return dict(texts=tuple(dlg.text(i) for i in TEXT_FIELDS), delay=dlg.text(DELAY),
                direct=dlg.checked(DIRECT_RADIO), modem=dlg.checked(MODEM_RADIO),
                port=dlg.combo(PORT_LIST)[0], line=dlg.combo(LINE_LIST)[0],
                enabled={i: dlg.enabled(i) for i in (LINE_LIST, PORT_LIST, DELAY, DIAL_NUMBER)})


def fill(dlg, texts, delay, direct, port):
    """Types values in as an operator would: each field while its type enables it."""
    dlg.click(MODEM_RADIO)
    for control, text in zip(TEXT_FIELDS, texts):
        dlg.set_text(control, text)
    dlg.click(DIRECT_RADIO)
    dlg.set_text(DELAY, delay)
    dlg.select(PORT_LIST, port)
    if not direct:
        dlg.click(MODEM_RADIO)


def file_dialog(s, dlg, command):
    """Clicks Load... or Save... and returns the file dialog it opens."""
    assert dlg.click(command) == "modal"
    return dlg.wait_owned()


def profile_folder(s):
    """The program's current folder, where the file dialogs start."""
    return s.prefix / "drive_c" / "Farlink"


def file_identity(path):
    """Which file is at path now (None: none); a rename over it gives it a new identity."""
    try:
        info = path.stat()
    except FileNotFoundError:
        return None
    return info.st_dev, info.st_ino


def saved_profile(dlg, path, replaces=None):
    """The bytes of a profile once Save has put it in place.

    Save writes a temporary file and renames it over the path, so the save has ended once the
    path names a file other than `replaces` (file_identity() taken before Save) and no
    temporary file is left. Waiting only for the path to exist would read an old file early.
    """
    dlg.text(DIAL_NUMBER)  # answered only once the dialog is back from Save
    wait_for(lambda: file_identity(path) not in (None, replaces)
             and not list(path.parent.glob("*.tmp")), 10, what="%s in place" % path.name)
    return path.read_bytes()


def expect_no_box(s, dlg):
    """Nothing modal opened: the main dialog still takes clicks at once."""
    time.sleep(0.5)
    boxes = [w for w in s.driver().windows() if w[0] != dlg.handle and w[2] == "#32770"]
    assert not boxes, "unexpected box: %r" % boxes


def error_box(dlg):
    box = dlg.wait_owned()
    caption, text, buttons = box.message_box()
    box.press(buttons[0])
    box.wait_gone()
    return caption, text


def check_save_then_load_restores_everything(args):
    with args.session(com_ports=["COM1", "COM3"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        assert dlg.combo(PORT_LIST)[1] == ["COM1", "COM3"]
        fill(dlg, SITE_TEXTS, "45", direct=True, port=1)
        saved = fields(dlg)

        fd = file_dialog(s, dlg, SAVE)
        assert fd.caption() == "Save Configuration", fd.caption()
        texts = [c["text"] for c in fd.controls()]
        assert "*.cfg" in texts, texts
        assert any(t.startswith("Farlink Files (*.cfg)") for t in texts), texts
        fd.file_dialog_save("site.cfg")
        fd.wait_gone()
        folder = profile_folder(s)
        on_disk = saved_profile(dlg, folder / "site.cfg")
        assert on_disk == SITE, on_disk
        assert not list(folder.glob("*.tmp")), list(folder.iterdir())

        # Saving over it asks first; No keeps the file and the dialog open.
        fd = file_dialog(s, dlg, SAVE)
        assert fd.file_dialog_save("site.cfg", overwrite=False) == "modal"
        fd.file_dialog_cancel()
        fd.wait_gone()
        assert (folder / "site.cfg").read_bytes() == SITE

        fill(dlg, ("1", "2", "3", "4", "5"), "99", direct=False, port=0)
        assert fields(dlg) != saved
        fd = file_dialog(s, dlg, LOAD)
        assert fd.caption() == "Load Configuration", fd.caption()
        fd.file_dialog_open("site.cfg")
        fd.wait_gone()
        loaded = fields(dlg)
        assert loaded == saved, (loaded, saved)
        assert loaded["direct"] == 1 and loaded["modem"] == 0
        assert loaded["enabled"] == {LINE_LIST: False, PORT_LIST: True, DELAY: True,
                                     DIAL_NUMBER: False}

        # A profile of the Modem type brings the modem fields back.
        (folder / "modem.cfg").write_bytes(profile_bytes(-1, ("9", "8", "7", "", "6"), 0, 0, 30))
        fd = file_dialog(s, dlg, LOAD)
        fd.file_dialog_open("modem.cfg")
        fd.wait_gone()
        loaded = fields(dlg)
        assert loaded["texts"] == ("9", "8", "7", "", "6"), loaded
        assert (loaded["modem"], loaded["direct"], loaded["port"]) == (1, 0, 0), loaded
        assert loaded["enabled"] == {LINE_LIST: True, PORT_LIST: False, DELAY: False,
                                     DIAL_NUMBER: True}


def check_unusual_values_are_taken_as_they_stand(args):
    with args.session(com_ports=["COM1", "COM3"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        # A list position this machine does not have, a type that is neither 0 nor 1 and a
        # Delay below its range.
        (profile_folder(s) / "odd.cfg").write_bytes(profile_bytes(5, ("1",) * 5, 7, 5, 10))
        fd = file_dialog(s, dlg, LOAD)
        fd.file_dialog_open("odd.cfg")
        fd.wait_gone()
        loaded = fields(dlg)
        assert (loaded["port"], loaded["line"], loaded["delay"]) == (-1, -1, "10"), loaded
        assert (loaded["direct"], loaded["modem"]) == (1, 0), loaded
        assert loaded["enabled"] == {LINE_LIST: False, PORT_LIST: False, DELAY: False,
                                     DIAL_NUMBER: False}, loaded


def check_cancel_changes_nothing(args):
    with args.session(com_ports=["COM1", "COM3"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        fill(dlg, SITE_TEXTS, "45", direct=True, port=1)
        before = fields(dlg)
        folder = profile_folder(s)
        files_before = sorted(p.name for p in folder.iterdir())
        (folder / "other.cfg").write_bytes(profile_bytes(0, ("x",) * 5, 0, 0, 200))
        for command in (SAVE, LOAD):
            fd = file_dialog(s, dlg, command)
            fd.file_dialog_cancel()
            fd.wait_gone()
            assert fields(dlg) == before
        assert sorted(p.name for p in folder.iterdir()) == sorted(files_before + ["other.cfg"])


def check_damaged_profile_leaves_the_fields(args):
    with args.session(com_ports=["COM1", "COM3"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        fill(dlg, ("a", "b", "c", "d", "e"), "60", direct=False, port=0)
        before = fields(dlg)
        folder = profile_folder(s)
        full = profile_bytes(-1, ("111", "222", "333", "password", "dom"), 1, 1, 100)
        password_at = len(profile_bytes(-1, ("111", "222", "333", "", ""), 1, 1, 100)) - 20
        # Inside the Password's items; and a hostile item that claims 2^63 characters.
        (folder / "cut.cfg").write_bytes(full[:password_at + 2 + 7])
        (folder / "huge.cfg").write_bytes(
            struct.pack("<iH", -1, 1) + b"\xff\xff\xff\xff\xff\xff\xff" + b"\xff" * 7 + b"\x7f9")
        for name in ("cut.cfg", "huge.cfg"):
            fd = file_dialog(s, dlg, LOAD)
            fd.file_dialog_open(name)
            fd.wait_gone()
            expect_no_box(s, dlg)
            assert fields(dlg) == before, (name, fields(dlg), before)

        # What the damaged file put into the record is not what a Save writes: the exchange
        # from the controls runs first.
        fd = file_dialog(s, dlg, SAVE)
        fd.file_dialog_save("after.cfg")
        fd.wait_gone()
        assert saved_profile(dlg, folder / "after.cfg") == profile_bytes(
            -1, ("a", "b", "c", "d", "e"), 0, 0, 60)



def check_cut_profile_keeps_the_link_type(args):
    """A Direct profile cut inside the Delay, loaded while Modem is chosen: the buttons, the
    enabled controls and what Dial and Save act on all stay Modem."""
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        fill(dlg, ("a", "b", "c", "d", "e"), "60", direct=False, port=0)
        before = fields(dlg)
        folder = profile_folder(s)
        # Type Direct and port 0 (the entry already chosen) are read; the Delay is not.
        (folder / "cut.cfg").write_bytes(profile_bytes(-1, SITE_TEXTS, 1, 0, 45)[:-2])
        fd = file_dialog(s, dlg, LOAD)
        fd.file_dialog_open("cut.cfg")
        fd.wait_gone()
        expect_no_box(s, dlg)
        assert fields(dlg) == before, (fields(dlg), before)

        # Modem with no modem lines: Dial does nothing, and certainly nothing on COM1.
        dlg.click(DIAL)
        time.sleep(2.5)  # a direct dial sends its connection request after 1 s
        assert station.received() == [], station.received()
        assert dlg.text(STATUS) == "Ready to make a call.\r\r\n", dlg.text(STATUS)
        fd = file_dialog(s, dlg, SAVE)
        fd.file_dialog_save("after.cfg")
        fd.wait_gone()
        assert saved_profile(dlg, folder / "after.cfg") == profile_bytes(
            -1, ("a", "b", "c", "d", "e"), 0, 0, 60)

@contextlib.contextmanager
def unwritable(path):
    """Makes a file or folder unwritable even for root (the immutable attribute), meanwhile."""
    if subprocess.run(["chattr", "+i", str(path)], capture_output=True).returncode != 0:
        if os.geteuid() == 0:
            raise WineUnavailable("cannot make %s unwritable here (chattr)" % path)
        path.chmod(0o555 if path.is_dir() else 0o444)
    try:
        yield
    finally:
        subprocess.run(["chattr", "-i", str(path)], capture_output=True)
        path.chmod(0o755 if path.is_dir() else 0o644)


def check_unwritable_target_shows_the_error_box(args):
    with args.session(com_ports=["COM1"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        folder = profile_folder(s)
        locked = folder / "locked.cfg"
        locked.write_bytes(SITE)
        dlg.set_text(DIAL_NUMBER, "new number")
        # A file that cannot be written, then a new file in a folder in which no file can be
        # made: the old profile stays as it was and no partial file is left behind.
        for target, name in ((locked, "locked.cfg"), (folder, "new.cfg")):
            with unwritable(target):
                fd = file_dialog(s, dlg, SAVE)
                fd.file_dialog_save(name)
                fd.wait_gone()
                caption, text = error_box(dlg)
            assert caption == MAIN_CAPTION, caption
            assert text == "Access to C:\\Farlink\\%s was denied." % name, text
            assert locked.read_bytes() == SITE
            assert sorted(p.name for p in folder.iterdir()) == ["Farlink.exe", "locked.cfg"]

        # The profile already in such a folder may still be written: it is, in place.
        with unwritable(folder):
            fd = file_dialog(s, dlg, SAVE)
            fd.file_dialog_save("locked.cfg")
            fd.wait_gone()
            expect_no_box(s, dlg)
            assert locked.read_bytes() == profile_bytes(
                -1, ("new number", "", "", "", ""), 0, 0, 30)
        assert sorted(p.name for p in folder.iterdir()) == ["Farlink.exe", "locked.cfg"]


def attrib(s, *arguments):
    """Runs the prefix's attrib.exe; returns what it printed."""
    program = s.prefix / "drive_c" / "windows" / "system32" / "attrib.exe"
    code, output = s.run(program, list(arguments))
    assert code == 0, (arguments, output)
    return output


def set_attributes(s, path, bits):
    for bit in bits.split():  # Wine's attrib takes one at a time
        attrib(s, bit, s.windows_path(path))


def get_attributes(s, path):
    """The hidden, read-only and system bits of a file, as letters ("H", "R", "S")."""
    name = s.windows_path(path).lower()
    for line in attrib(s, s.windows_path(path)).splitlines():
        if line.lower().rstrip().endswith(name):
            flags = line[:len(line.rstrip()) - len(name)]
            return set(flags) & {"H", "R", "S"}
    raise AssertionError("attrib did not list %s" % name)


def check_save_keeps_what_the_user_set_on_the_file(args):
    """Save over a hidden profile keeps it hidden; a read-only one is refused and stays so; a
    profile reached through a link is written where the link points, and the link stays."""
    with args.session(com_ports=["COM1"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        folder = profile_folder(s)
        dlg.set_text(DIAL_NUMBER, "new number")
        saved = profile_bytes(-1, ("new number", "", "", "", ""), 0, 0, 30)
        for name, bits in (("hidden.cfg", "+h"), ("both.cfg", "+h +r")):
            (folder / name).write_bytes(SITE)
            set_attributes(s, folder / name, bits)
        fd = file_dialog(s, dlg, SAVE)
        fd.file_dialog_save("hidden.cfg")
        fd.wait_gone()
        expect_no_box(s, dlg)
        got = saved_profile(dlg, folder / "hidden.cfg")
        assert got == saved, (got, saved)
        assert get_attributes(s, folder / "hidden.cfg") == {"H"}, \
            get_attributes(s, folder / "hidden.cfg")

        fd = file_dialog(s, dlg, SAVE)
        fd.file_dialog_save("both.cfg")
        fd.wait_gone()
        assert error_box(dlg)[1] == "Access to C:\\Farlink\\both.cfg was denied."
        assert (folder / "both.cfg").read_bytes() == SITE
        assert get_attributes(s, folder / "both.cfg") == {"H", "R"}, \
            get_attributes(s, folder / "both.cfg")

        real = folder / "sites"
        real.mkdir()
        (real / "north.cfg").write_bytes(SITE)
        (folder / "north.cfg").symlink_to(real / "north.cfg")
        fd = file_dialog(s, dlg, SAVE)
        fd.file_dialog_save("north.cfg")
        fd.wait_gone()
        expect_no_box(s, dlg)
        assert saved_profile(dlg, real / "north.cfg") == saved
        assert (folder / "north.cfg").is_symlink()
        assert not list(folder.glob("*.tmp")) and not list(real.glob("*.tmp"))


def check_failed_write_keeps_the_old_profile(args):
    """A save that fails half-way (here: the process may not write files past 64 KiB) leaves
    the earlier profile as it was and no partial file."""
    with args.session(com_ports=["COM1"]) as s:
        exe = s.install(os.environ["FARLINK_EXE"])
        folder = exe.parent
        (folder / "site.cfg").write_bytes(SITE)
        limit = 64 * 1024

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        # Python ignores SIGXFSZ; keeping that makes an oversized write fail instead of
        # killing the process.
        with open(s.run_dir / "Farlink-limited.stderr", "w") as err:
            app = subprocess.Popen([wine_loader()[0], str(exe)], env=s.environment(),
                                   stdin=subprocess.DEVNULL, stdout=err, stderr=err, cwd=folder,
                                   start_new_session=True, restore_signals=False,
                                   preexec_fn=limit_file_size)
        try:
            dlg = s.driver().find_window(MAIN_CAPTION, timeout=30)
            dlg.set_text(PASSWORD, "p" * 20000)  # about 160 KB of profile
            fd = file_dialog(s, dlg, SAVE)
            fd.file_dialog_save("site.cfg")
            fd.wait_gone()
            caption, text = error_box(dlg)
            print("box after the failed write: %r" % text)
            assert caption == MAIN_CAPTION and "C:\\Farlink\\site.cfg" in text, text
            assert (folder / "site.cfg").read_bytes() == SITE
            assert sorted(p.name for p in folder.iterdir()) == ["Farlink.exe", "site.cfg"]

            # Where no temporary file can be made, the profile is written in place; a failure
            # there is reported just the same.
            with unwritable(folder):
                fd = file_dialog(s, dlg, SAVE)
                fd.file_dialog_save("site.cfg")
                fd.wait_gone()
                caption, text = error_box(dlg)
            assert caption == MAIN_CAPTION and "C:\\Farlink\\site.cfg" in text, text
            assert sorted(p.name for p in folder.iterdir()) == ["Farlink.exe", "site.cfg"]

            # The same save below the limit goes through: the size was the only obstacle.
            dlg.set_text(PASSWORD, "p")
            old = file_identity(folder / "site.cfg")
            fd = file_dialog(s, dlg, SAVE)
            fd.file_dialog_save("site.cfg")
            fd.wait_gone()
            assert saved_profile(dlg, folder / "site.cfg", replaces=old) == profile_bytes(
                -1, ("", "", "", "p", ""), 0, 0, 30)
        finally:
            app.kill()
            app.wait()


def check_overlong_text_is_refused(args):
    with args.session(com_ports=["COM1"]) as s:
        s.start_farlink()
        dlg = s.driver().find_window(MAIN_CAPTION)
        dlg.set_text(PASSWORD, "p" * 65536)
        assert dlg.click(SAVE) == "modal"
        caption, text = error_box(dlg)
        assert caption == MAIN_CAPTION
        assert text.startswith("The Password text is longer than 65535 characters"), text
        assert not list(profile_folder(s).glob("*.cfg"))
        # At the limit it saves.
        dlg.set_text(PASSWORD, "p" * 65535)
        fd = file_dialog(s, dlg, SAVE)
        fd.file_dialog_save("long.cfg")
        fd.wait_gone()
        # Each item of 'p' (112 x 65535 = 7339920) is a length byte and seven digits.
        assert len(saved_profile(dlg, profile_folder(s) / "long.cfg")) == 30 + 65535 * 8


def check_profile_option_loads_at_start(args):
    with args.session(com_ports=["COM1", "COM3"]) as s:
        folder = profile_folder(s)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "site.cfg").write_bytes(SITE)
        s.start_farlink(["/DIAL:overridden", "/PROFILE:C:\\Farlink\\site.cfg"])
        dlg = s.driver().find_window(MAIN_CAPTION)
        loaded = fields(dlg)
        assert loaded["texts"] == SITE_TEXTS, loaded
        assert (loaded["direct"], loaded["port"], loaded["delay"]) == (1, 1, "45"), loaded
        assert loaded["enabled"][PORT_LIST] and not loaded["enabled"][DIAL_NUMBER]


def check_profile_option_missing_file_shows_the_error_box(args):
    with args.session(com_ports=["COM1"]) as s:
        app = s.start_farlink(["/PROFILE:C:\\Farlink\\missing.cfg"], wait_window=False)
        ui = s.driver()
        expected = "C:\\Farlink\\missing.cfg was not found."

        def box_up():
            for handle, _pid, cls, caption in ui.windows():
                if cls == "#32770" and caption == MAIN_CAPTION:
                    box = Window(ui, handle)
                    if expected in box.message_box()[1]:
                        return box
            return None
        box = wait_for(box_up, 30, what="file-error box")
        box.press(box.message_box()[2][0])
        dlg = ui.find_window(MAIN_CAPTION)
        wait_for(lambda: dlg.text(DIAL_NUMBER) == "" and dlg.checked(MODEM_RADIO) == 1, 10,
                 what="dialog with its defaults")
        dlg.close()
        app.wait(20)


def check_profile_option_dials_the_station_unattended(args):
    """/PROFILE: /AUTODIAL /AUTOCLOSE: a whole direct exchange with the values of the profile."""
    with args.session(com_ports=["COM1"]) as s:
        folder = profile_folder(s)
        folder.mkdir(parents=True, exist_ok=True)
        texts = ("", "5550100", "operator", "s\u00e9cret", "FIELD")
        (folder / "site.cfg").write_bytes(profile_bytes(-1, texts, 1, 0, 45))
        station_log = s.run_dir / "station.jsonl"
        station = subprocess.Popen(
            [sys.executable, str(Path(__file__).resolve().parents[2] / "tools/station/station.py"),
             "--port", s.port("COM1").peer_end, "--log", str(station_log),
             "--max-s", "90"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            app = s.start_farlink(["/PROFILE:site.cfg", "/AUTODIAL", "/AUTOCLOSE"],
                                  wait_window=False)
            code = app.wait(90)
            assert code == 0, (code, app.trace()[-30:])
        finally:
            station.terminate()
            station.wait(10)
        frames = [json.loads(line) for line in station_log.read_text().splitlines()]
        kinds = [f["kind"] for f in frames if f["event"] == "frame"]
        # Auto-close ends the program right after the station's reply.
        assert kinds == ["connect", "login"], frames
        login = bytes.fromhex([f["payload"] for f in frames
                               if f["event"] == "frame" and f["kind"] == "login"][0])
        for text in texts[1:]:
            assert text.encode("cp1252") in login, (text, login)
        assert login.endswith(bytes([45, 0x10])), login  # the Delay byte


def check_damaged_profile_option_does_not_dial(args):
    """A profile cut short at start-up is read as far as it goes, without a message, and not
    dialled: the auto-dial is dropped and only the first status line appears."""
    with args.session(com_ports=["COM1"]) as s:
        folder = profile_folder(s)
        folder.mkdir(parents=True, exist_ok=True)
        # Cut inside the Delay: the type (Direct) and the port were already read.
        full = profile_bytes(-1, ("", "5550100", "operator", "pw", "FIELD"), 1, 0, 45)
        (folder / "cut.cfg").write_bytes(full[:-2])
        station_log = s.run_dir / "station.jsonl"
        station = subprocess.Popen(
            [sys.executable, str(Path(__file__).resolve().parents[2] / "tools/station/station.py"),
             "--port", s.port("COM1").peer_end, "--log", str(station_log), "--max-s", "60"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            app = s.start_farlink(["/PROFILE:cut.cfg", "/AUTODIAL"])
            dlg = s.driver().find_window(MAIN_CAPTION)
            wait_for(lambda: "Ready to make a call." in dlg.text(1008), 10, what="first line")
            time.sleep(3)  # a dial would have sent the connection request by now
            assert dlg.text(1008).count("\r\r\n") == 1, dlg.text(1008)
            dlg.close()
            app.wait(30)
        finally:
            station.terminate()
            station.wait(10)
        frames = [json.loads(line) for line in station_log.read_text().splitlines()
                  ] if station_log.exists() else []
        assert not [f for f in frames if f.get("event") == "frame"], frames


CASES = {
    "save_then_load": check_save_then_load_restores_everything,
    "unusual_values": check_unusual_values_are_taken_as_they_stand,
    "cancel": check_cancel_changes_nothing,
    "damaged_file": check_damaged_profile_leaves_the_fields,
    "cut_profile_type": check_cut_profile_keeps_the_link_type,
    "unwritable_target": check_unwritable_target_shows_the_error_box,
    "save_keeps_attributes": check_save_keeps_what_the_user_set_on_the_file,
    "failed_write": check_failed_write_keeps_the_old_profile,
    "overlong_text": check_overlong_text_is_refused,
    "profile_option": check_profile_option_loads_at_start,
    "profile_option_missing": check_profile_option_missing_file_shows_the_error_box,
    "profile_option_autodial": check_profile_option_dials_the_station_unattended,
    "damaged_profile_option": check_damaged_profile_option_does_not_dial,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
