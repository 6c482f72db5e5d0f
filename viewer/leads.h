// Lead names and montages without any window: channel names, channel kinds
// and electrode positions on the head scheme, the reference scheme, the lead
// pairs the pair analyses use, the channel order (".chn", ".nch" and
// "qchn.ini") and the position templates ("eeg4.ini" … "eeg20.ini",
// "eeg.ini"). The lead editor LeadEditorDialog is a face over these; the file dispatch
// calls the readers and writers of file kinds 11, 13 and 22.
//
// Every file is read as hostile: it is checked completely first, and a file
// that cannot be sound is refused with a message that says why; the study
// state then stays exactly as it was.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kMaxEditorPairs = 32;   // pairs the editor allows
inline constexpr int kLeadNameChars = 3;     // names as the editor stores them
inline constexpr int kPositionGridMax = 63;  // electrode grid 0..63 in x and y
inline constexpr int kPositionCentre = 31;
inline constexpr int kOrderFileLines = 128;  // ".chn" and "qchn.ini"
inline constexpr int kNewOrderFileLines = 64;  // ".nch"
inline constexpr int kKindChoiceCount = 11;  // the kind chooser: EEG, nine kinds, an empty entry
inline constexpr int kLeadEditorHelpContext = 16;


// --- names ------------------------------------------------------------------------

// A typed name made exactly three characters: cut, or padded with blanks.
std::string fitLeadName(std::string_view typed);
// A channel's name as shown (trimmed); "" for a number outside 1..channelCount.
std::string leadName(const StudyState& s, int oneBasedChannel);
// "Утвердить": the names of channels 0..n−1 (n = the smaller of the list and
// channelCount) and the reference scheme. A reference outside 0..6 is
// refused and nothing changes.
bool acceptLeadNames(StudyState& s, const std::vector<std::string>& names, int referenceKind);

// --- kinds --------------------------------------------------------------------------

// The chooser entry of a channelPosX: 0 for an electrode position, t for the
// kind stored as 256 − t (1 "ЭКГ" = 255 … 9 "Акс" = 247, 10 the empty entry = 246).
int kindChoiceOf(int posX);
// Stores chooser entry t: t > 0 stores 256 − t; "ЭЭГ" (0) turns a channel of
// another kind (posX above 240) into an electrode at x 0 and leaves an
// electrode where it is. False (nothing changes) for a channel or entry out of range.
bool setChannelKind(StudyState& s, int channel, int choice);
// The channel has an electrode on the head scheme (not a polygraphic kind).
bool isElectrode(int posX);

// --- electrode positions --------------------------------------------------------------

// Grid position of a button dropped with its leading edge at `buttonStart`:
// trunc((start − imageStart + extent / 2) × 63 / imageExtent + 0.5), kept in
// 0..63 (a button dragged past the image must not turn into a channel kind).
int gridFromPixel(int buttonStart, int buttonExtent, int imageStart, int imageExtent);
// Leading edge of the button of grid position `pos` (clamped to 0..63).
int pixelFromGrid(int pos, int buttonExtent, int imageStart, int imageExtent);
// One grid step of an electrode (arrow keys); positions stay in 0..63.
// False for a channel that is not an electrode.
bool moveElectrode(StudyState& s, int channel, int dx, int dy);
// The label under the head: number, ": x=", posX − 31, "; y=", 31 − posY.
std::string positionText(const StudyState& s, int channel);

// --- lead pairs --------------------------------------------------------------------------

// Pair mode needs a channel that is not an ECG one.
bool hasEegLeads(const StudyState& s);
// Pair k joins two different channels of the record.
bool pairIsValid(const StudyState& s, int k);
// "Отв1-Отв2" of pair k ("" for a pair that is not defined).
std::string pairName(const StudyState& s, int k);

enum class PairEdit {
  Done,
  NeedTwoLeads,  // fewer than two channels that are not ECG ones
  Full,          // already kMaxEditorPairs pairs
  Unchanged,     // nothing to do (no such pair, or the change would join a channel to itself)
};
// Inserts at `row` (kept in 0..leadPairCount) a pair of the first two
// channels that are not ECG ones; the following pairs move down.
PairEdit insertLeadPair(StudyState& s, int row);
// Removes pair `row`; the following pairs move up and the freed slot is cleared.
PairEdit deleteLeadPair(StudyState& s, int row);
// An electrode dragged onto another: the end of pair `row` that is the
// dragged channel becomes the target channel (both 1-based).
PairEdit changeLeadPair(StudyState& s, int row, int draggedChannel, int targetChannel);

// Kind 22 (" Сетка пар отведений(*.csg)"): one pair per line, two channel
// names separated by a blank. Lines whose names are not both channels of the
// record (or name one channel twice) are skipped. A file without a single
// usable pair, or with more than kMaxEditorPairs of them, is refused.
bool readLeadPairs(StudyState& s, const std::string& path, Interaction& ui);
// One line per pair. Refused (no file written) without pairs, with a pair
// that is not valid, or when the names could not identify the channels when
// read back (an empty name, a blank inside a name, two channels of one name).
bool writeLeadPairs(const StudyState& s, const std::string& path, Interaction& ui);

// --- channel order -------------------------------------------------------------------

// Entry i: the new 1-based position of channel i + 1 (the order grid's "Кан" column).
using OrderColumn = std::array<int, kMaxChannels>;
OrderColumn identityOrder();
// channelOrder + 1 for every channel (identity where the map is out of range).
OrderColumn orderFromState(const StudyState& s);
// "" when entries 0..channelCount−1 are a permutation of 1..channelCount,
// otherwise why not (Russian, for a message).
std::string orderProblem(const OrderColumn& order, int channelCount);

// The two columns of a ".chn" file or "qchn.ini": lines 0..63 the channel
// grid's first column (a number per line, i + 1 where it is missing or
// outside 1..channelCount), lines 64..127 the order column.
struct OrderFile {
  OrderColumn firstColumn{};
  OrderColumn order{};
};
// Refused (false, reason) when the file cannot be read or its order column is
// not a permutation of 1..channelCount; entries of channels beyond
// channelCount read as identity.
bool readOrderFile(const std::string& path, int channelCount, OrderFile& out, std::string& reason);
bool writeOrderFile(const std::string& path, const OrderFile& f);
// ".nch": 64 lines, the new position of channels 1..64; checked like the
// order column above.
bool readNewOrderFile(const std::string& path, int channelCount, OrderColumn& out, std::string& reason);
bool writeNewOrderFile(const std::string& path, const OrderColumn& order);

// channelOrder := entry − 1 (channels beyond channelCount keep identity).
// Refused with a message when the column is not a permutation.
bool setChannelOrder(StudyState& s, const OrderColumn& order, Interaction& ui);
// Where "Переставить" moves what sits in slot i (0-based) of channels
// 0..channelCount−1: for the record (reorder mode 1) slot order[i] − 1; for
// acquisition (mode 0) the slot of the change from the current channelOrder
// to `order`. The identity for an order that is not a permutation.
using SlotMoves = std::array<int, kMaxChannels>;
SlotMoves reorderMoves(const StudyState& s, const OrderColumn& order, int reorderMode);
// "Переставить" with the record (reorder mode 1): the samples, zero level,
// calibration, electrode position and name of channel i move to channel
// order[i] − 1; lead pairs keep their places and follow their channels. The
// record counts as modified. Refused with a message (nothing moves) for an
// order that is not a permutation and while an examination records.
bool reorderRecord(StudyState& s, const OrderColumn& order, Interaction& ui);
// "Переставить" for acquisition (reorder mode 0): channelOrder := entry − 1;
// calibration value, electrode position and name move with the change of the
// map (applying the same order again moves nothing); pairs follow.
bool reorderAcquisition(StudyState& s, const OrderColumn& order, Interaction& ui);

// --- position templates ---------------------------------------------------------------

struct TemplateChannel {
  std::string name;
  int posX = 0, posY = 0, pairFirst = 0, pairSecond = 0;
};
struct LeadTemplate {
  int pairCount = 0;
  std::vector<TemplateChannel> channels;
};
// 4, 8, 16 or 20: the template "Система 10-20" uses for a channel count.
int templateSizeFor(int channelCount);
// "eeg" + size + ".ini".
std::string templateFileName(int size);
// Line 0 the pair count, then per channel a name and four numbers 0..255.
bool parseLeadTemplate(const std::vector<std::string>& lines, LeadTemplate& out, std::string& reason);
std::vector<std::string> leadTemplateLines(const LeadTemplate& t);
// The 10-20 layouts used when programDir holds no template file of that size.
LeadTemplate builtinLeadTemplate(int size);
// Names and positions of the channels the template has; the pair count and
// the pairs, of which only those joining two different channels of the
// record are kept (in order, at most kMaxEditorPairs).
void applyLeadTemplate(StudyState& s, const LeadTemplate& t);
// Whether any channel name of the record names an electrode ("Fp1", "T7").
bool recordNamesElectrodes(const StudyState& s);
// The template for a record whose channels are named: channels are matched
// by the electrode they name and only get their positions (from the
// template, or the electrode's usual site); names and data stay; the
// template's pairs become pairs of the matching channels.
void applyLeadTemplateByName(StudyState& s, const LeadTemplate& t);
// "Система 10-20": the template of programDir for the channel count, the
// built-in one when there is no such file; a file that is there but unsound
// is refused with a message. A record whose channels name electrodes is
// matched by name (applyLeadTemplateByName), never renamed in template order.
bool loadSystem1020(StudyState& s, Interaction& ui);
// "eeg.ini" layout from the current table (the record's channels).
LeadTemplate currentLeadTemplate(const StudyState& s);

// --- file dispatch ------------------------------------------------------------------------

// ChannelOrder (".chn": the order column into channelOrder), NewChannelOrder
// (".nch": likewise) and PairGrid (lead pairs).
bool openLeadFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui);
bool saveLeadFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui);
// The channel-order kinds into the open and save dispatch. The pair grid is
// read and written by the lead editor itself.
void registerViewerFileKinds(FileKindTable& table);

}  // namespace velor
