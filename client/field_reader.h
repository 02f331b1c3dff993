// The field reader: the one bounded, cursor-driven splitter that every part of the
// client uses for the request text, its records, barcode.ini lines and layout data.
//
// Reads one field from a zero-terminated source, starting at *cursor:
//  - leading blanks (0x20 only) are skipped;
//  - the field ends at the separator or at a carriage return (0x0D), which is not
//    copied, and the cursor then stands one past it;
//  - separator 0 means "up to the end of the text";
//  - a field that runs into the terminator counts the terminator as one copied
//    character, so it may hold at most maximum - 1 characters;
//  - more than maximum copied characters fail: empty destination, cursor unchanged.
// The destination must hold maximum + 1 bytes. Returns false with an empty destination
// when the cursor is past the end, at the terminator, or only blanks remain (the
// cursor then moves to the terminator).
#pragma once

bool ReadField(const char* source, int* cursor, char* destination, int maximum, char separator);

// The same, for a caller that already knows the source's length (strlen(source)).
bool ReadField(const char* source, int sourceLength, int* cursor, char* destination, int maximum,
               char separator);
