// Outcomes of a run, their exit statuses and their words in the log.
#include "console/RunOutcome.h"
#include "console/StationProtocol.h"

int ExitStatusOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Success:
        return kExitSuccess;
    case Outcome::NoExchange:
        return kExitNoExchange;
    case Outcome::InvalidUser:
    case Outcome::InvalidPassword:
        return kExitLoginRefused;
    case Outcome::FrameTooLong:
    case Outcome::ProfileUnusable:
    case Outcome::CommandLineUnusable:
        return kExitUnusableInput;
    case Outcome::NothingToDial:
    case Outcome::NoConnection:
    case Outcome::LoginNotTaken:
    case Outcome::AnswerMissing:
    case Outcome::NoVerdict:
    case Outcome::Busy:
    case Outcome::NoAnswer:
    case Outcome::CallDropped:
    case Outcome::CallFailed:
    case Outcome::TimedOut:
        break;
    }
    return kExitLinkFailed;
}

const char* DescribeOutcome(Outcome outcome) {
    switch (outcome) {
    case Outcome::NoExchange:
        return "nothing was dialled";
    case Outcome::Success:
        return "the station executed the command";
    case Outcome::InvalidUser:
        return "the station refused the user";
    case Outcome::InvalidPassword:
        return "the station refused the password";
    case Outcome::NothingToDial:
        return "no line or port to dial on";
    case Outcome::NoConnection:
        return "no connection with the station";
    case Outcome::LoginNotTaken:
        return "the station did not take the login";
    case Outcome::AnswerMissing:
        return "the station's answer is missing";
    case Outcome::NoVerdict:
        return "the login was sent, but the station's answer held no verdict";
    case Outcome::Busy:
        return "the line was busy";
    case Outcome::NoAnswer:
        return "the call was not answered";
    case Outcome::CallDropped:
        return "the call was dropped";
    case Outcome::CallFailed:
        return "the call could not be made";
    case Outcome::TimedOut:
        return "the station did not answer in time";
    case Outcome::FrameTooLong:
        return "the login texts are too long to send";
    case Outcome::ProfileUnusable:
        return "the profile could not be used";
    case Outcome::CommandLineUnusable:
        return "the command line could not be used";
    }
    return "unknown";
}

void RunRecord::BeginAttempt() {
    outcome_ = Outcome::AnswerMissing;
    attemptOpen_ = true;
}

void RunRecord::RecordReply(const std::vector<int>& replyIds) {
    // The attempt's first block ends it; without a verdict the station may still have taken
    // the login, which a script must not take for a call that never got through.
    if (attemptOpen_)
        outcome_ = Outcome::NoVerdict;
    attemptOpen_ = false;
    bool executed = false;
    for (int id : replyIds) {
        if (id == kReplyInvalidUser || id == kReplyInvalidPassword) {
            outcome_ = id == kReplyInvalidUser ? Outcome::InvalidUser : Outcome::InvalidPassword;
            return;
        }
        executed = executed || id == kReplyCommandExecuted;
    }
    if (executed)
        outcome_ = Outcome::Success;
}

bool RunRecord::RecordFailure(Outcome failure) {
    if (!attemptOpen_)
        return false;
    attemptOpen_ = false;
    outcome_ = failure;
    return true;
}

void RunRecord::RecordUnusableInput(Outcome why) {
    attemptOpen_ = false;
    outcome_ = why;
}
