// Version-to-kind table of the callback step.
#include "console/WindowsKind.h"

int ClassifyWindowsKind(bool queryOk, unsigned platformId, unsigned major, unsigned minor) {
    if (!queryOk)
        return 0;
    switch (platformId) {
    case 0:
        return 7;
    case 1:
        if (major == 4 && minor == 0)
            return 1;
        if (major == 4 && minor == 10)
            return 2;
        if (major == 4 && minor == 90)
            return 3;
        return 0;
    case 2:
        if (major <= 4)
            return 4;
        if (major == 5 && minor == 0)
            return 5;
        if (major == 5 && minor == 1)
            return 6;
        return 0;
    default:
        return 0;
    }
}
