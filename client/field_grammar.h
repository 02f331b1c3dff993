// The field grammar shared by every field-list layout (protocols 1, 10, 11 and 100, in
// EPL2 and in dialect B): fields, domain lists and the numbered series.
//
// A field is the text between two backslashes of the layout data (at most 100
// characters). Without a "^" it is a plain field: a text line whose value is the whole
// field. With a "^" it is a composite field, read as parts separated by "^":
//   part 1  its first character is the command letter ("A" text, anything else a
//           barcode command); the rest is ignored;
//   part 2  the font of a text line or the selection of a barcode; the first 3
//           characters are kept;
//   part 3  the value; it ends at the next "^".
// Each part is read by the field reader, so it loses its leading blanks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "client/label_job.h"

constexpr int kFieldBound = 100;      // characters of one field or one part
constexpr int kFontLength = 3;        // characters kept of part 2
constexpr int kDomainListBound = 1024;
constexpr int kGroupBound = 300;
constexpr int kSeriesHeaderBound = 200;

struct Field {
  char letter = '\0';              // command letter; '\0' when part 1 is empty
  char font[kFontLength + 1] = ""; // font or barcode selection
  char value[kFieldBound + 1] = "";
};

// Splits one field. A plain field gets letter "A" and plainFont ("2" in EPL2, "B" in
// dialect B). A field whose letter is '\0' prints nothing.
void SplitField(const char* text, const char* plainFont, Field* field);

// Reads parts 1 to 3 of text whatever it holds (a text without "^" is all part 1).
// Used where the grammar asks for parts rather than a field, such as the number field
// of a numbered series.
void SplitParts(const char* text, Field* field);

// Reads the next field of data (separator "\", bound 100) into buffer (kFieldBound + 1
// bytes). False when the field list ends there.
bool ReadNextField(const char* data, int dataLength, int* cursor, char* buffer);

// Reads the fields of data from cursor on until a read fails, splits each (plainFont
// as for SplitField) and hands it to render.
void ForEachField(const char* data, int dataLength, int cursor, const char* plainFont,
                  const std::function<void(Field& field)>& render);

// Layout data that begins with a domain list: the text up to the first backslash
// (bound 1024) holds domain names separated by "^" (bound 100 each), and the fields
// follow it. Calls renderLabel once per domain name, in order, with the cursor of the
// first field, while the job is under its cap. A domain list that cannot be read has
// no domain names.
void ForEachDomainName(LabelJob& job, const char* data, int dataLength,
                       const std::function<void(const char* name, int fieldsStart)>& renderLabel);

// Moves a stack position down by step dots with the printers' 32-bit wrap-around, so a
// huge barcode height gives a defined (if useless) coordinate.
inline int StepDown(int y, int step) {
  return static_cast<int>(static_cast<unsigned>(y) + static_cast<unsigned>(step));
}

// The header field of a numbered series: first^count^copies^width.
struct SeriesHeader {
  std::int32_t first = 0;
  std::int32_t count = 0;
  std::int32_t copies = 0;
  std::int32_t width = 0;
};

// Reads the header field (separator "\", bound 200) and its four parts (separator "^",
// bound 100 each) as signed decimal numbers that saturate at the 32-bit limits. A
// header that cannot be read leaves every number 0.
void ReadSeriesHeader(const char* data, int dataLength, int* cursor, SeriesHeader* header);

// n in decimal with a minus sign when negative; out holds at least 21 bytes.
void FormatSerialNumber(std::int64_t n, char* out);

// Renders one label of a numbered series, the label of number n, and returns how many
// of its bytes a later label of the same series may do without.
using SeriesLabelRenderer = std::function<std::size_t(std::int64_t n)>;

// One label per number n from first up to first + count - 1, in increasing order (none
// when count is 0 or negative), counted in 64 bits since the last number may lie beyond
// the 32-bit range. The series stops when the job reaches its cap. Labels of a series
// differ only in their number, so the first one, less what renderLabel says a later
// label may do without, is the shortest label of the series: a series that cannot fit
// under the cap with labels that short is refused after its first label, instead of
// rendered up to the cap (a count in the millions takes seconds).
void RenderNumberedSeries(LabelJob& job, const SeriesHeader& header, const SeriesLabelRenderer& renderLabel);
