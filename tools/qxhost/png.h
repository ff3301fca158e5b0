// Saving a screen capture as PNG without any library: stored (uncompressed) deflate blocks.
#pragma once
#include <string>
#include <windows.h>

// Captures the whole screen into `path`; returns false when the capture or the write failed.
bool SaveScreenPng(const std::string& path);
