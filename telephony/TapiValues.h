// Telephony constants the platform-free code decides with; a Windows build
// checks each against the system header (TapiChecks.cpp).
#pragma once
#include <cstdint>

namespace TapiValue {

constexpr uint32_t kErrorTopBit = 0x80000000u;

// Callback messages.
constexpr uint32_t kLineAddressState = 0;
constexpr uint32_t kLineCallInfo = 1;
constexpr uint32_t kLineCallState = 2;
constexpr uint32_t kLineClose = 3;
constexpr uint32_t kLineDevSpecific = 4;
constexpr uint32_t kLineDevSpecificFeature = 5;
constexpr uint32_t kLineGatherDigits = 6;
constexpr uint32_t kLineGenerate = 7;
constexpr uint32_t kLineLineDevState = 8;
constexpr uint32_t kLineMonitorDigits = 9;
constexpr uint32_t kLineMonitorMedia = 10;
constexpr uint32_t kLineMonitorTone = 11;
constexpr uint32_t kLineReply = 12;
constexpr uint32_t kLineRequest = 13;
constexpr uint32_t kPhoneButton = 14;
constexpr uint32_t kPhoneClose = 15;
constexpr uint32_t kPhoneDevSpecific = 16;
constexpr uint32_t kPhoneReply = 17;
constexpr uint32_t kPhoneState = 18;
constexpr uint32_t kLineCreate = 19;
constexpr uint32_t kPhoneCreate = 20;
constexpr uint32_t kMessageCount = 21;

// Call states that carry a mode in the trace.
constexpr uint32_t kCallStateDialTone = 0x8;
constexpr uint32_t kCallStateBusy = 0x40;
constexpr uint32_t kCallStateSpecialInfo = 0x80;
constexpr uint32_t kCallStateConferenced = 0x800;
constexpr uint32_t kCallStateDisconnected = 0x4000;

constexpr uint32_t kLineDevStateRinging = 0x2;
constexpr uint32_t kLineDevStateReinit = 0x40000;
constexpr uint32_t kRequestModeDrop = 0x4;

// Line capabilities.
constexpr uint32_t kStringFormatAscii = 1;
constexpr uint32_t kBearerModeVoice = 0x1;
constexpr uint32_t kMediaModeDataModem = 0x10;
constexpr uint32_t kLineFeatureMakeCall = 0x8;
constexpr uint32_t kAddrFeatureMakeCall = 0x2;

// API versions: dialling wants 2.0, else 1.4; the list accepts 1.3 to 2.0.
constexpr uint32_t kApiVersion20 = 0x20000;
constexpr uint32_t kApiVersion14 = 0x10004;
constexpr uint32_t kApiVersion13 = 0x10003;

} // namespace TapiValue
