// The connection parameters and start flags that the main dialog holds; the
// command line and profiles fill them before or while the dialog runs.
#pragma once
#include <string>

struct ConnectionParameters {
    std::string m_strDialNumber;
    std::string m_strDomain;
    std::string m_strMyNumber;
    std::string m_strPassword;
    std::string m_strUsername;
    int m_nTypeRadio = 1; // radio index: 0 = Direct Connection, 1 = Modem
    int m_nDelay = 30;    // callback delay in seconds, 30..255 once validated
    int m_bAutoDial = 0;
    int m_bAutoClose = 0;
    int m_nPreferredLine = 0;
    int m_nReplyState = 0;
    int m_nCommType = 0; // in force: 0 = Modem, 1 = Direct Connection
    int m_bCallbackPending = 0;
    std::string m_strProfilePath; // /PROFILE: start option; empty = none
};
