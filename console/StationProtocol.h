// The login frame sent to the station and the reading of its reply codes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t kFrameSeparator = 0x10;
constexpr size_t kFrameCapacity = 2048;

struct LoginFields {
    std::string myNumber;
    std::string username;
    std::string password;
    std::string domain;
    int delay = 30;
    bool direct = false; // the direct link adds the delay byte and a separator
};

// Builds the frame into out. Returns false, leaving out empty, when the
// frame would not fit the capacity.
bool BuildLoginFrame(const LoginFields& fields, std::vector<uint8_t>& out);

// Reply codes the station sends and the string ids that report them.
enum ReplyText : int {
    kReplyConnectedTo = 109,
    kReplyInvalidUser = 110,
    kReplyInvalidPassword = 111,
    kReplyCommandExecuted = 112,
};

// Reads one received block. state carries over between blocks: 0 until a
// separator was seen, then 1 for good. Returns the string ids to report, in
// byte order.
std::vector<int> ParseReplyBlock(int& state, const uint8_t* bytes, int count);
