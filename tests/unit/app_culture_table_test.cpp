// Locale ids to culture names: row counts per sublanguage, notable rows, absent ids.
#include "app/CultureTable.h"
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

std::string Name(std::uint32_t lcid) {
    return CultureNameFromLcid(lcid);
}

TEST(CultureTable, RowsPerSublanguageAddUpTo227) {
    // Key 0 counts the ids below 0x0100 (primary language alone).
    const std::map<unsigned, int> expected = {{0, 66}, {1, 77}, {2, 17}, {3, 8},  {4, 8},  {5, 8},
                                              {6, 6},  {7, 5},  {8, 4},  {9, 4},  {10, 3}, {11, 3},
                                              {12, 3}, {13, 3}, {14, 2}, {15, 2}, {16, 2}, {17, 1},
                                              {18, 1}, {19, 1}, {20, 1}, {31, 2}};
    std::map<unsigned, int> found;
    int total = 0;
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        if (*CultureNameFromLcid(id) == '\0')
            continue;
        ++total;
        // A full locale id has sublanguage 1 or more, so 0x0001..0x00FF stand alone.
        if (id < 0x0100)
            ++found[0];
        else
            ++found[id >> 10];
    }
    EXPECT_EQ(total, 227);
    EXPECT_EQ(found, expected);
}

TEST(CultureTable, NotableRows) {
    const struct {
        std::uint32_t lcid;
        const char* name;
    } rows[] = {
        {0x0001, "ar"},         {0x0004, "zh-CHS"},     {0x0014, "no"},
        {0x0057, "kok"},        {0x0065, "div"},        {0x0401, "ar-SA"},
        {0x0407, "de-DE"},      {0x0409, "en-US"},      {0x0414, "nb-NO"},
        {0x042C, "az-AZ-Latn"}, {0x0443, "uz-UZ-Latn"}, {0x0481, "mi-NZ"},
        {0x0804, "zh-CN"},      {0x0809, "en-GB"},      {0x0814, "nn-NO"},
        {0x081A, "sr-SP-Latn"}, {0x082C, "az-AZ-Cyrl"}, {0x0843, "uz-UZ-Cyrl"},
        {0x0C07, "de-AT"},      {0x0C0C, "fr-CA"},      {0x0C1A, "sr-SP-Cyrl"},
        {0x103B, "smj-NO"},     {0x141A, "bs-BA-Latn"}, {0x181A, "sr-BA-Latn"},
        {0x2409, "en-CB"},      {0x500A, "es-PR"},      {0x7C04, "zh-CHT"},
        {0x7C1A, "sr"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Name(row.lcid), row.name) << std::hex << row.lcid;
}

TEST(CultureTable, AbsentIdsGiveEmptyName) {
    const std::uint32_t absent[] = {
        0x0000, 0x0017, 0x0028, 0x002E, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0066,
        0x00FF, 0x0400, 0x0417, 0x0C0A, 0x7C00, 0xFFFF,
        // A sort id above the low word never matches, even over a listed id.
        0x10407, 0x20804, 0xFFFFFFFF};
    for (std::uint32_t lcid : absent)
        EXPECT_EQ(Name(lcid), "") << std::hex << lcid;
}

} // namespace
