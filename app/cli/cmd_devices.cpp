// velor-cli devices: every device kind, one line each: its name, a tab, what
// it is and what it reports once opened (channels, rates, digital inputs and
// outputs, impedance electrodes), or "absent: " and the device's message.
// The simulated kinds run on a virtual clock; eegdev opens the libeegdev
// device string of --eegdev (default: line 3 of "device.ini" in the current
// directory, else "any").
//
// velor-cli impedance --device KIND [--json]: one impedance reading, taken
// one second after the check starts: per electrode its number and the value
// in kilo-ohms (trunc(ohms / 1000)), "..." where the electrode gives none.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "acquisition/device_registry.h"
#include "app/cli/cmd_devices.h"
#include "app/cli/commands.h"

namespace velor::cli {

namespace {

std::string describeLine(const DeviceKindEntry& e, AcquisitionDevice& dev) {
  std::string line = std::string(e.name) + "\t" + e.caption + "; ";
  const DeviceResult r = dev.open();
  if (!r) return line + "absent: " + r.message;
  const DeviceDescription& d = dev.describe();
  line += "model " + d.model + "; device channels " + std::to_string(d.deviceChannelCount) + ", record channels " +
          std::to_string(d.recordChannelCount) + ", rate " + std::to_string(d.deviceRate) + " Hz";
  if (d.decimationStep > 1 || d.sampleRate != d.deviceRate)
    line += " (record " + std::to_string(d.sampleRate) + " Hz, every " + std::to_string(d.decimationStep) + ")";
  if (!d.rates.empty()) {
    line += ", rates";
    for (int rate : d.rates) line += " " + std::to_string(rate);
  } else if (d.maxRate > 0) {
    line += ", rates " + std::to_string(d.minRate) + ".." + std::to_string(d.maxRate);
  }
  line += ", inputs " + std::to_string(d.digitalInputs) + ", outputs " + std::to_string(d.controlOutputs) +
          ", impedance electrodes " + std::to_string(d.impedanceElectrodes);
  dev.close();
  return line;
}

DeviceOptions optionsFrom(const std::string& eegdev) {
  DeviceOptions o = readDeviceOptions("./");
  if (!eegdev.empty()) o.eegdevConfig = eegdev;
  return o;
}

int runImpedance(const std::string& kind, const std::string& eegdev, bool json) {
  if (!findDeviceKind(kind)) {
    reportFailure("unknown device kind " + kind + " (see velor-cli devices)");
    return kExitUsage;
  }
  VirtualClock clock;
  auto dev = makeDevice(kind, clock, optionsFrom(eegdev));
  DeviceResult r = dev->open();
  if (r) r = dev->startImpedance();
  std::vector<std::int32_t> ohms;
  if (r) {
    clock.advanceMilliseconds(1000);
    r = dev->readImpedance(ohms);
  }
  if (dev->isOpen()) {
    dev->stopImpedance();
    dev->close();
  }
  if (!r) {
    reportFailure(r.message);
    return kExitFile;
  }
  std::string out;
  if (json) {
    nlohmann::json j;
    j["device"] = kind;
    j["electrodes"] = nlohmann::json::array();
    for (std::size_t e = 0; e < ohms.size(); ++e) {
      nlohmann::json x;
      x["electrode"] = e + 1;
      if (ohms[e] == kMissingSample) {
        x["ohms"] = nullptr;
        x["kiloohms"] = "...";
      } else {
        x["ohms"] = ohms[e];
        x["kiloohms"] = std::to_string(ohms[e] / 1000);
      }
      j["electrodes"].push_back(x);
    }
    out = j.dump(2) + "\n";
  } else {
    for (std::size_t e = 0; e < ohms.size(); ++e)
      out += std::to_string(e + 1) + "\t" + (ohms[e] == kMissingSample ? std::string("...") : std::to_string(ohms[e] / 1000)) + "\n";
  }
  return writeOut(out) ? kExitOk : kExitFile;
}

}  // namespace

void addDevicesCommand(CLI::App& app, int& status) {
  auto eegdev = std::make_shared<std::string>();
  CLI::App* c = app.add_subcommand("devices", "the acquisition device kinds and what each reports");
  c->add_option("--eegdev", *eegdev, "libeegdev device string for the eegdev kind (e.g. datafile|path|FILE)");
  c->callback([eegdev, &status] {
    std::string out;
    for (const auto& e : deviceKindTable()) {
      VirtualClock clock;
      auto dev = makeDevice(e.name, clock, optionsFrom(*eegdev));
      out += describeLine(e, *dev) + "\n";
    }
    status = writeOut(out) ? kExitOk : kExitFile;
  });
}

void addImpedanceCommand(CLI::App& app, int& status) {
  struct Options {
    std::string device, eegdev;
    bool json = false;
  };
  auto o = std::make_shared<Options>();
  CLI::App* c = app.add_subcommand("impedance", "one impedance reading of a device, in kilo-ohms per electrode");
  c->add_option("--device", o->device, "device kind (see velor-cli devices)")->required();
  c->add_option("--eegdev", o->eegdev, "libeegdev device string for the eegdev kind");
  c->add_flag("--json", o->json, "as JSON");
  c->callback([o, &status] { status = runImpedance(o->device, o->eegdev, o->json); });
}

}  // namespace velor::cli
