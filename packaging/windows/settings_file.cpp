#include "packaging/windows/settings_file.h"

#include <cstdint>
#include <cstring>

#include "platform/ascii_text.h"
#include "service/allow_list.h"
#include "transport/serial_port.h"

namespace settingsfile {

const char kDefaultServiceSettings[] =
    "port=com1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n";

namespace {

enum class Check {
  kText,
  kHost,
  kNumber,
  kSignedNumber,
  kCount,
  kFlag,
  kOneCharacter,
  kDataBits,
  kNetPort,
  kParity,
  kStopBits,
  kAllowFrom
};

// One setting the installer may write: its key (as the installer passes it and as a
// new line spells it), the section of barcode.ini it belongs to (none in a service
// file), the longest value the program keeps, and how the value is checked.
struct Key {
  const char* name;
  const char* section;
  std::size_t maxLength;
  Check check;
  bool serial;  // one of the serial line's settings
};

// The longest values are those the programs keep whole: barcode.ini's port name of 11
// characters, page code of 1 and any other value of 99; the service's port name of 9
// characters, printer name of 101 and any other value of 259.
const Key kClientKeys[] = {
    {"ADDRESS", "[destination]", 99, Check::kHost, false},
    {"NETPORT", "[destination]", 5, Check::kNetPort, false},
    {"port", "[com]", 11, Check::kText, true},
    {"baudrate", "[com]", 10, Check::kNumber, true},
    {"databits", "[com]", 1, Check::kDataBits, true},
    {"parity", "[com]", 99, Check::kParity, true},
    {"stopbits", "[com]", 99, Check::kStopBits, true},
    {"BiochimieMoveLeft", "[sizing]", 99, Check::kSignedNumber, false},
    {"CoagulareMoveLeft", "[sizing]", 99, Check::kSignedNumber, false},
    {"HematologieMoveLeft", "[sizing]", 99, Check::kSignedNumber, false},
    {"BARCODEFONTSIZE", "[sizing]", 99, Check::kNumber, false},
    {"PRINTDOMAINNAME", "[sizing]", 99, Check::kFlag, false},
    {"PAGECODE", "[sizing]", 1, Check::kOneCharacter, false},
    {"MAXTEXTLEN", "[sizing]", 99, Check::kCount, false},
    {"DEBUGMODE", "[debug]", 99, Check::kFlag, false},
};

const Key kServiceKeys[] = {
    {"printerName", nullptr, 101, Check::kText, false},
    {"port", nullptr, 9, Check::kText, true},
    {"baudrate", nullptr, 10, Check::kNumber, true},
    {"databits", nullptr, 1, Check::kDataBits, true},
    {"parity", nullptr, 259, Check::kParity, true},
    {"stopbits", nullptr, 259, Check::kStopBits, true},
    {"allowFrom", nullptr, 259, Check::kAllowFrom, false},
};

const char* const kClientSections[] = {"[com]", "[sizing]", "[destination]", "[suffix]",
                                       "[debug]"};

struct Line {
  std::string text;
  std::string end;  // "\r\n", "\r", "\n", or "" for a last line without a line end
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t stop = text.find_first_of("\r\n", at);
    Line line;
    if (stop == std::string::npos) {
      line.text = text.substr(at);
      at = text.size();
    } else {
      line.text = text.substr(at, stop - at);
      std::size_t endLength = text.compare(stop, 2, "\r\n") == 0 ? 2 : 1;
      line.end = text.substr(stop, endLength);
      at = stop + endLength;
    }
    lines.push_back(line);
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines) text += line.text + line.end;
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = ascii::ToUpper(c);
  return text;
}

// The key of a line as both programs read it: from the first non-blank character up to
// the first "=" (or the end of the line), compared in capitals.
std::string LineKey(const std::string& line) {
  std::size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) return "";
  std::size_t eq = line.find('=', start);
  return Upper(line.substr(start, eq == std::string::npos ? std::string::npos : eq - start));
}

// The line's text up to its first "=" with value after it; a line without "=" gets one.
void SetLineValue(Line* line, const std::string& value) {
  std::size_t eq = line->text.find('=');
  line->text = (eq == std::string::npos ? line->text + "=" : line->text.substr(0, eq + 1)) + value;
}

// The section header a barcode.ini line is, or nullptr: whole lines, trailing blanks
// left out, compared exactly.
const char* ClientSectionOf(const std::string& line) {
  std::size_t last = line.find_last_not_of(' ');
  std::string trimmed = last == std::string::npos ? "" : line.substr(0, last + 1);
  for (const char* section : kClientSections) {
    if (trimmed == section) return section;
  }
  return nullptr;
}

// A decimal number from low to high, digits only; a number of any length is read
// without overflowing (std::stoul throws beyond unsigned long, 32 bits on Windows).
bool DecimalInRange(const std::string& value, unsigned long low, unsigned long high) {
  if (value.empty()) return false;
  unsigned long long number = 0;  // at most high * 10 + 9 before the check below
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned long long>(c - '0');
    if (number > high) return false;
  }
  return number >= low;
}

bool IsWord(char* value, bool (*fromWord)(char*, int*)) {
  int code = 0;
  return fromWord(value, &code);
}

void CountRefused(void* context, const char*) { ++*static_cast<int*>(context); }

// Empty when value is one the program reads as given, else what is wrong with it.
std::string Refusal(const Key& key, Kind kind, const std::string& value) {
  for (char c : value) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return "holds a control character";
  }
  if (kind == Kind::kService && value.find('=') != std::string::npos) {
    return "holds \"=\", which ends a value in a service settings file";
  }
  std::size_t length = value.size();
  // A service port name that is a number n is read as COMn.
  if (kind == Kind::kService && std::strcmp(key.name, "port") == 0 && value[0] >= '1' &&
      value[0] <= '9') {
    length += 3;
  }
  if (length > key.maxLength) {
    return "is longer than the " + std::to_string(key.maxLength) + " characters the program keeps";
  }
  std::vector<char> buffer(value.begin(), value.end());
  buffer.push_back('\0');
  switch (key.check) {
    case Check::kText:
      break;
    case Check::kHost:
      if (value.find(' ') != std::string::npos) return "is no address or host name";
      break;
    case Check::kNumber:
      if (!DecimalInRange(value, 1, 0x7FFFFFFF)) {
        return "is no positive decimal number";
      }
      break;
    case Check::kSignedNumber:
      if (!DecimalInRange(value[0] == '-' ? value.substr(1) : value, 0, 0x7FFFFFFF)) {
        return "is no decimal number";
      }
      break;
    case Check::kCount:
      if (!DecimalInRange(value, 0, 0x7FFFFFFF)) return "is no decimal number of 0 or more";
      break;
    case Check::kFlag:
      if (value != "0" && value != "1") return "is not 0 or 1";
      break;
    case Check::kOneCharacter:
      break;  // the length is checked above
    case Check::kDataBits:
      if (!DecimalInRange(value, 5, 8)) return "is not 5, 6, 7 or 8";
      break;
    case Check::kNetPort:
      if (!DecimalInRange(value, 1, 65535)) {
        return "is no port number from 1 to 65535";
      }
      break;
    case Check::kParity:
      if (!IsWord(buffer.data(), ParityCodeFromWord)) return "is no parity word (none, even, odd, mark, space)";
      break;
    case Check::kStopBits:
      if (!IsWord(buffer.data(), StopBitsCodeFromWord)) return "is no stop-bit word (1, 1.5, 2)";
      break;
    case Check::kAllowFrom: {
      AllowList list;
      int refused = 0;
      list.Parse(buffer.data(), CountRefused, &refused);
      if (refused > 0 || list.Count() == 0) {
        return "is no list of IPv4 addresses and ranges (10.1.2.0/24,10.1.3.7)";
      }
      break;
    }
  }
  return "";
}

void EndLastLine(std::vector<Line>* lines) {
  if (!lines->empty() && lines->back().end.empty()) lines->back().end = "\r\n";
}

void SetClientKey(const Key& key, const std::string& value, std::vector<Line>* lines) {
  std::string wanted = Upper(key.name);
  const char* section = nullptr;
  bool found = false;
  std::size_t insertAt = 0;  // after the last non-empty line of the key's section
  bool haveSection = false;
  for (std::size_t i = 0; i < lines->size(); ++i) {
    Line& line = (*lines)[i];
    if (const char* header = ClientSectionOf(line.text)) {
      section = header;
      if (section == key.section) {
        haveSection = true;
        insertAt = i + 1;
      }
      continue;
    }
    if (section != key.section) continue;
    if (!line.text.empty()) insertAt = i + 1;
    if (LineKey(line.text) == wanted) {
      SetLineValue(&line, value);
      found = true;
    }
  }
  if (found) return;
  Line added{std::string(key.name) + "=" + value, "\r\n"};
  if (!haveSection) {
    EndLastLine(lines);
    lines->push_back(Line{key.section, "\r\n"});
    lines->push_back(added);
    return;
  }
  if (insertAt == lines->size()) EndLastLine(lines);
  lines->insert(lines->begin() + static_cast<std::ptrdiff_t>(insertAt), added);
}

void SetServiceKey(const Key& key, const std::string& value, std::vector<Line>* lines) {
  std::string wanted = Upper(key.name);
  bool found = false;
  for (Line& line : *lines) {
    if (LineKey(line.text) == wanted) {
      SetLineValue(&line, value);
      found = true;
    }
  }
  if (found) return;
  EndLastLine(lines);
  lines->push_back(Line{std::string(key.name) + "=" + value, "\r\n"});
}

void RemoveServiceKey(const char* name, std::vector<Line>* lines) {
  std::string wanted = Upper(name);
  for (std::size_t i = lines->size(); i-- > 0;) {
    if (LineKey((*lines)[i].text) == wanted) lines->erase(lines->begin() + static_cast<std::ptrdiff_t>(i));
  }
}

std::string Trimmed(const std::string& value) {
  std::size_t first = value.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

const Key* FindKey(const Key* keys, std::size_t count, const std::string& name) {
  for (std::size_t i = 0; i < count; ++i) {
    if (Upper(keys[i].name) == Upper(name)) return &keys[i];
  }
  return nullptr;
}

std::string LineNumber(std::size_t index) { return "line " + std::to_string(index + 1); }

}  // namespace

bool CheckClientFile(const std::string& text, std::string* error) {
  if (text.empty()) {
    *error = "is empty";
    return false;
  }
  // The client ends a line at a carriage return only: a line feed alone joins lines.
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      *error = "has a line end of a line feed alone, which the client reads as part of one "
               "long line: save it with CR LF line ends";
      return false;
    }
    if (text[i] == '\0') {
      *error = "holds a zero byte, where the client stops reading";
      return false;
    }
  }
  std::vector<Line> lines = SplitLines(text);
  const char* section = nullptr;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& raw = lines[i].text;
    if (raw.size() > 300 || (lines[i].end.empty() && raw.size() > 299)) {
      *error = LineNumber(i) + " is longer than the 300 characters the client reads; it and "
               "every line after it would be ignored";
      return false;
    }
    if (const char* header = ClientSectionOf(raw)) {
      section = header;
      continue;
    }
    std::string line = Trimmed(raw);
    if (line.empty()) continue;
    if (!section) {
      *error = LineNumber(i) + " lies before the first section, where the client reads nothing";
      return false;
    }
    // As the client splits it: the key up to "=", blanks before "=" included.
    std::size_t eq = line.find('=');
    std::string key = line.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : Trimmed(line.substr(eq + 1));
    if (std::strcmp(section, "[suffix]") == 0) {
      if (value.size() > 19) {
        *error = LineNumber(i) + ": the suffix " + value + " is longer than the 19 characters the client keeps";
        return false;
      }
      continue;
    }
    const Key* known = FindKey(kClientKeys, sizeof kClientKeys / sizeof kClientKeys[0], key);
    if (!known || std::strcmp(known->section, section) != 0) {
      *error = LineNumber(i) + ": \"" + key + "\" is no key the client reads in " + section;
      return false;
    }
    if (value.size() >= 100) {
      *error = LineNumber(i) + ": the value of " + key + " has 100 characters or more, which the client reads as empty";
      return false;
    }
    // An empty ADDRESS means serial delivery; any other key wants its value.
    std::string refusal = !value.empty()                         ? Refusal(*known, Kind::kClient, value)
                          : std::strcmp(known->name, "ADDRESS") == 0 ? ""
                                                                     : "is empty";
    if (!refusal.empty()) {
      *error = LineNumber(i) + ": " + key + "=" + value + ": the value " + refusal;
      return false;
    }
  }
  return true;
}

bool Apply(Kind kind, const Settings& settings, std::string* text, std::string* error) {
  const Key* keys = kind == Kind::kClient ? kClientKeys : kServiceKeys;
  std::size_t keyCount = kind == Kind::kClient ? sizeof kClientKeys / sizeof kClientKeys[0]
                                               : sizeof kServiceKeys / sizeof kServiceKeys[0];
  std::vector<std::pair<const Key*, std::string>> given;
  bool printerGiven = false;
  bool serialGiven = false;
  for (const auto& setting : settings) {
    const Key* key = FindKey(keys, keyCount, setting.first);
    if (!key) {
      *error = "unknown setting " + setting.first;
      return false;
    }
    std::string value = Trimmed(setting.second);
    if (value.empty()) continue;
    std::string refusal = Refusal(*key, kind, value);
    if (!refusal.empty()) {
      *error = std::string(key->name) + "=" + value + ": the value " + refusal;
      return false;
    }
    if (std::strcmp(key->name, "printerName") == 0) printerGiven = true;
    if (key->serial) serialGiven = true;
    given.emplace_back(key, value);
  }
  std::vector<Line> lines = SplitLines(*text);
  if (kind == Kind::kService && serialGiven && !printerGiven) {
    RemoveServiceKey("printerName", &lines);
  }
  for (const auto& setting : given) {
    if (kind == Kind::kClient) {
      SetClientKey(*setting.first, setting.second, &lines);
    } else {
      SetServiceKey(*setting.first, setting.second, &lines);
    }
  }
  *text = JoinLines(lines);
  return true;
}

}  // namespace settingsfile
