// A service that is not packaged (Windows, or Linux with its files beside the program)
// is installed and removed by its own commands.
#include "service/service_setup.h"

bool ServiceSetupAllowed(const char*, ServiceSetup) { return true; }
