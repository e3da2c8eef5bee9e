#!/usr/bin/env python3
"""End-to-end tests of the main dialog of Farlink.exe under Wine, worked from outside."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))

from farlink_wine import MAIN_CAPTION, run_cases, wait_for  # noqa: E402

# Control ids of the main dialog.
DIRECT, MODEM = 1010, 1011
PORTS, LINES = 1007, 1001
DELAY, DIAL_NUMBER, MY_NUMBER, USERNAME, PASSWORD, DOMAIN = 1012, 1002, 1003, 1004, 1005, 1006
STATUS = 1008
LOAD, SAVE, DIAL, HANGUP, CLOSE = 4, 5, 3, 6, 2
IDM_ABOUTBOX = 16

READY = "Ready to make a call."
CONNECT_LINES = ("Error connecting with WinCE remote station.",
                 "Connected with WinCE remote station.")

# Which controls an idle dialog enables, by communication type.
IDLE_ENABLED = {
    "modem": {LINES: True, DIAL_NUMBER: True, MY_NUMBER: True, PORTS: False, DELAY: False,
              USERNAME: True, PASSWORD: True, DOMAIN: True, HANGUP: False,
              DIRECT: True, MODEM: True, LOAD: True, SAVE: True, CLOSE: True, STATUS: True},
    "direct": {LINES: False, DIAL_NUMBER: False, MY_NUMBER: False, PORTS: True, DELAY: True,
               USERNAME: True, PASSWORD: True, DOMAIN: True, HANGUP: False,
               DIRECT: True, MODEM: True, LOAD: True, SAVE: True, CLOSE: True, STATUS: True},
}


def status_lines(dlg):
    """The status log as lines (each line ends in CR CR LF)."""
    text = dlg.text(STATUS)
    lines = text.split("\r\r\n")
    assert lines[-1] == "", "status log does not end a line: %r" % text
    return lines[:-1]


def enabled_states(dlg):
    return {c["id"]: c["enabled"] for c in dlg.controls()}


def expect_enabled(dlg, kind):
    states = enabled_states(dlg)
    wrong = {cid: states[cid] for cid, want in IDLE_ENABLED[kind].items() if states[cid] != want}
    assert not wrong, "%s type: controls with the wrong enabled state: %s" % (kind, wrong)


def open_dialog(session, args=()):
    app = session.start_farlink(list(args))
    return app, session.driver().find_window(MAIN_CAPTION)


def close_dialog(app, dlg):
    dlg.click(CLOSE)
    app.wait(15)


def stays(predicate, seconds, what):
    """Asserts predicate() holds for a whole observation window."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        assert predicate(), what
        time.sleep(0.1)


# --------------------------------------------------------------------------


def default_dialog(args):
    """No arguments, COM1 and COM3 wired, COM2 absent."""
    with args.session(com_ports=["COM1", "COM3"]) as s:
        app, dlg = open_dialog(s)
        s.screenshot("main-dialog", window=dlg)
        assert dlg.caption() == MAIN_CAPTION
        assert dlg.checked(MODEM) == 1 and dlg.checked(DIRECT) == 0
        assert dlg.text(DELAY) == "30"
        assert status_lines(dlg) == [READY]
        assert dlg.combo(PORTS) == (0, ["COM1", "COM3"])
        for field in (DIAL_NUMBER, MY_NUMBER, USERNAME, PASSWORD, DOMAIN):
            assert dlg.text(field) == "", "field %d not empty" % field
        expect_enabled(dlg, "modem")
        # No modem lines yet, but a COM port: Dial is available.
        assert dlg.combo(LINES) == (-1, [])
        assert dlg.enabled(DIAL)
        close_dialog(app, dlg)


def port_in_use_left_out(args):
    """A port another program holds open is not listed; one that is free again is."""
    with args.session(com_ports=["COM1", "COM2", "COM3"]) as s:
        s.port("COM1").hold()
        app, dlg = open_dialog(s)
        assert dlg.combo(PORTS) == (0, ["COM2", "COM3"])
        close_dialog(app, dlg)

        s.port("COM1").release()
        app, dlg = open_dialog(s)
        assert dlg.combo(PORTS) == (0, ["COM1", "COM2", "COM3"])
        close_dialog(app, dlg)


def no_ports_no_dial(args):
    """Neither a modem line nor a COM port: Dial is disabled."""
    with args.session(com_ports=[]) as s:
        app, dlg = open_dialog(s)
        assert dlg.combo(PORTS) == (-1, [])
        assert not dlg.enabled(DIAL)
        dlg.click(DIRECT)
        wait_for(lambda: dlg.enabled(PORTS), 5, what="Direct type")
        assert not dlg.enabled(DIAL)
        close_dialog(app, dlg)


COMMAND_LINES = [
    # (arguments, {field: expected text})
    (["/DIAL:555", "/MYNUMBER:111", "/USER:alice", "/PASS:secret", "/DOMAIN:corp"],
     {DIAL_NUMBER: "555", MY_NUMBER: "111", USERNAME: "alice", PASSWORD: "secret",
      DOMAIN: "corp"}),
    # Options match case-insensitively; values keep their case and later colons.
    (["/user:Alice", "/Dial:9:123", "/dOmAiN:Office"],
     {USERNAME: "Alice", DIAL_NUMBER: "9:123", DOMAIN: "Office"}),
    # The last occurrence wins, even an empty one.
    (["/DIAL:555", "/DIAL:666", "/USER:a", "/USER:"], {DIAL_NUMBER: "666", USERNAME: ""}),
    # The option must begin the token, colon included; unknown tokens are ignored.
    (["x/DIAL:555", "/DIAL555", "/USERNAME", "/PASSWORD:x", "junk"],
     {DIAL_NUMBER: "", USERNAME: "", PASSWORD: ""}),
]


def command_line_values(args):
    with args.session(com_ports=["COM1"]) as s:
        for argv, expected in COMMAND_LINES:
            app, dlg = open_dialog(s, argv)
            seen = {field: dlg.text(field) for field in expected}
            assert seen == expected, "%s: fields %s, expected %s" % (argv, seen, expected)
            assert status_lines(dlg) == [READY]
            close_dialog(app, dlg)


def radio_enable_rules(args):
    with args.session(com_ports=["COM1"]) as s:
        app, dlg = open_dialog(s)
        for button, kind in ((DIRECT, "direct"), (MODEM, "modem"), (DIRECT, "direct")):
            dlg.click(button)
            other = MODEM if button == DIRECT else DIRECT
            wait_for(lambda: dlg.checked(button) == 1 and dlg.checked(other) == 0, 5,
                     what="radio %d checked" % button)
            expect_enabled(dlg, kind)
            assert dlg.enabled(DIAL), "a COM port is listed, so Dial stays enabled"
        close_dialog(app, dlg)


DELAYS = [("10", "30"), ("999", "255"), ("255", "255"), ("30", "30"), ("29", "30"),
          ("256", "255"), ("100", "100")]


def delay_clamped_on_focus_loss(args):
    with args.session(com_ports=["COM1"]) as s:
        app, dlg = open_dialog(s, ["/USER:keep"])
        dlg.click(DIRECT)
        wait_for(lambda: dlg.enabled(DELAY), 5, what="Delay enabled")
        for typed, shown in DELAYS:
            dlg.type(DELAY, typed)
            assert dlg.text(DELAY) == typed, "typing reaches the field"
            dlg.focus(USERNAME)
            got = dlg.wait_text(DELAY, lambda t: t != typed or typed == shown, 5)
            assert got == shown, "Delay %s became %s, expected %s" % (typed, got, shown)
        # Writing the fields back keeps the others as they are.
        assert dlg.text(USERNAME) == "keep"

        # Not a number: the data exchange complains, the previous value stays.
        dlg.type(DELAY, "abc")
        assert dlg.focus(USERNAME) == "modal"
        box = dlg.wait_owned(5)
        caption, text, buttons = box.message_box()
        assert text == "Enter an integer.", text
        assert caption == MAIN_CAPTION, caption
        box.press(1)
        box.wait_gone(5)
        dlg.wait_text(DELAY, "100", 5)
        wait_for(lambda: dlg.focused(DELAY), 5, what="focus back on Delay")
        close_dialog(app, dlg)


def about_box(args):
    with args.session(com_ports=["COM1"]) as s:
        app, dlg = open_dialog(s)
        assert dlg.syscommand(IDM_ABOUTBOX) == "modal"
        box = dlg.wait_owned(5)
        # Wine's system menu has its own "About Wine"; this must be ours.
        assert box.caption() == "About Farlink To WinCE", box.caption()
        texts = [c["text"] for c in box.controls() if c["cls"].lower() == "static"]
        assert "Farlink  To WinCE Version 1.0" in texts, texts
        s.screenshot("about-box", window=box)
        box.press(1)
        box.wait_gone(5)
        assert dlg.exists() and app.alive()
        assert status_lines(dlg) == [READY]
        close_dialog(app, dlg)


def each_way_of_closing_ends_program(args):
    ways = {
        "Close button": lambda dlg: dlg.click(CLOSE),
        "Escape key": lambda dlg: dlg.key("ESCAPE"),
        "caption close box": lambda dlg: dlg.close(),
    }
    with args.session(com_ports=["COM1"]) as s:
        for way, act in ways.items():
            app, dlg = open_dialog(s)
            act(dlg)
            try:
                app.wait(15)
            except TimeoutError:
                raise AssertionError("%s left the program running" % way) from None
            assert not dlg.exists(), "%s left the window" % way


def make_direct_profile(s, path):
    """Saves a profile with the Direct type through the dialog, as a user would."""
    app, dlg = open_dialog(s)
    dlg.click(DIRECT)
    assert dlg.click(SAVE) == "modal"
    chooser = dlg.wait_owned(10)
    chooser.file_dialog_save(path)
    chooser.wait_gone(10)
    close_dialog(app, dlg)


def auto_dial_runs_dial_once(args):
    with args.session(com_ports=["COM1"]) as s:
        # Modem type with no modem lines: Dial has nothing to do.
        app, dlg = open_dialog(s, ["/AUTODIAL"])
        stays(lambda: status_lines(dlg) == [READY], 2, "Dial with no modem line wrote to the log")
        close_dialog(app, dlg)

        profile = s.prefix / "drive_c" / "Farlink" / "direct.cfg"
        make_direct_profile(s, s.windows_path(profile))
        assert profile.exists(), "Save wrote no profile"

        app, dlg = open_dialog(s, ["/PROFILE:" + s.windows_path(profile), "/AUTODIAL"])
        lines = wait_for(lambda: (lambda ls: ls if len(ls) >= 2 else None)(status_lines(dlg)),
                         15, what="the line auto-dial writes")
        assert lines[0] == READY, lines
        assert lines[1] in CONNECT_LINES, lines
        stays(lambda: status_lines(dlg).count(lines[1]) == 1, 2, "Dial ran more than once")
        close_dialog(app, dlg)


CASES = {
    "default_dialog": default_dialog,
    "port_in_use_left_out": port_in_use_left_out,
    "no_ports_no_dial": no_ports_no_dial,
    "command_line_values": command_line_values,
    "radio_enable_rules": radio_enable_rules,
    "delay_clamped_on_focus_loss": delay_clamped_on_focus_loss,
    "about_box": about_box,
    "each_way_of_closing_ends_program": each_way_of_closing_ends_program,
    "auto_dial_runs_dial_once": auto_dial_runs_dial_once,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
