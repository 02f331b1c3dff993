#include "tests/support/wine.h"

namespace testsupport {

bool UnderWine() { return false; }

}  // namespace testsupport
