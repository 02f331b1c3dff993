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
  int cursor = 0;
  char text[kFieldBound + 1];
  Field field;
  while (ReadNextField(data, length, &cursor, text)) {
    SplitField(text, "2", &field);
    label.Render(field);
  }
  label.End();
}

void GroupedFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  Epl2Label label(job, m, h);
  int groupCursor = 0;
  char group[kGroupBound + 1];
  char domains[kDomainListBound + 1];
  char name[kFieldBound + 1];
  char text[kFieldBound + 1];
  Field field;
  while (!job.TooLarge() && ReadField(data, length, &groupCursor, group, kGroupBound, '|')) {
    const int groupLength = static_cast<int>(std::strlen(group));
    int fieldsStart = 0;
    ReadField(group, groupLength, &fieldsStart, domains, kDomainListBound, '\\');
    const int domainsLength = static_cast<int>(std::strlen(domains));
    int domainCursor = 0;
    while (!job.TooLarge() && ReadField(domains, domainsLength, &domainCursor, name, kFieldBound, '^')) {
      label.Start();
      int cursor = fieldsStart;
      while (ReadNextField(group, groupLength, &cursor, text)) {
        SplitField(text, "2", &field);
        label.Render(field);
      }
      if (printDomainName) label.DomainLine(name);
      label.End();
    }
  }
}
