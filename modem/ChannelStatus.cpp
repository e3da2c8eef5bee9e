// Modem data channel: its Status box lines go to the main dialog.
#include "console/FarlinkDlg.h"
#include "modem/CommChannel.h"

void AppendChannelStatus(const std::string& text) {
    if (CFarlinkDlg* dialog = TheMainDialog())
        dialog->AppendStatus(text);
}
