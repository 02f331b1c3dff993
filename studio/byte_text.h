// Byte texts inside JSON. Label jobs, requests and settings files are bytes, not
// Unicode: in the studio's JSON each character U+0000 to U+00FF stands for the byte of
// that value (as JavaScript's String.fromCharCode reads a file's bytes), so every
// byte travels unchanged both ways.
#pragma once

#include <string>

// The bytes that utf8 (valid UTF-8, as a JSON parser hands it over) stands for. False
// with a reason when a character lies above U+00FF.
bool BytesFromText(const std::string& utf8, std::string* bytes, std::string* error);

// The UTF-8 text that stands for bytes.
std::string TextFromBytes(const std::string& bytes);
