#include "client/dispatch_table.h"

#include "client/dialect_b_layouts.h"
#include "client/field_list_layouts.h"
#include "client/protocol10_100_layouts.h"
#include "client/tube_layouts.h"

#if !defined(TERVANE_DIALECT_B)
namespace {

const char* LookUpSuffix(const void* context, const char* name) {
  return FindSuffix(*static_cast<const ClientSettings*>(context), name);
}

}  // namespace
#endif

bool RenderLayout(int protocol, LabelJob& job, const char* data, ClientSettings& settings) {
  switch (protocol) {
    case 0:
    case 3:
      BiochimieTubeLayout(job, data, settings.biochimieMoveLeft);
      return true;
    case 4:
      HematologieTubeLayout(job, data, settings.hematologieMoveLeft);
      return true;
    case 6:
      CoagulareTubeLayout(job, data, settings.coagulareMoveLeft);
      return true;
    case 1:
      FieldListLayout(job, data, settings.biochimieMoveLeft, settings.barcodeFontSize);
      return true;
    case 11:
      GroupedFieldListLayout(job, data, settings.biochimieMoveLeft, settings.barcodeFontSize,
                             settings.printDomainName);
      return true;
#if defined(TERVANE_DIALECT_B)
    case 10:
      DialectBFieldListLayout(job, data, settings.biochimieMoveLeft, settings.barcodeFontSize,
                              settings.printDomainName);
      return true;
    case 100:
      DialectBNumberedSeriesLayout(job, data, settings.biochimieMoveLeft, settings.barcodeFontSize);
      return true;
#else
    case 10: {
      ExtendedLayoutSettings extended;
      extended.pageCode = settings.pageCode;
      extended.maxTextLen = settings.maxTextLen;
      extended.hexText = settings.hexText;
      extended.findSuffix = LookUpSuffix;
      extended.suffixContext = &settings;
      ExtendedFieldListLayout(job, data, settings.biochimieMoveLeft, settings.barcodeFontSize,
                              settings.printDomainName, extended);
      return true;
    }
    case 100:
      NumberedSeriesLayout(job, data, settings.biochimieMoveLeft, settings.barcodeFontSize);
      return true;
#endif
    default:
      job.Clear();
      return false;
  }
}
