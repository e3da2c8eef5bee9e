// What a link tells the main dialog, on the user-interface thread. The dialog installs itself
// as the receiver (SetLinkEvents); without one, reports go nowhere.
//
// A call attempt ends before the station's answer with one CallEnd, reported once, at the
// moment the attempt is known to have failed and before (or instead of) its stop:
//   - LINECALLSTATE_BUSY, or a disconnect for LINEDISCONNECTMODE_BUSY:   Busy
//   - a disconnect for LINEDISCONNECTMODE_NOANSWER:                      NoAnswer
//   - any other disconnect or idle before the answer, the line going out
//     of service, or the data channel failing:                           Dropped
//   - DialCall giving up, no comm handle, the data channel not starting,
//     "Failed to Connect":                                               ConnectFailed
//   - the cable's port could not be opened or the station did not
//     take the connection request:                                      NoConnection
//   - the login frame could not be written (modem) or was not
//     acknowledged (cable):                                             LoginNotTaken
// Every report names its attempt. The dialog ignores a report for an attempt that is not the
// one under way, and later reports of the same attempt, so a link need not know which of its
// ways out came first. In an unattended run (/AUTODIAL with /AUTOCLOSE) the report also closes
// the program with the failure's exit status once the Status lines are shown; a box of the
// program's still open then gets its declining answer (posted: the box returns once the code
// running inside its message loop is done), so code after a box must check that its attempt
// still runs before it goes on.
#pragma once
#include <string>

enum class CallEnd { Busy, NoAnswer, Dropped, ConnectFailed, NoConnection, LoginNotTaken };

class LinkEvents {
  public:
    // A line for the Status box.
    virtual void LinkStatus(const std::string& line) = 0;
    // The link's call started, ended or changed: what the operator may press changes too.
    virtual void LinkChanged() = 0;
    // Attempt ended before the station's answer.
    virtual void LinkEnded(unsigned attempt, CallEnd end) = 0;

  protected:
    ~LinkEvents() = default;
};

void SetLinkEvents(LinkEvents* events);

// The reports, passed to the installed receiver.
void LinkStatus(const std::string& line);
void LinkChanged();
void ReportCallEnd(unsigned attempt, CallEnd end);

// The trace line for something of attempt that comes after the attempt ended (or while it is
// being stopped), and is dropped.
void TraceStale(unsigned attempt, const char* what);
