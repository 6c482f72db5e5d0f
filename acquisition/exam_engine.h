// The acquisition engine: runs one examination. It moves samples from the
// device into the study state one record at a time — per converter sample
// for the board, per 20 ms tick for the amplifiers, with their online
// filters, re-referencing, packing, gain shifts and decimation — hands live
// sweep columns to the interface, executes the commands posted to it and
// appends every finished record to the examination file.
//
// Threads. While an examination runs the engine (whatever thread drives it:
// ExaminationRunner's worker in every front end) is the only writer of the
// channel buffers, the mark channel, the record counters and the exam file.
// Other threads talk to it only through post() (an atomic command slot),
// read it only through status() (a copy under a mutex) and sweep() (a
// single-producer, single-consumer ring). Nothing here touches a widget.
//
// Data safety. Each finished record is written, the header's record count
// updated and the file flushed to disk before the next record starts, so a
// killed program leaves a file that opens with every finished record. A
// failed write (a full disk) truncates the file back to its last finished
// record, stops the examination and says so in the status.
//
// Time. The engine takes time only from the Clock: a VirtualClock runs an
// examination as fast as the machine goes (tests, velor-cli, benchmarks), a
// SteadyClock in real time (the workstation).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/device.h"
#include "acquisition/exam_express.h"
#include "acquisition/exam_plan.h"
#include "acquisition/filter_design.h"
#include "acquisition/sweep_queue.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// Engine commands: the keyboard scan codes the recording panel and the
// monitor's keys post.
enum ExamCommand : int {
  kCmdStop = 1,
  kCmdOutput1 = 2,  // .. 9: toggle control output 1..8
  kCmdCompress = 53,
  kCmdStretch = 55,
  kCmdSpace = 57,
  kCmdRecord = 62,
  kCmdHome = 71,
  kCmdMoreRows = 73,
  kCmdEnd = 79,
  kCmdFewerRows = 81,
};

// What the protocol's step sees and may change at each sample, before the
// sample's mark word is made.
struct ExamRegisters {
  int sampleIndex;       // of the sample just stored
  int digitalInputs;
  int lastKeyCommand;
  int& controlOutputs;
  int& protocolClock;    // samples since the protocol's last satisfied condition
  bool& recordingOn;
};

struct ExamOptions {
  // Records are appended from the first sample on (as if "Вкл" were pressed
  // at once): velor-cli and tests. The workstation starts with recording off.
  bool recordFromStart = false;
  // Ends the examination after this many samples (0: no limit) or records
  // written (0: no limit); the record in progress is dropped as with Esc.
  long long maxSamples = 0;
  int maxRecords = 0;
  // Space left on the disk in bytes for the examination file; −1: no limit
  // but the real one. Lets tests run out of disk.
  long long diskSpace = -1;
  // The key log "Keys.txt" in programDir (none when programDir is empty).
  bool keyLog = true;
  // Gain code per record channel (NVX 1..11, K3 1..12); empty: no shift.
  std::vector<int> gainCodes;
  int sweepCapacity = 16384;
};

// A consistent copy of what the interface shows about a running examination.
struct ExamStatus {
  int acquisitionActive = 0;  // 0 idle, 1 started, 2 running
  int recordCount = 0;        // records written
  int recordNumber = 0;       // the record in progress, 1-based
  int sampleIndex = 0;
  bool recordingOn = false;
  int displayDecimation = 0;
  int controlOutputs = 0;
  int digitalInputs = 0;
  double recordTime = 0;
  long long samplesStored = 0;
  long long sweepDropped = 0;
  // Converter samples the driver dropped (rate too high) and lost sampling
  // interrupts; reported at the next F9 when either is above 5. The devices
  // of this build hand over every frame, so both stay 0 here.
  long long skippedByRate = 0, skippedByInterrupt = 0;
  int expressPeak = -1;    // the express spectra's peak of the last record
  int expressResponses = 0, expressRejected = 0;  // evoked potentials averaged / refused
  int expressWaves = -1;  // waves found in the last record (wave analyses)
  std::vector<ExpressHeartRate> heartRates;  // per channel, the last record (ECG monitor)
  // The side window's picture of the last record (shared, never changed once
  // published); null before the first record end or without an analysis.
  std::shared_ptr<const ExpressPicture> expressPicture;
  bool expressSkipped = false;  // the plan's express analysis is not in this build
  bool protocolSkipped = false;  // the plan has a protocol but no protocol step is plugged in
  int requestsDone = 0;        // requests carried out so far
  std::string requestMessage;  // the last refused request's message
  std::string examPath;        // the file records go to ("" none)
  bool ended = false;
  std::string endMessage;  // why it stopped, when not by command
};

// Creates the examination's record file `dataDir` + name + ".cad" for the
// plan's record name (trimmed). An existing file is replaced only when
// `force` is set or the person answers Yes to "Файл уже существует,
// перезаписать?". Writes the header (date and time of now, no records) and
// flushes it. Returns the descriptor (≥ 0) and the full path, or −1: −2 when
// the person declined (nothing changed), −1 with a message when the file
// could not be created. With no name returns −3 and records nothing.
int createExamFile(StudyState& s, ExaminationPlan& plan, Interaction& ui, bool force, std::string& path);
// The same for a file named by its full path (velor-cli); the name list and
// recordFileName are left alone.
int createExamFileAtPath(StudyState& s, const std::string& path, Interaction& ui, bool force);

// The status line: "План=" plan + ", файл=" file + ": " date time duration
// "-" rate "Гц" " Зап:" count [" ЗапВкл"].
std::string examStatusLine(const std::string& planName, const std::string& fileName, double recordDate,
                           int recordLength, int sampleRate, const ExamStatus& st);

// A change of the device's settings while the examination runs (a filter,
// a gain, the test signal, another record file). It runs on the acquisition
// side before its next step — the only side that talks to the device then —
// and may set the gain codes the engine shifts record channels by.
struct ExamSideAccess {
  StudyState& study;
  AcquisitionDevice& device;
  std::vector<int>& gainCodes;
};
using ExamRequest = std::function<DeviceResult(ExamSideAccess&)>;

class ExaminationEngine {
 public:
  // `examFd`/`examPath`: the file of createExamFile (−1 records nothing);
  // the engine owns it from here and closes it at the end.
  ExaminationEngine(StudyState& s, ExaminationPlan& plan, AcquisitionDevice& device, Clock& clock, int examFd,
                    std::string examPath, ExamOptions options = {});
  ~ExaminationEngine();
  ExaminationEngine(const ExaminationEngine&) = delete;
  ExaminationEngine& operator=(const ExaminationEngine&) = delete;

  bool isBoardPath() const { return board_; }
  // Examination start: configures and starts the device, resets the
  // counters, designs the mains filters (board variants), opens the key log,
  // starts the first record. False with the message when the device refuses
  // (the file is then cleaned up as for an empty examination).
  bool begin(std::string& reason);
  // One step of the acquisition side: the amplifier tick (all frames waiting
  // since the last one) or, for the board, every converter sample waiting
  // (each handled as one sample). False once the examination has ended.
  bool step();
  // Milliseconds between steps: 20 for the tick, waitTimeout for the board.
  int stepMilliseconds() const;
  // Any thread: the command for the next sample or tick (a later post before
  // the engine took the first replaces it, as the single slot does).
  void post(int command) { pendingCommand_.store(static_cast<std::uint16_t>(command), std::memory_order_release); }
  // Any thread: a request for the acquisition side (see ExamRequest). Its
  // failure message appears in the status; requests run in order.
  void request(ExamRequest r);
  // Any thread: another examination file (the record file dialog). On the
  // acquisition side the current one gets its record count and is closed
  // (deleted when it holds no record), `path` is created (replacing a file
  // there: the caller has asked), recording switches off and records go
  // there from now on. A file that cannot be created leaves the examination
  // without one (requestMessage says why).
  void requestNewFile(std::string path);
  // Any thread: a finished stimulus marks the next sample.
  void markStimulus() { stimulusMark_.store(2, std::memory_order_release); }
  ExamStatus status() const;
  SweepQueue& sweep() { return sweep_; }
  bool ended() const { return ended_.load(std::memory_order_acquire); }
  // The monitor's width in columns (the interface may resize).
  void setMonitorWidth(int w) { monitorWidth_.store(w > 10 ? w : 10, std::memory_order_relaxed); }
  const std::string& examPath() const { return examPath_; }
  // Called on the acquisition side at the record end with the finished record
  // in place of the built-in express analysis; runs before the record is written.
  std::function<void(StudyState&, int samples)> onRecordEnd;
  // The protocol's step, once per sample while the plan has protocol lines
  // (set before begin). Without one a plan's protocol is skipped: records
  // then end and are written as without a protocol. Instruments take their
  // columns from sweep(); a stimulator marks its stimuli with markStimulus().
  std::function<void(ExamRegisters&)> protocolStep;

 private:
  struct BoardFilters;
  void examinationStart();
  void recordStart();
  void endRecord();
  void finish(const std::string& message);
  bool readAmplifierFrames();
  void prepareNvxFrames(int frames);
  void storeAmplifierFrames(int frames);
  bool boardSample(const std::int32_t* frame);
  void afterSample();  // mark word, counters, command, live column
  void takeCommand();
  void execute(int command);
  void pushColumn(int sample, bool sweepStart);
  void publish();
  void runRequests();
  void closeFile();
  void logKey(int command);
  bool appendRecord();
  bool writeAverage();
  bool recordComplete() const;

  StudyState& s_;
  ExaminationPlan& plan_;
  AcquisitionDevice& device_;
  Clock& clock_;
  int fd_;
  std::string examPath_;
  ExamOptions o_;
  bool board_;
  int kind_;  // deviceKind

  std::mutex requestMutex_;
  std::vector<ExamRequest> requests_;
  int requestsDone_ = 0;
  std::string requestMessage_;
  // K3: the event waiting for its frame, and the device time of the block.
  bool k3Pending_ = false;
  int k3Code_ = 0;
  std::int32_t k3Time_ = 0, k3BlockTime_ = 0;
  bool k3Done_ = false;
  std::vector<DeviceEvent> events_;
  std::atomic<std::uint16_t> pendingCommand_{0};
  std::atomic<int> stimulusMark_{0};
  std::atomic<bool> ended_{false};
  std::atomic<int> monitorWidth_{800};
  mutable std::mutex statusMutex_;
  ExamStatus status_;
  SweepQueue sweep_;

  // Engine state.
  int activeCommand_ = 0, lastKeyCommand_ = 0;
  long long lastKeySample_ = -10;
  int sampleIndex_ = 0;
  bool recordingOn_ = false;
  int recordCount_ = 0, recordNumber_ = 0;
  int sweepX_ = 0;
  int decimationMask_ = 0;
  int controlOutputs_ = 0, digitalInputs_ = 0;
  int protocolClock_ = 0;
  long long samplesStored_ = 0;
  long long goodFileSize_ = 0;
  double startDayFraction_ = 0;
  std::int64_t startUs_ = 0;
  double recordTime_ = 0;
  std::string endMessage_;
  int keyFd_ = -1;
  int waitTimeoutMs_ = 20;
  bool pendingSweepStart_ = false;

  // Device side.
  FrameBlock block_;
  int channels_ = 0;  // device channels
  std::vector<std::vector<std::int32_t>> channelFrames_;  // per device channel (+ status)
  std::vector<std::int32_t> statusFrames_;
  int frameCount_ = 0;
  int decimationStep_ = 1, decimationPhase_ = 0;
  int settleCounter_ = 0, settleBudget_ = -1;
  std::vector<std::int32_t> packed_;
  std::unique_ptr<BoardFilters> boardFilters_;
  bool protocol_ = false;  // the plan's protocol runs (its step is plugged in)
  int expressKind_ = 0;  // the plan's kind when it can run here, else 0
  int expressPeak_ = -1;
  std::unique_ptr<ExpressAnalysis> express_;
};

// Drives an engine on its own thread until the examination ends: the step
// every stepMilliseconds() of the engine's clock. stop() posts the stop
// command and joins; join() waits for the end. The destructor stops.
class ExaminationRunner {
 public:
  explicit ExaminationRunner(ExaminationEngine& engine, Clock& clock);
  ~ExaminationRunner();
  void start();
  void stop();
  void join();
  bool running() const { return thread_.joinable() && !engine_.ended(); }

 private:
  ExaminationEngine& engine_;
  Clock& clock_;
  std::thread thread_;
};

}  // namespace velor
