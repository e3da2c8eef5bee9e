// String-table ids of the texts that file commands show; shared by the resource script and code.
#pragma once

// The file-error texts, one per cause, in cause order from "No error occurred." on.
#define IDS_FILE_ERROR_FIRST 61856
#define IDS_FILE_ERROR_LAST 61873

#define IDS_PROFILE_TEXT_TOO_LONG 200
// Field names for the text above, in the order the profile stores the texts.
#define IDS_PROFILE_FIELD_FIRST 201
// A file of a failed or finished save that is still there, holding profile data.
#define IDS_SAVE_LEFT_BEHIND 206
