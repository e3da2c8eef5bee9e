// How the modem call code tells the dialog that a call attempt ended before
// the station's answer.
//
// Call ReportCallEnd once, on the user-interface thread, at the moment the
// attempt is known to have failed and before (or instead of) StopCall:
//   - LINECALLSTATE_BUSY, or a disconnect for LINEDISCONNECTMODE_BUSY:   Busy
//   - a disconnect for LINEDISCONNECTMODE_NOANSWER:                      NoAnswer
//   - any other disconnect or idle before the answer, the line going out
//     of service, or the data channel failing (RequestHangup):           Dropped
//   - DialCall giving up, no comm handle, the data channel not starting,
//     "Failed to Connect":                                               ConnectFailed
// Later reports of the same attempt are ignored, and so is a report when no
// attempt is open (after the answer, a time-out or a Hangup), so the call
// code need not know which of its ways out came first. In an unattended run
// (/AUTODIAL with /AUTOCLOSE) the report also closes the program with the
// failure's exit status once the Status lines are shown. A box of the
// program's still open then gets its declining answer (posted: the box returns
// once the code running inside its message loop is done), so code after a box
// must check that its attempt still runs before it goes on. A DialCall that
// returns without a call in progress and without a report counts as
// ConnectFailed.
#pragma once

enum class CallEnd { Busy, NoAnswer, Dropped, ConnectFailed };

void ReportCallEnd(CallEnd end);
