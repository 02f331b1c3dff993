// The program tervane.
#include "client/program_build.h"

const ClientBuild& ProgramBuild() { return kTervaneBuild; }
