// What a run of the program came to, and the exit status that tells a script.
#pragma once
#include <vector>

// Exit statuses of the process. Scripts and scheduled tasks rely on these
// numbers: never renumber them.
enum ExitStatus : int {
    kExitSuccess = 0,       // the station executed the command
    kExitNoExchange = 1,    // nothing was dialled, or the run was only asked for its usage
    kExitLoginRefused = 2,  // the station answered Invalid user or Invalid password
    kExitLinkFailed = 3,    // no link, busy, no answer, dropped, no verdict, out of time
    kExitUnusableInput = 4, // a profile, the command line or the login texts could not be used
};

enum class Outcome {
    NoExchange,
    Success,
    InvalidUser,
    InvalidPassword,
    NothingToDial, // the chosen link type has no line or port to dial on
    NoConnection,  // the cable link could not be opened or the station did not take it
    LoginNotTaken, // the station did not acknowledge the login frame
    AnswerMissing, // the link was up, but no verdict came back before it ended
    NoVerdict,     // the login went out and the station answered, but without a verdict
    Busy,          // modem: the line or the station was busy
    NoAnswer,      // modem: nobody answered the call
    CallDropped,   // modem: the call or the line went away during the attempt
    CallFailed,    // modem: the call could not be placed or connected
    TimedOut,      // /TIMEOUT: ran out before the station's answer
    FrameTooLong,  // the login texts do not fit one frame
    ProfileUnusable,
    CommandLineUnusable,
};

int ExitStatusOf(Outcome outcome);
// A short fixed English phrase for the log's last line.
const char* DescribeOutcome(Outcome outcome);

// The outcome of the run so far: the last attempt's, or what kept the run
// from dialling. An attempt runs from the moment Dial opens a link or places
// a call to its first answer block or failure; until then it counts as an
// answer that is missing, so a run closed in the middle never claims success.
class RunRecord {
  public:
    void BeginAttempt();
    // One answer block of the station, as the string ids of its reply lines.
    // A block with a verdict decides the outcome, also after the attempt has
    // ended (the answer may come in pieces); a refusal outweighs a success in
    // the same block. A block without one leaves the outcome as it was.
    void RecordReply(const std::vector<int>& replyIds);
    // Ends the open attempt with a failure. False, changing nothing, when no
    // attempt is open: an attempt ends once, and what the link reports while
    // being taken down afterwards does not overwrite why it ended.
    bool RecordFailure(Outcome failure);
    // Something the run was given cannot be used (before any attempt).
    void RecordUnusableInput(Outcome why);

    bool AttemptOpen() const { return attemptOpen_; }
    Outcome outcome() const { return outcome_; }
    int Exit() const { return ExitStatusOf(outcome_); }

  private:
    Outcome outcome_ = Outcome::NoExchange;
    bool attemptOpen_ = false;
};
