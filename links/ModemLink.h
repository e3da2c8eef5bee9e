// The modem link: a data-modem call placed through the telephony service, its data channel,
// and the telephony state it owns.
#pragma once
#include "links/Link.h"
#include "telephony/TapiCode.h"

class ModemLink : public Link {
  public:
    ModemLink();
    ~ModemLink() override;
    ModemLink(const ModemLink&) = delete;
    ModemLink& operator=(const ModemLink&) = delete;

    void Dial(const DialData& data) override;
    void SendLogin(unsigned attempt, const std::vector<uint8_t>& frame) override;
    void AbandonLogin(unsigned attempt) override;
    void Hangup() override;
    void Close() override;
    bool Busy() const override;
    bool Gone(unsigned attempt, const char* what) const override;
    bool DirectCable() const override { return false; }

    // The dialog is ending: nothing may start or go on.
    void DialogEnding() { m_tapi.dialogEnding = 1; }
    // Telephony goes, with any call still up.
    void ShutDown() { UninitializeTapi(); }

    TapiState m_tapi;
};
