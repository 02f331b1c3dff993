// The two failure texts the database classes keep: the report of a COM error and the
// provider's error list.
#pragma once

#include <cstddef>

#include "database/db_backend.h"

namespace dbl {

// "Error\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n",
// cut to fit `size` (zero-terminated).
void FormatComError(const DbFailure& failure, char* out, std::size_t size);

// Walks the connection's Errors collection; each error writes
// "\t Error number: %x\t%s" over the previous one, so the last one remains. `out` is
// left empty when the collection is empty or cannot be read.
void FormatProviderErrors(Connection& connection, char* out, std::size_t size);

// Copies text into a fixed array, cut to fit and zero-terminated.
void CopyText(char* out, std::size_t size, const char* text);

}  // namespace dbl
