// The console commands of quorvel: install and remove the service, with its event-log
// source. Each prints its outcome, with the system's code of a failing step, and never
// throws. True when the command did what it was asked (the service created or
// deleted; a source that can't be registered or removed is only reported), so that the
// program can end with a code that scripts and installers see.
#pragma once

bool InstallService();
bool RemoveService();
