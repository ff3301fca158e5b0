// The fixed-size records behind both menus: one entry is a caption and a target, five to a table.
#pragma once

constexpr int kTitleSize = 80;   // 79 bytes of text and the NUL
constexpr int kTargetSize = 260; // 259 bytes of text and the NUL
constexpr int kTableSlots = 5;

struct LaunchEntry {
    char title[kTitleSize];
    char target[kTargetSize]; // command line for programs, script file name for scripts
};

struct LaunchTable {
    LaunchEntry entries[kTableSlots];
    int count; // 0..5; slots at or above it hold stale text and are never read as entries
};
