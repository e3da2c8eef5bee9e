// The direct serial link to the station: connect, send one frame, hang up.
#include "serial/DirectTransport.h"

#include "shell/AppShell.h"
#include "serial/AnswerHandover.h"
#include "serial/DirectState.h"
#include "serial/Win32Port.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

generic_port* direct_port;

namespace {

// Every frame goes out from here. A send keeps reading its bytes in the background until
// the transmitter is empty, which may outlast the call that started it; a buffer that
// lives as long as the process is never freed under it. Sized for the largest login
// frame the dialog builds (2048 bytes) even when every byte is a doubled 0x10.
uint8_t tx_envelope[2 * 2048 + 5];

// How often the answer wait asks the library's timeout model; an acknowledged answer wakes it
// at once.
constexpr DWORD kTimeoutCheckMs = 10;

// Set by the decoder when an answer is acknowledged. Auto-reset: a stale signal only costs the
// wait one more look at msg_complete. Made once, kept for the life of the process.
HANDLE AnswerEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// The user routine: the envelope decoder, then the waiting thread woken once it has
// acknowledged the answer.
void SC_CALL DecodeAndWake(generic_port* port) {
    HandInts(port);
    if (port != nullptr && port->msg_complete)
        SetEvent(AnswerEvent());
}

class WaitCursor {
  public:
    WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    HCURSOR previous_;
};

void FillLineSettings(port_config& config, int32_t portIndex) {
    config = port_config{};
    config.port_index = portIndex;
    config.baud_rate = 19200;
    config.data_bits = 8;
    config.stop_bits = 1;
    config.parity = SC_PARITY_NONE;
    config.start_timeout = 2000;
    config.end_timeout = 2000;
    config.char_timeout = 2000;
    config.echo_size = 2048;
    config.rx_size = 2048;
}

// Starts sending one envelope. False when the send could not start. An earlier write that
// never ended may still be reading tx_envelope: it is given up before the buffer is rebuilt,
// and one that cannot be given up refuses the send with the buffer untouched.
bool SendEnvelope(const uint8_t* payload, int32_t length) {
    if (!serial::AbortPendingWrite(direct_port)) {
        direct_port->status = SC_CANNOT_SEND;
        return false;
    }
    const int32_t size = WrapFrame(payload, length, tx_envelope);
    direct_port->msg_complete = 0;
    return SCSendTxBuf(direct_port, tx_envelope, size) != 0;
}

// Waits until the station's answer is acknowledged (0) or the library's timeout model ends the
// exchange (its status code). The status is read once after each check: the decoder clears it
// when a byte follows a long pause, and a timeout already seen must still end the wait. The
// decoder wakes the wait; polling in 1 ms steps cost up to a millisecond at each of the three
// waits of an exchange.
int32_t WaitForAcknowledgement() {
    direct_port->status = 0;
    const HANDLE answered = AnswerEvent();
    for (;;) {
        if (direct_port->msg_complete) {
            std::atomic_thread_fence(std::memory_order_acquire);
            OutputDebugStringA("Timeline: answer taken\n");
            return 0;
        }
        SCVerifyTimeout(direct_port);
        const int32_t status = direct_port->status;
        if (status != 0)
            return status;
        if (answered == nullptr || WaitForSingleObject(answered, kTimeoutCheckMs) == WAIT_FAILED)
            Sleep(1); // no event to wait on: look again shortly
    }
}

void ClosePort() {
    SCPortClose(direct_port);
    direct_port = nullptr;
}

void TraceSendFailure(int32_t status) {
    char line[64];
    std::snprintf(line, sizeof line, "Couldn't send message. Error = %d\n",
                  static_cast<int>(status));
    OutputDebugStringA(line);
}

} // namespace

int DirectConnect(int portIndex) {
    WaitCursor busy;
    if (direct_port != nullptr)
        return 1;

    port_config config;
    FillLineSettings(config, portIndex);
    int32_t error = 0;
    direct_port = SCPortOpen(MainWindowHandle(), &config, &error);
    if (direct_port == nullptr)
        return 0;
    SCInstallUserRoutine(direct_port, DecodeAndWake);

    // The station needs a moment after DTR rises before it listens.
    Sleep(1000);
    const uint8_t request = kConnectRequest;
    if (!SendEnvelope(&request, 1) || WaitForAcknowledgement() != 0) {
        ClosePort();
        return 0;
    }
    return 1;
}

int DirectSend(const unsigned char* bytes, int count, unsigned attempt) {
    if (direct_port == nullptr)
        return 1;
    if (count < 0 || (count > 0 && bytes == nullptr)) {
        TraceSendFailure(SC_CANNOT_SEND);
        return SC_CANNOT_SEND;
    }
    if (EnvelopeSize(bytes, count) > static_cast<int32_t>(sizeof tx_envelope)) {
        // Refused whole: a cut login frame would log in with the wrong values.
        TraceSendFailure(SC_TX_BUFFER_FULL);
        return SC_TX_BUFFER_FULL;
    }
    if (!SendEnvelope(bytes, count)) {
        TraceSendFailure(direct_port->status);
        return direct_port->status != 0 ? direct_port->status : SC_CANNOT_SEND;
    }
    const int32_t status = WaitForAcknowledgement();
    if (status != 0) {
        TraceSendFailure(status);
        return status;
    }
    const int32_t handed =
        HandOverAnswer(MainWindowHandle(), acked_answer.bytes, acked_answer.length,
                       LinkBlockTag{attempt, 1});
    if (handed != 0)
        TraceSendFailure(handed);
    return handed;
}

void DirectHangup() {
    if (direct_port == nullptr)
        return;
    const uint8_t request = kHangupRequest;
    // A failed send still ends the wait below, by the transmit limit.
    SendEnvelope(&request, 1);
    WaitForAcknowledgement();
    ClosePort();
}
