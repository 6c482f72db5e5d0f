// velor-cli ecg-score FILE --channel C --reference REF.atr [--window-ms 150]
// [--as-written]: the R waves the detector finds over the whole recording
// (every record or page, joined) compared beat by beat with the beats of a
// reference annotation file: sensitivity and positive predictivity.
#include <cstdio>
#include <memory>

#include "app/cli/commands.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "interchange/wfdb.h"
#include "physio/ecg_beats.h"
#include "physio/ecg_settings.h"

namespace velor::cli {

namespace {

struct ScoreOptions {
  std::string file;
  std::string reference;
  int channel = 1;
  double windowMs = 150;
  bool asWritten = false;
  bool list = false;
};

int runScore(const ScoreOptions& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openInputAt(o.file, 1, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  if (!(o.windowMs > 0)) {
    reportFailure("--window-ms must be above 0");
    return kExitUsage;
  }
  std::vector<WfdbAnnotation> annotations;
  std::string reason;
  if (!readWfdbAnnotationFile(o.reference, annotations, reason)) {
    reportFailure(o.reference + ": " + reason);
    return kExitFile;
  }
  std::vector<long long> reference;
  std::vector<int> referenceCode;
  for (const WfdbAnnotation& a : annotations)
    if (isWfdbBeatCode(a.code)) {
      reference.push_back(a.sample);
      referenceCode.push_back(a.code);
    }
  // the whole recording, record after record
  const int c = o.channel - 1;
  std::vector<std::int16_t> codes;
  const int total = s.recordCount < 0 ? 1 : std::max(1, s.recordCount);
  for (int rec = 1; rec <= total; ++rec) {
    if (rec > 1 && !stepRecord(s, +1, ui)) {
      reportFailure(o.file + ": " + ui.reason("record " + std::to_string(rec) + " cannot be read"));
      return kExitFile;
    }
    codes.insert(codes.end(), s.channel(c), s.channel(c) + s.recordLength);
  }
  const BeatDetectorSettings settings = readEcgDetectorSettings(s.programDir);
  BeatDetectorOptions options;
  options.mended = !o.asWritten;
  const std::string problem = beatSettingsProblem(sanitizeBeatSettings(settings, s.sampleRate), s.sampleRate);
  if (!problem.empty()) {
    reportFailure(problem);
    return kExitFile;
  }
  const auto detected = detectBeatsInRecording(codes, s.zeroLevel[c], s.sampleRate, settings, options);
  const long long window = static_cast<long long>(o.windowMs * s.sampleRate / 1000.0 + 0.5);
  std::vector<std::size_t> missed, extra;
  const BeatScore sc = scoreBeats(reference, detected, window, &missed, &extra);
  char buf[256];
  if (o.list) {
    std::string text;
    for (std::size_t k : missed) {
      std::snprintf(buf, sizeof buf, "missed %lld %s\n", reference[k], wfdbCodeMnemonic(referenceCode[k]));
      text += buf;
    }
    for (std::size_t k : extra) {
      std::snprintf(buf, sizeof buf, "extra %lld\n", detected[k]);
      text += buf;
    }
    writeOut(text);
  }
  std::snprintf(buf, sizeof buf, "beats=%lld detected=%lld TP=%lld FN=%lld FP=%lld\nSe=%.2f%%\n+P=%.2f%%\n",
                sc.referenceBeats, sc.detected, sc.truePositives, sc.falseNegatives, sc.falsePositives,
                sc.sensitivity(), sc.positivePredictivity());
  return writeOutStatus(buf);
}

}  // namespace

void addEcgScoreCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<ScoreOptions>();
  CLI::App* cmd = app.add_subcommand("ecg-score", "R-wave detection scored against reference beat annotations");
  cmd->add_option("FILE", o->file, "Recording (.hea, .cad, .edf, ...)")->required();
  cmd->add_option("--channel", o->channel, "ECG channel, from 1")->required();
  cmd->add_option("--reference", o->reference, "Reference annotations (MIT format, e.g. 100.atr)")->required();
  cmd->add_option("--window-ms", o->windowMs, "Match window in ms (default 150)");
  cmd->add_flag("--list", o->list, "List the missed reference beats and the extra detections first");
  cmd->add_flag("--as-written", o->asWritten, "The detector without this system's mends");
  cmd->callback([o, &status] { status = runScore(*o); });
}

}  // namespace velor::cli
