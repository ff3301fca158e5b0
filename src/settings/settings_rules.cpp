// Pure decisions of the settings sheet: no Windows headers, unit-tested and fuzzed natively.
#include "settings_rules.h"

#include "../../res/resource.h"
#include "../tables/stored_value.h"
#include "../tables/text_fit.h"

RowsVerdict JudgeRows(const RowFill rows[kTableSlots]) {
    bool emptyRowSeen = false;
    for (int i = 0; i < kTableSlots; ++i) {
        if (!rows[i].title && !rows[i].target) {
            emptyRowSeen = true;
            continue;
        }
        if (emptyRowSeen) {
            RowsVerdict gap = {kRowsGap, i};
            return gap;
        }
        if (!rows[i].title || !rows[i].target) {
            RowsVerdict incomplete = {kRowsIncomplete, i};
            return incomplete;
        }
    }
    RowsVerdict accepted = {kRowsAccepted, -1};
    return accepted;
}

int ApplyRows(LaunchTable& table, int targetFirstId, FieldReader read, void* context) {
    table.count = kTableSlots;
    for (int i = 0; i < kTableSlots; ++i) {
        LaunchEntry& slot = table.entries[i];
        read(context, IDC_TITLE + i, slot.title, kTitleSize);
        if (slot.title[0] == '\0') {
            table.count = i;
            break;
        }
        read(context, targetFirstId + i, slot.target, kTargetSize);
    }
    return table.count;
}

static bool AnyTitleChanged(int oldCount, const LaunchEntry backup[kTableSlots],
                            const LaunchTable& table) {
    for (int i = 0; i < oldCount && i < kTableSlots; ++i)
        if (!SameStoredText(table.entries[i].title, backup[i].title, kTitleSize))
            return true;
    return false;
}

bool NeedsRestart(int oldFileCount, const LaunchEntry fileBackup[kTableSlots],
                  const LaunchTable& files, int oldScriptCount,
                  const LaunchEntry scriptBackup[kTableSlots], const LaunchTable& scripts) {
    if (oldFileCount > files.count || oldScriptCount > scripts.count)
        return true;
    return AnyTitleChanged(oldFileCount, fileBackup, files) ||
           AnyTitleChanged(oldScriptCount, scriptBackup, scripts);
}

bool AdditionWaitsForRestart(bool restartPending, int oldFileCount, int fileCount,
                             int oldScriptCount, int scriptCount) {
    return restartPending && (fileCount > oldFileCount || scriptCount > oldScriptCount);
}

bool OpensGroup(int oldCount, int newCount) { return oldCount == 0 && newCount != 0; }

BrowseOutcome QuoteBrowsedPath(char* path, size_t pathSize, size_t fieldMax) {
    size_t length = BoundedLength(path, pathSize);
    if (length == pathSize || length > fieldMax) // unterminated, or too long for the field
        return kBrowseRefused;
    bool hasBlank = false;
    // In code page 932 the byte 0x20 is never the second byte of a double-byte character.
    for (size_t i = 0; i < length; ++i)
        hasBlank = hasBlank || path[i] == ' ';
    if (!hasBlank)
        return kBrowseBare;
    size_t quotedLength = length + 2;
    if (quotedLength > fieldMax || quotedLength + 1 > pathSize)
        return kBrowseRefused;
    for (size_t i = length; i > 0; --i)
        path[i] = path[i - 1];
    path[0] = '"';
    path[length + 1] = '"';
    path[length + 2] = '\0';
    return kBrowseQuoted;
}

bool AppendScriptPattern(char* buffer, size_t bufferSize) {
    static const char kPattern[] = "\\*.scr";
    const size_t patternLength = sizeof(kPattern) - 1;
    size_t length = BoundedLength(buffer, bufferSize);
    if (length == bufferSize || length + patternLength + 1 > bufferSize)
        return false;
    for (size_t i = 0; i <= patternLength; ++i)
        buffer[length + i] = kPattern[i];
    return true;
}
