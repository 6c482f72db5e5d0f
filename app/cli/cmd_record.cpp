// velor-cli record --device KIND [--plan PLAN.cap] --seconds S --out FILE.cad
//                  [--records N] [--rate HZ] [--seed N] [--start DATE] [--realtime]
//                  [--force]
//
// A headless examination with the workstation's engine: the device of KIND
// (see velor-cli devices) records with the plan of PLAN.cap, or the device's
// default plan, into FILE.cad — records from the first sample on, each one
// on disk before the next starts. It ends after S seconds of signal or N
// records, whichever comes first; the record in progress at that moment is
// dropped, as Esc drops it. Ctrl+C ends it the same way. Time is virtual (as
// fast as the machine goes) unless --realtime, and so is the wall clock the
// file's date and record times come from: it starts at --start, so the same
// plan, seed and start give the same file byte for byte. An existing FILE is
// refused unless --force. Progress (one line per record written) goes to
// stderr.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "acquisition/device_registry.h"
#include "acquisition/exam_engine.h"
#include "acquisition/exam_plan.h"
#include "app/cli/cmd_record.h"
#include "app/cli/commands.h"
#include "core/binio.h"

namespace velor::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

struct RecordOptions {
  std::string device, plan, out;
  double seconds = 0;
  int records = 0;
  int rate = 0;
  unsigned long long seed = 1;
  std::string start;
  bool realtime = false, force = false;
};

// "YYYY-MM-DDTHH:MM:SS" (or with a space) as local seconds since 1970.
bool parseStart(const std::string& text, std::int64_t& seconds) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
  char sep = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &se, &used) != 7 ||
      used != static_cast<int>(text.size()) || (sep != 'T' && sep != ' '))
    return false;
  if (y < 1900 || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || se > 59 || h < 0 || mi < 0 || se < 0)
    return false;
  const int days = daysFromCivil(y, mo, d);
  int yy = 0, mm = 0, dd = 0;
  civilFromDays(days, yy, mm, dd);
  if (yy != y || mm != mo || dd != d) return false;  // 31 February and the like
  seconds = localSecondsOf(days, (h * 3600 + mi * 60 + se) / 86400.0);
  return true;
}

int runRecord(const RecordOptions& o) {
  const DeviceKindEntry* kind = findDeviceKind(o.device);
  if (!kind) {
    reportFailure("unknown device kind " + o.device + " (see velor-cli devices)");
    return kExitUsage;
  }
  if (!(o.seconds > 0) && o.records <= 0) {
    reportFailure("give --seconds or --records");
    return kExitUsage;
  }
  if (extensionLower(o.out) != ".cad") {
    reportFailure("the examination file must end in .cad: " + o.out);
    return kExitUsage;
  }
  if (fileExists(o.out) && !o.force) {
    reportFailure(o.out + " exists; --force replaces it");
    return kExitFile;
  }
  std::int64_t startSeconds = 0;
  if (o.realtime && !o.start.empty()) {
    reportFailure("--start is for virtual time; --realtime records with the system clock");
    return kExitUsage;
  }
  if (!o.realtime && !parseStart(o.start.empty() ? "2000-01-01T00:00:00" : o.start, startSeconds)) {
    reportFailure("--start wants YYYY-MM-DDTHH:MM:SS: " + o.start);
    return kExitUsage;
  }
  VirtualClock virtualClock;
  SteadyClock steadyClock;
  Clock& clock = o.realtime ? static_cast<Clock&>(steadyClock) : static_cast<Clock&>(virtualClock);
  DeviceOptions dopt = readDeviceOptions("./");
  dopt.seed = o.seed;
  auto device = makeDevice(o.device, clock, dopt);
  if (const DeviceResult r = device->open(); !r) {
    reportFailure(r.message);
    return kExitFile;
  }
  StudyState s;
  // Virtual time has a virtual wall clock too, read by the engine's thread only.
  if (!o.realtime)
    s.localClock = [&virtualClock, startSeconds] { return startSeconds + virtualClock.nowMicroseconds() / 1000000; };
  s.deviceKind = kind->setting;
  applyOpenedDevice(s, s.deviceKind, device->describe());
  ExaminationPlan plan;
  if (!o.plan.empty()) {
    std::string reason;
    if (!checkInputFile(o.plan, reason) || !readPlanFile(o.plan, s, plan, reason)) {
      reportFailure(reason);
      return kExitFile;
    }
    if (o.rate > 0) s.sampleRate = o.rate;
  } else {
    // As the workstation: the device's plan file in the current directory
    // when there is one (read, never written here), else its defaults.
    s.programDir = "./";
    std::string name, reason;
    if (!takeDevicePlan(s, plan, device->describe(), o.rate, name, reason)) {
      reportFailure(reason);
      return kExitFile;
    }
  }
  if (!planRateAcceptable(s.sampleRate)) {
    reportFailure("rate outside 1..65535: " + std::to_string(s.sampleRate));
    return kExitUsage;
  }
  plan.monitorMode = MonitorMode::None;  // nobody watches: no live sweep
  EngineInteraction ui;
  const int fd = createExamFileAtPath(s, o.out, ui, true);
  if (fd < 0) {
    reportFailure(ui.reason("cannot create " + o.out));
    return kExitFile;
  }
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.keyLog = false;
  eo.maxRecords = o.records;
  eo.maxSamples = o.seconds > 0 ? static_cast<long long>(o.seconds * s.sampleRate + 0.5) : 0;
  if (eo.maxSamples == 0 && o.seconds > 0) eo.maxSamples = 1;
  ExaminationEngine engine(s, plan, *device, clock, fd, o.out, eo);
  std::string reason;
  if (!engine.begin(reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  interrupted = 0;
  struct sigaction sa {}, oldInt{}, oldTerm{};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);
  ExaminationRunner runner(engine, clock);
  runner.start();
  int shown = 0;
  bool posted = false;
  while (!engine.ended()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (interrupted && !posted) {
      engine.post(kCmdStop);
      posted = true;
    }
    const ExamStatus st = engine.status();
    for (; shown < st.recordCount; ++shown)
      std::cerr << "velor-cli: record " << shown + 1 << " written\n";
  }
  runner.join();
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  const ExamStatus st = engine.status();
  for (; shown < st.recordCount; ++shown) std::cerr << "velor-cli: record " << shown + 1 << " written\n";
  device->close();
  if (!st.endMessage.empty()) {
    reportFailure(st.endMessage);
    return kExitFile;
  }
  if (st.recordCount == 0) {
    reportFailure("no record was finished; " + o.out + " was not kept");
    return kExitFile;
  }
  std::cerr << "velor-cli: " << st.recordCount << " records of " << s.recordLength << " samples, " << s.channelCount
            << " channels at " << s.sampleRate << " Hz in " << o.out << "\n";
  return kExitOk;
}

}  // namespace

void addRecordCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<RecordOptions>();
  CLI::App* c = app.add_subcommand("record", "a headless examination into a record file");
  c->add_option("--device", o->device, "device kind (see velor-cli devices)")->required();
  c->add_option("--plan", o->plan, "examination plan (.cap); default: the device's own plan");
  c->add_option("--seconds", o->seconds, "seconds of signal to record");
  c->add_option("--out", o->out, "the examination file (.cad)")->required();
  c->add_option("--records", o->records, "stop after this many records");
  c->add_option("--rate", o->rate, "record rate in Hz instead of the plan's");
  c->add_option("--seed", o->seed, "seed of the simulated device's signals");
  c->add_option("--start", o->start, "wall-clock start of a virtual-time run (YYYY-MM-DDTHH:MM:SS)");
  c->add_flag("--realtime", o->realtime, "run in real time instead of as fast as possible");
  c->add_flag("--force", o->force, "replace an existing file");
  c->callback([o, &status] { status = runRecord(*o); });
}

}  // namespace velor::cli
