// velor-cli info, dump and convert for EDF, EDF32, UDF and BDF files. The
// generic commands hand such files over to these.
#pragma once

#include <string>
#include <vector>

namespace velor::cli {

// True for a path whose extension names an EDF-family file (".edf", ".udf", ".e32", ".bdf").
bool isEdfPath(const std::string& path);
int runEdfInfo(const std::string& file, bool json);
// Page `page` (1-based) as CSV; physical values are the header's physical
// values (a constant part the codes do not hold is added back).
int runEdfDump(const std::string& file, int page, bool raw, const std::vector<int>& channels);
// Conversions that read or write an EDF-family file.
int runEdfConvert(const std::string& in, const std::string& out);

}  // namespace velor::cli
