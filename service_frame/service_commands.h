// The console commands of quorvel: install and remove the service. Each prints its
// outcome, with the system's code of a failing step, and never throws.
#pragma once

void InstallService();
void RemoveService();
