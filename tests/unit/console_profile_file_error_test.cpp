// The text a failed profile file operation shows: which message, and the file name in it.
#include "console/FileErrorCause.h"

#include <gtest/gtest.h>

TEST(FileErrorText, CommonFailuresPickTheirOwnText) {
    const struct {
        uint32_t systemError;
        unsigned textId;
    } cases[] = {
        {2, 61858},    // not found: "%1 was not found."
        {3, 61859},    // missing folder: "... an incorrect path."
        {5, 61861},    // read-only file or folder: "Access to %1 was denied."
        {32, 61867},   // another program holds the file: sharing violation
        {112, 61869},  // "Disk full while accessing %1."
        {0, 61856},    // "No error occurred."
        {9999, 61857}, // anything unforeseen: "An unknown error occurred ..."
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileErrorTextId(FileErrorCauseFromSystemError(c.systemError)), c.textId)
            << "system error " << c.systemError;
    EXPECT_EQ(FileErrorTextId(FileErrorCause::EndOfFile), 61870u);
}

TEST(FileErrorText, FileNameReplacesEachPlaceholderOnce) {
    const struct {
        const char* text;
        const char* name;
        const char* shown;
    } cases[] = {
        {"%1 was not found.", "C:\\site.cfg", "C:\\site.cfg was not found."},
        {"Access to %1 was denied.", "a%1b.cfg", "Access to a%1b.cfg was denied."},
        {"%1 and %1", "x", "x and x"},
        {"Seek failed on %1", "", "Seek failed on "},
        {"100% sure, %2 kept, ends in %", "x", "100% sure, %2 kept, ends in %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FillFileName(c.text, c.name), c.shown);
}
