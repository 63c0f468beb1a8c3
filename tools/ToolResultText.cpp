#include "tools/ToolResultText.h"

ToolResultText g_hubToolText;
ToolResultText g_dpToolText;
