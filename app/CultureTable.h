// Maps a Windows locale id to the culture name that names a language folder.
#pragma once
#include <cstdint>

// The culture name for lcid (for example "de-AT" for 0x0C07), or "" for an id
// with no language folder of its own. Ids that carry a sort id are never found.
const char* CultureNameFromLcid(std::uint32_t lcid);
