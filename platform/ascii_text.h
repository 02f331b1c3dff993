// Small text helpers shared by every part, portable and locale-free: case changes and
// comparisons that touch only the ASCII letters (as the C locale does), copies cut to
// fit a fixed field, whole-file reads and word wrapping.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace ascii {

constexpr char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Change a-z to A-Z (or back) in place; every other byte stays as it is.
void UpperCase(char* text);
void LowerCase(std::string* text);

// True when the texts are equal once ASCII letters are taken without case, as
// _stricmp finds them in the C locale.
bool SameText(const char* a, const char* b);
// The same over every byte of both strings, zero bytes included.
bool SameText(const std::string& a, const std::string& b);

// Copies text[0, length) into out (size bytes, at least one), cut to size - 1
// characters and terminated. True when it was cut.
bool CopyCut(char* out, std::size_t size, const char* text, std::size_t length);

template <std::size_t N>
bool CopyCut(char (&field)[N], const char* text) {
  return CopyCut(field, N, text, std::strlen(text));
}

// Appends the bytes of file up to its end to out, stopping after limit bytes in all
// (*cut then tells that more was there, when cut is given). False when a read fails
// (on Linux a folder opens like a file and fails only at the first read) or memory
// runs out.
bool ReadStream(std::FILE* file, std::string* out,
                std::size_t limit = std::numeric_limits<std::size_t>::max(), bool* cut = nullptr);

// The whole file at path, read in binary. False when it cannot be opened or read.
bool ReadWholeFile(const char* path, std::string* out);

// Wraps text at its spaces into lines of at most width columns (a longer word stands
// alone on its line), joined by line feeds, cut to fit out (outSize bytes).
void WrapWords(const char* text, unsigned width, char* out, std::size_t outSize);

}  // namespace ascii
