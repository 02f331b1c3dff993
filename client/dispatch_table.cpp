#include "client/dispatch_table.h"

#include "client/tube_layouts.h"

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
    default:
      job.Clear();
      return false;
  }
}
