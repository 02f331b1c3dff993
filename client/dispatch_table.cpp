#include "client/dispatch_table.h"

#include "client/dialect_b_layouts.h"
#include "client/field_list_layouts.h"
#include "client/protocol10_100_layouts.h"
#include "client/tube_layouts.h"

namespace {

// One call per row kind: the layout and the settings that it is given.

void Biochimie(LabelJob& job, const char* data, ClientSettings& s) {
  BiochimieTubeLayout(job, data, s.biochimieMoveLeft);
}

void Hematologie(LabelJob& job, const char* data, ClientSettings& s) {
  HematologieTubeLayout(job, data, s.hematologieMoveLeft);
}

void Coagulare(LabelJob& job, const char* data, ClientSettings& s) {
  CoagulareTubeLayout(job, data, s.coagulareMoveLeft);
}

void FieldList(LabelJob& job, const char* data, ClientSettings& s) {
  FieldListLayout(job, data, s.biochimieMoveLeft, s.barcodeFontSize);
}

void GroupedFieldList(LabelJob& job, const char* data, ClientSettings& s) {
  GroupedFieldListLayout(job, data, s.biochimieMoveLeft, s.barcodeFontSize, s.printDomainName);
}

const char* LookUpSuffix(const void* context, const char* name) {
  return FindSuffix(*static_cast<const ClientSettings*>(context), name);
}

// Besides its arguments the Extended field-list layout reads the page code, the
// maximum text length, the suffix table and the hex-text flag.
void ExtendedFieldList(LabelJob& job, const char* data, ClientSettings& s) {
  ExtendedLayoutSettings extended;
  extended.pageCode = s.pageCode;
  extended.maxTextLen = s.maxTextLen;
  extended.hexText = s.hexText;
  extended.findSuffix = LookUpSuffix;
  extended.suffixContext = &s;
  ExtendedFieldListLayout(job, data, s.biochimieMoveLeft, s.barcodeFontSize, s.printDomainName,
                          extended);
}

void NumberedSeries(LabelJob& job, const char* data, ClientSettings& s) {
  NumberedSeriesLayout(job, data, s.biochimieMoveLeft, s.barcodeFontSize);
}

void DialectBFieldList(LabelJob& job, const char* data, ClientSettings& s) {
  DialectBFieldListLayout(job, data, s.biochimieMoveLeft, s.barcodeFontSize, s.printDomainName);
}

void DialectBNumberedSeries(LabelJob& job, const char* data, ClientSettings& s) {
  DialectBNumberedSeriesLayout(job, data, s.biochimieMoveLeft, s.barcodeFontSize);
}

const DispatchRow kTervaneRows[] = {
    {0, Biochimie},
    {1, FieldList},
    {3, Biochimie},
    {4, Hematologie},
    {6, Coagulare},
    {10, ExtendedFieldList},
    {11, GroupedFieldList},
    {100, NumberedSeries},
};

const DispatchRow kTervaneBRows[] = {
    {0, Biochimie},
    {1, FieldList},
    {3, Biochimie},
    {4, Hematologie},
    {6, Coagulare},
    {10, DialectBFieldList},
    {11, GroupedFieldList},
    {100, DialectBNumberedSeries},
};

}  // namespace

const DispatchTable kTervaneLayouts = {kTervaneRows, sizeof kTervaneRows / sizeof kTervaneRows[0]};
const DispatchTable kTervaneBLayouts = {kTervaneBRows, sizeof kTervaneBRows / sizeof kTervaneBRows[0]};

const DispatchRow* FindDispatchRow(const DispatchTable& table, int protocol) {
  for (std::size_t i = 0; i < table.count; ++i) {
    if (table.rows[i].protocol == protocol) return &table.rows[i];
  }
  return nullptr;
}

bool RenderLayout(const DispatchTable& table, int protocol, LabelJob& job, const char* data,
                  ClientSettings& settings) {
  const DispatchRow* row = FindDispatchRow(table, protocol);
  if (!row) {
    job.Clear();
    return false;
  }
  row->layout(job, data, settings);
  return true;
}
