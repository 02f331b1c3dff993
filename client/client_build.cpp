#include "client/client_build.h"

const ClientBuild kTervaneBuild = {"tervane", &kTervaneLayouts, kTervaneSettingsRules};
const ClientBuild kTervaneBBuild = {"tervane-b", &kTervaneBLayouts, kTervaneBSettingsRules};
