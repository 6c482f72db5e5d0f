// The filter design moved to core so that the record transformations (below
// acquisition) share it; this name stays for the acquisition code.
#pragma once

#include "core/filter_design.h"
