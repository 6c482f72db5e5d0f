// velor-cli info and dump for PhysioNet WFDB records (".hea" with its signal
// files and, beside it, the ".atr" annotations).
#pragma once

#include <string>
#include <vector>

namespace velor::cli {

int runWfdbInfo(const std::string& file, bool json);
// Page `page` (1-based, kWfdbPageSamples frames) as CSV: physical values in
// the header's units ((value − baseline) / gain), or stored values with
// `raw`; the mark column holds the annotation code of the frame ("" none).
int runWfdbDump(const std::string& file, int page, bool raw, const std::vector<int>& channels);

}  // namespace velor::cli
