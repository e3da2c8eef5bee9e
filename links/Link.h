// The face every link to the station shows the main dialog: dial an attempt with the data
// taken when Dial was pressed, send its login, hang up, and say whether it is busy. A link
// reports back through shell/LinkEvents.h and the window messages of shell/LinkMessages.h,
// each tagged with its attempt.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Everything one call attempt uses, copied from the dialog when Dial is pressed: a profile
// loaded, a field typed or a radio button clicked during the call applies from the next Dial.
struct DialData {
    unsigned attempt = 0; // the dialog's number for the attempt, never 0
    DWORD deviceId = 0;   // modem: the line
    int portNumber = 0;   // cable: n of COMn
    std::string dialNumber;
    std::string myNumber;
    std::string username;
    std::string password;
    std::string domain;
    int delay = 30;
    // An unattended run's time limit: the attempt's waits, its stop's too, end by cutTick.
    bool cut = false;
    DWORD cutTick = 0;
};

class Link {
  public:
    virtual ~Link() = default;

    // Starts the attempt. The link is busy from here until its hang-up has ended. An attempt
    // that could not even start (said why, or not) leaves the link idle again.
    virtual void Dial(const DialData& data) = 0;
    // The station is on the line: sends the attempt's login frame. An attempt whose login
    // could not go out is reported (LoginNotTaken) and, where the link needs it, hung up.
    virtual void SendLogin(unsigned attempt, const std::vector<uint8_t>& frame) = 0;
    // No login will be sent for the attempt (it does not fit a frame).
    virtual void AbandonLogin(unsigned attempt) = 0;
    // Ends whatever call the link has up; nothing when it has none.
    virtual void Hangup() = 0;
    // The window's close box: everything the link holds goes.
    virtual void Close() = 0;
    // A call of the link is under way, being set up or being taken down: no Dial now.
    virtual bool Busy() const = 0;
    // True (after a trace line naming what) when attempt is not the link's call under way.
    virtual bool Gone(unsigned attempt, const char* what) const = 0;
    // The direct cable: its login frame carries the callback delay, and its answer is followed
    // by the callback step.
    virtual bool DirectCable() const = 0;
};
