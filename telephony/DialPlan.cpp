// Pause characters, the stop set and the split of a dial number.
#include "telephony/DialPlan.h"
#include "telephony/TapiValues.h"

using namespace TapiValue;

const PauseCharacter kPauseCharacters[5] = {
    {kLineErrDialBilling, kDevCapDialBilling, '$', "Wait for the credit card bong tone"},
    {kLineErrDialDialTone, kDevCapDialDialTone, 'W', "Wait for the second dial tone"},
    {kLineErrDialDialTone, kDevCapDialDialTone, 'w', "Wait for the second dial tone"},
    {kLineErrDialQuiet, kDevCapDialQuiet, '@', "Wait for the remote end to answer"},
    {kLineErrDialPrompt, 0, '?', "Press OK when you are ready to continue dialing"},
};

const char* PausePrompt(char character) {
    for (const PauseCharacter& row : kPauseCharacters)
        if (row.character == character)
            return row.prompt;
    return "";
}

bool IsPauseDialError(uint32_t result) {
    for (const PauseCharacter& row : kPauseCharacters)
        if (row.dialError == result)
            return true;
    return false;
}

StopSet StopSet::ForDevCapFlags(uint32_t devCapFlags) {
    StopSet set;
    for (const PauseCharacter& row : kPauseCharacters)
        if ((devCapFlags & row.capabilityBit) == 0) // "?" has no bit: always a stop
            set.Add(row.character);
    return set;
}

bool StopSet::Grow(uint32_t dialError) {
    bool added = false;
    for (const PauseCharacter& row : kPauseCharacters)
        if (row.dialError == dialError && Add(row.character))
            added = true;
    return added;
}

bool StopSet::Contains(char c) const {
    return c != '\0' && chars_.find(c) != std::string::npos;
}

bool StopSet::Add(char c) {
    if (Contains(c) || chars_.size() >= kCapacity)
        return false;
    chars_ += c;
    return true;
}

DialPart NextDialPart(const std::string& dial, size_t position, const StopSet& stops) {
    DialPart part;
    if (position >= dial.size()) {
        part.next = dial.size();
        return part;
    }
    size_t stop = dial.find_first_of(stops.Characters(), position);
    if (stops.Characters().empty() || stop == std::string::npos) {
        part.text = dial.substr(position);
        part.next = dial.size();
        return part;
    }
    // The pause character itself is never sent; ";" tells the provider that
    // more of the number follows.
    part.text = dial.substr(position, stop - position) + ";";
    part.pause = dial[stop];
    part.next = stop + 1;
    return part;
}
