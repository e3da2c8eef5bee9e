// Trace texts of telephony errors, flags and callback messages.
#include "telephony/TapiTrace.h"
#include "telephony/TapiNames.h"
#include "telephony/TapiValues.h"
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

using namespace TapiValue;

// Appends to a fixed buffer; everything past its end is dropped, the text
// stays NUL-ended.
class TextOut {
  public:
    TextOut(char* out, size_t room) : out_(out), room_(room) {
        if (room_ > 0)
            out_[0] = '\0';
    }

    void Add(const char* text) { Printf("%s", text); }

    void Printf(const char* format, ...) {
        if (length_ + 1 >= room_)
            return;
        va_list args;
        va_start(args, format);
        int written = vsnprintf(out_ + length_, room_ - length_, format, args);
        va_end(args);
        if (written < 0)
            out_[length_] = '\0';
        else
            length_ += std::min(static_cast<size_t>(written), room_ - length_ - 1);
    }

    void Flags(uint64_t value, const char* const* table, size_t count) {
        if (length_ + 1 >= room_)
            return;
        length_ += FormatFlags(out_ + length_, room_ - length_, value, table, count);
    }

    template <size_t N> void Flags(uint64_t value, const char* const (&table)[N]) {
        Flags(value, table, N);
    }

    size_t Length() const { return length_; }

  private:
    char* out_;
    size_t room_;
    size_t length_ = 0;
};

unsigned long long Hex(uint64_t value) {
    return static_cast<unsigned long long>(value);
}

void AddCallState(TextOut& text, const LineCallbackValues& v) {
    text.Flags(v.param3, kCallPrivilegeNames);
    text.Add("; ");
    text.Flags(v.param1, kCallStateNames);
    switch (v.param1) {
    case kCallStateDialTone:
        text.Add(": ");
        text.Flags(v.param2, kDialToneModeNames);
        break;
    case kCallStateBusy:
        text.Add(": ");
        text.Flags(v.param2, kBusyModeNames);
        break;
    case kCallStateSpecialInfo:
        text.Add(": ");
        text.Flags(v.param2, kSpecialInfoNames);
        break;
    case kCallStateConferenced:
        text.Printf(": Parent conference call handle: 0x%llx", Hex(v.param2));
        break;
    case kCallStateDisconnected:
        text.Add(": ");
        text.Flags(v.param2, kDisconnectModeNames);
        break;
    default:
        break;
    }
}

void AddLineDevState(TextOut& text, const LineCallbackValues& v) {
    text.Flags(v.param1, kLineDevStateNames);
    if (v.param1 == kLineDevStateRinging) {
        text.Printf("; Ring Mode: 0x%llx, Ring Count: %llu", Hex(v.param2), Hex(v.param3));
    } else if (v.param1 == kLineDevStateReinit) {
        if (v.param2 == 0)
            return; // a hard re-initialisation has no reason
        if (v.param2 == kLineLineDevState) {
            text.Add("; ReInit reason: LINE_LINEDEVSTATE, ");
            text.Flags(v.param3, kLineDevStateNames);
        } else if (v.param2 == kLineCreate) {
            text.Printf("; ReInit reason: LINE_CREATE, New Line Device ID '0x%llx'", Hex(v.param3));
        } else if (v.param2 < kMessageCount) {
            text.Printf("; ReInit reason: %s, dwParam3: 0x%llx", kLineMessageNames[v.param2],
                        Hex(v.param3));
        } else {
            text.Printf("; ReInit reason: Unknown dwMsg '0x%llx', dwParam3: 0x%llx", Hex(v.param2),
                        Hex(v.param3));
        }
    }
}

void AddReply(TextOut& text, const LineCallbackValues& v) {
    if (v.param2 == 0) {
        text.Printf("Request ID: 0x%llx; Successful reply!", Hex(v.param1));
        return;
    }
    char error[255];
    LineErrorTextInto(static_cast<uint32_t>(v.param2), error, sizeof error);
    text.Printf("Request ID: 0x%llx; UnSuccessful reply; %s", Hex(v.param1), error);
}

void AddRequest(TextOut& text, const LineCallbackValues& v, WindowTitleReader readTitle) {
    text.Flags(v.param1, kRequestModeNames);
    if (v.param1 != kRequestModeDrop)
        return;
    std::string title = readTitle != nullptr ? readTitle(v.param2) : std::string();
    text.Printf(": hwnd dropping = 0x%llx, \"%s\"; wRequestID = %u", Hex(v.param2), title.c_str(),
                static_cast<unsigned>(v.param3 & 0xFFFF));
}

void AddMessageDetails(TextOut& text, const LineCallbackValues& v, WindowTitleReader readTitle) {
    switch (v.message) {
    case kLineAddressState:
        text.Printf("Address ID: 0x%llx, Address State: ", Hex(v.param1));
        text.Flags(v.param2, kAddressStateNames);
        break;
    case kLineCallInfo:
        text.Flags(v.param1, kCallInfoStateNames);
        break;
    case kLineCallState:
        AddCallState(text, v);
        break;
    case kLineGatherDigits:
        text.Flags(v.param1, kGatherTermNames);
        break;
    case kLineGenerate:
        text.Flags(v.param1, kGenerateTermNames);
        break;
    case kLineLineDevState:
        AddLineDevState(text, v);
        break;
    case kLineMonitorDigits: {
        text.Flags(v.param2, kDigitModeNames);
        // A NUL digit would end the trace line early: it shows as empty quotes.
        char digit = static_cast<char>(v.param1 & 0xFF);
        if (digit != '\0')
            text.Printf(", Received: '%c'", digit);
        else
            text.Add(", Received: ''");
        break;
    }
    case kLineMonitorMedia:
        text.Flags(v.param1, kMediaModeNames);
        break;
    case kLineMonitorTone:
        text.Printf("AppSpecific tone '%llu'", Hex(v.param1));
        break;
    case kLineReply:
        AddReply(text, v);
        break;
    case kLineRequest:
        AddRequest(text, v, readTitle);
        break;
    case kPhoneButton:
    case kPhoneClose:
    case kPhoneDevSpecific:
    case kPhoneReply:
    case kPhoneState:
        text.Printf("dwParam1: 0x%llx , dwParam2: 0x%llx , dwParam3: 0x%llx", Hex(v.param1),
                    Hex(v.param2), Hex(v.param3));
        break;
    case kLineCreate:
        text.Printf("New Line Device ID '0x%llx'", Hex(v.param1));
        break;
    case kPhoneCreate:
        text.Printf("New Phone Device ID '0x%llx'", Hex(v.param1));
        break;
    default: // LINE_CLOSE, LINE_DEVSPECIFIC, LINE_DEVSPECIFICFEATURE: the header says it all
        break;
    }
}

} // namespace

size_t FormatFlags(char* out, size_t room, uint64_t value, const char* const* table, size_t count) {
    TextOut text(out, room);
    if (value == 0) {
        if (count > 0)
            text.Add(table[0]);
        return text.Length();
    }
    bool named = false;
    for (size_t i = 1; i < count && i <= 64; ++i) {
        uint64_t bit = uint64_t{1} << (i - 1);
        if ((value & bit) == 0)
            continue;
        if (named)
            text.Add(", ");
        text.Add(table[i]);
        named = true;
        value &= ~bit;
    }
    if (value != 0)
        text.Printf(named ? ", Unknown flags '0x%llx'" : "Unknown flags '0x%llx'", Hex(value));
    return text.Length();
}

std::string LineErrorString(uint32_t code) {
    uint32_t index = code & ~kErrorTopBit;
    if (index < std::size(kLineErrorNames))
        return kLineErrorNames[index];
    char text[64];
    snprintf(text, sizeof text, "Unknown TAPI line error code: 0x%lx",
             static_cast<unsigned long>(code));
    return text;
}

char* LineErrorTextInto(uint32_t code, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0)
        return buffer;
    std::string text = LineErrorString(code);
    size_t length = std::min(text.size(), size - 1);
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return buffer;
}

size_t FormatLineCallbackText(char* out, size_t room, const LineCallbackValues& v,
                              WindowTitleReader readTitle) {
    TextOut text(out, room);
    if (v.message >= kMessageCount) {
        text.Printf("lineCallback: Unknown dwMsg: '0x%llx', dwDevice: '0x%llx', "
                    "dwCallbackInstance: '0x%llx', dwParam1: '0x%llx', dwParam2: '0x%llx', "
                    "dwParam3: '0x%llx'",
                    Hex(v.message), Hex(v.device), Hex(v.instance), Hex(v.param1), Hex(v.param2),
                    Hex(v.param3));
        return text.Length();
    }
    text.Printf("lineCallback: %s; dwDevice: '0x%llx'; ", kLineMessageNames[v.message],
                Hex(v.device));
    AddMessageDetails(text, v, readTitle);
    return text.Length();
}
