// Reading and safely replacing profile files on disk; results are system error codes (0 = done).
#pragma once

#include "console/ProfileCodec.h"

#include <windows.h>
#include <string>

// Opens the file for reading (others may read it too, but not write) and delivers its values
// to the sink. Returns the error of the open; a read that fails or ends early afterwards is not
// an error here: complete then says false and the sink has what was read before it.
DWORD LoadProfileFromFile(const std::string& path, ProfileSink& sink, bool& complete);

// Writes the bytes to a new file beside path and only then puts it in path's place, so a failed
// save leaves any earlier file untouched and no partial file behind. An earlier file keeps its
// attributes and security, and a link to it stays a link. Where no new file can be made
// beside an existing one, the existing file is rewritten in place (its failures reported).
DWORD SaveProfileToFile(const std::string& path, const std::string& bytes);
