// Reading and safely replacing profile files on disk; results are system error codes (0 = done).
#pragma once

#include "console/ProfileCodec.h"
#include "console/ProfileSave.h"

#include <windows.h>
#include <string>

// Opens the file for reading (others may read it too, but not write) and delivers its values
// to the sink. Returns the error of the open; a read that fails or ends early afterwards is not
// an error here: complete then says false and the sink has what was read before it.
DWORD LoadProfileFromFile(const std::string& path, ProfileSink& sink, bool& complete);

// Saves the bytes as the profile at path, on the disk, as SaveProfileWith tells.
SaveResult SaveProfileToFile(const std::string& path, const std::string& bytes);
