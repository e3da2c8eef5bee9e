// Link events: the one receiver the main dialog installs.
#include "shell/LinkEvents.h"

#include "shell/DebugTrace.h"

namespace {
LinkEvents* g_events = nullptr;
} // namespace

void SetLinkEvents(LinkEvents* events) {
    g_events = events;
}

void LinkStatus(const std::string& line) {
    if (g_events != nullptr)
        g_events->LinkStatus(line);
}

void LinkChanged() {
    if (g_events != nullptr)
        g_events->LinkChanged();
}

void ReportCallEnd(unsigned attempt, CallEnd end) {
    if (g_events != nullptr)
        g_events->LinkEnded(attempt, end);
}

void TraceStale(unsigned attempt, const char* what) {
    DebugPrint("Call attempt %u has ended or is being stopped: %s is dropped.\n", attempt, what);
}
