#include "client/field_list_layouts.h"

#include <cstring>

#include "client/epl2_label.h"
#include "client/field_grammar.h"
#include "client/field_reader.h"

void FieldListLayout(LabelJob& job, const char* data, int m, int h) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  Epl2Label label(job, m, h);
  label.Start();
  ForEachField(data, length, 0, "2", [&](Field& field) { label.Render(field); });
  label.End();
}

void GroupedFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  Epl2Label label(job, m, h);
  int groupCursor = 0;
  char group[kGroupBound + 1];
  while (!job.TooLarge() && ReadField(data, length, &groupCursor, group, kGroupBound, '|')) {
    const int groupLength = static_cast<int>(std::strlen(group));
    ForEachDomainName(job, group, groupLength, [&](const char* name, int fieldsStart) {
      label.Start();
      ForEachField(group, groupLength, fieldsStart, "2", [&](Field& field) { label.Render(field); });
      if (printDomainName) label.DomainLine(name);
      label.End();
    });
  }
}
