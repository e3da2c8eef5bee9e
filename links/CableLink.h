// The direct-cable link: one port opened for an attempt, one login exchanged on it, and the
// port closed by the hang-up. A login that could not go out (refused, or too long) leaves the
// port open, and the next Dial sends its login on it at once.
#pragma once
#include "links/Link.h"

class CableLink : public Link {
  public:
    void Dial(const DialData& data) override;
    void SendLogin(unsigned attempt, const std::vector<uint8_t>& frame) override;
    void AbandonLogin(unsigned attempt) override;
    void Hangup() override;
    void Close() override { Hangup(); }
    bool Busy() const override { return m_exchanging; }
    bool Gone(unsigned attempt, const char* what) const override;
    bool DirectCable() const override { return true; }

  private:
    void EndExchange();

    unsigned m_attempt = 0;    // the attempt the open port serves; 0 when none is open
    bool m_exchanging = false; // from Dial until its answer is handled or no login can go
};
