#include "service/koldane_folder.h"

// systemd starts the service in its working folder (WorkingDirectory= of the unit).
void EnterKoldaneDataFolder(CJobServer&) {}
