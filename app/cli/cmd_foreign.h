// velor-cli info, dump and convert for the other foreign formats: BrainSys
// (".eeg", ".ee"), NeuroScan (".cnt") and the text column format (".txt"),
// and conversions that write text (".txt") or BrainLoc (".eeg").
#pragma once

#include <string>
#include <vector>

namespace velor::cli {

// True for an input the foreign readers take: ".eeg", ".ee", ".cnt", ".txt".
bool isForeignPath(const std::string& path);
// True when `convert` goes through runForeignConvert: a foreign input, or an
// output written as text (".txt") or BrainLoc (".eeg").
bool isForeignConversion(const std::string& in, const std::string& out);
int runForeignInfo(const std::string& file, bool json);
int runForeignDump(const std::string& file, int record, bool raw, const std::vector<int>& channels);
int runForeignConvert(const std::string& in, const std::string& out);

}  // namespace velor::cli
