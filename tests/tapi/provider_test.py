#!/usr/bin/env python3
"""The test telephony provider answers as tests/tapi/README.md says, seen from a client program."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))

from farlink_tapi import Entry, install_control_panel, install_provider, provider_env  # noqa: E402
from farlink_wine import HarnessError, pe_machine, run_cases  # noqa: E402



def lineerr(code):
    """A LINEERR_ value as the signed 32-bit result the client prints."""
    return code - (1 << 32)


ALLOCATED, BADDEVICEID, INCOMPATIBLEAPIVERSION = lineerr(0x80000001), lineerr(0x80000002), \
    lineerr(0x8000000C)
INVALCALLHANDLE, INVALDEVICECLASS, INVALLINEHANDLE = lineerr(0x80000018), lineerr(0x80000023), \
    lineerr(0x8000002B)
OPERATIONFAILED, RESOURCEUNAVAIL, STRUCTURETOOSMALL, REINIT = lineerr(0x80000048), \
    lineerr(0x8000004B), lineerr(0x8000004D), lineerr(0x80000052)
LINE_CALLSTATE, LINE_CLOSE, LINE_LINEDEVSTATE, LINE_REPLY, LINE_CREATE = 2, 3, 8, 12, 19

FOUR_LINES = """
# device 0: a data modem on COM2
line "Modem One"
  comm COM2
line counted "Modem Two"
line unicode "Voice"
  media LINEMEDIAMODE_INTERACTIVEVOICE
  bearer LINEBEARERMODE_VOICE|LINEBEARERMODE_DATA
line "Old" # only versions 1.0 to 1.2
  versions 0x10000 0x10002
"""


def run_client(args, scenario, steps, com_ports=()):
    """Runs tapi_client with the provider installed; returns (client lines, provider log)."""
    with args.session(com_ports=list(com_ports)) as s:
        log = install_provider(s, scenario, folder="Client")
        client = s.install(args.client, folder="Client")
        code, output = s.run(client, [str(step) for step in steps], env=provider_env(log=log),
                             timeout=60)
        assert code == 0, output
        words = ("init", "shutdown", "negotiate", "devcaps", "open", "close", "addrcaps",
                 "addrstatus", "getid-", "makecall", "dial", "drop", "dealloc", "callstatus",
                 "translate", "pumped", "wait-reply", "callback", "error")
        lines = [Entry(line) for line in output.splitlines() if line.startswith(words)]
        assert not [e for e in lines if e.kind == "error"], output
        return lines, log.entries()


def only(lines, kind):
    return [e for e in lines if e.kind == kind]


def start_up_structures(args):
    """Devices, versions, names in their forms, and blocks filled only as far as they reach."""
    steps = ["init"]
    for device, (low, high) in enumerate([(0x10003, 0x20000)] * 3 + [(0x20000, 0x20000)]):
        steps += ["negotiate", device, hex(low), hex(high)]
    for device in range(3):
        steps += ["devcaps", device, "0x20000", 1292]
    steps += ["devcaps", 0, "0x20000", 260,        # fixed part fits, names do not
              "devcaps", 0, "0x20000", 100,        # not even the fixed part
              "devcaps", 3, "0x20000", 1292,       # a version the device does not take
              "devcaps", 9, "0x20000", 1292,       # no such device
              "addrcaps", 0, "0x20000", 1252, "addrcaps", 0, "0x20000", 228,
              "open", 1, "0x20000", "addrstatus", 1088, "close", "close", "shutdown"]
    out, log = run_client(args, FOUR_LINES, steps)
    assert out[0]["numdevs"] == "4", out[0]
    versions = [(e.num("result"), e["version"]) for e in only(out, "negotiate")]
    assert versions == [(0, "0x20000"), (0, "0x20000"), (0, "0x20000"),
                        (INCOMPATIBLEAPIVERSION, "0x0")], versions
    caps = only(out, "devcaps")
    # The NUL-terminated name, with its NUL counted.
    assert (caps[0]["name"], caps[0]["namesize"], caps[0]["format"]) == ("Modem One.", "10", "1")
    # The counted name: no NUL, and the byte after it is not 0 either.
    assert caps[1]["name"] == "Modem Two" and caps[1]["namesize"] == "9", caps[1]
    assert caps[1]["after"] != "0x0", caps[1]
    # Unicode names come as UTF-16 with STRINGFORMAT_UNICODE.
    assert caps[2]["format"] == "3" and caps[2]["namesize"] == "12", caps[2]
    assert caps[2]["media"] == "0x4" and caps[2]["bearer"] == "0x9", caps[2]
    assert caps[0]["media"] == "0x14" and caps[0]["features"] != "0x0", caps[0]
    small = caps[3]
    assert small.num("result") == 0 and small.num("needed") > 260, small
    assert (small["used"], small["namesize"], small["nameoffset"]) == ("252", "0", "0"), small
    assert [c.num("result") for c in caps[4:]] == [
        STRUCTURETOOSMALL, INCOMPATIBLEAPIVERSION, BADDEVICEID], caps[4:]
    assert all(c["canary"] == "1" for c in caps), caps
    full, short = only(out, "addrcaps")
    # LINEADDRCAPFLAGS_PARTIALDIAL and LINEADDRFEATURE_MAKECALL by default
    assert full["addrcapflags"] == "0x10000" and full["addrfeatures"] == "0x2", full
    assert short.num("result") == 0 and short.num("needed") > 228 and short["used"] == "228", short
    assert only(out, "addrstatus")[0]["addrfeatures"] == "0x2"
    assert [e.num("result") for e in only(out, "close")] == [0, INVALLINEHANDLE]
    opens = [e for e in log if e.call("lineOpen")]
    assert (opens[0]["device"], opens[0]["privileges"], opens[0]["media"]) == ("1", "0x1", "0x10")


def result_sequences(args):
    """Per-function and per-device result sequences, then normal behaviour; '*' repeats."""
    scenario = FOUR_LINES + """
results lineInitialize LINEERR_REINIT LINEERR_REINIT
results lineOpen@1 LINEERR_ALLOCATED
results lineOpen@2 LINEERR_RESOURCEUNAVAIL *
event initcall 50 probe 0 0 0 0
"""
    steps = ["init", "pump", 300, "init", "init", "open", 1, "0x20000", "open", 1, "0x20000", "close",
             "open", 0, "0x20000", "close"] + ["open", 2, "0x20000"] * 3 + ["shutdown"]
    out, log = run_client(args, scenario, steps)
    assert [e.num("result") for e in only(out, "init")] == [REINIT, REINIT, 0]
    assert [e.num("result") for e in only(out, "open")] == [
        ALLOCATED, 0, 0, RESOURCEUNAVAIL, RESOURCEUNAVAIL, RESOURCEUNAVAIL]
    inits = [e["result"] for e in log if e.call("lineInitialize")]
    assert inits == ["LINEERR_REINIT", "LINEERR_REINIT", "0"], inits
    # A probe is served while the client dispatches messages, even before any success.
    order = [e.kind for e in log if e.kind in ("probe", "call")][:3]
    assert order == ["call", "probe", "call"], log


def callbacks_come_from_dispatch(args):
    """Replies and events arrive on the initialising thread, only while it dispatches messages."""
    scenario = FOUR_LINES + """
event init 0 LINE_LINEDEVSTATE app LINEDEVSTATE_REINIT 0 0
event init 30 LINE_CREATE 0 7 0 0
event init 40 LINE_REPLY 0 999 0 0
event init 50 LINE_CALLSTATE 0xdead LINECALLSTATE_IDLE 0 0
event makecall 20 LINE_CALLSTATE call LINECALLSTATE_DIALTONE LINEDIALTONEMODE_NORMAL 0
event makecall 30 set-callfeatures call LINECALLFEATURE_DROP 0 0
event makecall 40 LINE_CALLSTATE call LINECALLSTATE_CONNECTED 0 0
event open#2 10 LINE_CLOSE line 0 0 0
"""
    steps = ["init", "pump", 300, "open", 0, "0x20000", "makecall", "W123?4", "wait-reply",
             "pump", 300, "callstatus", "drop", "wait-reply", "pump", 200, "callstatus",
             "dealloc", "callstatus", "close", "open", 0, "0x20000", "pump", 200, "close",
             "shutdown"]
    out, log = run_client(args, scenario, steps)
    callbacks = only(out, "callback")
    assert callbacks and all(c["same-thread"] == "1" and c["inside-call"] == "0"
                             for c in callbacks), callbacks
    messages = [(c.num("msg"), c["p1"]) for c in callbacks]
    assert messages[:4] == [(LINE_LINEDEVSTATE, "0x40000"), (LINE_CREATE, "0x7"),
                            (LINE_REPLY, "0x3e7"), (LINE_CALLSTATE, "0x1")], messages
    make = only(out, "makecall")[0]
    assert make["result"] == "request" and make["handle-before-reply"] == "0x0", make
    reply = [c for c in callbacks if c.num("msg") == LINE_REPLY][1]
    assert reply["p2"] == "0x0", reply
    states = [c["p1"] for c in callbacks if c.num("msg") == LINE_CALLSTATE]
    # dial tone, connected, then the idle state that follows a successful drop
    assert states[1:] == ["0x8", "0x100", "0x1"], states
    status = only(out, "callstatus")
    assert [(s["state"], s["features"]) for s in status[:2]] == [
        ("0x100", "0x80"), ("0x1", "0x0")], status  # LINECALLFEATURE_DROP only, then none
    assert status[2].num("result") == INVALCALLHANDLE, status  # after deallocation
    # The second open is closed by the provider: the program's lineClose then fails.
    assert callbacks[-1].num("msg") == LINE_CLOSE, callbacks
    assert only(out, "close")[-1].num("result") == INVALLINEHANDLE
    made = [e for e in log if e.call("lineMakeCall")][0]
    assert made["destination"] == "W123?4" and made["params"] == "null", made


def comm_identifier(args):
    """comm/datamodem: a too small block learns the size, a big one gets the open port. A port
    fault ends when its time is up, or at lineShutdown."""
    scenario = FOUR_LINES + "event open 0 comm-fault 0 100 0 0\n" \
        "event open#2 0 comm-fault 0 60000 0 0\n"
    steps = ["init", "open", 0, "0x20000", "pump", 300, "getid-line", 24, "comm/datamodem",
             "getid-line", 40, "comm/datamodem", "getid-line", 24, "comm/datamodem/portname",
             "getid-line", 40, "comm/datamodem/portname", "getid-line", 40, "wave/in",
             "close", "open", 1, "0x20000", "getid-line", 40, "comm/datamodem", "pump", 100,
             "shutdown"]
    out, log = run_client(args, scenario, steps, com_ports=["COM2"])
    ids = only(out, "getid-line")
    small, big = ids[0], ids[1]
    handle = 8 if pe_machine(args.client) == "x86_64" else 4
    assert (small.num("result"), small["used"], small["stringsize"]) == (0, "24", "0"), small
    assert small.num("needed") >= 24 + handle + 5, small
    assert big.num("result") == 0 and big["filetype"] == "2" and big["name"] == "COM2.", big
    assert (ids[3]["stringsize"], ids[3]["format"]) == ("5", "1"), ids[3]
    assert ids[4].num("result") == INVALDEVICECLASS, ids[4]
    assert ids[5].num("result") == OPERATIONFAILED, ids[5]  # no port behind line 1
    assert all(i["canary"] == "1" for i in ids), ids
    opened = [e for e in log if e.call("lineGetID") and e.get("handle", "none") != "none"]
    assert len(opened) == 1 and opened[0]["port"] == "COM2", opened
    faults = [(e.kind, e.name, e["done"]) for e in log if e.kind == "comm-fault"]
    assert faults == [("comm-fault", state, "1") for state in ("on", "off") * 2], faults
    assert log[-2].kind == "comm-fault" and log[-1].call("lineShutdown"), log[-2:]


def scenario_mistakes(args):
    """Every bad scenario line is named in the log, and the harness refuses to read on."""
    scenario = 'line "A"\nversions 0x10000\nfrobnicate 1\nresults lineOpen NOSUCH\nline "B\n'
    try:
        run_client(args, scenario, ["init", "shutdown"])
    except HarnessError as e:
        message = str(e)
    else:
        raise AssertionError("scenario errors went unnoticed")
    for needle in ("line 2: versions", "line 3: unknown statement", "line 4: unknown result",
                   "line 5: unterminated quote"):
        assert needle in message, message


def control_panel_stand_in(args):
    """The CONTROL.EXE stand-in appends each command line it is started with to control.log."""
    with args.session(com_ports=[]) as s:
        env, log = install_control_panel(s)
        stub = log.parent / "CONTROL.exe"
        for extra in (["MODEM.CPL,,ADD"], []):
            code, output = s.run(stub, extra, env=env, timeout=60)
            assert code == 0, output
        lines = log.read_text().splitlines()
        assert len(lines) == 2 and lines[0].endswith(" MODEM.CPL,,ADD"), lines
        assert "MODEM" not in lines[1], lines


CASES = {
    "start_up_structures": start_up_structures,
    "result_sequences": result_sequences,
    "callbacks_come_from_dispatch": callbacks_come_from_dispatch,
    "comm_identifier": comm_identifier,
    "scenario_mistakes": scenario_mistakes,
    "control_panel_stand_in": control_panel_stand_in,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, extra_options=["--client"]))
