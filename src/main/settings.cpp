#include "main/settings.h"

Settings settings;
RunOptions run_options;
