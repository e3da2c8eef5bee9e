// How a dial number is sent in parts: the pause characters a modem may not
// handle itself, the set of those the program must stop at, and the split of
// the number at them. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct PauseCharacter {
    uint32_t dialError;     // LINEERR_ code a modem answers for the character
    uint32_t capabilityBit; // LINEDEVCAPFLAGS_ bit: the modem handles it itself (0: never)
    char character;
    const char* prompt; // what the operator waits for before dialling goes on
};

// The five rows, in the order they are searched.
extern const PauseCharacter kPauseCharacters[5];

// Prompt for the pause character that stopped dialling; empty for others.
const char* PausePrompt(char character);

// True for the dial errors that name a pause character.
bool IsPauseDialError(uint32_t result);

// The pause characters dialling stops at. Holds each character once, so it
// never outgrows its room.
class StopSet {
  public:
    static constexpr size_t kCapacity = 80;

    // The characters of every row whose capability the line lacks.
    static StopSet ForDevCapFlags(uint32_t devCapFlags);

    // Adds the characters of every row with this dial error; false when
    // none of them was new (the split would come out the same again).
    bool Grow(uint32_t dialError);

    bool Contains(char c) const;
    const std::string& Characters() const { return chars_; }

  private:
    bool Add(char c);
    std::string chars_;
};

// One part of the number: what to send and the pause character after it.
struct DialPart {
    std::string text; // with ";" at its end when dialling pauses after it
    char pause = 0;   // 0 when the part runs to the end of the number
    size_t next = 0;  // position after the part (past its pause character)
};

// The part of dial that starts at position.
DialPart NextDialPart(const std::string& dial, size_t position, const StopSet& stops);
