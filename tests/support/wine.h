// Whether the tests run under Wine, for the few checks of behaviour that Wine does not
// reproduce (each such skip says why).
#pragma once

namespace testsupport {

bool UnderWine();

}  // namespace testsupport
