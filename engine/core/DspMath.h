#pragma once

// The lanes and the fast maths under their former joint name, for files not yet switched to
// engine/core/Lanes.h and engine/core/FastMath.h.
#include "engine/core/FastMath.h"
