// Splitting a stored command line into the program and its parameters.
#pragma once
#include "../tables/text_fit.h"

// Fills program and params (260 bytes each) from the command line in a 260-byte target field.
// A leading double quote runs to the next one; otherwise the first space ends the program.
// Only the space 0x20 separates and only spaces between program and parameters are dropped.
// Never reads past the 260-byte field, whether or not it holds a NUL, and never keeps half a
// double-byte character of `rule` at its end.
void SplitCommandLine(const char* line, char* program, char* params, LeadByteRule rule);
