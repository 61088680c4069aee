// Console output of the tool: information lines (stdout, shown with -v),
// notes and error lines (stderr), both logged under "Cmd-line".
#pragma once

#include <cstddef>
#include <cstdint>

// Bit 0: information lines go to stdout.  Bit 1: notes go to stderr.
inline constexpr std::uint32_t kConsoleInfo = 1;
inline constexpr std::uint32_t kConsoleNotes = 2;

void SetConsoleFlags(std::uint32_t flags);
std::uint32_t GetConsoleFlags();

// printf-style formatting into the caller's buffer; a longer text is cut to
// size - 1 characters and terminated.  The count of characters written, or
// -1 when nothing could be formatted.
int FormatToBuffer(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// An information line / a note: formatted into 4096 bytes, logged under
// "Cmd-line", and written with a line end to stdout / stderr when the
// console flags allow it and the log does not echo to the console itself.
void PrintInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PrintNote(const char* format, ...) __attribute__((format(printf, 1, 2)));
