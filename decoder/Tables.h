// The header tables' former place, for code that does not read headers
// through FrameHeader yet.
#pragma once

#include "decoder/tables/HeaderTables.h"
