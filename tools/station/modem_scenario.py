"""Test-provider scenarios for a modem call that reaches the simulated station.

The provider (tests/tapi) plays the telephone network: after each successful lineMakeCall it sends
the call states of an outgoing call, and its "comm/datamodem" handle is a COM port of the Wine
session whose far end the station holds. Format: tests/tapi/README.md.
"""

# (ms after the lineMakeCall reply, call state, mode) of a call the station answers
ANSWERED = [
    (100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL"),
    (300, "LINECALLSTATE_DIALING", "0"),
    (500, "LINECALLSTATE_PROCEEDING", "0"),
    (800, "LINECALLSTATE_RINGBACK", "0"),
    (1400, "LINECALLSTATE_CONNECTED", "0"),
]


def call_states(states, calls=1):
    """`event` lines sending `states` after each of the first `calls` calls made."""
    lines = []
    for n in range(1, calls + 1):
        for delay, state, mode in states:
            lines.append("event makecall#%d %d LINE_CALLSTATE call %s %s 0" % (n, delay, state, mode))
    return "\n".join(lines) + "\n"


def modem_line(port="COM1", name="Station Modem", extra=""):
    """One data modem whose connected call is the COM port `port`."""
    return 'line "%s"\n  comm %s\n%s' % (name, port, extra)


def answered_call(port="COM1", calls=1, extra=""):
    """A modem line on `port` whose calls ring through to the station."""
    return modem_line(port, extra=extra) + call_states(ANSWERED, calls)
