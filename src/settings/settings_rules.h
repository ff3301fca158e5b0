// The settings pages' decisions that need no window: row validation, apply, the restart-or-append
// choice, the quoting of a browsed path and the script search pattern.
#pragma once
#include <stddef.h>

#include "../tables/launch_table.h"

// Whether each field of a row holds any character at all (blanks count as filled).
struct RowFill {
    bool title;
    bool target;
};

enum RowsRule {
    kRowsAccepted,   // complete rows from the top, then only empty rows
    kRowsGap,        // a row with content below an empty row
    kRowsIncomplete, // a row with only one of its two fields filled
};

struct RowsVerdict {
    RowsRule rule;
    int row; // the first offending row from the top; -1 when accepted
};

// Rows from the top: the gap rule is tested before the both-fields rule, the first offending
// row decides.
RowsVerdict JudgeRows(const RowFill rows[kTableSlots]);

// Reads the text of a page control into a field of `capacity` bytes, NUL included.
typedef void (*FieldReader)(void* context, int controlId, char* field, int capacity);

// The page's apply: the title of row i goes into slot i; the first empty title ends the table
// (its slot keeps the empty title, later slots are not touched); the target of each titled row
// comes from control targetFirstId + i. Returns the new count, also stored in the table.
int ApplyRows(LaunchTable& table, int targetFirstId, FieldReader read, void* context);

// True when the host's menus can no longer follow by appending: a table shrank, or an entry
// that existed before the sheet (below its old count) changed its title, letter case included.
bool NeedsRestart(int oldFileCount, const LaunchEntry fileBackup[kTableSlots],
                  const LaunchTable& files, int oldScriptCount,
                  const LaunchEntry scriptBackup[kTableSlots], const LaunchTable& scripts);

// A restart already pending (the notice was shown earlier in this run of the terminal): the
// terminal's ids follow the rows as they were at its start, not as they are now, so an entry
// added at the end would take an id the terminal may hold already. It waits for the restart.
bool AdditionWaitsForRestart(bool restartPending, int oldFileCount, int fileCount,
                             int oldScriptCount, int scriptCount);

// A group is opened in the host's menu only when it gets its first entry.
bool OpensGroup(int oldCount, int newCount);

enum BrowseOutcome {
    kBrowseBare,    // taken as it is: no blank in the path
    kBrowseQuoted,  // wrapped in double quotes in place
    kBrowseRefused, // quoted it would not fit the field: nothing is to be taken
};

// Prepares a path from the file dialog for a command-line field of fieldMax characters. The
// path is a NUL-terminated text in `path` of pathSize bytes; a path with a blank is quoted in
// place when the quoted text fits both the buffer and the field, and refused otherwise, since a
// cut or unquoted path would start a different program than the one chosen.
BrowseOutcome QuoteBrowsedPath(char* path, size_t pathSize, size_t fieldMax);

// Turns the script folder in `buffer` (a NUL-terminated text of bufferSize bytes) into the
// search pattern: the folder followed directly by "\*.scr". Returns false, leaving the folder
// as it was, when the pattern and its NUL would not fit; such a folder lists nothing.
bool AppendScriptPattern(char* buffer, size_t bufferSize);
