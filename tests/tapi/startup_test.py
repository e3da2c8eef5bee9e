#!/usr/bin/env python3
"""Telephony start-up of the real Farlink.exe under Wine, against the test provider:
the line list, the probe of the lines, the error boxes of lineInitialize, the trace,
and the shutdown through the close box."""

import os
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[0] / "wine"))
sys.path.insert(0, str(HERE.parents[0] / "profiles"))

from farlink_driver import IDCANCEL, IDNO, IDOK, IDYES, Window  # noqa: E402
from farlink_tapi import install_control_panel  # noqa: E402
from farlink_wine import MAIN_CAPTION, WineUnavailable, run_cases, wait_for  # noqa: E402
from profiles_test import profile_bytes  # noqa: E402

IDRETRY = 4
VK_F4 = "0x73"
LINE_LIST, STATUS = 1001, 1008

# Two data modems, a voice-only line and one that speaks no version the dialler
# asks for (only 1.3, which the list accepts): the list shows the three data lines.
FOUR_LINES = """
line "Legacy Modem"        # 0: listed; its probe fails on the version
  versions 0x10003 0x10003
line "Voice Only"          # 1: not listed; probed all the same
  media LINEMEDIAMODE_INTERACTIVEVOICE
line "Modem A"             # 2: listed; the first usable line, so the probe stops here
line "Modem B"             # 3: listed, never probed
"""
TWO_MODEMS = 'line "Modem A"\nline "Modem B"\n'

REINIT_TEXT = ("A change to the system configuration requires that all Telephony applications "
               "relinquish their use of Telephony before any can progress.  Some have not yet "
               "done so.")
NODEVICE_TEXT = ("There are no devices configured for Telephony use.\nWould you like to run the "
                 "Modem Control Panel to add a modem driver?")
CORRUPT_TEXT = ("Configuration information relating to Telephony services appears to be corrupt."
                "\nThis could be the first time you have used the Telephony services.\nWould you "
                "like to configure the Telephony services?")
RESOURCE_TEXT = ("A Telephony resource is temporarily unavaiable.  This could mean a short wait is "
                 "necessary or that a non-TAPI application is using the line.")


def require_telephony(args):
    """Skips while the exe under test does not use the telephony interface at all."""
    if b"lineInitialize" not in Path(args.exe).read_bytes():
        raise WineUnavailable("%s does not call lineInitialize" % Path(args.exe).name)


def start(s, scenario, args=(), env=None):
    """Starts Farlink.exe with the provider; does not wait, since boxes may come first."""
    return s.start_farlink(list(args), tapi=scenario, env=env, wait_window=False)


def main_dialog(s, timeout=30.0):
    """The main dialog (message boxes of the program carry the same caption)."""
    ui = s.driver()

    def found():
        for handle, _pid, cls, caption in ui.windows():
            if caption == MAIN_CAPTION and cls == "#32770":
                window = Window(ui, handle)
                if any(c["id"] == LINE_LIST for c in window.controls()):
                    return window
        return None
    return wait_for(found, timeout, what="the main dialog")


def box(s, caption, timeout=30.0):
    """The message box with this caption: (window, text, buttons)."""
    ui = s.driver()

    def found():
        for handle, _pid, cls, title in ui.windows():
            if title == caption and cls == "#32770":
                window = Window(ui, handle)
                _, text, buttons = window.message_box()
                if LINE_LIST not in buttons and not any(
                        c["id"] == LINE_LIST for c in window.controls()):
                    return window, text.replace("\r\n", "\n"), buttons
        return None
    return wait_for(found, timeout, what="a box captioned %r" % caption)


def answer(s, caption, expected_text, expected_buttons, button):
    window, text, buttons = box(s, caption)
    assert text == expected_text, repr(text)
    assert sorted(buttons) == sorted(expected_buttons), buttons
    window.press(button)
    window.wait_gone()


def line_list(dlg):
    return dlg.combo(LINE_LIST)


def close_through_close_box(s, app, dlg):
    dlg.close()
    app.wait(20)


def line_list_by_the_rules(args):
    """Data-modem lines are listed in device order; the probe goes on until one line passes."""
    require_telephony(args)
    with args.session(com_ports=[]) as s:
        app = start(s, FOUR_LINES)
        dlg = main_dialog(s)
        expected = (0, ["Legacy Modem", "Modem A", "Modem B"])
        wait_for(lambda: line_list(dlg) == expected, 10, what="the line list %r" % (expected,))
        dlg.focus(LINE_LIST)
        dlg.key(VK_F4)  # drops the list down, so the picture shows all three
        time.sleep(0.5)
        s.screenshot("tapi-three-lines", dlg)
        dlg.key(VK_F4)
        log = s.tapi_log
        listing = [(e["device"], e["low"], e["high"]) for e in log.calls("lineNegotiateAPIVersion")
                   if e["low"] == "0x10003"]
        assert listing == [(str(d), "0x10003", "0x20000") for d in range(4)], listing
        # The probe: 2.0 then 1.4 for device 0, refused; device 1 lacks data-modem
        # media, device 2 passes and is opened as the dialler opens it.
        probe = [(e["device"], e["low"]) for e in log.calls("lineNegotiateAPIVersion")
                 if e["low"] != "0x10003"]
        assert probe[:3] == [("0", "0x20000"), ("0", "0x10004"), ("1", "0x20000")], probe
        opens = log.calls("lineOpen")
        assert [(e["device"], e["version"], e["privileges"], e["media"], e["params"])
                for e in opens] == [("2", "0x20000", "0x1", "0x10", "null")], opens
        status = log.calls("lineGetAddressStatus")
        assert [(e["address"], e["total"]) for e in status] == [("0", "1088")], status
        getid = log.calls("lineGetID")
        assert [(e["class"], e["total"], e["select"]) for e in getid] == [
            ("comm/datamodem", "24", "0x1")], getid
        assert log.calls("lineClose")[0]["line"] == opens[0]["line"]
        assert all(e["total"] == "1292" for e in log.calls("lineGetDevCaps"))
        # The trace reaches us through Wine's stderr, which may lag behind the dialog.
        app.wait_trace("Line is suitable and available for use.")
        trace = app.trace()
        for line in ("Tapi initialized.", "Testing Line ID '0x0'",
                     "lineNegotiateAPIVersion, INCOMPATIBLEAPIVERSION.",
                     "Testing Line ID '0x1'", "LINEMEDIAMODE_DATAMODEM not supported",
                     "Testing Line ID '0x2'", "Line is suitable and available for use."):
            assert line in trace, (line, trace)
        assert "Testing Line ID '0x3'" not in trace, trace
        close_through_close_box(s, app, dlg)


NAMES = """
line "Plain Name"
line counted "Counted Name"
line empty
line absent
line unicode "Wide Name"
line offset-out "Far Away"
line size-out "Too Long"
"""


def names_in_every_form(args):
    """Each way a provider stores a name gives the name the rules give, whole, read safely."""
    require_telephony(args)
    with args.session(com_ports=[]) as s:
        app = start(s, NAMES)
        dlg = main_dialog(s)
        _, names = line_list(dlg)
        assert names == ["Plain Name", "Counted Name", "Line Name is Empty", "Line Unnamed",
                         "Line Unnamed", "Line Unnamed", "Line Unnamed"], names
        trace = app.trace()
        assert "Device name for device 0x1 is not null terminated." in trace, trace
        # Names lying outside the block are refused with a reason in the trace.
        for device in ("0x5", "0x6"):
            assert any(device in line and "name" in line.lower() for line in trace), (device,
                                                                                       trace)
        close_through_close_box(s, app, dlg)


def huge_device_count_is_bounded(args):
    """A provider claiming 4294967295 devices neither overruns the list nor stalls start-up."""
    require_telephony(args)
    with args.session(com_ports=[]) as s:
        app = start(s, TWO_MODEMS + "numdevs 4294967295\n")
        dlg = main_dialog(s, timeout=120)
        _, names = line_list(dlg)
        assert names[:2] == ["Modem A", "Modem B"] and len(names) <= 130, names
        # The scan stops at a fixed bound (a thousand or so devices), not at 4294967295.
        asked = len(s.tapi_log.calls("lineNegotiateAPIVersion"))
        assert asked <= 2100, asked
        close_through_close_box(s, app, dlg)


def modem_option_and_profile_select_a_line(args):
    """/MODEM:1 preselects the second line; a profile's line index selects its line."""
    require_telephony(args)
    with args.session(com_ports=[]) as s:
        app = start(s, TWO_MODEMS + 'line "Modem C"\n', ["/MODEM:1"])
        dlg = main_dialog(s)
        assert line_list(dlg) == (1, ["Modem A", "Modem B", "Modem C"]), line_list(dlg)
        close_through_close_box(s, app, dlg)
    with args.session(com_ports=[]) as s:
        folder = s.prefix / "drive_c" / "Farlink"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "site.cfg").write_bytes(profile_bytes(2, ("1",) * 5, 0, -1, 30))
        app = start(s, TWO_MODEMS + 'line "Modem C"\n', ["/PROFILE:site.cfg"])
        dlg = main_dialog(s)
        wait_for(lambda: line_list(dlg)[0] == 2, 10, what="the profile's line selected")
        close_through_close_box(s, app, dlg)


def held_line_is_listed_and_probe_moves_on(args):
    """A line another program holds stays in the list; the probe tries the next line."""
    require_telephony(args)
    with args.session(com_ports=[]) as s:
        app = start(s, TWO_MODEMS + "results lineOpen@0 LINEERR_ALLOCATED\n")
        dlg = main_dialog(s)
        assert line_list(dlg) == (0, ["Modem A", "Modem B"]), line_list(dlg)
        opens = [(e["device"], e["result"]) for e in s.tapi_log.calls("lineOpen")]
        assert opens == [("0", "LINEERR_ALLOCATED"), ("1", "0")], opens
        trace = app.trace()
        assert "Line is already in use by a non-TAPI app or another Service Provider." in trace
        assert "Line is suitable and available for use." in trace, trace
        close_through_close_box(s, app, dlg)


def cpu_seconds(pid):
    """User plus kernel time of a process so far."""
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def reinit_twice_waits_once(args):
    """Two REINITs: one wait of about 5 s that keeps serving messages, the box, no third try."""
    require_telephony(args)
    scenario = TWO_MODEMS + """
results lineInitialize LINEERR_REINIT LINEERR_REINIT
event initcall 1000 probe 0 0 0 0
event initcall 2500 probe 0 0 0 0
event initcall 4000 probe 0 0 0 0
"""
    with args.session(com_ports=[]) as s:
        app = start(s, scenario)
        log = s.tapi_log
        log.wait_call("lineInitialize")
        cpu_before = cpu_seconds(app.popen.pid)
        window, text, buttons = box(s, MAIN_CAPTION, timeout=40)
        cpu_after = cpu_seconds(app.popen.pid)
        assert text == REINIT_TEXT, repr(text)
        assert buttons == [IDOK], buttons
        first, second = log.calls("lineInitialize")
        waited = second.num("tick") - first.num("tick")
        assert 4500 <= waited <= 15000, waited
        # Messages were dispatched throughout the wait, not only at its end.
        probes = [e.num("tick") for e in log.entries() if e.kind == "probe"]
        assert len(probes) == 3 and all(p < second.num("tick") for p in probes), probes
        assert all(e["thread"] == "init" for e in log.entries() if e.kind == "probe")
        print("REINIT wait: %.0f ms, CPU time of the program meanwhile: %.2f s" % (
            waited, cpu_after - cpu_before))
        window.press(IDOK)
        dlg = main_dialog(s)
        assert line_list(dlg) == (-1, []), line_list(dlg)
        time.sleep(1)
        assert len(log.calls("lineInitialize")) == 2, log.calls("lineInitialize")
        close_through_close_box(s, app, dlg)
        assert not log.calls("lineShutdown")  # never initialised, nothing to shut down


def no_device_offers_the_control_panel(args):
    """NODEVICE: Yes starts "CONTROL.EXE MODEM.CPL,,ADD", No does not; both end with the box."""
    require_telephony(args)
    for button in (IDYES, IDNO):
        with args.session(com_ports=[]) as s:
            env, control_log = install_control_panel(s)
            app = start(s, "results lineInitialize LINEERR_NODEVICE\n", env=env)
            answer(s, "Warning", NODEVICE_TEXT, [IDYES, IDNO], button)
            answer(s, MAIN_CAPTION, "No devices installed.", [IDOK], IDOK)
            dlg = main_dialog(s)
            assert line_list(dlg) == (-1, []), line_list(dlg)
            if button == IDYES:
                wait_for(control_log.exists, 20, what="CONTROL.EXE started")
                assert control_log.read_text() == "CONTROL.EXE MODEM.CPL,,ADD\n", \
                    control_log.read_text()
            else:
                time.sleep(1)
                assert not control_log.exists()
            assert len(s.tapi_log.calls("lineInitialize")) == 1
            close_through_close_box(s, app, dlg)


def corrupt_configuration_ok_and_cancel(args):
    """INIFILECORRUPT: OK shows the location dialog and tries again; Cancel gives up."""
    require_telephony(args)
    for button in (IDOK, IDCANCEL):
        with args.session(com_ports=[]) as s:
            app = start(s, TWO_MODEMS + "results lineInitialize LINEERR_INIFILECORRUPT\n")
            answer(s, "Warning", CORRUPT_TEXT, [IDOK, IDCANCEL], button)
            dlg = main_dialog(s)
            log = s.tapi_log
            inits = [e["result"] for e in log.calls("lineInitialize")]
            dialogs = log.calls("lineTranslateDialog")
            if button == IDOK:
                assert inits == ["LINEERR_INIFILECORRUPT", "0"], inits
                assert [(d["device"], d["version"], d["owner"]) for d in dialogs] == [
                    ("0", "0x10004", "set")], dialogs
                assert line_list(dlg)[1] == ["Modem A", "Modem B"]
            else:
                assert inits == ["LINEERR_INIFILECORRUPT"] and not dialogs, (inits, dialogs)
                assert line_list(dlg) == (-1, [])
                assert any(line.startswith('lineInitialize unhandled error: Tapi Line Error: '
                                           '"LINEERR_INIFILECORRUPT" in File "TapiCode", Line ')
                           for line in app.trace()), app.trace()
            close_through_close_box(s, app, dlg)


def resource_unavailable_retry_and_cancel(args):
    """RESOURCEUNAVAIL: Retry calls again (each time the box comes back), Cancel gives up."""
    require_telephony(args)
    scenario = TWO_MODEMS + ("results lineInitialize LINEERR_RESOURCEUNAVAIL "
                             "LINEERR_RESOURCEUNAVAIL LINEERR_RESOURCEUNAVAIL\n")
    with args.session(com_ports=[]) as s:
        app = start(s, scenario)
        for _ in range(3):
            answer(s, "Warning", RESOURCE_TEXT, [IDRETRY, IDCANCEL], IDRETRY)
        dlg = main_dialog(s)
        assert [e["result"] for e in s.tapi_log.calls("lineInitialize")][-1] == "0"
        assert len(s.tapi_log.calls("lineInitialize")) == 4
        assert line_list(dlg)[1] == ["Modem A", "Modem B"]
        close_through_close_box(s, app, dlg)
    with args.session(com_ports=[]) as s:
        app = start(s, scenario)
        answer(s, "Warning", RESOURCE_TEXT, [IDRETRY, IDCANCEL], IDCANCEL)
        dlg = main_dialog(s)
        assert len(s.tapi_log.calls("lineInitialize")) == 1
        assert any(line.startswith('lineInitialize unhandled error: Tapi Line Error: '
                                   '"LINEERR_RESOURCEUNAVAIL"') for line in app.trace())
        close_through_close_box(s, app, dlg)


def line_events_after_start_up(args):
    """Callbacks the service sends on its own are traced and handled; a hard REINIT shuts down."""
    require_telephony(args)
    scenario = TWO_MODEMS + """
event init 300 LINE_CREATE 0 5 0 0
event init 400 LINE_REPLY 0 999 0 0
event init 500 LINE_CALLSTATE 0xdead LINECALLSTATE_DISCONNECTED LINEDISCONNECTMODE_BUSY 0
event init 600 LINE_LINEDEVSTATE 0x77 LINEDEVSTATE_RINGING 1 2
event init 700 LINE_LINEDEVSTATE 0x77 LINEDEVSTATE_REINIT LINE_CREATE 9
event init 900 LINE_LINEDEVSTATE 0x77 LINEDEVSTATE_REINIT 0 0
"""
    with args.session(com_ports=[]) as s:
        app = start(s, scenario)
        dlg = main_dialog(s)
        answer(s, "Warning", "Tapi line configuration has changed.", [IDOK], IDOK)
        app.wait_trace("Tapi line configuration has changed.")  # written once the box is gone
        trace = app.trace()
        for line in (
                "lineCallback: LINE_CREATE; dwDevice: '0x0'; New Line Device ID '0x5'",
                "lineCallback: LINE_REPLY; dwDevice: '0x0'; Request ID: 0x3e7; Successful reply!",
                "LINE_REPLY: successfully replied.",
                "lineCallback: LINE_CALLSTATE; dwDevice: '0xdead'; No change to "
                "LINECALLPRIVILEGE; LINECALLSTATE_DISCONNECTED: LINEDISCONNECTMODE_BUSY",
                "lineCallback: LINE_LINEDEVSTATE; dwDevice: '0x77'; LINEDEVSTATE_RINGING; "
                "Ring Mode: 0x1, Ring Count: 2",
                "Line Ringing.",
                "lineCallback: LINE_LINEDEVSTATE; dwDevice: '0x77'; LINEDEVSTATE_REINIT; "
                "ReInit reason: LINE_CREATE, New Line Device ID '0x9'",
                "Soft REINIT: LINE_CREATE.",
                "TAPI uninitialized.",
                "Tapi line configuration has changed."):
            assert line in trace, (line, trace)
        assert "Line Ringing" in dlg.text(STATUS), dlg.text(STATUS)
        # The hard re-initialisation shut telephony down, on the dialog's thread.
        shutdowns = s.tapi_log.calls("lineShutdown")
        assert [e["thread"] for e in shutdowns] == ["init"], shutdowns
        close_through_close_box(s, app, dlg)
        assert len(s.tapi_log.calls("lineShutdown")) == 1


def close_box_shuts_telephony_down(args):
    """Closing through the close box ends with lineShutdown on the dialog's thread."""
    require_telephony(args)
    with args.session(com_ports=[]) as s:
        app = start(s, TWO_MODEMS)
        dlg = main_dialog(s)
        app_handle = s.tapi_log.calls("lineInitialize")[0]["lineapp"]
        close_through_close_box(s, app, dlg)
        shutdowns = s.tapi_log.calls("lineShutdown")
        assert [(e["lineapp"], e["result"], e["thread"]) for e in shutdowns] == [
            (app_handle, "0", "init")], shutdowns
        assert "TAPI uninitialized." in app.trace(), app.trace()


def dial_during_reinit_wait_is_refused(args):
    """A Dial that comes while a Dial's initialisation waits out a REINIT does not start another."""
    require_telephony(args)
    if b"lineMakeCall" not in Path(args.exe).read_bytes():
        raise WineUnavailable("%s does not place calls" % Path(args.exe).name)
    # Telephony is shut down by a hard re-initialisation; the next Dial meets one REINIT.
    scenario = TWO_MODEMS + """
results lineInitialize 0 LINEERR_REINIT
event init 300 LINE_LINEDEVSTATE 0x77 LINEDEVSTATE_REINIT 0 0
"""
    with args.session(com_ports=[]) as s:
        app = start(s, scenario, ["/DIAL:5551234"])
        dlg = main_dialog(s)
        answer(s, "Warning", "Tapi line configuration has changed.", [IDOK], IDOK)
        s.tapi_log.wait_call("lineShutdown")
        # The click lasts as long as the wait; a second driver acts meanwhile.
        first = threading.Thread(target=Window(s.second_driver(), dlg.handle).click, args=(3,))
        first.start()
        s.tapi_log.wait(lambda e: e.call("lineInitialize") and e["result"] == "LINEERR_REINIT")
        # The button is disabled meanwhile; the command still reaches the dialog.
        dlg.command(3)
        first.join(30)
        s.tapi_log.wait_call("lineMakeCall", timeout=30)
        time.sleep(0.5)
        results = [e["result"] for e in s.tapi_log.calls("lineInitialize")]
        assert results == ["0", "LINEERR_REINIT", "0"], results
        assert len(s.tapi_log.calls("lineMakeCall")) == 1, s.tapi_log.calls("lineMakeCall")
        dlg.click(6)  # Hangup
        s.tapi_log.wait_call("lineClose", timeout=40)
        close_through_close_box(s, app, dlg)


CASES = {
    "line_list_by_the_rules": line_list_by_the_rules,
    "names_in_every_form": names_in_every_form,
    "huge_device_count_is_bounded": huge_device_count_is_bounded,
    "modem_option_and_profile_select_a_line": modem_option_and_profile_select_a_line,
    "held_line_is_listed_and_probe_moves_on": held_line_is_listed_and_probe_moves_on,
    "reinit_twice_waits_once": reinit_twice_waits_once,
    "no_device_offers_the_control_panel": no_device_offers_the_control_panel,
    "corrupt_configuration_ok_and_cancel": corrupt_configuration_ok_and_cancel,
    "resource_unavailable_retry_and_cancel": resource_unavailable_retry_and_cancel,
    "line_events_after_start_up": line_events_after_start_up,
    "close_box_shuts_telephony_down": close_box_shuts_telephony_down,
    "dial_during_reinit_wait_is_refused": dial_during_reinit_wait_is_refused,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
