// The dispatch table: protocol number (after folding) to layout, with the settings
// values that each layout receives. One row per protocol; a protocol without a row has
// no layout. tervane and tervane-b each have a table of their own: they differ only in
// the rows for protocols 10 and 100 (tervane-b uses the dialect B layouts).
#pragma once

#include <cstddef>

#include "client/client_settings.h"
#include "client/label_job.h"

// Calls one layout with the settings values that its row passes, in their order.
typedef void (*LayoutCall)(LabelJob& job, const char* data, ClientSettings& settings);

struct DispatchRow {
  int protocol;
  LayoutCall layout;
};

struct DispatchTable {
  const DispatchRow* rows;
  std::size_t count;
};

extern const DispatchTable kTervaneLayouts;
extern const DispatchTable kTervaneBLayouts;

// The row of protocol, or nullptr when the table has none.
const DispatchRow* FindDispatchRow(const DispatchTable& table, int protocol);

// Renders data through the layout of protocol into job. False when the protocol has
// no layout (the job is then left empty).
bool RenderLayout(const DispatchTable& table, int protocol, LabelJob& job, const char* data,
                  ClientSettings& settings);
