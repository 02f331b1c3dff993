// The program tervane-b: the dialect B layouts for protocols 10 and 100.
#include "client/program_build.h"

const ClientBuild& ProgramBuild() { return kTervaneBBuild; }
