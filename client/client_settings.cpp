#include "client/client_settings.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "client/field_reader.h"
#include "platform/ascii_text.h"
#include "transport/serial_port.h"

namespace {

constexpr int kMaxLine = 300;
constexpr int kMaxKey = 300;
constexpr int kMaxValue = 100;

// One line of the settings text: bytes from *cursor up to a carriage return, a line
// feed or the end of the text. A line feed directly after a carriage return belongs to
// that line end, so CR LF, CR alone and LF alone (as editors on Linux write) each end
// one line, and no line holds a line feed. The terminating zero counts as a copied
// byte when the line ends there, so the last line of a file without a final line end
// may hold one character less.
bool ReadSettingsLine(const char* text, int length, int* cursor, char (&line)[kMaxLine + 1]) {
  int i = *cursor;
  if (i > length) return false;
  int count = 0;
  for (;;) {
    char c = text[i];
    if (c == '\r' || c == '\n') break;
    ++count;
    if (count > kMaxLine) return false;
    line[count - 1] = c;
    if (c == '\0') break;
    ++i;
  }
  line[count] = '\0';
  if (text[i] == '\r' && text[i + 1] == '\n') ++i;
  *cursor = i + 1;
  return true;
}

// Removes the blanks at the end of line, from its last character back to its second.
void TrimTrailingBlanks(char* line) {
  std::size_t n = std::strlen(line);
  while (n > 1 && line[n - 1] == ' ') line[--n] = '\0';
}

// A settings line taken apart: the upper-cased key before the first "=" and the value
// after it (empty when it has 100 characters or more).
struct KeyValue {
  char key[kMaxKey + 1];
  char value[kMaxValue + 1];
};

void SplitLine(const char* line, KeyValue* kv) {
  int length = static_cast<int>(std::strlen(line));
  int cursor = 0;
  ReadField(line, length, &cursor, kv->key, kMaxKey, '=');
  ReadField(line, length, &cursor, kv->value, kMaxValue, '\n');
  ascii::UpperCase(kv->key);
}

bool Is(const KeyValue& kv, const char* key) { return std::strcmp(kv.key, key) == 0; }

void ApplyCom(const KeyValue& kv, ClientSettings* s) {
  if (Is(kv, "PORT")) {
    if (std::strlen(kv.value) >= 3) {
      ascii::CopyCut(s->portName, kv.value);
    } else {
      std::snprintf(s->portName, sizeof s->portName, "COM%.2s", kv.value);  // value < 3 chars
    }
  } else if (Is(kv, "BAUDRATE")) {
    s->baudRate = ParseDecimal(kv.value);
  } else if (Is(kv, "DATABITS")) {
    s->dataBits = ParseDecimal(kv.value);
  } else if (Is(kv, "PARITY")) {
    char word[kMaxValue + 1];
    ascii::CopyCut(word, kv.value);
    ParityCodeFromWord(word, &s->parityCode);
  } else if (Is(kv, "STOPBITS")) {
    char word[kMaxValue + 1];
    ascii::CopyCut(word, kv.value);
    StopBitsCodeFromWord(word, &s->stopBitsCode);
  }
}

void ApplySizing(const KeyValue& kv, const SettingsRules& rules, ClientSettings* s) {
  if (Is(kv, "BIOCHIMIEMOVELEFT")) {
    s->biochimieMoveLeft = ParseDecimal(kv.value);
  } else if (Is(kv, "COAGULAREMOVELEFT")) {
    s->coagulareMoveLeft = ParseDecimal(kv.value);
  } else if (Is(kv, "HEMATOLOGIEMOVELEFT")) {
    s->hematologieMoveLeft = ParseDecimal(kv.value);
  } else if (Is(kv, "BARCODEFONTSIZE")) {
    s->barcodeFontSize = ParseDecimal(kv.value);
  } else if (Is(kv, "PRINTDOMAINNAME")) {
    s->printDomainName = std::strcmp(kv.value, "1") == 0;
  } else if (Is(kv, "PAGECODE")) {
    // An empty value keeps the page code: a zero byte in the character-set line would
    // end the label job there.
    if (kv.value[0] != '\0') s->pageCode = kv.value[0];
  } else if (rules.maxTextLen && Is(kv, "MAXTEXTLEN")) {
    s->maxTextLen = ParseDecimal(kv.value);
  }
}

void ApplyDestination(const KeyValue& kv, ClientSettings* s) {
  if (Is(kv, "ADDRESS")) {
    ascii::CopyCut(s->address, kv.value);
  } else if (Is(kv, "NETPORT")) {
    s->netPort = ParseDecimal(kv.value);
  }
}

void AppendSuffix(const KeyValue& kv, ClientSettings* s) {
  SuffixEntry* entry = &s->suffixEntries.emplace_back();
  ascii::CopyCut(entry->key, kv.key);
  ascii::CopyCut(entry->value, kv.value);
  entry->next = nullptr;
  if (s->suffixLast) {
    s->suffixLast->next = entry;
  } else {
    s->suffixFirst = entry;
  }
  s->suffixLast = entry;
}

enum class Section { kNone, kCom, kSizing, kDestination, kSuffix, kDebug };

}  // namespace

const char kDefaultClientSettings[] =
    "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
    "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
    "BARCODEFONTSIZE=80\r\n";

void ParseClientSettings(const std::string& text, const SettingsRules& rules, ClientSettings* settings) {
  // Text after a zero byte is not part of the settings text.
  const char* source = text.c_str();
  int length = static_cast<int>(std::strlen(source));
  int cursor = 0;
  char line[kMaxLine + 1];
  Section section = Section::kNone;
  KeyValue kv;
  // The order of these steps matters: under [suffix] every line, a following [debug]
  // line included, becomes an entry before the header tests run.
  while (ReadSettingsLine(source, length, &cursor, line)) {
    TrimTrailingBlanks(line);
    if (std::strcmp(line, "[com]") == 0) section = Section::kCom;
    if (section == Section::kCom) {
      SplitLine(line, &kv);
      ApplyCom(kv, settings);
    }
    if (std::strcmp(line, "[sizing]") == 0) section = Section::kSizing;
    if (section == Section::kSizing) {
      SplitLine(line, &kv);
      ApplySizing(kv, rules, settings);
    }
    if (std::strcmp(line, "[destination]") == 0) section = Section::kDestination;
    if (section == Section::kDestination) {
      SplitLine(line, &kv);
      ApplyDestination(kv, settings);
    }
    if (section == Section::kSuffix) {
      SplitLine(line, &kv);
      AppendSuffix(kv, settings);
    }
    if (rules.suffixSection && std::strcmp(line, "[suffix]") == 0) section = Section::kSuffix;
    if (std::strcmp(line, "[debug]") == 0) section = Section::kDebug;
    if (section == Section::kDebug) {
      SplitLine(line, &kv);
      if (Is(kv, "DEBUGMODE")) settings->debugMode = std::strcmp(kv.value, "1") == 0;
    }
  }
}

const char* FindSuffix(const ClientSettings& settings, const char* name) {
  for (const SuffixEntry* entry = settings.suffixFirst; entry; entry = entry->next) {
    if (std::strcmp(entry->key, name) == 0) return entry->value;
  }
  return "";
}
