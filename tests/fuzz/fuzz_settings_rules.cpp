// Fuzz target: any bytes as a path from the file dialog and as a script folder, in buffers of
// exactly the add-on's sizes (so the sanitizer sees a write past them). A taken path ends
// inside the field; a quoted one is the path between two quotes; a refused one is untouched;
// a pattern is the folder and "\*.scr"; the row verdict equals a plain reading of the rows. The same
// bytes also fill five page rows that apply writes into a heap table, and two tables with
// their backups that the restart-or-append decision judges; both are checked against plain
// models.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/settings_rules.h"

constexpr size_t kBuffer = 260;
// The field sizes, written out rather than taken from the add-on: a changed size must show.
constexpr size_t kTitleBytes = 80, kTargetBytes = 260;

// A heap buffer of exactly kBuffer bytes holding the data (padded, maybe without a NUL), and a
// copy of it in `before`.
static char* Buffered(const uint8_t* data, size_t size, char (&before)[kBuffer]) {
    char* buffer = static_cast<char*>(std::malloc(kBuffer));
    std::memset(buffer, 'p', kBuffer);
    std::memcpy(buffer, data, size < kBuffer ? size : kBuffer);
    std::memcpy(before, buffer, kBuffer);
    return buffer;
}

static void CheckQuoting(const uint8_t* data, size_t size) {
    const size_t kField = 259;
    char before[kBuffer];
    char* path = Buffered(data, size, before);
    BrowseOutcome outcome = QuoteBrowsedPath(path, kBuffer, kField);
    size_t original = strnlen(before, kBuffer);
    if (outcome == kBrowseRefused) {
        if (std::memcmp(path, before, kBuffer) != 0)
            std::abort();
    } else {
        size_t length = strnlen(path, kBuffer);
        bool blank = std::memchr(before, ' ', original) != nullptr;
        if (length >= kBuffer || length > kField || (outcome == kBrowseQuoted) != blank)
            std::abort();
        if (outcome == kBrowseQuoted && (length != original + 2 || path[0] != '"' ||
                                         path[length - 1] != '"' ||
                                         std::memcmp(path + 1, before, original) != 0))
            std::abort();
    }
    std::free(path);
}

static void CheckPattern(const uint8_t* data, size_t size) {
    char before[kBuffer];
    char* folder = Buffered(data, size, before);
    size_t original = strnlen(before, kBuffer);
    if (AppendScriptPattern(folder, kBuffer)) {
        if (original > 253 || std::memcmp(folder, before, original) != 0 ||
            std::strcmp(folder + original, "\\*.scr") != 0)
            std::abort();
    } else if (original <= 253 || std::memcmp(folder, before, kBuffer) != 0) {
        std::abort();
    }
    std::free(folder);
}

static void CheckVerdict(const uint8_t* data, size_t size) {
    if (size < 2)
        return;
    RowFill rows[kTableSlots];
    unsigned bits = data[0] | (data[1] << 8);
    for (int i = 0; i < kTableSlots; ++i) {
        rows[i].title = (bits >> (2 * i)) & 1;
        rows[i].target = (bits >> (2 * i + 1)) & 1;
    }
    // The rows read from the top as a user would: an empty row, then any content below it, is
    // a gap; a row with one field is incomplete; the first such row decides.
    RowsVerdict model = {kRowsAccepted, -1};
    bool emptySeen = false;
    for (int i = 0; i < kTableSlots && model.row < 0; ++i) {
        const int filled = rows[i].title + rows[i].target;
        if (filled == 0)
            emptySeen = true;
        else if (emptySeen)
            model = {kRowsGap, i};
        else if (filled == 1)
            model = {kRowsIncomplete, i};
    }
    RowsVerdict v = JudgeRows(rows);
    if (v.rule != model.rule || v.row != model.row)
        std::abort();
}

// Reads the input as a stream of small pieces; past its end every piece is empty or zero.
struct Pieces {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    // Half the time a length within two of `edge` (a field's size), else any up to `most`: texts
    // that fill a field, or miss it by a byte, stay common.
    size_t Length(size_t edge, size_t most) { return Byte() & 1 ? edge - 2 + Byte() % 4 : Byte() % (most + 1); }
    // Bytes taken as they are (NULs and lone lead bytes included).
    std::string Text(size_t edge, size_t most) {
        size_t length = Length(edge, most);
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += static_cast<char>(Byte());
        return text;
    }
};

// The page's fields: row i's title is control 1000 + i, its target targetFirstId + i. The reader
// copies what the control holds, cut to the slot (as the platform's text call does).
struct Rows {
    std::string titles[kTableSlots];
    std::string targets[kTableSlots];
};
constexpr int kTargetFirstId = 1005;

static void ReadRow(void* context, int controlId, char* field, int capacity) {
    const Rows& rows = *static_cast<const Rows*>(context);
    const bool title = controlId < kTargetFirstId;
    const int row = controlId - (title ? 1000 : kTargetFirstId);
    if (row < 0 || row >= kTableSlots || capacity != static_cast<int>(title ? kTitleBytes : kTargetBytes))
        std::abort(); // a control the page does not have, or the wrong slot size
    std::string text = (title ? rows.titles[row] : rows.targets[row]).c_str(); // up to a NUL
    text.resize(std::min(text.size(), static_cast<size_t>(capacity - 1)));
    std::memcpy(field, text.c_str(), text.size() + 1);
}

// Apply: the count is the number of leading rows with a title; those slots hold the rows'
// texts; the first untitled row's slot gets the empty title and keeps its target; later slots
// are not touched.
static void CheckApply(Pieces& in) {
    Rows rows;
    for (int i = 0; i < kTableSlots; ++i) {
        rows.titles[i] = in.Text(kTitleBytes, in.Byte() & 1 ? 100 : 2);
        rows.targets[i] = in.Text(kTargetBytes, 300);
    }
    auto* table = static_cast<LaunchTable*>(std::malloc(sizeof(LaunchTable)));
    std::memset(table, 's', sizeof(LaunchTable));
    table->count = static_cast<int>(in.Byte()) - 128;
    LaunchTable before;
    std::memcpy(&before, table, sizeof(before));
    int expected = 0;
    while (expected < kTableSlots && std::string(rows.titles[expected].c_str()).size() > 0)
        ++expected;
    if (ApplyRows(*table, kTargetFirstId, ReadRow, &rows) != expected || table->count != expected)
        std::abort();
    for (int i = 0; i < kTableSlots; ++i) {
        const LaunchEntry& slot = table->entries[i];
        const LaunchEntry& old = before.entries[i];
        auto fitted = [](const std::string& text, size_t capacity) {
            std::string cut = text.c_str();
            return cut.substr(0, std::min(cut.size(), capacity - 1));
        };
        if (i < expected) {
            if (fitted(rows.titles[i], kTitleBytes) != slot.title ||
                fitted(rows.targets[i], kTargetBytes) != slot.target)
                std::abort();
        } else if (i == expected) {
            if (slot.title[0] != '\0' || std::memcmp(slot.target, old.target, kTargetBytes) != 0)
                std::abort();
        } else if (std::memcmp(&slot, &old, sizeof(slot)) != 0) {
            std::abort();
        }
    }
    std::free(table);
}

// A title of up to 80 bytes from a small alphabet (so that equal and case-different titles
// are common), terminated or filling its field, often within two bytes of filling it.
static void FillTitle(Pieces& in, char* title) {
    static const char kAlphabet[] = {'a', 'A', 'b', '\x83', '\x5c', ' '};
    size_t length = std::min(in.Length(kTitleBytes, kTitleBytes), kTitleBytes);
    for (size_t i = 0; i < kTitleBytes; ++i)
        title[i] = i < length ? kAlphabet[in.Byte() % sizeof(kAlphabet)] : '\0';
}

static bool SameTitle(const char* a, const char* b) {
    return std::string(a, strnlen(a, kTitleBytes)) == std::string(b, strnlen(b, kTitleBytes));
}

// The restart-or-append decision against its plain statement: a table that shrank, or a title
// below its old count that differs in any byte (letter case included), needs a restart;
// otherwise only the entries from the old count on are appended, and a group opens only when it
// gets its first entry.
static void CheckRestart(Pieces& in) {
    auto* backups = static_cast<LaunchEntry*>(std::malloc(2 * kTableSlots * sizeof(LaunchEntry)));
    auto* tables = static_cast<LaunchTable*>(std::malloc(2 * sizeof(LaunchTable)));
    int oldCounts[2];
    bool restart = false;
    for (int t = 0; t < 2; ++t) {
        LaunchEntry* backup = backups + t * kTableSlots;
        LaunchTable& table = tables[t];
        oldCounts[t] = in.Byte() % (kTableSlots + 1);
        table.count = in.Byte() % (kTableSlots + 1);
        for (int i = 0; i < kTableSlots; ++i) {
            FillTitle(in, backup[i].title);
            // The old title, the old title but for one byte (most often one of its last, a case
            // flip among them), or a fresh one.
            const uint8_t how = in.Byte() % 3;
            if (how == 0)
                FillTitle(in, table.entries[i].title);
            else
                std::memcpy(table.entries[i].title, backup[i].title, kTitleBytes);
            if (how == 2)
                table.entries[i].title[kTitleBytes - 1 - in.Byte() % 8] ^= static_cast<char>(1 + in.Byte() % 32);
            if (i < oldCounts[t] && !SameTitle(backup[i].title, table.entries[i].title))
                restart = true;
        }
        if (oldCounts[t] > table.count)
            restart = true;
        // The terminal's group holds the old entries; it is opened when appending brings it
        // its first item.
        const int appended = std::max(0, table.count - oldCounts[t]);
        const bool groupEmpty = oldCounts[t] == 0;
        if (OpensGroup(oldCounts[t], table.count) != (groupEmpty && appended > 0))
            std::abort();
    }
    if (NeedsRestart(oldCounts[0], backups, tables[0], oldCounts[1], backups + kTableSlots,
                     tables[1]) != restart)
        std::abort();
    std::free(backups);
    std::free(tables);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckQuoting(data, size);
    CheckPattern(data, size);
    CheckVerdict(data, size);
    Pieces in{data, size};
    CheckApply(in);
    CheckRestart(in);
    return 0;
}
