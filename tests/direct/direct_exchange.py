#!/usr/bin/env python3
"""Direct-connection exchanges of Farlink.exe under Wine against the simulated station on COM1."""

import contextlib
import os
import sys
import termios
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[0] / "wine"))
sys.path.insert(0, str(HERE.parents[0] / "e2e"))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "station"))

from farlink_driver import IDOK, DriverError, Window  # noqa: E402
from farlink_wine import MAIN_CAPTION, run_cases, wait_for  # noqa: E402
from main_dialog import (CLOSE, DELAY, DIAL, DIRECT, DOMAIN, MODEM, MY_NUMBER,  # noqa: E402
                         PASSWORD, PORTS, READY, STATUS as STATUS_ID, USERNAME,
                         status_lines)
from station_process import Station  # noqa: E402

EXIT_LINK_FAILED = 3  # the exit status of a run whose last attempt got no verdict

CONNECTED = "Connected with WinCE remote station."
CONNECT_ERROR = "Error connecting with WinCE remote station."
SENDING = "Sending username and password..."
SEND_ERROR = "Error sending username and password."
EXECUTED = "Command executed successfully."
HANGUP_LINE = "Connection Hangup."
TOO_LONG = "Username, password, domain and My Number are too long to send."
NOTICE = ("The remote WinCE device will attempt to connect to this station in %d seconds. "
          "Please enable the local Direct Connection RAS Server to receive the incoming call.")

CONNECT_REQUEST = bytes.fromhex("021000100300")
HANGUP_REQUEST = bytes.fromhex("021001100301")


def envelope(payload):
    """What the station must receive for this payload (every 0x10 doubled, then the XOR)."""
    bcc = 0
    for b in payload:
        bcc ^= b
    return b"\x02\x10" + payload.replace(b"\x10", b"\x10\x10") + b"\x10\x03" + bytes([bcc])


def login_payload(my_number, user, password, domain, delay):
    fields = [f.encode("cp1252") for f in (my_number, user, password, domain)]
    return b"\x10" + b"\x10".join(fields) + b"\x10" + bytes([delay & 0xFF]) + b"\x10"


def program_holds(session, port="COM1"):
    """True while a process other than the session's socat has the program's end of the port open."""
    tty = session.port(port).tty()
    socat = session.port(port)._socat.pid
    for pid in filter(str.isdigit, os.listdir("/proc")):
        if int(pid) == socat:
            continue
        try:
            fds = os.listdir("/proc/%s/fd" % pid)
        except OSError:
            continue
        for fd in fds:
            try:
                if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == tty:
                    return True
            except OSError:
                pass
    return False


def open_direct(session, argv=(), delay=None):
    """Starts Farlink.exe with the Direct type and COM1 chosen."""
    app = session.start_farlink(["/DIAL:5551234", *argv])
    dlg = session.driver().find_window(MAIN_CAPTION)
    dlg.click(DIRECT)
    wait_for(lambda: dlg.enabled(PORTS), 5, what="Direct type")
    dlg.select(PORTS, 0)
    if delay is not None:
        dlg.set_text(DELAY, str(delay))
    return app, dlg


def fill_login(dlg, my_number, user, password, domain, delay):
    # My Number is only editable with the Modem type, as for a person.
    dlg.click(MODEM)
    wait_for(lambda: dlg.enabled(MY_NUMBER), 5, what="Modem type")
    dlg.set_text(MY_NUMBER, my_number)
    dlg.click(DIRECT)
    wait_for(lambda: dlg.enabled(DELAY), 5, what="Direct type")
    for field, text in ((USERNAME, user), (PASSWORD, password), (DOMAIN, domain),
                        (DELAY, str(delay))):
        dlg.set_text(field, text)


def dial_until_notice(dlg, timeout=30):
    """Presses Dial and returns (box window, its text, seconds until it appeared)."""
    start = time.monotonic()
    dlg.click(DIAL)
    box = dlg.wait_owned(timeout)
    took = time.monotonic() - start
    return box, box.message_box()[1], took


def dismiss(box):
    box.press(IDOK)
    box.wait_gone(5)


def new_lines(dlg, before):
    return status_lines(dlg)[len(before):]


# --------------------------------------------------------------------------


def whole_exchange(args):
    """Dial to callback notice: status lines in order, bytes on the wire, DTR, port released."""
    with args.session(com_ports=["COM1"]) as s, Station(s, "--codes", "00,06") as station:
        app, dlg = open_direct(s, ["/MYNUMBER:12", "/USER:ab", "/PASS:", "/DOMAIN:D"], delay=45)
        box, text, took = dial_until_notice(dlg)
        assert text == NOTICE % 45, text
        assert box.caption() == MAIN_CAPTION, box.caption()
        assert status_lines(dlg) == [READY, CONNECTED, SENDING, "Connected to 5551234", EXECUTED,
                                     HANGUP_LINE], status_lines(dlg)
        s.screenshot("direct-exchange-notice")
        dismiss(box)

        login = envelope(bytes.fromhex("10313210616210104410 2d 10".replace(" ", "")))
        assert station.received() == [CONNECT_REQUEST, login, HANGUP_REQUEST], station.received()
        assert ("COM1", True, False) in s.line_log(), s.line_log()
        wait_for(lambda: not program_holds(s), 5, what="COM1 released")
        assert dlg.enabled(DIAL)
        print("Dial to notice: %.2f s" % took)
        dlg.click(CLOSE)
        app.wait(15)


LOGINS = [
    # My Number, Username, Password, Domain, Delay
    ("12", "ab", "", "D", 30),
    ("", "", "", "", 255),
    ("0049\x10301", "Jos\xe9", "p\xe4ss\x10w\xf6rd", "\xc9QUIPE", 100),
    ("5", "user", "secret", "corp", 31),
    # The largest frame (2048 bytes), nearly all 0x10: its envelope is twice as long.
    ("", "\x10" * 1000, "\x10" * 1000, "D" * 41, 30),
]


def login_bytes_in_one_run(args):
    """Several exchanges in one run: each has its own handshake, login bytes and hang-up."""
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        app, dlg = open_direct(s)
        for my_number, user, password, domain, delay in LOGINS:
            before = status_lines(dlg)
            seen = len(station.received())
            fill_login(dlg, my_number, user, password, domain, delay)
            box, text, _ = dial_until_notice(dlg)
            assert text == NOTICE % delay, text
            assert new_lines(dlg, before) == [CONNECTED, SENDING, EXECUTED, HANGUP_LINE], \
                new_lines(dlg, before)
            dismiss(box)
            login = envelope(login_payload(my_number, user, password, domain, delay))
            got = station.received()[seen:]
            assert got == [CONNECT_REQUEST, login, HANGUP_REQUEST], (my_number, user, got)
            wait_for(lambda: not program_holds(s), 5, what="COM1 released")
        dlg.click(CLOSE)
        app.wait(15)


def stays_without_box(dlg, seconds):
    try:
        box = dlg.wait_owned(seconds)
    except DriverError as error:
        # Only the driver's "nothing opened" means no box; a vanished dialog or any other
        # refusal is a failure of its own.
        if str(error).endswith("no window owned by it"):
            return
        raise
    raise AssertionError("a box appeared: %r" % (box.message_box(),))


def windows_98_starts_directcc(args):
    """On Windows 98 the callback step starts Directcc.exe from the PATH, exactly so, and shows no box."""
    stub = Path(args.build_dir) / "tests" / "direct" / "Directcc.exe"
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        reg = s.prefix / "drive_c" / "windows" / "system32" / "reg.exe"
        code, _ = s.run(reg, ["add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"])
        assert code == 0, "reg add failed"
        installed = s.install(stub, folder="stub")
        log = installed.parent / "directcc.log"
        app = s.start_farlink(["/DIAL:1"], env={"WINEPATH": s.windows_path(installed.parent)})
        dlg = s.driver().find_window(MAIN_CAPTION)
        dlg.click(DIRECT)
        wait_for(lambda: dlg.enabled(PORTS), 5, what="Direct type")
        dlg.click(DIAL)
        # The stub writes its command line, then the line end: wait for the whole line.
        wait_for(lambda: log.exists() and log.read_text().endswith("\n"), 30,
                 what="Directcc.exe started")
        assert log.read_text() == "Directcc.exe\n", repr(log.read_text())
        assert status_lines(dlg) == [READY, CONNECTED, SENDING, EXECUTED, HANGUP_LINE]
        stays_without_box(dlg, 2)
        assert len(station.received()) == 3
        dlg.click(CLOSE)
        app.wait(15)


def login_refused(args):
    """A refused login leaves the link open; Dial again resends the frame at once, no handshake."""
    with args.session(com_ports=["COM1"]) as s, Station(s, "--scenario", "refuse") as station:
        app, dlg = open_direct(s, ["/USER:u"])
        dlg.click(DIAL)
        dlg.wait_text(STATUS_ID, lambda t: SEND_ERROR in t, 15)
        assert status_lines(dlg) == [READY, CONNECTED, SENDING, SEND_ERROR], status_lines(dlg)
        stays_without_box(dlg, 1)
        login = station.received()[1]
        assert station.received() == [CONNECT_REQUEST, login]
        assert program_holds(s), "the link was closed"

        clicked = time.time()
        dlg.click(DIAL)
        wait_for(lambda: len(station.received()) == 3, 10, what="second login frame")
        assert station.received()[2] == login, "not the same frame again"
        print("second login frame %.2f s after Dial" % (station.events("frame")[2]["wall"] - clicked))
        dlg.wait_text(STATUS_ID, lambda t: t.count(SEND_ERROR) == 2, 15)
        assert status_lines(dlg)[4:] == [CONNECTED, SENDING, SEND_ERROR], status_lines(dlg)
        assert program_holds(s)
        dlg.click(CLOSE)
        app.wait(15)
        assert len(station.received()) == 3, "the Close button sent something"


def oversized_login_refused(args):
    """Texts whose frame would pass 2048 bytes: one status line, no login frame on the wire."""
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        app, dlg = open_direct(s)
        # 7 + 1020 + 1022 = 2049 bytes: one more than a frame holds.
        fill_login(dlg, "", "u" * 1020, "p" * 1022, "", 30)
        dlg.click(DIAL)
        dlg.wait_text(STATUS_ID, lambda t: TOO_LONG in t, 15)
        assert status_lines(dlg) == [READY, CONNECTED, SENDING, TOO_LONG], status_lines(dlg)
        stays_without_box(dlg, 1)
        assert station.received() == [CONNECT_REQUEST], station.received()

        # One character less fits, and goes out on the link that is still open.
        dlg.set_text(PASSWORD, "p" * 1021)
        box, text, _ = dial_until_notice(dlg)
        assert text == NOTICE % 30, text
        dismiss(box)
        assert station.received()[1:] == [
            envelope(login_payload("", "u" * 1020, "p" * 1021, "", 30)), HANGUP_REQUEST]
        dlg.click(CLOSE)
        app.wait(15)


def unanswered_connect(args):
    """A silent or late station: the connect fails within the timeouts and the port is released."""
    for scenario in ("silent", "late"):
        with args.session(com_ports=["COM1"]) as s, \
                Station(s, "--scenario", scenario, "--on", "connect") as station:
            app, dlg = open_direct(s)
            start = time.monotonic()
            dlg.click(DIAL)
            dlg.wait_text(STATUS_ID, lambda t: CONNECT_ERROR in t, 15)
            took = time.monotonic() - start
            assert status_lines(dlg) == [READY, CONNECT_ERROR], (scenario, status_lines(dlg))
            # 1000 ms pause, then 2000 ms for the first byte; Wine and the driver add a little.
            assert 2.9 < took < 9.0, (scenario, took)
            wait_for(lambda: not program_holds(s), 5, what="COM1 released")
            assert station.received() == [CONNECT_REQUEST], station.received()
            assert dlg.enabled(DIAL)
            dlg.set_text(USERNAME, "still usable")
            assert dlg.text(USERNAME) == "still usable"
            dlg.click(CLOSE)
            app.wait(15)


def auto_close_after_reply(args):
    """With /AUTOCLOSE the dialog ends right after the reply: no hang-up request, no notice."""
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        app, dlg = open_direct(s, ["/AUTOCLOSE"])
        dlg.click(DIAL)
        assert app.wait(30) == 0
        login = station.received()[1:2]
        assert station.received() == [CONNECT_REQUEST, *login], station.received()


def close_button_and_close_box(args):
    """With the link left open, only the window's close box sends the hang-up request."""
    for way in ("button", "box"):
        with args.session(com_ports=["COM1"]) as s, \
                Station(s, "--scenario", "refuse") as station:
            app, dlg = open_direct(s)
            dlg.click(DIAL)
            dlg.wait_text(STATUS_ID, lambda t: SEND_ERROR in t, 15)
            if way == "button":
                dlg.click(CLOSE)
            else:
                dlg.close()
            assert app.wait(30) == EXIT_LINK_FAILED, "the login was not taken"
            sent = station.received()[2:]
            assert sent == ([HANGUP_REQUEST] if way == "box" else []), (way, sent)


@contextlib.contextmanager
def output_stopped_after_connect(session, station, port="COM1"):
    """Stops what the program transmits on the port as soon as the station has its connect
    request (before it answers), until the block ends; the program's writes then stay pending.

    This is the pty's own output flow control, as a peer that stops reading or an XOFF would
    hold a real line; reception goes on. A thread watches the station, because Dial keeps
    the dialog, and so the driver, busy meanwhile."""
    fd = os.open(session.port(port).tty(), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    stopped = threading.Event()

    def stop_at_connect():
        wait_for(lambda: station.events("frame"), 20, what="connect request")
        termios.tcflow(fd, termios.TCOOFF)
        stopped.set()

    watcher = threading.Thread(target=stop_at_connect, daemon=True)
    watcher.start()
    try:
        yield stopped
    finally:
        watcher.join(20)
        termios.tcflow(fd, termios.TCOON)
        os.close(fd)


def stalled_peer(args):
    """A peer that stops taking bytes: each send, the next Dial and the close box end within the time-outs."""
    with args.session(com_ports=["COM1"]) as s, Station(s, "--delay-ms", "500") as station:
        app, dlg = open_direct(s, ["/USER:u"])
        with output_stopped_after_connect(s, station) as stopped:
            dlg.click(DIAL)
            dlg.wait_text(STATUS_ID, lambda t: SEND_ERROR in t, 30)
            assert stopped.is_set()
            start = time.monotonic()
            dlg.click(DIAL)
            dlg.wait_text(STATUS_ID, lambda t: t.count(SEND_ERROR) == 2, 30)
            again = time.monotonic() - start
            assert status_lines(dlg) == [READY, CONNECTED, SENDING, SEND_ERROR, CONNECTED,
                                         SENDING, SEND_ERROR], status_lines(dlg)
            start = time.monotonic()
            dlg.close()
            assert app.wait(30) == 3  # the last attempt failed to send: link failed
            closed = time.monotonic() - start
        print("second Dial %.2f s, close box %.2f s" % (again, closed))
        # The library's own limits: 5 s for a transmission, 2 s for the answer to start, and
        # up to a second to give up a stalled write; not the device's write time-outs.
        assert again < 15 and closed < 20, (again, closed)
        # Given-up writes are dropped whole: nothing half-sent or rewritten reaches the line.
        time.sleep(0.5)
        login = envelope(login_payload("", "u", "", "", 30))
        assert station.received()[0] == CONNECT_REQUEST, station.received()
        assert set(station.received()) <= {CONNECT_REQUEST, login, HANGUP_REQUEST}, \
            station.received()
        assert not station.events("stray"), station.events("stray")

ANSWERS = [
    # station arguments, what the decoder has to cope with
    (["--scenario", "noise", "--noise", "200"], "noise before every frame"),
    (["--scenario", "split"], "answers split across reads"),
    (["--bcc", "ee"], "a wrong BCC on every answer"),
    (["--pad", "9000"], "an answer longer than the receive buffer and the frame"),
]


def answers_the_decoder_takes(args):
    """Answers a real line may bring still complete the exchange."""
    for station_args, what in ANSWERS:
        with args.session(com_ports=["COM1"]) as s, Station(s, *station_args):
            app = s.start_farlink(["/DIAL:1"])
            dlg = s.driver().find_window(MAIN_CAPTION)
            dlg.click(DIRECT)
            wait_for(lambda: dlg.enabled(PORTS), 5, what="Direct type")
            box, text, _ = dial_until_notice(dlg)
            assert status_lines(dlg) == [READY, CONNECTED, SENDING, EXECUTED, HANGUP_LINE], \
                (what, status_lines(dlg))
            dismiss(box)
            trace = app.trace()
            if "--bcc" in station_args:
                assert any("BCC" in line for line in trace), trace
            if "--pad" in station_args:
                assert any("cut to 8192" in line for line in trace), trace
            dlg.click(CLOSE)
            app.wait(15)


def broken_answers(args):
    """A noise flood or a station gone mid-answer: a clear line, no hang, and the close box frees the port."""
    for scenario in ("flood", "disconnect"):
        with args.session(com_ports=["COM1"]) as s, Station(s, "--scenario", scenario):
            app, dlg = open_direct(s)
            dlg.click(DIAL)
            dlg.wait_text(STATUS_ID, lambda t: SEND_ERROR in t, 20)
            assert status_lines(dlg) == [READY, CONNECTED, SENDING, SEND_ERROR], \
                (scenario, status_lines(dlg))
            assert app.alive()
            trace = app.trace()
            assert any(line.startswith("Couldn't send message. Error = -1") for line in trace), trace
            dlg.close()
            assert app.wait(30) == EXIT_LINK_FAILED
            assert not program_holds(s), "COM1 still open"


def dial_during_the_exchange(args):
    """Another program's Dial sent while an exchange runs (Dial serves no messages until it is
    over) comes before the station's answer is handled: the station still gets one login, and
    the callback step runs once."""
    with args.session(com_ports=["COM1"]) as s, Station(s, "--delay-ms", "1000") as station:
        app, dlg = open_direct(s, delay=45)
        other = Window(s.second_driver(), dlg.handle)
        threading.Thread(target=dlg.click, args=(DIAL,), daemon=True).start()
        wait_for(lambda: station.received(), 10, what="the connect request")
        threading.Thread(target=other.command, args=(DIAL,), daemon=True).start()
        box = dlg.wait_owned(20)
        time.sleep(2.0)  # room for a second answer's notice
        ui = s.driver()
        notices = [h for h, _, cls, _ in ui.windows()
                   if cls == "#32770" and Window(ui, h).message_box()[1] == NOTICE % 45]
        logins = [e for e in station.events("frame") if e["kind"] == "login"]
        assert (len(logins), len(notices)) == (1, 1), (len(logins), len(notices))
        dismiss(box)
        dlg.click(CLOSE)
        app.wait(15)


CASES = {
    "whole_exchange": whole_exchange,
    "login_bytes_in_one_run": login_bytes_in_one_run,
    "windows_98_starts_directcc": windows_98_starts_directcc,
    "login_refused": login_refused,
    "oversized_login_refused": oversized_login_refused,
    "unanswered_connect": unanswered_connect,
    "auto_close_after_reply": auto_close_after_reply,
    "close_button_and_close_box": close_button_and_close_box,
    "answers_the_decoder_takes": answers_the_decoder_takes,
    "broken_answers": broken_answers,
    "stalled_peer": stalled_peer,
    "dial_during_the_exchange": dial_during_the_exchange,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
