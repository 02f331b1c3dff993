// The build that a client program runs: each program links one definition
// (tervane_program.cpp or tervane_b_program.cpp) beside its platform's main.
#pragma once

#include "client/client_build.h"

const ClientBuild& ProgramBuild();
