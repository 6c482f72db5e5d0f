// A synthetic but plausible EEG study for demonstrations, first runs and
// tests: the 19 leads of the 10-20 system and one ECG lead at 250 Hz, a mark
// channel with a few user marks, written as a CA40 record file.
//
// Signal model (EEG in µV, calibration 200 µV per 2047 codes around 2048):
//   - posterior alpha near 10 Hz, 40..60 µV at O1/O2 when fully waxed, with a
//     slow waxing and waning envelope; weaker over the parietal and temporal
//     leads, little over the frontal ones;
//   - beta 18..22 Hz of 5..8 µV, strongest frontally and centrally;
//   - theta 5..6 Hz of about 10 µV, strongest at the midline;
//   - 1/f background noise in every lead;
//   - eye blinks: large slow positive deflections at Fp1/Fp2 (100..160 µV),
//     spreading weakly to the other frontal leads, a few per record.
// The ECG lead ("ЭКГ", kind code 255) is in µV with 2000 µV per 2047 codes:
// P-QRS-T complexes of about 1 mV at about 70 beats per minute with
// respiratory sinus arrhythmia, a slow baseline wander and a little noise.
//
// Head positions use the 0..62 scheme with 31 the centre; x grows from the
// left ear to the right, y from the nose to the back of the head, so the
// frontal poles sit near the top (small y) and the occipital leads near the
// bottom. Left and right leads are mirror images (x and 62 − x).
//
// The mark channel holds code × 256 from the moment a mark is placed until
// the next one, so that a mark shows wherever the value changes.
//
// Everything random comes from the seed: the same options give the same file,
// byte for byte (the file date and record times are part of the options, not
// taken from the clock).
#pragma once

#include <cstdint>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kDemoEegChannels = 19;
inline constexpr int kDemoChannelCount = kDemoEegChannels + 1;  // plus the ECG lead
inline constexpr std::uint64_t kDemoDefaultSeed = 1020;
inline constexpr int kDemoMaxRecords = 1000;
inline constexpr std::uint16_t kDemoEegCalibValue = 200;   // µV at 2047 codes from zero
inline constexpr std::uint16_t kDemoEcgCalibValue = 2000;  // µV at 2047 codes from zero

struct DemoStudyOptions {
  int records = 6;
  double seconds = 20.0;  // per record
  int sampleRate = 250;
  std::uint64_t seed = kDemoDefaultSeed;
  int fileDate = daysFromCivil(2024, 3, 14);       // days since 30 December 1899
  double firstRecordTime = (10 * 3600 + 15 * 60) / 86400.0;  // 10:15:00, fraction of a day
  double pauseSeconds = 15.0;  // between the end of one record and the start of the next
};

// Samples per channel of one record: seconds × rate, rounded.
int demoSamplesPerRecord(const DemoStudyOptions& o);
// False with a one-line reason when the options cannot give a sound file
// (records 1..1000, rate 50..2000 Hz, 1..32767 samples per record, times
// inside one day).
bool checkDemoOptions(const DemoStudyOptions& o, std::string& reason);

// Channel table, examination header, rate, lengths and counts of the demo
// study; the channel buffers are not touched. Expects checked options.
void setupDemoStudy(StudyState& s, const DemoStudyOptions& o);
// Synthesises record `index` (0-based) into channelData and markChannel and
// sets recordTime. Expects setupDemoStudy with the same options first.
void synthesizeDemoRecord(StudyState& s, const DemoStudyOptions& o, int index);

// The whole study into a new CA40 file at `path`, written atomically (nothing
// is left behind on failure). The state ends holding the last record.
// Returns false with a one-line reason; invalid options change nothing.
bool writeDemoStudy(StudyState& s, const std::string& path, const DemoStudyOptions& o, Progress& progress,
                    std::string& reason);

}  // namespace velor
