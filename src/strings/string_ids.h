// Ids of the texts the monitor shows, in the string tables of norvmon.dll and
// norvmonui.dll (one .rc file per language in this folder). Read by the
// resource compiler and, for the native build, by cmake/string-table.cmake:
// plain #defines only.
#pragma once

#define IDS_ERROR 100
#define IDS_BROWSE_TITLE 101
#define IDS_TAKEN_CAPTION 102
#define IDS_TAKEN_TEXT 103
#define IDS_CONFIGURE_CAPTION 104
#define IDS_NOT_CONFIGURABLE_TEXT 105
#define IDS_REMOVED_CAPTION 106
#define IDS_REMOVED_TEXT 107
#define IDS_NOT_REMOVED_TEXT 108
#define IDS_IN_USE_TEXT 109
#define IDS_NOT_ADDED_CAPTION 110
#define IDS_NOT_FILE_SYSTEM_TEXT 111
#define IDS_PATH_TOO_LONG_TEXT 112
#define IDS_PATH_COMMA_TEXT 113
#define IDS_UNREAD_TEXT 114
#define IDS_UNSAVED_TEXT 115
#define IDS_NO_MEMORY_TEXT 116
#define IDS_UNSAVED_AS_SHOWN_TEXT 117
#define IDS_ACCESS_DENIED_TEXT 118
#define IDS_ERROR_NUMBER_TEXT 119
#define IDS_INVALID_LEVEL_CAPTION 120
