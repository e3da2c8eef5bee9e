// Telephony stand-ins until modem calls are wired: no lines, no calls.
#include "telephony/TapiCode.h"

int InitializeTapi() { return 0; }
void BuildLineList(std::vector<std::string>&, DWORD*, int) {}
void DialCall() {}
void StopCall() {}
void UninitializeTapi() {}
