// --open: the default browser started at the studio's address once it listens.
#pragma once

#include <string>

// Starts the default browser at url and returns without waiting for it. A browser that
// cannot be started is only reported on standard error: the studio serves either way,
// and its address is printed for opening by hand.
void OpenBrowser(const std::string& url);
