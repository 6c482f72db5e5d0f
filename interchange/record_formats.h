// The formats of other systems in the open and save dispatch: EDF, BDF,
// EDF32 and UDF files, BrainSys and NeuroScan recordings and text tables as
// records, BrainLoc and text when saving records, the spectral-parameter
// table and the side window's text table.
#pragma once

#include "core/file_kinds.h"

namespace velor {

void registerInterchangeFileKinds(FileKindTable& table);

}  // namespace velor
