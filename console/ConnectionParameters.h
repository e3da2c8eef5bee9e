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
    int m_nCommType = 0; // in force: 0 = Modem, 1 = Direct Connection
    std::string m_strProfilePath; // /PROFILE: start option
    int m_bProfileWanted = 0;     // /PROFILE: was given (its path may still be empty)

    // Options of unattended runs.
    int m_nTimeout = 0;        // /TIMEOUT: seconds one attempt may take; 0 = no limit
    int m_bTimeoutRefused = 0; // /TIMEOUT: was given a value outside 1..3600
    int m_bLogWanted = 0;      // /LOG: was given (its path may still be empty)
    std::string m_strLogPath;  // where /LOG: appends the Status lines
    int m_bShowUsage = 0;      // /? or /HELP: show the options and end
};
