#include "acquisition/exam_engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "acquisition/exam_texts.h"
#include "acquisition/online_filters.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"

namespace velor {

namespace {

constexpr int kFrameBufferWords = 8000;  // one device read, and each channel's frames per tick
constexpr int kTickMs = 20;

int clipCode(long long v) { return static_cast<int>(std::clamp<long long>(v, -4095, 8191)); }

// Logical shift of the low 32 bits: a right shift brings in zeros.
std::int32_t shiftByGain(std::int32_t v, int rightBy) {
  const auto u = static_cast<std::uint32_t>(v);
  if (rightBy > 0) return static_cast<std::int32_t>(u >> rightBy);
  if (rightBy < 0) return static_cast<std::int32_t>(u << -rightBy);
  return v;
}

bool fdSync(int fd) { return ::fdatasync(fd) == 0; }

}  // namespace

// The four software mains filters of the board variants, designed at Start
// for the record rate, with a state per channel and filter.
struct ExaminationEngine::BoardFilters {
  std::array<FilterDesign, 4> design{};
  std::array<bool, 4> designed{};
  std::array<std::array<FilterState, 4>, kMaxChannels> state{};
};

// --- file and status line --------------------------------------------------------

namespace {
int createExamFileAt(StudyState& s, const std::string& path, Interaction& ui, bool force) {
  if (fileExists(path) && !force && !ui.ask(exam_texts::kOverwriteQuestion)) return -2;
  if (samePath(s.recordFilePath, path)) closeRecordFile(s);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    ui.message(std::string(exam_texts::kFileNotCreated) + path);
    return -1;
  }
  s.recordDate = todayAsDays(s);
  s.recordTime = nowAsDayFraction(s);
  s.recordFileVersion = kVersionCA40;
  s.recordCount = 0;
  s.markChannelCount = 1;
  if (!writeHeader(s, fd) || !fdSync(fd)) {
    ::close(fd);
    ::unlink(path.c_str());
    ui.message(std::string(exam_texts::kFileNotCreated) + path);
    return -1;
  }
  return fd;
}
}  // namespace

int createExamFile(StudyState& s, ExaminationPlan& plan, Interaction& ui, bool force, std::string& path) {
  const std::string name = trimSpaces(plan.recordName);
  path.clear();
  if (name.empty()) return -3;
  const std::string full = s.dataDir + name + ".cad";
  const int fd = createExamFileAt(s, full, ui, force);
  if (fd < 0) return fd;
  rememberFileName(plan.fileNames, name);
  plan.recordName = name;
  s.recordFileName = name;
  path = full;
  return fd;
}

int createExamFileAtPath(StudyState& s, const std::string& path, Interaction& ui, bool force) {
  return createExamFileAt(s, path, ui, force);
}

std::string examStatusLine(const std::string& planName, const std::string& fileName, double recordDate,
                           int recordLength, int sampleRate, const ExamStatus& st) {
  std::string t = std::string(exam_texts::kStatusPlan) + planName + exam_texts::kStatusFile + fileName + ": ";
  t += dayMonthYearText(static_cast<int>(recordDate)) + " ";
  const std::int32_t tenths = encodeTimeOfDay(st.recordTime);  // 1e-7 day
  const long long secs = static_cast<long long>(tenths) * 86400LL / 10000000LL;
  char hms[16];
  std::snprintf(hms, sizeof hms, "%02lld:%02lld:%02lld", secs / 3600 % 24, secs / 60 % 60, secs % 60);
  t += hms;
  t += " ";
  const double seconds = sampleRate > 0 ? static_cast<double>(recordLength) / sampleRate : 0;
  if (seconds >= 1)
    t += std::to_string(static_cast<long long>(seconds)) + "s";
  else
    t += std::to_string(static_cast<long long>(seconds * 1000)) + "ms";
  t += "-" + std::to_string(sampleRate) + exam_texts::kStatusHz + exam_texts::kStatusRecords +
       std::to_string(st.recordCount);
  if (st.recordingOn) t += exam_texts::kStatusRecordingOn;
  return t;
}

// --- engine ------------------------------------------------------------------------

ExaminationEngine::ExaminationEngine(StudyState& s, ExaminationPlan& plan, AcquisitionDevice& device, Clock& clock,
                                     int examFd, std::string examPath, ExamOptions options)
    : s_(s),
      plan_(plan),
      device_(device),
      clock_(clock),
      fd_(examFd),
      examPath_(std::move(examPath)),
      o_(std::move(options)),
      board_(s.deviceKind <= 0),
      kind_(s.deviceKind),
      sweep_(static_cast<std::size_t>(std::max(16, o_.sweepCapacity))) {
  monitorWidth_.store(std::max(10, s.monitorWidth));
}

ExaminationEngine::~ExaminationEngine() {
  if (!ended()) finish("");
}

int ExaminationEngine::stepMilliseconds() const { return board_ ? waitTimeoutMs_ : kTickMs; }

bool ExaminationEngine::begin(std::string& reason) {
  if (s_.channelCount < 1 || s_.channelCount > kMaxChannels || s_.recordLength < 1 ||
      s_.recordLength > kMaxRecordSamples) {
    reason = std::string(exam_texts::kBadRecordLength) + std::to_string(s_.recordLength);
    finish(reason);
    return false;
  }
  DeviceConfig cfg;
  cfg.sampleRate = s_.sampleRate;
  if (board_)
    for (int ch = 0; ch < s_.channelCount; ++ch) cfg.channelOrder.push_back(static_cast<std::uint8_t>(s_.channelOrder[ch]));
  DeviceResult r = device_.isOpen() ? DeviceResult::success() : device_.open();
  if (r) r = device_.configure(cfg);
  if (r) r = device_.start();
  // The amplifier's test signal is off at the start of every examination.
  if (r && kind_ == 3) (void)device_.setTestSignal(false);
  if (!r) {
    reason = std::string(exam_texts::kDeviceFailed) + r.message;
    finish(reason);
    return false;
  }
  const DeviceDescription& d = device_.describe();
  channels_ = std::clamp(d.deviceChannelCount, 0, kMaxDeviceChannels);
  block_.words.reserve(kFrameBufferWords + static_cast<std::size_t>(d.wordsPerFrame()));
  channelFrames_.assign(static_cast<std::size_t>(channels_), std::vector<std::int32_t>(kFrameBufferWords));
  statusFrames_.assign(kFrameBufferWords, 0);
  if (kind_ == 3) packed_.assign(static_cast<std::size_t>(kMaxChannels) * kFrameBufferWords, 0);
  decimationStep_ = std::max(1, d.decimationStep);
  decimationPhase_ = 0;
  // The K amplifiers pause while their drift filters settle (they are set
  // anew after the first 250 frames); the others record from the start.
  const bool settles = kind_ == 1 || kind_ == 2;
  settleCounter_ = settles ? 0 : -1;
  settleBudget_ = settles ? 0 : -1;
  if (board_) {
    // The converter inputs were chosen in the plan; one that the board does
    // not have would read outside the frame.
    for (int ch = 0; ch < s_.channelCount; ++ch) {
      const int input = static_cast<std::uint8_t>(s_.channelOrder[ch]);
      if (input >= channels_) {
        reason = std::string(exam_texts::kPlanRefused) + exam_texts::kPlanOrder + " " + std::to_string(input);
        device_.stop();
        finish(reason);
        return false;
      }
    }
    waitTimeoutMs_ = std::max(1, 2000 / std::max(1, s_.sampleRate));
  }
  if (kind_ < 0) {
    boardFilters_ = std::make_unique<BoardFilters>();
    const double rate = s_.sampleRate;
    auto& f = *boardFilters_;
    f.designed[0] = designFilter(f.design[0], 4, kButterworthBandStop, 0, 54 / rate, 46 / rate);
    f.designed[1] = designFilter(f.design[1], 4, kButterworthBandStop, 0, 104 / rate, 96 / rate);
    f.designed[2] = designFilter(f.design[2], 4, kButterworthBandStop, 0, 154 / rate, 146 / rate);
    f.designed[3] = designFilter(f.design[3], 1, kButterworthBandStop, 0, 30 / rate, 30 / rate);
    for (int ch = 0; ch < kMaxChannels; ++ch)
      for (int k = 0; k < 4; ++k) {
        f.state[ch][k].reset();
        if (f.designed[k]) settleFilter(f.design[k], f.state[ch][k], 2048);
      }
  }
  if (o_.keyLog && !s_.programDir.empty()) {
    const std::string keys = s_.programDir + "Keys.txt";
    keyFd_ = ::open(keys.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  // An express analysis this build does not have (the user's kind): the
  // examination runs without it and writes its records.
  expressKind_ = ExpressAnalysis::available(plan_.expressAnalysisKind) || onRecordEnd ? plan_.expressAnalysisKind : 0;
  if (expressKind_ % 20 != 0 && !onRecordEnd) {
    express_ = std::make_unique<ExpressAnalysis>();
    express_->reset();
  }
  // Likewise a protocol: it runs only when its step is plugged in.
  protocol_ = plan_.protocolLineCount() > 0 && static_cast<bool>(protocolStep);
  goodFileSize_ = fd_ >= 0 ? fdSize(fd_) : 0;
  startDayFraction_ = nowAsDayFraction(s_);
  startUs_ = clock_.nowMicroseconds();
  examinationStart();
  recordStart();
  publish();
  return true;
}

void ExaminationEngine::examinationStart() {
  pendingCommand_.store(0);
  activeCommand_ = lastKeyCommand_ = 0;
  recordingOn_ = o_.recordFromStart && fd_ >= 0;
  recordCount_ = 0;
  recordNumber_ = 0;
  protocolClock_ = 0;
  digitalInputs_ = controlOutputs_ = 0;
  decimationMask_ = (1 << plan_.displayDecimation) - 1;
  s_.recordCount = 0;
  s_.markChannelCount = 1;
  s_.acquisitionActive = 1;
}

void ExaminationEngine::recordStart() {
  sweepX_ = 0;
  sampleIndex_ = 0;
  ++recordNumber_;
  const double elapsedDays = static_cast<double>(clock_.nowMicroseconds() - startUs_) / 86400e6;
  recordTime_ = startDayFraction_ + elapsedDays;
  recordTime_ -= std::floor(recordTime_);
  s_.recordTime = recordTime_;
  pushColumn(-1, true);
}

bool ExaminationEngine::recordComplete() const {
  return (!protocol_ && sampleIndex_ >= s_.recordLength) || sampleIndex_ >= kMaxRecordSamples;
}

bool ExaminationEngine::appendRecord() {
  const long long bytes = recordBytes(kVersionCA40, s_.channelCount, 1, s_.recordLength);
  bool ok = !(o_.diskSpace >= 0 && goodFileSize_ + bytes > o_.diskSpace);
  s_.storedLength = s_.recordLength;
  if (ok) ok = writeRecord(s_, fd_);
  if (ok) {
    unsigned char count[2];
    putU16(count, static_cast<std::uint16_t>(recordCount_ + 1));
    ok = fdPwriteAll(fd_, count, 2, recordCountOffset(kVersionCA40)) && fdSync(fd_);
  }
  if (!ok) {
    // Back to the last finished record, whatever part of this one got out.
    fdTruncate(fd_, goodFileSize_);
    fdSeek(fd_, goodFileSize_);
    return false;
  }
  goodFileSize_ += bytes;
  ++recordCount_;
  s_.recordCount = recordCount_;
  return true;
}

void ExaminationEngine::endRecord() {
  s_.recordLength = sampleIndex_;
  if (!protocol_) {
    if (expressKind_ > 0) {
      if (onRecordEnd)
        onRecordEnd(s_, sampleIndex_);
      else if (express_) {
        ExpressContext ctx{recordingOn_, recordTime_, plan_.expressParameter, plan_.expressThreshold,
                           plan_.expressChannel};
        expressPeak_ = express_->run(s_, expressKind_, sampleIndex_, ctx);
        // The ECG monitor decides itself which records are written.
        if (fd_ < 0) recordingOn_ = false;
      }
    }
    if (recordingOn_ && fd_ >= 0 && expressKind_ != 3) {
      if (!appendRecord()) {
        finish(std::string(exam_texts::kDiskFull) + std::to_string(recordCount_));
        return;
      }
    }
  }
  if (plan_.monitorMode == MonitorMode::Deferred && plan_.expressAnalysisKind < 20) {
    const int step = 1 << plan_.displayDecimation;
    pushColumn(-1, true);
    for (int i = step; i < sampleIndex_; i += step) pushColumn(i, false);
  }
  publish();
  if (o_.maxRecords > 0 && recordCount_ >= o_.maxRecords) finish("");
}

void ExaminationEngine::pushColumn(int sample, bool sweepStart) {
  if (plan_.monitorMode == MonitorMode::None) return;
  bool& pendingStart = pendingSweepStart_;
  if (sample < 0) {
    pendingStart = pendingStart || sweepStart;
    return;
  }
  SweepColumn c;
  c.record = recordNumber_;
  c.sample = sample;
  c.x = static_cast<std::int16_t>(sweepX_);
  c.step = static_cast<std::int16_t>(1 << plan_.displayDecimation);
  c.sweepStart = pendingStart || sweepStart;
  pendingStart = false;
  c.channels = static_cast<std::int16_t>(s_.channelCount);
  c.mark = s_.markChannel[sample];
  for (int ch = 0; ch < s_.channelCount; ++ch) c.values[ch] = s_.channelData[ch][sample];
  sweep_.push(c);
  if (++sweepX_ > monitorWidth_.load(std::memory_order_relaxed)) {
    sweepX_ = 0;
    pendingStart = true;
  }
}

void ExaminationEngine::afterSample() {
  if (protocol_) {
    ExamRegisters r{sampleIndex_, digitalInputs_, lastKeyCommand_, controlOutputs_, protocolClock_, recordingOn_};
    protocolStep(r);
  }
  int mark = controlOutputs_ * 256 + digitalInputs_;
  if (stimulusMark_.load(std::memory_order_relaxed) == 2) {
    mark = controlOutputs_ * 256 + 128;
    stimulusMark_.store(0, std::memory_order_relaxed);
  }
  s_.markChannel[sampleIndex_] = static_cast<std::int16_t>(mark);
  ++sampleIndex_;
  ++protocolClock_;
  ++samplesStored_;
  if (board_) takeCommand();
  if (plan_.monitorMode == MonitorMode::RealTime && sampleIndex_ > 1 &&
      (plan_.displayDecimation == 0 || ((sampleIndex_ - 2) & decimationMask_) == decimationMask_))
    pushColumn(sampleIndex_ - 1, false);
  if (board_ && activeCommand_ != 0) execute(activeCommand_);
  if (ended()) return;
  if (o_.maxSamples > 0 && samplesStored_ >= o_.maxSamples) {
    // As Esc: the record in progress is dropped unless it is just complete.
    if (recordComplete()) endRecord();
    if (!ended()) finish("");
    return;
  }
  // Every stored sample is checked against the record end, so no record
  // grows past its plan whatever a tick brings.
  if (recordComplete()) {
    endRecord();
    if (!ended()) recordStart();
  }
}

void ExaminationEngine::takeCommand() {
  if (activeCommand_ == kCmdStop) return;
  activeCommand_ = pendingCommand_.exchange(0, std::memory_order_acq_rel);
  if (activeCommand_ != 0) {
    logKey(activeCommand_);
    if (samplesStored_ - lastKeySample_ >= 2) {
      lastKeyCommand_ = activeCommand_;
      lastKeySample_ = samplesStored_;
    }
  }
}

void ExaminationEngine::logKey(int command) {
  if (keyFd_ < 0) return;
  char line[64];
  const int n = std::snprintf(line, sizeof line, "%d\t%d\t%d\r\n", recordNumber_, sampleIndex_, command);
  if (n > 0) (void)fdWriteAll(keyFd_, line, static_cast<std::size_t>(n));
}

void ExaminationEngine::execute(int command) {
  activeCommand_ = 0;
  if (command == kCmdStop) {
    activeCommand_ = kCmdStop;
    finish("");
    return;
  }
  if (command >= kCmdOutput1 && command <= kCmdOutput1 + 7) {
    const int bit = 1 << (command - kCmdOutput1);
    controlOutputs_ ^= bit;
    device_.setControlOutput(command - kCmdOutput1 + 1, (controlOutputs_ & bit) != 0);
  } else if (command == kCmdCompress || command == kCmdStretch) {
    plan_.displayDecimation = std::clamp(plan_.displayDecimation + (command == kCmdCompress ? 1 : -1), 0, 6);
    decimationMask_ = (1 << plan_.displayDecimation) - 1;
  } else if (command == kCmdRecord) {
    if (fd_ < 0 || protocol_) return;
    recordingOn_ = !recordingOn_;
    recordTime_ = startDayFraction_ + static_cast<double>(clock_.nowMicroseconds() - startUs_) / 86400e6;
    recordTime_ -= std::floor(recordTime_);
    if (recordingOn_) {
      sweepX_ = 0;
      sampleIndex_ = 0;  // the record restarts with recording
      pushColumn(-1, true);
    }
    publish();
  } else if (command == kCmdSpace) {
    // The ECG monitor's strips start empty; the history is ours, the
    // interface redraws from the next picture.
    if (express_ && expressKind_ % 20 == 4) {
      express_->clearRates();
      publish();
    }
  }
  // The row commands (rows, first channel) change only what the interface
  // draws; it carries them out on its own thread.
}

void ExaminationEngine::closeFile() {
  if (fd_ < 0) return;
  int fileCount = recordCount_;
  // Evoked potentials: the average of the responses is the file's record.
  if (express_ && expressKind_ % 20 == 3 && recordCount_ == 0 && writeAverage()) fileCount = s_.recordCount;
  unsigned char count[2];
  putU16(count, static_cast<std::uint16_t>(static_cast<std::int16_t>(fileCount)));
  (void)fdPwriteAll(fd_, count, 2, recordCountOffset(kVersionCA40));
  (void)fdSync(fd_);
  ::close(fd_);
  fd_ = -1;
  // Only this examination's own file, named once by its full path.
  if (fileCount == 0 && s_.groupMode != 2 && !examPath_.empty()) ::unlink(examPath_.c_str());
}

void ExaminationEngine::request(ExamRequest r) {
  std::lock_guard<std::mutex> lock(requestMutex_);
  requests_.push_back(std::move(r));
}

void ExaminationEngine::requestNewFile(std::string path) {
  request([this, path = std::move(path)](ExamSideAccess&) {
    closeFile();
    recordingOn_ = false;
    recordCount_ = 0;
    s_.recordCount = 0;
    examPath_.clear();
    ScriptedInteraction quiet;
    quiet.answerYes = true;
    const int fd = createExamFileAtPath(s_, path, quiet, true);
    if (fd < 0) return DeviceResult::failure(quiet.messages.empty() ? exam_texts::kFileNotCreated : quiet.messages[0]);
    fd_ = fd;
    examPath_ = path;
    goodFileSize_ = fdSize(fd_);
    std::string name = baseName(path);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cad") == 0) name.resize(name.size() - 4);
    s_.recordFileName = name;
    return DeviceResult::success();
  });
}

void ExaminationEngine::runRequests() {
  std::vector<ExamRequest> now;
  {
    std::lock_guard<std::mutex> lock(requestMutex_);
    now.swap(requests_);
  }
  for (ExamRequest& r : now) {
    ExamSideAccess access{s_, device_, o_.gainCodes};
    const DeviceResult result = r(access);
    ++requestsDone_;
    if (!result) requestMessage_ = result.message;
  }
}

bool ExaminationEngine::writeAverage() {
  const int length = s_.recordLength, count = s_.recordCount;
  const auto calib = s_.calibValue;
  if (!express_->placeAverage(s_)) return false;
  // The header carries the averaged record's calibration and count; the
  // file held no record before (the averaging writes none).
  bool ok = fdSeek(fd_, 0) && writeHeader(s_, fd_) && fdTell(fd_) == goodFileSize_ && writeRecord(s_, fd_) &&
            fdSync(fd_);
  if (!ok) {
    fdTruncate(fd_, goodFileSize_);
    s_.recordLength = length;
    s_.recordCount = count;
    s_.calibValue = calib;
    return false;
  }
  return true;
}

void ExaminationEngine::finish(const std::string& message) {
  if (ended_.load()) return;
  if (device_.isOpen()) device_.stop();
  closeFile();
  if (keyFd_ >= 0) {
    ::close(keyFd_);
    keyFd_ = -1;
  }
  if (!s_.programDir.empty()) writePlanSettings(s_.programDir, plan_);
  recordingOn_ = false;
  s_.currentBand = 0;
  endMessage_ = message;
  ended_.store(true, std::memory_order_release);
  publish();
}

void ExaminationEngine::publish() {
  std::lock_guard<std::mutex> lock(statusMutex_);
  status_.acquisitionActive = ended() ? 0 : (board_ ? 1 : 2);
  status_.recordCount = recordCount_;
  status_.recordNumber = recordNumber_;
  status_.sampleIndex = sampleIndex_;
  status_.recordingOn = recordingOn_;
  status_.displayDecimation = plan_.displayDecimation;
  status_.controlOutputs = controlOutputs_;
  status_.digitalInputs = digitalInputs_;
  status_.recordTime = recordTime_;
  status_.samplesStored = samplesStored_;
  status_.sweepDropped = sweep_.dropped();
  status_.expressPeak = expressPeak_;
  if (express_) {
    status_.expressResponses = express_->responses();
    status_.expressRejected = express_->rejected();
    status_.expressWaves = express_->waves();
    status_.heartRates = express_->heartRates();
    status_.expressPicture = express_->picture();
  }
  status_.expressSkipped = plan_.expressAnalysisKind % 20 != 0 && expressKind_ == 0;
  status_.protocolSkipped = plan_.protocolLineCount() > 0 && !protocol_;
  status_.requestsDone = requestsDone_;
  status_.requestMessage = requestMessage_;
  status_.examPath = fd_ >= 0 ? examPath_ : std::string();
  status_.ended = ended();
  status_.endMessage = endMessage_;
}

ExamStatus ExaminationEngine::status() const {
  std::lock_guard<std::mutex> lock(statusMutex_);
  return status_;
}

// --- one step ------------------------------------------------------------------------

bool ExaminationEngine::step() {
  if (ended()) return false;
  runRequests();
  if (board_) {
    // Every converter sample that has arrived, one at a time.
    const int wpf = device_.describe().wordsPerFrame();
    for (int guard = 0; guard < kFrameBufferWords && !ended(); ++guard) {
      const DeviceResult r = device_.readFrames(block_, 1);
      if (!r) {
        finish(std::string(exam_texts::kDeviceFailed) + r.message);
        break;
      }
      if (block_.frames == 0) break;
      if (wpf != block_.wordsPerFrame) break;
      boardSample(block_.words.data());
    }
  } else {
    if (readAmplifierFrames()) storeAmplifierFrames(frameCount_);
    if (!ended()) {
      takeCommand();
      if (activeCommand_ != 0) execute(activeCommand_);
    }
  }
  if (!ended()) publish();
  return !ended();
}

bool ExaminationEngine::boardSample(const std::int32_t* frame) {
  const bool variant = kind_ < 0;
  for (int ch = 0; ch < s_.channelCount; ++ch) {
    int v = frame[static_cast<std::uint8_t>(s_.channelOrder[ch])];
    if (variant) {
      auto& f = *boardFilters_;
      auto& st = f.state[ch];
      if (s_.channelPosX[ch] < 240) {
        if (s_.sampleRate > 108 && f.designed[0]) v = filterSample(f.design[0], st[0], v);
        if (s_.sampleRate > 208 && f.designed[1]) v = filterSample(f.design[1], st[1], v);
        if (s_.sampleRate > 308 && f.designed[2]) v = filterSample(f.design[2], st[2], v);
      }
      if (f.designed[3]) v = filterSample(f.design[3], st[3], v);
    }
    s_.channelData[ch][sampleIndex_] = static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
  }
  digitalInputs_ = channels_ < block_.wordsPerFrame ? (frame[channels_] & 0xFF) : 0;
  afterSample();
  return true;
}

bool ExaminationEngine::readAmplifierFrames() {
  const int wpf = device_.describe().wordsPerFrame();
  if (wpf <= 0 || channels_ <= 0) return false;
  const int perRead = std::max(1, kFrameBufferWords / wpf);
  int total = 0;
  if (kind_ == 2) {
    // K3: an input event waits for its frame; a newer one replaces it.
    if (device_.readEvents(events_) && !events_.empty() && events_[0].type == 3) {
      k3Pending_ = true;
      k3Code_ = events_[0].code;
      k3Time_ = events_[0].time;
    }
  }
  // Until the device has nothing more, but never beyond what the per-channel
  // arrays hold; what is left waits in the device for the next tick.
  while (total < kFrameBufferWords) {
    const DeviceResult r = device_.readFrames(block_, std::min(perRead, kFrameBufferWords - total));
    if (!r) {
      finish(std::string(exam_texts::kDeviceFailed) + r.message);
      return false;
    }
    if (block_.frames <= 0 || block_.wordsPerFrame != wpf) break;
    const std::int32_t* w = block_.words.data();
    // The device time of the block: the first frame's last word.
    if (total == 0 && kind_ == 2 && k3Pending_) k3BlockTime_ = w[wpf - 1];
    for (int f = 0; f < block_.frames; ++f, w += wpf) {
      for (int c = 0; c < channels_; ++c) channelFrames_[c][total + f] = w[c] == kMissingSample ? 0 : w[c];
      statusFrames_[total + f] = wpf > channels_ ? w[channels_] : 0;
    }
    total += block_.frames;
  }
  // The kind's online filter chain over each channel's block.
  if (OnlineFilterSets* fs = device_.onlineFilters(); fs && total > 0) {
    const int rate = device_.describe().deviceRate;
    std::vector<FilterSet> chain;
    if (kind_ == 3)
      chain = {FilterSet::Mains50, FilterSet::Mains150, FilterSet::Mains100, FilterSet::Band, FilterSet::Drift};
    else if (kind_ == 1 || kind_ == 2)
      chain = {FilterSet::Mains50, FilterSet::Mains150, FilterSet::Mains200, FilterSet::Mains100, FilterSet::Band,
               FilterSet::Drift};
    else
      chain = {FilterSet::Drift, FilterSet::Mains150, FilterSet::Mains50};
    for (FilterSet set : chain) {
      if ((set == FilterSet::Mains150 || set == FilterSet::Mains200) && kind_ <= 3 && rate <= 250) continue;
      if (set == FilterSet::Mains100 && rate <= 125) continue;
      for (int c = 0; c < channels_; ++c) {
        OnlineFilter* f = fs->get(set, c);
        if (!f) continue;
        std::int32_t* x = channelFrames_[c].data();
        for (int i = 0; i < total; ++i) x[i] = filterSample(f->design, f->state, x[i]);
      }
    }
  }
  // Settling pause of the K amplifiers: frames read during it are dropped.
  if (settleCounter_ >= 0) {
    settleCounter_ += total;
    if (settleCounter_ > 250) {
      settleCounter_ = -1;
      settleBudget_ = 850;
      if (OnlineFilterSets* fs = device_.onlineFilters())
        fs->setDrift(channels_, device_.describe().deviceRate, 0.0325);
    }
  } else if (settleBudget_ >= 0) {
    settleBudget_ -= total;
  }
  // Decimation: continue the stride across reads.
  int kept = total;
  if (decimationStep_ > 1 && total > 0) {
    kept = 0;
    for (int i = decimationPhase_; i < total; i += decimationStep_, ++kept) {
      for (int c = 0; c < channels_; ++c) channelFrames_[c][kept] = channelFrames_[c][i];
      statusFrames_[kept] = statusFrames_[i];
    }
    decimationPhase_ = decimationPhase_ + kept * decimationStep_ - total;
  }
  frameCount_ = kept;
  if (kind_ == 3) prepareNvxFrames(kept);
  return true;
}

void ExaminationEngine::prepareNvxFrames(int frames) {
  const bool big = channels_ >= 52;
  const int a = big ? 23 : 12, b = big ? 29 : 18;
  const int refLimit = big ? 39 : 23;
  const std::vector<int> skipRef = big ? std::vector<int>{23, 29, 35} : std::vector<int>{12, 18, 19};
  const std::vector<int> bipolar = big ? std::vector<int>{40, 42, 44, 46} : std::vector<int>{24, 26, 28, 30};
  const std::vector<int> dropped =
      big ? std::vector<int>{23, 29, 30, 34, 41, 43, 45, 47} : std::vector<int>{12, 18, 19, 23, 25, 27, 29, 31};
  static const int symmetrA[] = {0, 2, 3, 7, 8, 13, 14, 20};
  const int ref = plan_.nvxReference;
  std::vector<std::int32_t> v(static_cast<std::size_t>(channels_));
  std::vector<std::int32_t> p;
  p.reserve(static_cast<std::size_t>(channels_));
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < channels_; ++c) v[c] = channelFrames_[c][f];
    auto at = [&](int c) { return c < channels_ ? v[c] : 0; };
    if (ref > 0) {
      const std::int32_t A = at(a), B = at(b);
      for (int c = 0; c < std::min(refLimit, channels_); ++c) {
        if (std::find(skipRef.begin(), skipRef.end(), c) != skipRef.end()) continue;
        if (ref == 1) v[c] -= A;
        else if (ref == 2) v[c] -= B;
        else if (ref == 3) v[c] -= static_cast<std::int32_t>(static_cast<std::uint32_t>(A + B) >> 1);
        else if (ref == 4 && !big) v[c] -= std::find(std::begin(symmetrA), std::end(symmetrA), c) != std::end(symmetrA) ? A : B;
      }
    }
    for (int c : bipolar)
      if (c + 1 < channels_) v[c] -= v[c + 1];
    p.clear();
    for (int c = 0; c < channels_; ++c)
      if (std::find(dropped.begin(), dropped.end(), c) == dropped.end()) p.push_back(v[c]);
    if (channels_ > 24)
      for (std::size_t i = p.size() >= 4 ? p.size() - 4 : 0; i < p.size(); ++i)
        p[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[i]) >> 4);
    if (big && p.size() >= 36) {
      std::rotate(p.begin() + 28, p.begin() + 31, p.begin() + 32);
      std::rotate(p.begin() + 32, p.begin() + 35, p.begin() + 36);
    }
    // Distribution to record channels; 255 drops a position.
    for (int ch = 0; ch < kMaxChannels; ++ch) packed_[static_cast<std::size_t>(ch) * kFrameBufferWords + f] = 0;
    for (std::size_t j = 0; j < p.size() && j < static_cast<std::size_t>(kMaxChannels); ++j) {
      const int target = static_cast<std::uint8_t>(s_.channelOrder[static_cast<int>(j)]);
      if (target >= s_.channelCount) continue;  // 255 and positions beyond the plan
      std::int32_t x = p[j];
      const int gain = target < static_cast<int>(o_.gainCodes.size()) ? o_.gainCodes[target] : 5;
      if (gain >= 1 && gain <= 4) x = shiftByGain(x, 5 - gain);
      else if (gain >= 6 && gain <= 11) x = shiftByGain(x, -(gain - 5));
      packed_[static_cast<std::size_t>(target) * kFrameBufferWords + f] = x;
    }
  }
}

void ExaminationEngine::storeAmplifierFrames(int frames) {
  if (settleBudget_ >= 0) return;  // settling: discarded
  const bool nvx = kind_ == 3;
  const int cc = s_.channelCount;
  for (int f = 0; f < frames && !ended(); ++f) {
    for (int ch = 0; ch < cc; ++ch) {
      std::int32_t v = 0;
      if (nvx) {
        v = packed_[static_cast<std::size_t>(ch) * kFrameBufferWords + f];
      } else if (ch < channels_) {
        v = channelFrames_[ch][f];
        if (kind_ == 1 && ch == 6) v = -(v / 2);
        if (kind_ == 2 && ch < static_cast<int>(o_.gainCodes.size())) {
          const int g = o_.gainCodes[ch];
          if (g >= 1 && g <= 8) v = shiftByGain(v, 9 - g);
          else if (g >= 10 && g <= 12) v = shiftByGain(v, -(g - 9));
        }
      }
      // NVX: only the low 16 bits of the prepared value reach the record.
      long long sample = nvx ? static_cast<std::int16_t>(v & 0xFFFF) : static_cast<long long>(v);
      sample += s_.zeroLevel[ch];
      if (s_.channelPosX[ch] == kKindPhotoPlethysmogram) sample = 2LL * s_.zeroLevel[ch] - sample;
      s_.channelData[ch][sampleIndex_] = static_cast<std::int16_t>(clipCode(sample));
    }
    const std::int32_t status = statusFrames_[f];
    const bool stimulus = stimulusMark_.load(std::memory_order_relaxed) == 2;
    if (nvx) {
      digitalInputs_ = ~status & 0xFF;
      controlOutputs_ = (controlOutputs_ & ~0x6) | (((status >> 9) & 1) ? 0 : 2) | (((status >> 8) & 1) ? 4 : 0);
    } else {
      // These amplifiers have no input word: an event or a finished stimulus
      // marks its own sample only.
      digitalInputs_ = 0;
      if (kind_ == 2 && k3Pending_) {
        // An event from before the block (it came late) is taken at once
        // rather than waiting for a frame that has passed.
        const long long at = std::max<long long>(0, (static_cast<long long>(k3Time_) - k3BlockTime_) / decimationStep_);
        if (at == f) {
          digitalInputs_ = stimulus ? 128 : k3Code_;
          k3Pending_ = false;
          k3Done_ = true;
        }
      }
      if (stimulus) digitalInputs_ = 128;
    }
    afterSample();
  }
  if (k3Done_) {
    // The block's last sample says that an event was marked in it.
    if (sampleIndex_ > 0 && !ended()) {
      std::int16_t& m = s_.markChannel[sampleIndex_ - 1];
      if (m == 0) m = 0x4000;
      m = static_cast<std::int16_t>(static_cast<std::uint16_t>(m) << 1);
    }
    k3Done_ = false;
  }
}

// --- runner ------------------------------------------------------------------------

ExaminationRunner::ExaminationRunner(ExaminationEngine& engine, Clock& clock) : engine_(engine), clock_(clock) {}

ExaminationRunner::~ExaminationRunner() { stop(); }

void ExaminationRunner::start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] {
    while (!engine_.ended()) {
      clock_.sleepMilliseconds(engine_.stepMilliseconds());
      engine_.step();
    }
  });
}

void ExaminationRunner::stop() {
  engine_.post(kCmdStop);
  join();
}

void ExaminationRunner::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace velor
