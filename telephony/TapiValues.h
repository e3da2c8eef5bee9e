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

// Pause characters: the dial errors naming them and the capabilities that
// say the modem handles them itself.
constexpr uint32_t kLineErrDialBilling = 0x80000008u;
constexpr uint32_t kLineErrDialDialTone = 0x80000009u;
constexpr uint32_t kLineErrDialPrompt = 0x8000000Au;
constexpr uint32_t kLineErrDialQuiet = 0x8000000Bu;
constexpr uint32_t kDevCapDialBilling = 0x40;
constexpr uint32_t kDevCapDialQuiet = 0x80;
constexpr uint32_t kDevCapDialDialTone = 0x100;

// Call states the line callback acts on.
constexpr uint32_t kCallStateIdle = 0x1;
constexpr uint32_t kCallStateOffering = 0x2;
constexpr uint32_t kCallStateDialing = 0x10;
constexpr uint32_t kCallStateRingBack = 0x20;
constexpr uint32_t kCallStateConnected = 0x100;
constexpr uint32_t kCallStateProceeding = 0x200;

// Disconnect modes.
constexpr uint32_t kDisconnectNormal = 0x1;
constexpr uint32_t kDisconnectUnknown = 0x2;
constexpr uint32_t kDisconnectReject = 0x4;
constexpr uint32_t kDisconnectPickup = 0x8;
constexpr uint32_t kDisconnectForwarded = 0x10;
constexpr uint32_t kDisconnectBusy = 0x20;
constexpr uint32_t kDisconnectNoAnswer = 0x40;
constexpr uint32_t kDisconnectBadAddress = 0x80;
constexpr uint32_t kDisconnectUnreachable = 0x100;
constexpr uint32_t kDisconnectCongestion = 0x200;
constexpr uint32_t kDisconnectIncompatible = 0x400;
constexpr uint32_t kDisconnectUnavail = 0x800;
constexpr uint32_t kDisconnectNoDialTone = 0x1000;

// Call parameters of the data call.
constexpr uint32_t kCallParamFlagsIdle = 0x2;
constexpr uint32_t kAddressModeAddressId = 0x1;

// API versions: dialling wants 2.0, else 1.4; the list accepts 1.3 to 2.0.
constexpr uint32_t kApiVersion20 = 0x20000;
constexpr uint32_t kApiVersion14 = 0x10004;
constexpr uint32_t kApiVersion13 = 0x10003;

} // namespace TapiValue
