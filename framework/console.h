// Console lines and the heap setting.
#pragma once

#include "framework/tstring.h"

// Writes the text as one line (8-bit text in the system's code page, a line
// end added) to the standard output; an empty text writes an empty line.
void WriteConsoleLine(const TString& text);
// Writes 8-bit text as one line (null writes an empty line).
void WriteConsoleText(const char* text);
// Switches the process heaps to their low-fragmentation policy.  The
// runtime heap of this system has no such switch: nothing to do.
void EnableLowFragmentationHeap();
