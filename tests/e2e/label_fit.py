#!/usr/bin/env python3
"""Every label of the main dialog and the About box fits its control, in English and German.

A label fits when its text, measured on one line in the control's own font, is
no wider and no taller than the control's client area. A static that is too
narrow wraps its last words onto a line below its bottom edge ("My Number:"
shows "My"), a button cuts its text off. The dialogs name "MS Sans Serif" 8,
so the font must also resolve to that face, not to a wider stand-in.
"""

import sys
from pathlib import Path

HERE = Path(__file__).resolve()
sys.path.insert(0, str(HERE.parents[1] / "wine"))
sys.path.insert(0, str(HERE.parents[1] / "language"))

from farlink_wine import MAIN_CAPTION, run_cases  # noqa: E402
from language_test import GERMAN_ABOUT, close, start_german  # noqa: E402

DIALOG_FACE = "MS Sans Serif"
ABOUT_COMMAND = 0x0010
IDOK = 1
# A radio button draws its circle (13 px) and a gap before the text.
RADIO_MARK = 16


def labels(window):
    """Controls that show a fixed text: statics with text and buttons.

    An icon static holds its resource ordinal (0xFFFF, number) as its text: no label.
    """
    return [c for c in window.controls()
            if c["visible"] and c["text"] and not c["text"].startswith("\uffff")
            and c["cls"].lower() in ("static", "button")]


def misfits(window, expected_texts):
    """Labels that do not fit their control, or are drawn in another face.

    Prints every measurement, so a log shows how much room each label has left.
    """
    found = labels(window)
    texts = [c["text"] for c in found]
    missing = [t for t in expected_texts if t not in texts]
    assert not missing, "labels not found: %s (found %s)" % (missing, texts)
    wrong = []
    for control in found:
        m = window.text_extent(control)
        room = m["client_width"] - (RADIO_MARK if control["checked"] != -1 else 0)
        line = "%r: %dx%d px in %s, room %dx%d" % (control["text"], m["width"], m["height"],
                                                 m["face"], room, m["client_height"])
        print("  " + line)
        if m["width"] > room or m["height"] > m["client_height"]:
            wrong.append("clipped " + line)
        elif m["face"] != DIALOG_FACE:
            wrong.append("not in %s: %s" % (DIALOG_FACE, line))
    return wrong


def check_dialogs(session, app, about_caption, main_texts, about_texts, shot):
    """Checks the main dialog, then the About box it opens; screenshots both."""
    ui = session.driver()
    dlg = ui.find_window(MAIN_CAPTION)
    try:
        session.screenshot(shot + "-main", dlg)
        wrong = misfits(dlg, main_texts)
        dlg.syscommand(ABOUT_COMMAND)
        box = ui.find_window(about_caption, timeout=10)
        session.screenshot(shot + "-about", box)
        wrong += misfits(box, about_texts)
        box.press(IDOK)
        box.wait_gone(10)
        assert not wrong, "labels that do not fit:\n  " + "\n  ".join(wrong)
    finally:
        close(app, dlg)


def case_english(args):
    with args.session(com_ports=()) as s:
        app = s.start_farlink()
        check_dialogs(s, app, "About Farlink To WinCE",
                      ["Communication type:", "Direct Connection:", "Delay (sec.):", "Modem:",
                       "Dial Number:", "My Number:", "Username:", "Password:", "Domain:",
                       "Status:", "&Hangup"],
                      ["Farlink  To WinCE Version 1.0", "OK"], "labels-english")


def case_german(args):
    with args.session(com_ports=()) as s:
        app, _ = start_german(s, args)
        check_dialogs(s, app, GERMAN_ABOUT,
                      ["Verbindungsart:", "Direktverbindung:", "Wartezeit (s):",
                       "Eigene Nummer:", "Benutzername:", "Domäne:", "&Speichern...",
                       "S&chließen"],
                      ["Farlink To WinCE Version 1.0", "OK"], "labels-german")


CASES = {"english": case_english, "german": case_german}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
