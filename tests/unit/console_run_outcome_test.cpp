// A run's outcome and exit status, as a script that started the run sees it.
#include "console/RunOutcome.h"
#include "console/StationProtocol.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace {
const int kUser = kReplyInvalidUser;
const int kPassword = kReplyInvalidPassword;
const int kExecuted = kReplyCommandExecuted;
const int kConnected = kReplyConnectedTo;
} // namespace

TEST(RunRecord, ARunWithoutAnyAttemptNeverClaimsSuccess) {
    RunRecord run;
    EXPECT_EQ(run.Exit(), kExitNoExchange);
    EXPECT_FALSE(run.RecordFailure(Outcome::NoConnection)) << "no attempt is open";
    EXPECT_EQ(run.Exit(), kExitNoExchange);
}

TEST(RunRecord, TheAnswerBlockDecidesTheExitStatus) {
    const struct {
        std::vector<int> replies;
        int exit;
    } cases[] = {
        {{kExecuted}, kExitSuccess},
        {{kConnected, kExecuted}, kExitSuccess},
        {{kUser}, kExitLoginRefused},
        {{kPassword}, kExitLoginRefused},
        // A refusal in the same block outweighs a success, in either order.
        {{kExecuted, kPassword}, kExitLoginRefused},
        {{kUser, kExecuted}, kExitLoginRefused},
        // An answer without a verdict: the login went out, whatever the station did with it.
        {{}, kExitLinkFailed},
        {{kConnected}, kExitLinkFailed},
    };
    for (const auto& c : cases) {
        RunRecord run;
        run.BeginAttempt();
        run.RecordReply(c.replies);
        EXPECT_EQ(run.Exit(), c.exit) << c.replies.size();
        if (c.exit == kExitLinkFailed) {
            EXPECT_EQ(run.outcome(), Outcome::NoVerdict) << "told apart from a call never made";
        }
        EXPECT_FALSE(run.AttemptOpen());
    }
}

TEST(RunRecord, AnAnswerInPiecesIsDecidedByThePieceWithTheVerdict) {
    RunRecord run;
    run.BeginAttempt();
    run.RecordReply({});
    run.RecordReply({kPassword});
    EXPECT_EQ(run.outcome(), Outcome::InvalidPassword);
    // A stray empty block afterwards does not undo the verdict.
    run.RecordReply({});
    EXPECT_EQ(run.outcome(), Outcome::InvalidPassword);
}

TEST(RunRecord, AnAttemptEndsOnceAndTheLastAttemptCounts) {
    RunRecord run;
    run.BeginAttempt();
    EXPECT_EQ(run.Exit(), kExitLinkFailed) << "closed mid-attempt: the answer is missing";
    EXPECT_TRUE(run.RecordFailure(Outcome::TimedOut));
    // The hang-up after a time-out reports the dropped call: the time-out stays.
    EXPECT_FALSE(run.RecordFailure(Outcome::CallDropped));
    EXPECT_EQ(run.outcome(), Outcome::TimedOut);
    // A block without a verdict during the hang-up leaves the time-out; a verdict decides.
    run.RecordReply({kConnected});
    EXPECT_EQ(run.outcome(), Outcome::TimedOut);
    run.RecordReply({kExecuted});
    EXPECT_EQ(run.Exit(), kExitSuccess) << "the station did execute it: a retry would repeat it";

    run.BeginAttempt();
    run.RecordReply({kExecuted});
    EXPECT_EQ(run.Exit(), kExitSuccess);
    EXPECT_FALSE(run.RecordFailure(Outcome::CallDropped)) << "the call ends after the answer";
    EXPECT_EQ(run.Exit(), kExitSuccess);

    run.BeginAttempt();
    EXPECT_TRUE(run.RecordFailure(Outcome::Busy));
    EXPECT_EQ(run.Exit(), kExitLinkFailed);
}

TEST(RunRecord, UnusableInputIsOverwrittenByALaterAttempt) {
    RunRecord run;
    run.RecordUnusableInput(Outcome::ProfileUnusable);
    EXPECT_EQ(run.Exit(), kExitUnusableInput);
    run.BeginAttempt();
    run.RecordReply({kUser});
    EXPECT_EQ(run.Exit(), kExitLoginRefused);
}

TEST(ExitStatusOf, EveryOutcomeHasItsClassAndItsWords) {
    const struct {
        Outcome outcome;
        int exit;
    } cases[] = {
        {Outcome::NoExchange, kExitNoExchange},
        {Outcome::Success, kExitSuccess},
        {Outcome::InvalidUser, kExitLoginRefused},
        {Outcome::InvalidPassword, kExitLoginRefused},
        {Outcome::NothingToDial, kExitLinkFailed},
        {Outcome::NoConnection, kExitLinkFailed},
        {Outcome::LoginNotTaken, kExitLinkFailed},
        {Outcome::AnswerMissing, kExitLinkFailed},
        {Outcome::NoVerdict, kExitLinkFailed},
        {Outcome::Busy, kExitLinkFailed},
        {Outcome::NoAnswer, kExitLinkFailed},
        {Outcome::CallDropped, kExitLinkFailed},
        {Outcome::CallFailed, kExitLinkFailed},
        {Outcome::TimedOut, kExitLinkFailed},
        {Outcome::FrameTooLong, kExitUnusableInput},
        {Outcome::ProfileUnusable, kExitUnusableInput},
        {Outcome::CommandLineUnusable, kExitUnusableInput},
    };
    std::vector<std::string> words;
    for (const auto& c : cases) {
        EXPECT_EQ(ExitStatusOf(c.outcome), c.exit) << DescribeOutcome(c.outcome);
        words.push_back(DescribeOutcome(c.outcome));
    }
    std::sort(words.begin(), words.end());
    EXPECT_EQ(std::unique(words.begin(), words.end()), words.end()) << "two outcomes read alike";
}
