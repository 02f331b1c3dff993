// Where Koldane keeps the files it opens by bare name (its job copy and its file of
// undelivered jobs): its current folder.
#pragma once

class CJobServer;

// Makes the service's own data folder its current folder, where the system has one
// for it (on Windows %ProgramData%\Tervane instead of System32, made closed to users
// when missing); a folder that cannot be made or entered leaves the current folder as
// it is, with a line in the service log. On Linux the unit gives the working folder.
void EnterKoldaneDataFolder(CJobServer& server);
