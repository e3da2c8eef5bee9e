#!/usr/bin/env python3
"""The user's settings choose the dialog's language; the German module supplies it."""
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from farlink_wine import HarnessError, MAIN_CAPTION, run_cases  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "station"))
from station_process import Station  # noqa: E402

DIAL = 3
HANGUP = 6
CLOSE = 2
LOAD = 4
SAVE = 5
STATUS = 1008
ABOUT_COMMAND = 0x0010

ENGLISH = {DIAL: "&Dial", HANGUP: "&Hangup", CLOSE: "&Close", LOAD: "&Load...",
           SAVE: "&Save..."}
GERMAN = {DIAL: "&Wählen", HANGUP: "&Auflegen", CLOSE: "S&chließen", LOAD: "&Laden...",
          SAVE: "&Speichern..."}
GERMAN_READY = "Bereit zum Anrufen."
GERMAN_ABOUT = "Info über Farlink To WinCE"


def german_module(args):
    module = Path(args.exe).resolve().parent / "de" / "Farlink-EXE-mui.dll"
    if not module.exists():
        raise HarnessError("the German module was not built: %s" % module)
    return module


def ini(path, sections):
    """Writes a profile file: {"Section": {"Key": "value"}}."""
    path.parent.mkdir(parents=True, exist_ok=True)
    lines = []
    for section, values in sections.items():
        lines.append("[%s]" % section)
        lines += ["%s=%s" % item for item in values.items()]
    path.write_text("\r\n".join(lines) + "\r\n", encoding="cp1252")


def local_app_data(session):
    """The prefix user's local application-data folder (unix path)."""
    found = [p for p in (session.prefix / "drive_c" / "users").glob("*/AppData/Local")
             if p.parent.parent.name != "Public"]
    if len(found) != 1:
        raise HarnessError("no single local application-data folder in the prefix: %s" % found)
    return found[0]


def install(session, args, name="Farlink.exe", folder="Farlink", modules=(), module=None):
    """Copies the exe as C:\\<folder>\\<name>, and the German module (or `module`) to each
    relative path in `modules` under that folder. Returns the exe's unix path."""
    dest = session.prefix / "drive_c" / folder
    dest.mkdir(parents=True, exist_ok=True)
    exe = dest / name
    shutil.copy2(args.exe, exe)
    for relative in modules:
        target = dest / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(module or german_module(args), target)
    return exe


def start(session, exe):
    ui = session.driver()
    app = session.start(exe, name=exe.stem, ready=lambda: ui.try_find_window(MAIN_CAPTION))
    return app, ui.find_window(MAIN_CAPTION)


def labels(dlg):
    return {cid: dlg.text(cid) for cid in ENGLISH}


def close(app, dlg):
    dlg.press(CLOSE)
    app.wait(15)


def expect_language(session, exe, expected):
    app, dlg = start(session, exe)
    try:
        assert labels(dlg) == expected, labels(dlg)
    finally:
        close(app, dlg)


def user_settings(session, folder_name, culture):
    ini(local_app_data(session) / folder_name / "Program Settings.ini",
        {"Language": {"CultureName": culture}})


def start_german(session, args):
    """Installs the exe with the German module, names the product, has the user
    choose de-DE and starts it: (process, main dialog)."""
    exe = install(session, args, modules=["de/Farlink-EXE-mui.dll"])
    ini(exe.parent / "Program Settings.ini",
        {"OEM": {"CompanyID": "7", "ProductName": "Farlink"}, "Install": {"Version": "2.5"}})
    user_settings(session, "Farlink v2.5", "de-DE")
    return start(session, exe)


def case_german_dialog(args):
    """Installation settings name the product; the user's settings pick German."""
    with args.session(com_ports=()) as s:
        app, dlg = start_german(s, args)
        try:
            assert dlg.caption() == MAIN_CAPTION, dlg.caption()
            assert labels(dlg) == GERMAN, labels(dlg)
            assert dlg.text(STATUS).startswith(GERMAN_READY), dlg.text(STATUS)
            # The two type buttons must form one group in the translated layout too.
            assert (dlg.checked(1010), dlg.checked(1011)) == (0, 1)
            dlg.click(1010)
            assert (dlg.checked(1010), dlg.checked(1011)) == (1, 0)
            assert dlg.enabled(1007) and not dlg.enabled(1002)
            dlg.click(1011)
            s.screenshot("language-german-dialog")
            dlg.syscommand(ABOUT_COMMAND)
            box = s.driver().find_window(GERMAN_ABOUT, timeout=10)
            s.screenshot("language-german-about")
            box.press(1)
            box.wait_gone(10)
        finally:
            close(app, dlg)


def case_en_us_any_case(args):
    """en-US in any mix of case keeps the executable's English, even with modules around."""
    for culture in ("en-US", "EN-us"):
        with args.session(com_ports=()) as s:
            exe = install(s, args, modules=["Farlink-EXE-mui.dll", "en-US/Farlink-EXE-mui.dll"])
            user_settings(s, "", culture)
            expect_language(s, exe, ENGLISH)


def case_unknown_culture_uses_program_folder(args):
    """A culture without a folder looks for the module beside the executable."""
    with args.session(com_ports=()) as s:
        exe = install(s, args, modules=["Farlink-EXE-mui.dll"])
        user_settings(s, "", "xx-YY")
        expect_language(s, exe, GERMAN)


def case_company_40_drops_version(args):
    """CompanyID 40 names the user's folder after the product alone."""
    for company, expected in (("40", GERMAN), ("41", ENGLISH)):
        with args.session(com_ports=()) as s:
            exe = install(s, args, modules=["de/Farlink-EXE-mui.dll"])
            ini(exe.parent / "Program Settings.ini",
                {"OEM": {"CompanyID": company, "ProductName": "P"}, "Install": {"Version": "7.0"}})
            user_settings(s, "P", "de")
            user_settings(s, "P v7.0", "en-US")
            expect_language(s, exe, expected)


def case_whole_path(args):
    """C:\\Tools\\Tool.exe, user culture de-AT, only a de folder: de\\Tool-EXE-mui.dll."""
    with args.session(com_ports=()) as s:
        exe = install(s, args, name="Tool.exe", folder="Tools",
                      modules=["de/Tool-EXE-mui.dll"])
        ini(exe.parent / "Program Settings.ini",
            {"OEM": {"ProductName": "P"}, "Install": {"Version": "7.0"}})
        user_settings(s, "P v7.0", "de-AT")
        expect_language(s, exe, GERMAN)


def case_culture_folder_without_module(args):
    """An fr-CA folder ends the search even when it holds no module."""
    with args.session(com_ports=()) as s:
        exe = install(s, args, modules=["fr/Farlink-EXE-mui.dll", "Farlink-EXE-mui.dll"])
        (exe.parent / "fr-CA").mkdir()
        user_settings(s, "", "fr-CA")
        expect_language(s, exe, ENGLISH)


def case_old_platform_uses_program_folder(args):
    """On a platform of major version 4 the program folder holds the user's settings."""
    with args.session(com_ports=()) as s:
        reg = s.prefix / "drive_c" / "windows" / "system32" / "reg.exe"
        code, _ = s.run(reg, ["add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "nt40",
                              "/f"])
        assert code == 0, code
        exe = install(s, args, modules=["de/Farlink-EXE-mui.dll"])
        ini(exe.parent / "Program Settings.ini",
            {"OEM": {"ProductName": "P"}, "Install": {"Version": "7.0"},
             "Language": {"CultureName": "de"}})
        user_settings(s, "P v7.0", "en-US")
        expect_language(s, exe, GERMAN)


def case_module_with_texts_101_to_129_only(args):
    """A module of an earlier release lacks the program's newer texts: its own English shows."""
    module = (Path(args.build_dir) / "tests" / "language" / "texts-101-129" /
              "Farlink-EXE-mui.dll")
    if not module.exists():
        raise HarnessError("the module with texts 101 to 129 was not built: %s" % module)
    with args.session(com_ports=["COM1"]) as s, Station(s):
        exe = install(s, args, modules=["de/Farlink-EXE-mui.dll"], module=module)
        ini(exe.parent / "Program Settings.ini",
            {"OEM": {"CompanyID": "7", "ProductName": "Farlink"}, "Install": {"Version": "2.5"}})
        user_settings(s, "Farlink v2.5", "de-DE")
        app, dlg = start(s, exe)
        try:
            assert labels(dlg) == GERMAN, labels(dlg)
            dlg.click(1010)  # Direct
            dlg.type(1012, "abc")
            assert dlg.focus(1004) == "modal"
            box = dlg.wait_owned(5)
            assert box.message_box()[1] == "Enter an integer.", box.message_box()
            s.screenshot("language-texts-101-129-integer-box")
            box.press(1)
            box.wait_gone(5)
            # 7 + 1020 + 1022 bytes: one more than a login frame holds.
            dlg.set_text(1004, "u" * 1020)
            dlg.set_text(1005, "p" * 1022)
            dlg.click(DIAL)
            too_long = "Username, password, domain and My Number are too long to send."
            dlg.wait_text(STATUS, lambda t: too_long in t, 15)
            lines = dlg.text(STATUS).split("\r\r\n")
            assert lines[-2] == too_long, lines
        finally:
            close(app, dlg)


CASES = {
    "german_dialog": case_german_dialog,
    "en_us_any_case": case_en_us_any_case,
    "unknown_culture_uses_program_folder": case_unknown_culture_uses_program_folder,
    "company_40_drops_version": case_company_40_drops_version,
    "whole_path": case_whole_path,
    "culture_folder_without_module": case_culture_folder_without_module,
    "old_platform_uses_program_folder": case_old_platform_uses_program_folder,
    "module_with_texts_101_to_129_only": case_module_with_texts_101_to_129_only,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
