// The EPL2 layouts of protocols 10 and 100 in tervane.
//
// Protocol 10, the extended field-list layout: one label per domain name with the same
// fields, each label opened by a character-set line; text values may arrive as
// hexadecimal byte codes and wrap at a configurable width, and barcode values get a
// per-domain suffix.
//
// Protocol 100, the numbered series layout: one label per number of a run, the number
// as a barcode followed by the same text lines, each label printed copies times.
#pragma once

#include "client/label_job.h"

// Looks up the barcode suffix of a domain name: the suffix of the first entry whose key
// equals name exactly, or "" when there is none. context is passed through unchanged.
using SuffixLookup = const char* (*)(const void* context, const char* name);

// The values of the client settings that only the protocol 10 layout reads.
struct ExtendedLayoutSettings {
  char pageCode = '0';   // code page of the character-set line; a zero byte counts as "0"
  int maxTextLen = 0;    // wrap width of text values, compared as unsigned; 0 = no wrap
  bool hexText = false;  // text values arrive as hexadecimal byte codes
  SuffixLookup findSuffix = nullptr;  // null: no suffix table
  const void* suffixContext = nullptr;
};

void ExtendedFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName,
                             const ExtendedLayoutSettings& extended);  // protocol 10
void NumberedSeriesLayout(LabelJob& job, const char* data, int m, int h);  // protocol 100

// Replaces a text value by the bytes it encodes in hexadecimal pairs. Each pair (an odd
// last character alone) is read as a base-16 number the usual way (leading white space,
// an optional sign, digits up to the first other character; none gives 0) and its low
// 8 bits give one byte; the value ends at the first byte 0.
void DecodeHexText(char* value);
