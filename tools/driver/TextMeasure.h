// The driver's side of the text probe: a control's text extent in its own font.
#pragma once

#include "tools/driver/TextProbe.h"

#include <string>

// Measures the text of `control` inside its program (see TextProbe.h). On
// failure returns false and says why in `why`.
bool MeasureControlText(HWND control, ProbeResult& result, std::string& why);
