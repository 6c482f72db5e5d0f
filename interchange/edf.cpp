#include "interchange/edf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/record_source.h"
#include "core/settings.h"
#include "core/text.h"
#include "interchange/edf_texts.h"
#include "interchange/electrode_table.h"

namespace velor {

using namespace edf_text;

namespace {

constexpr long long kBlockReadLimit = 64LL << 20;  // a page read in one call up to this size
constexpr long long kAnnotationLimit = 1LL << 20;  // bytes of one annotation signal in one record
constexpr int kMaxSignals = 9999;                  // the ns field has 4 characters
constexpr int kFixedHeader = 256;
constexpr int kUdfFixed = 504;  // bytes of the UDF block besides 20 per signal

// --- header fields -------------------------------------------------------------------------

std::string rawField(const unsigned char* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// A text field: NULs count as blanks, surrounding blanks dropped, code page 1251 read.
std::string textField(const unsigned char* p, std::size_t n) {
  std::string t = rawField(p, n);
  for (char& c : t)
    if (c == '\0') c = ' ';
  return cp1251ToUtf8(trimSpaces(t));
}

std::optional<double> numberField(const unsigned char* p, std::size_t n) {
  std::string t = rawField(p, n);
  for (char& c : t)
    if (c == '\0') c = ' ';
  return parseNumber(t);
}

long long integral(double v) {
  const double t = std::trunc(v);
  if (t > 9e18) return std::numeric_limits<long long>::max();
  if (t < -9e18) return std::numeric_limits<long long>::min();
  return static_cast<long long>(t);
}

long long widthMax(int w) { return (1LL << (8 * w - 1)) - 1; }
long long widthMin(int w) { return -(1LL << (8 * w - 1)); }

long long readSample(const unsigned char* p, int w) {
  switch (w) {
    case 2: return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    case 3: {
      std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                        (static_cast<std::uint32_t>(p[2]) << 16);
      if (v & 0x800000u) v |= 0xFF000000u;
      return static_cast<std::int32_t>(v);
    }
    default: return getI32(p);
  }
}

void writeSample(unsigned char* p, int w, long long v) {
  const auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
  for (int i = 0; i < w; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

bool isAnnotationLabel(const std::string& label) { return label == "EDF Annotations" || label == "BDF Annotations"; }

// EDF+ stores annotation texts in UTF-8; files of older habits use code page
// 1251. A text that is well-formed UTF-8 is taken as such.
bool wellFormedUtf8(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size()) {
    const auto c = static_cast<unsigned char>(t[i]);
    int more = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) more = 1;
    else if (c >= 0xE0 && c <= 0xEF) more = 2;
    else if (c >= 0xF0 && c <= 0xF4) more = 3;
    else return false;
    if (i + static_cast<std::size_t>(more) >= t.size()) return false;
    for (int k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(t[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

std::string annotationText(std::string_view raw) { return wellFormedUtf8(raw) ? std::string(raw) : cp1251ToUtf8(raw); }

// --- pages -----------------------------------------------------------------------------------

struct Geometry {
  long long recordsPerPage = 1;  // whole-record pages
  long long partsPerRecord = 1;  // parts of one long data record
  long long partFrames = 0;
  int pageCount = 0;
  bool truncated = false;  // more pages than can be reached
};

// A stretch of one data record inside a page: frames [j0, j1) of the record
// (frames are sample times at the highest rate) shown from page sample frame0.
struct Segment {
  long long record = 0;
  long long j0 = 0, j1 = 0;
  int frame0 = 0;
};

// Source samples of a signal that frames [j0, j1) of a record show (n
// samples of the signal against N frames per record): sample floor(j·n/N).
long long srcFirst(long long j0, long long n, long long N) { return j0 * n / N; }
long long srcEnd(long long j1, long long n, long long N) { return (j1 - 1) * n / N + 1; }

// An allocator whose resize leaves new elements uninitialised (a read fills them).
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <typename U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};

struct PageData {
  int page = -1;  // 0-based
  int frames = 0;
  std::vector<Segment> segments;
  std::vector<std::vector<std::int32_t>> values;  // per channel: source samples, segment after segment
  std::vector<long long> counts;                  // per channel: source samples of the page
  // A page of whole 2-byte records keeps its records as stored and widens
  // them into `values` only when something needs the numbers (a write-back):
  // the codes are made straight from the bytes. The buffer is not cleared
  // before the read fills it, so a page costs no more than its bytes.
  std::vector<unsigned char, UninitialisedAllocator<unsigned char>> raw;
  bool valuesReady = true;
  std::vector<std::vector<long long>> base;      // per channel and segment: index of its first source sample
  std::vector<EdfAnnotation> annotations;
};

struct ChannelTable {
  std::string name;
  std::uint8_t posX = kKindEcg, posY = 0;
  std::array<std::uint8_t, 2> pair{};
};

// The code of every 2-byte value under one mapping, made by the same
// arithmetic as codeRun, so a lookup gives the same code. The mapping is
// monotonic, so the values coded without limiting are one interval.
struct CodeTable {
  double origin = 0, scale = 1;
  int zero = 0;
  std::vector<std::int16_t> code;  // by the value's 16 bits as stored (two's complement)
  int keepLo = 0, keepHi = -1;     // values coded without limiting; none when keepLo > keepHi
};

// The page after the one just moved to, read while the one moved to is
// coded (see expandPage), so paging on finds it in memory.
struct ReadAhead {
  PageData pd;
  int page = -1;  // the page held, -1 for none
  bool ok = false;
  std::string reason;
};

struct Session {
  std::string path;
  std::string name;
  int fd = -1;
  EdfHeader h;
  Geometry geo;
  std::vector<EdfChannelMapping> maps;
  std::vector<ChannelTable> table;
  double startDay = 0;  // fraction of a day of the file's start time
  PageData page;        // the page in memory, as stored in the file
  PageData spare;
  ReadAhead ahead;
  std::vector<std::int16_t> scratch;
  // Codes of every 2-byte value for channels read long enough to pay for
  // one (see tableFor); channels with the same mapping share it.
  std::vector<std::shared_ptr<const CodeTable>> codeTables;
  std::vector<long long> codedSamples;  // per channel, by arithmetic so far
};

// The open EDF file as the study's record source. The session is what the
// file needs between steps; it lives as long as the file stays the study's
// record file, so two studies page through their own files independently.
class EdfRecordSource final : public RecordSource {
 public:
  Session session;
  std::string formatName() const override { return session.h.format(); }
  bool isOpen(const StudyState& s) const override {
    return s.recordFileVersion == kVersionEdfStream && s.recordFileHandle >= 0 && s.recordFileHandle == session.fd;
  }
  bool canStep() const override { return true; }
  bool canWriteBack() const override { return true; }
  int recordCount(const StudyState&) const override { return session.geo.pageCount; }
  bool moveTo(StudyState& s, int number, Interaction& ui) override;
  bool reread(StudyState& s, Interaction& ui) override;
  bool writeBack(StudyState& s, Interaction& ui) override;
};

Session* sessionOf(const StudyState& s) {
  auto* source = dynamic_cast<EdfRecordSource*>(s.recordSource.get());
  return source && source->isOpen(s) ? &source->session : nullptr;
}

Geometry geometryOf(const EdfHeader& h) {
  Geometry g;
  const long long N = h.maxSamplesPerRecord;
  long long pages = 0;
  if (N <= kEdfPageSamples) {
    g.recordsPerPage = kEdfPageSamples / N;
    pages = (h.dataRecords + g.recordsPerPage - 1) / g.recordsPerPage;
  } else {
    g.partsPerRecord = (N + kEdfPageSamples - 1) / kEdfPageSamples;
    g.partFrames = (N + g.partsPerRecord - 1) / g.partsPerRecord;
    pages = h.dataRecords > kEdfMaxPages ? kEdfMaxPages + 1LL : h.dataRecords * g.partsPerRecord;
  }
  g.truncated = pages > kEdfMaxPages;
  g.pageCount = static_cast<int>(std::min<long long>(pages, kEdfMaxPages));
  return g;
}

void laySegments(const Session& x, int page, PageData& pd) {
  const long long N = x.h.maxSamplesPerRecord;
  pd.page = page;
  pd.segments.clear();
  if (x.geo.partsPerRecord == 1) {
    const long long r0 = static_cast<long long>(page) * x.geo.recordsPerPage;
    const long long r1 = std::min(x.h.dataRecords, r0 + x.geo.recordsPerPage);
    for (long long r = r0; r < r1; ++r) pd.segments.push_back({r, 0, N, static_cast<int>((r - r0) * N)});
  } else {
    const long long r = page / x.geo.partsPerRecord;
    const long long part = page % x.geo.partsPerRecord;
    const long long j0 = part * x.geo.partFrames;
    pd.segments.push_back({r, j0, std::min(N, j0 + x.geo.partFrames), 0});
  }
  pd.frames = 0;
  for (const Segment& g : pd.segments) pd.frames += static_cast<int>(g.j1 - g.j0);
}

void layOut(const Session& x, int page, PageData& pd) {
  const long long N = x.h.maxSamplesPerRecord;
  laySegments(x, page, pd);
  const std::size_t nc = x.h.channelSignals.size();
  pd.values.resize(nc);
  pd.counts.resize(nc);
  pd.base.resize(nc);
  for (std::size_t c = 0; c < nc; ++c) {
    const long long n = x.h.signalHeaders[static_cast<std::size_t>(x.h.channelSignals[c])].samplesPerRecord;
    pd.base[c].clear();
    long long total = 0;
    for (const Segment& g : pd.segments) {
      pd.base[c].push_back(total);
      total += srcEnd(g.j1, n, N) - srcFirst(g.j0, n, N);
    }
    pd.counts[c] = total;
    pd.values[c].clear();  // widened when the numbers are needed
  }
  pd.annotations.clear();
}

long long recordOffset(const EdfHeader& h, long long record) { return h.headerBytes + record * h.recordBytes; }

// Time-stamped annotation lists (TALs) of one annotation signal of a record.
void parseAnnotations(const Session& x, const unsigned char* p, std::size_t n, long long record, long long pageFirstFrame,
                      PageData& pd) {
  const double duration = x.h.recordDuration;
  const long long N = x.h.maxSamplesPerRecord;
  double recordStart = static_cast<double>(record) * duration;
  bool keeperSeen = false;
  struct Found {
    double onset, dur;
    std::string text;
  };
  std::vector<Found> found;
  std::size_t i = 0;
  while (i < n) {
    std::size_t end = i;
    while (end < n && p[end] != 0) ++end;
    if (end > i) {
      const std::string tal(reinterpret_cast<const char*>(p + i), end - i);
      const std::size_t sep = tal.find('\x14');
      if (sep != std::string::npos) {
        const std::string head = tal.substr(0, sep);
        const std::size_t dsep = head.find('\x15');
        const auto onset = parseNumber(head.substr(0, dsep));
        double dur = 0;
        if (dsep != std::string::npos) dur = parseNumber(head.substr(dsep + 1)).value_or(0);
        if (onset) {
          std::vector<std::string> texts;
          std::size_t a = sep + 1;
          while (a <= tal.size()) {
            const std::size_t b = tal.find('\x14', a);
            if (b == std::string::npos) {
              if (a < tal.size()) texts.push_back(tal.substr(a));
              break;
            }
            texts.push_back(tal.substr(a, b - a));
            a = b + 1;
          }
          std::size_t first = 0;
          if (!keeperSeen && !texts.empty() && texts[0].empty()) {
            // the record's own start time
            recordStart = *onset;
            keeperSeen = true;
            first = 1;
          }
          for (std::size_t t = first; t < texts.size(); ++t)
            if (!texts[t].empty()) found.push_back({*onset, dur, annotationText(texts[t])});
        }
      }
    }
    i = end + 1;
  }
  for (const Found& f : found) {
    const double rel = (f.onset - recordStart) * static_cast<double>(N) / duration;
    if (!std::isfinite(rel) || std::fabs(rel) > 1e15) continue;
    const long long frame = record * N + static_cast<long long>(std::floor(rel + 0.5));
    const long long local = frame - pageFirstFrame;
    if (local < 0 || local >= pd.frames) continue;
    pd.annotations.push_back({static_cast<int>(local), f.onset, f.dur, f.text});
  }
}

#if defined(__x86_64__)
// 2-byte samples widened sixteen at a time (x86 is little-endian, as EDF is).
__attribute__((target("avx2"))) void decode16Avx2(const unsigned char* p, long long count, std::int32_t* out) {
  long long i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cvtepi16_epi32(_mm256_castsi256_si128(v)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 8), _mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1)));
  }
  for (; i < count; ++i) out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
}
#endif

void decode(const unsigned char* p, long long count, int w, std::int32_t* out) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (w == 2 && avx2) {
    decode16Avx2(p, count, out);
    return;
  }
#endif
  if (w == 2) {
    for (long long i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
  } else {
    for (long long i = 0; i < count; ++i) out[i] = static_cast<std::int32_t>(readSample(p + i * w, w));
  }
}

// Reads page `page` (0-based) of the file as stored.
bool readPage(const Session& x, int page, PageData& pd, std::string& reason) {
  layOut(x, page, pd);
  const EdfHeader& h = x.h;
  const long long N = h.maxSamplesPerRecord;
  const int w = h.sampleWidth;
  const long long firstRecord = pd.segments.front().record;
  const long long lastRecord = pd.segments.back().record;
  const long long pageFirstFrame = firstRecord * N + pd.segments.front().j0;
  const long long span = (lastRecord - firstRecord + 1) * h.recordBytes;
  const bool wholeRecords = x.geo.partsPerRecord == 1 && span <= kBlockReadLimit;
  pd.valuesReady = !(wholeRecords && w == 2);
  if (wholeRecords) {
    pd.raw.resize(static_cast<std::size_t>(span));
    if (!fdPreadExact(x.fd, pd.raw.data(), pd.raw.size(), recordOffset(h, firstRecord))) {
      pd.valuesReady = true;  // nothing to widen later; the page is not used
      reason = kReadError;
      return false;
    }
  } else {
    pd.raw.clear();
  }
  if (pd.valuesReady)
    for (std::size_t c = 0; c < pd.values.size(); ++c) pd.values[c].resize(static_cast<std::size_t>(pd.counts[c]));
  std::vector<unsigned char> piece;
  for (std::size_t s = 0; s < pd.segments.size(); ++s) {
    const Segment& g = pd.segments[s];
    for (std::size_t c = 0; c < h.channelSignals.size(); ++c) {
      const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[c])];
      const long long n = sig.samplesPerRecord;
      const long long a = srcFirst(g.j0, n, N), b = srcEnd(g.j1, n, N);
      // a page kept as stored has no values yet: nothing to point into
      std::int32_t* out = pd.valuesReady ? pd.values[c].data() + pd.base[c][s] : nullptr;
      const long long at = sig.offsetInRecord + a * w;
      if (wholeRecords) {
        if (pd.valuesReady) decode(pd.raw.data() + (g.record - firstRecord) * h.recordBytes + at, b - a, w, out);
      } else {
        piece.resize(static_cast<std::size_t>((b - a) * w));
        if (!fdPreadExact(x.fd, piece.data(), piece.size(), recordOffset(h, g.record) + at)) {
          reason = kReadError;
          return false;
        }
        decode(piece.data(), b - a, w, out);
      }
    }
    for (int ai : h.annotationSignals) {
      const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(ai)];
      const long long bytes = sig.samplesPerRecord * w;
      if (bytes <= 0 || bytes > kAnnotationLimit) continue;
      // every part of a long record looks at the record's annotations for onsets inside it
      if (wholeRecords) {
        parseAnnotations(x, pd.raw.data() + (g.record - firstRecord) * h.recordBytes + sig.offsetInRecord,
                         static_cast<std::size_t>(bytes), g.record, pageFirstFrame, pd);
      } else {
        piece.resize(static_cast<std::size_t>(bytes));
        if (!fdPreadExact(x.fd, piece.data(), piece.size(), recordOffset(h, g.record) + sig.offsetInRecord)) {
          reason = kReadError;
          return false;
        }
        parseAnnotations(x, piece.data(), piece.size(), g.record, pageFirstFrame, pd);
      }
    }
  }
  std::stable_sort(pd.annotations.begin(), pd.annotations.end(),
                   [](const EdfAnnotation& a, const EdfAnnotation& b) { return a.sample < b.sample; });
  return true;
}

// The first stored byte of channel c's samples in segment s of a page kept as stored.
const unsigned char* storedSamples(const Session& x, const PageData& pd, std::size_t c, std::size_t s) {
  const EdfHeader& h = x.h;
  const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[c])];
  const Segment& g = pd.segments[s];
  const long long a = srcFirst(g.j0, sig.samplesPerRecord, h.maxSamplesPerRecord);
  return pd.raw.data() + (g.record - pd.segments.front().record) * h.recordBytes + sig.offsetInRecord +
         a * h.sampleWidth;
}

// The page's samples as numbers, for those who need them.
void ensureValues(const Session& x, PageData& pd) {
  if (pd.valuesReady) return;
  for (std::size_t c = 0; c < pd.values.size(); ++c) {
    pd.values[c].resize(static_cast<std::size_t>(pd.counts[c]));
    for (std::size_t s = 0; s < pd.segments.size(); ++s) {
      const long long end = s + 1 < pd.segments.size() ? pd.base[c][s + 1] : pd.counts[c];
      decode(storedSamples(x, pd, c, s), end - pd.base[c][s], x.h.sampleWidth, pd.values[c].data() + pd.base[c][s]);
    }
  }
  pd.valuesReady = true;
}

// Codes of a run of samples by the channel's mapping, exactly as
// EdfChannelMapping::code gives them, written without branches so the loop
// stays in registers (a page is millions of samples); returns how many
// were limited to 16 bits.
inline std::int32_t storedInt16(const unsigned char* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

// `Load` gives sample i of the run as an int32.
template <class Load>
long long codeRunOf(const EdfChannelMapping& m, Load load, long long count, std::int16_t* out) {
  const double zero = m.zero, scale = m.scale, origin = m.origin;
  long long clipped = 0;
  for (long long i = 0; i < count; ++i) {
    const double exact = zero + scale * (static_cast<double>(load(i)) - origin);
    const double e = exact + 0.5;  // the code is floor(e), limited
    clipped += static_cast<long long>(!(e < 32768.0) | (e < -32768.0));
    const double c = e < 32767.0 ? (e < -32768.0 ? -32768.0 : e) : 32767.0;
    const int t = static_cast<int>(c);
    const int r = t - static_cast<int>(c < static_cast<double>(t));
    // 4096 in a signal channel is a user's mark, not a value
    const int off = exact >= kMarkCode ? kMarkCode + 1 : kMarkCode - 1;
    out[i] = static_cast<std::int16_t>(r == kMarkCode ? off : r);
  }
  return clipped;
}

long long codeRun(const EdfChannelMapping& m, const std::int32_t* src, long long count, std::int16_t* out) {
  return codeRunOf(m, [src](long long i) { return src[i]; }, count, out);
}

// codeRun of 2-byte samples as stored.
long long codeRun16(const EdfChannelMapping& m, const unsigned char* p, long long count, std::int16_t* out) {
  return codeRunOf(m, [p](long long i) { return storedInt16(p + 2 * i); }, count, out);
}

#if defined(__x86_64__)
// Four samples of codeRun: the same operations in the same order on each
// lane (no fused multiply-add), so every code is identical.
struct CodeLanes {
  __m256d zero, scale, origin, half, lo, hi, top, mark, above, below;
};

__attribute__((target("avx2"))) inline __m128i codeFour(const CodeLanes& k, __m128i v, long long& clipped) {
  const __m256d d = _mm256_cvtepi32_pd(v);
  const __m256d exact = _mm256_add_pd(k.zero, _mm256_mul_pd(k.scale, _mm256_sub_pd(d, k.origin)));
  const __m256d e = _mm256_add_pd(exact, k.half);
  const __m256d clip = _mm256_or_pd(_mm256_cmp_pd(e, k.top, _CMP_NLT_UQ), _mm256_cmp_pd(e, k.lo, _CMP_LT_OQ));
  clipped += __builtin_popcount(static_cast<unsigned>(_mm256_movemask_pd(clip)));
  __m256d r = _mm256_floor_pd(_mm256_min_pd(_mm256_max_pd(e, k.lo), k.hi));
  const __m256d off = _mm256_blendv_pd(k.below, k.above, _mm256_cmp_pd(exact, k.mark, _CMP_GE_OQ));
  r = _mm256_blendv_pd(r, off, _mm256_cmp_pd(r, k.mark, _CMP_EQ_OQ));
  return _mm256_cvttpd_epi32(r);
}

__attribute__((target("avx2"))) inline CodeLanes lanesOf(const EdfChannelMapping& m) {
  return {_mm256_set1_pd(m.zero),     _mm256_set1_pd(m.scale),    _mm256_set1_pd(m.origin), _mm256_set1_pd(0.5),
          _mm256_set1_pd(-32768.0),   _mm256_set1_pd(32767.0),    _mm256_set1_pd(32768.0),  _mm256_set1_pd(kMarkCode),
          _mm256_set1_pd(kMarkCode + 1), _mm256_set1_pd(kMarkCode - 1)};
}

// codeRun eight samples at a time.
__attribute__((target("avx2"))) long long codeRunAvx2(const EdfChannelMapping& m, const std::int32_t* src,
                                                      long long count, std::int16_t* out) {
  const CodeLanes k = lanesOf(m);
  long long clipped = 0, i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i a = codeFour(k, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), clipped);
    const __m128i b = codeFour(k, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)), clipped);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(a, b));
  }
  return clipped + codeRun(m, src + i, count - i, out + i);
}

// codeRun16 eight samples at a time, widened in registers.
__attribute__((target("avx2"))) long long codeRun16Avx2(const EdfChannelMapping& m, const unsigned char* p,
                                                        long long count, std::int16_t* out) {
  const CodeLanes k = lanesOf(m);
  long long clipped = 0, i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
    const __m128i a = codeFour(k, _mm_cvtepi16_epi32(v), clipped);
    const __m128i b = codeFour(k, _mm_cvtepi16_epi32(_mm_srli_si128(v, 8)), clipped);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(a, b));
  }
  return clipped + codeRun16(m, p + 2 * i, count - i, out + i);
}
#endif

long long codeSamples16(const EdfChannelMapping& m, const unsigned char* p, long long count, std::int16_t* out) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return codeRun16Avx2(m, p, count, out);
#endif
  return codeRun16(m, p, count, out);
}

// The fastest form of codeRun this processor runs.
long long codeSamples(const EdfChannelMapping& m, const std::int32_t* src, long long count, std::int16_t* out) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return codeRunAvx2(m, src, count, out);
#endif
  return codeRun(m, src, count, out);
}

// How many 2-byte values of a run lie outside [lo, hi].
long long countOutside16(const unsigned char* p, long long count, int lo, int hi) {
  long long n = 0;
  for (long long i = 0; i < count; ++i) {
    const std::int32_t v = storedInt16(p + 2 * i);
    n += static_cast<long long>((v < lo) | (v > hi));
  }
  return n;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) long long countOutside16Avx2(const unsigned char* p, long long count, int lo, int hi) {
  // lo and hi are 16-bit values here: the table is only used when some value is kept
  const __m256i below = _mm256_set1_epi16(static_cast<std::int16_t>(lo)),
                above = _mm256_set1_epi16(static_cast<std::int16_t>(hi));
  long long n = 0, i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * i));
    const __m256i out = _mm256_or_si256(_mm256_cmpgt_epi16(below, v), _mm256_cmpgt_epi16(v, above));
    n += __builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(out))) / 2;
  }
  return n + countOutside16(p + 2 * i, count - i, lo, hi);
}
#endif

// Runs of 2-byte samples as stored (`runs` runs of `count` samples, `from`
// bytes apart) coded by a table into runs `to` samples apart; returns how
// many were limited. One call a channel and page: a run is one data record,
// often only a few hundred samples.
long long codeRunsByTable(const CodeTable& t, const unsigned char* first, long long from, long long runs, long long count,
                          std::int16_t* into, long long to) {
  const std::int16_t* code = t.code.data();
  // limited values are counted apart: a compare inside the lookup loop costs more than a second pass
  const bool mayLimit = t.keepLo != -32768 || t.keepHi != 32767;
#if defined(__x86_64__)
  static const auto countOutside = __builtin_cpu_supports("avx2") ? countOutside16Avx2 : countOutside16;
#else
  const auto countOutside = countOutside16;
#endif
  long long limited = 0;
  for (long long r = 0; r < runs; ++r) {
    // formed per run, so that no pointer points past the page after the last one
    const unsigned char* p = first + r * from;
    std::int16_t* out = into + r * to;
    long long i = 0;
    // four samples a load and a store (a store a sample makes every lookup wait for it)
    for (; std::endian::native == std::endian::little && i + 4 <= count; i += 4) {
      std::uint64_t w;
      std::memcpy(&w, p + 2 * i, 8);
      const std::uint64_t c = static_cast<std::uint16_t>(code[w & 0xffff]) |
                              static_cast<std::uint64_t>(static_cast<std::uint16_t>(code[(w >> 16) & 0xffff])) << 16 |
                              static_cast<std::uint64_t>(static_cast<std::uint16_t>(code[(w >> 32) & 0xffff])) << 32 |
                              static_cast<std::uint64_t>(static_cast<std::uint16_t>(code[w >> 48])) << 48;
      std::memcpy(out + i, &c, 8);
    }
    for (; i < count; ++i) out[i] = code[p[2 * i] | (p[2 * i + 1] << 8)];
    if (mayLimit) limited += countOutside(p, count, t.keepLo, t.keepHi);
  }
  return limited;
}

// The table of a mapping, or null when its limited values are not the two
// ends of the value range (never for a monotonic mapping; then the
// arithmetic stays).
std::shared_ptr<const CodeTable> makeCodeTable(const EdfChannelMapping& m) {
  auto t = std::make_shared<CodeTable>();
  t->origin = m.origin;
  t->scale = m.scale;
  t->zero = m.zero;
  // every 16-bit pattern as stored, in the order of the table
  std::vector<unsigned char> all(2 * 65536);
  for (std::size_t u = 0; u < 65536; ++u) {
    all[2 * u] = static_cast<unsigned char>(u & 0xff);
    all[2 * u + 1] = static_cast<unsigned char>(u >> 8);
  }
  t->code.resize(65536);
  const long long limited = codeSamples16(m, all.data(), 65536, t->code.data());
  auto at = [](int v) { return static_cast<std::size_t>(static_cast<std::uint16_t>(v)); };
  auto limitedAt = [&](int v) {
    std::int16_t c = 0;
    return codeRun16(m, all.data() + 2 * at(v), 1, &c) != 0;
  };
  // values with codes inside the 16-bit ends were certainly not limited
  int a = 32768, b = -32769;
  for (int v = -32768; v <= 32767; ++v) {
    const std::int16_t c = t->code[at(v)];
    if (c != -32768 && c != 32767) {
      a = std::min(a, v);
      b = std::max(b, v);
    }
  }
  if (a > b) return nullptr;
  // beside them the codes sit at the ends; the limited ones are those farthest out
  int lo = -32769, hi = a;  // limited at lo (or none), not limited at hi
  while (hi - lo > 1) {
    const int mid = lo + (hi - lo) / 2;
    (limitedAt(mid) ? lo : hi) = mid;
  }
  t->keepLo = hi;
  lo = b;
  hi = 32768;  // not limited at lo, limited at hi (or none)
  while (hi - lo > 1) {
    const int mid = lo + (hi - lo) / 2;
    (limitedAt(mid) ? hi : lo) = mid;
  }
  t->keepHi = lo;
  if ((t->keepLo + 32768LL) + (32767LL - t->keepHi) != limited) return nullptr;
  return t;
}

// The table channel c codes its 2-byte samples by on a page of `count`
// samples, or null for arithmetic: arithmetic until the channel has coded as
// many samples as a table holds, then its table.
const CodeTable* tableFor(Session& x, std::size_t c, long long count) {
  constexpr long long kTableAfter = 65536;
  if (x.codeTables.size() != x.maps.size()) {
    x.codeTables.assign(x.maps.size(), nullptr);
    x.codedSamples.assign(x.maps.size(), 0);
  }
  const EdfChannelMapping& m = x.maps[c];
  if (!x.codeTables[c] && x.codedSamples[c] >= kTableAfter) {
    for (const auto& t : x.codeTables)
      if (t && t->origin == m.origin && t->scale == m.scale && t->zero == m.zero) x.codeTables[c] = t;
    if (!x.codeTables[c]) x.codeTables[c] = makeCodeTable(m);
    if (!x.codeTables[c]) x.codedSamples[c] = std::numeric_limits<long long>::min();  // never again
  }
  if (!x.codeTables[c]) x.codedSamples[c] += count;
  return x.codeTables[c].get();
}

// The mark channel of a page: every onset starts a new value, so the monitor
// draws a mark there.
void fillMarkChannel(const PageData& pd, std::int16_t* marks) {
  int v = 0, last = -1, from = 0;
  std::int16_t cur = 0;
  for (const EdfAnnotation& a : pd.annotations) {
    if (a.sample == last) continue;
    last = a.sample;
    std::fill(marks + from, marks + a.sample, cur);
    from = a.sample;
    v = v % 255 + 1;
    cur = static_cast<std::int16_t>(v);
  }
  std::fill(marks + from, marks + pd.frames, cur);
}

// Codes of a page into per-channel buffers (frames samples each) and the mark
// channel; counts codes limited to 16 bits.
// Codes of one channel of a page into dst; how many were limited. Only
// reads the session, so channels can be coded on two threads at once.
long long codeChannel(const Session& x, const PageData& pd, std::size_t c, const CodeTable* table, std::int16_t* dst,
                      std::vector<std::int16_t>& scratch) {
  const EdfHeader& h = x.h;
  const long long N = h.maxSamplesPerRecord;
  const long long n = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[c])].samplesPerRecord;
  const EdfChannelMapping& m = x.maps[c];
  long long limited = 0;
  if (table) {
    // a page kept as stored holds whole records, each with n samples of the channel
    const auto runs = static_cast<long long>(pd.segments.size());
    const unsigned char* first = storedSamples(x, pd, c, 0);
    if (n == N) return codeRunsByTable(*table, first, h.recordBytes, runs, n, dst, N);
    scratch.resize(static_cast<std::size_t>(runs * n));
    limited = codeRunsByTable(*table, first, h.recordBytes, runs, n, scratch.data(), n);
    // each frame holds the signal's sample at or before its time
    for (long long r = 0; r < runs; ++r)
      for (long long j = 0; j < N; ++j) dst[r * N + j] = scratch[static_cast<std::size_t>(r * n + j * n / N)];
    return limited;
  }
  for (std::size_t s = 0; s < pd.segments.size(); ++s) {
    const Segment& g = pd.segments[s];
    const long long a = srcFirst(g.j0, n, N), b = srcEnd(g.j1, n, N);
    std::int16_t* out = dst + g.frame0;
    auto code = [&](std::int16_t* to) {
      return pd.valuesReady ? codeSamples(m, pd.values[c].data() + pd.base[c][s], b - a, to)
                            : codeSamples16(m, storedSamples(x, pd, c, s), b - a, to);
    };
    if (n == N) {
      limited += code(out);
      continue;
    }
    scratch.resize(static_cast<std::size_t>(b - a));
    limited += code(scratch.data());
    for (long long j = g.j0; j < g.j1; ++j) out[j - g.j0] = scratch[static_cast<std::size_t>(j * n / N - a)];
  }
  return limited;
}

// Codes of a page into per-channel buffers (frames samples each) and the mark
// channel; counts codes limited to 16 bits. `alongside` (reading the next
// page ahead) runs on a second thread, which then takes channels to code
// as well; so does a large page without it. Coding is most of the time of
// paging through a long file, and the next page's bytes come from the page
// cache while this one is coded.
void expandPage(Session& x, const PageData& pd, std::int16_t* const* dst, std::int16_t* marks, long long& clipped,
                const std::function<void()>& alongside = {}) {
  const std::size_t channels = x.h.channelSignals.size();
  std::vector<const CodeTable*> tables(channels, nullptr);
  long long samples = 0;
  for (std::size_t c = 0; c < channels; ++c) {
    samples += pd.counts[c];
    if (!pd.valuesReady) tables[c] = tableFor(x, c, pd.counts[c]);
  }
  std::atomic<std::size_t> next{0};
  long long helperLimited = 0;
  std::exception_ptr helperFailed;
  std::thread helper;
  static const bool twoCores = std::thread::hardware_concurrency() >= 2;
  if (alongside || (twoCores && channels >= 2 && samples >= (1LL << 19))) {
    try {
      helper = std::thread([&] {
        try {
          if (alongside) {
            try {
              alongside();
            } catch (...) {
              // a page not read ahead is read when asked for, where a failure is reported
            }
          }
          std::vector<std::int16_t> scratch;
          for (std::size_t c; (c = next.fetch_add(1)) < channels;)
            helperLimited += codeChannel(x, pd, c, tables[c], dst[c], scratch);
        } catch (...) {
          helperFailed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // no thread to spare: this one codes every channel, and nothing is read ahead
    }
  }
  try {
    for (std::size_t c; (c = next.fetch_add(1)) < channels;) clipped += codeChannel(x, pd, c, tables[c], dst[c], x.scratch);
  } catch (...) {
    if (helper.joinable()) helper.join();
    throw;
  }
  if (helper.joinable()) helper.join();
  if (helperFailed) std::rethrow_exception(helperFailed);
  clipped += helperLimited;
  if (marks) fillMarkChannel(pd, marks);
}

// --- the channel code scale --------------------------------------------------------------------

// Chooses how one channel's samples become codes, from its header and the
// samples of the first page. False when its calibration cannot be held.
// The smallest and largest of n ≥ 0 values (0 and 0 for none).
void rangeOfScalar(const std::int32_t* v, long long n, std::int32_t& lo, std::int32_t& hi) {
  lo = n > 0 ? v[0] : 0;
  hi = lo;
  for (long long i = 1; i < n; ++i) {
    lo = std::min(lo, v[i]);
    hi = std::max(hi, v[i]);
  }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void rangeOfAvx2(const std::int32_t* v, long long n, std::int32_t& lo, std::int32_t& hi) {
  rangeOfScalar(v, n % 8, lo, hi);
  if (n < 8) return;
  __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + n % 8)), b = a;
  for (long long i = n % 8 + 8; i < n; i += 8) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + i));
    a = _mm256_min_epi32(a, x);
    b = _mm256_max_epi32(b, x);
  }
  alignas(32) std::int32_t la[8], lb[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(la), a);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lb), b);
  if (n % 8 == 0) lo = la[0], hi = lb[0];
  for (int k = 0; k < 8; ++k) lo = std::min(lo, la[k]), hi = std::max(hi, lb[k]);
}
#endif

// A page of a channel is 32,000 values; a file's first page is looked over
// for every channel on opening.
void rangeOf(const std::int32_t* v, long long n, std::int32_t& lo, std::int32_t& hi) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return rangeOfAvx2(v, n, lo, hi);
#endif
  rangeOfScalar(v, n, lo, hi);
}

// The smallest fraction p/q with 16-bit terms not below x, reduced. The
// search takes a quarter of a millisecond; channels of one file mostly share
// their step, so the answers are kept in `known` for the file's other channels.
std::pair<long long, long long> calibrationFraction(double x, std::map<double, std::pair<long long, long long>>& known) {
  if (const auto it = known.find(x); it != known.end()) return it->second;
  long long p = 65535, q = 1;
  double best = std::numeric_limits<double>::infinity();
  for (long long qq = 1; qq <= 65535; ++qq) {
    const long long pp = std::max(1LL, static_cast<long long>(std::ceil(x * static_cast<double>(qq) * (1 - 1e-12))));
    if (pp > 65535) break;
    const double r = static_cast<double>(pp) / static_cast<double>(qq);
    if (r < best) best = r, p = pp, q = qq;
  }
  const long long d = std::gcd(p, q);
  return known[x] = {p / d, q / d};
}

// The smallest and largest sample of one channel on the first page.
struct FirstRange {
  bool any = false;
  std::int32_t lo = 0, hi = 0;
};

// 2-byte samples as stored, little-endian.
void rangeOfStored16(const unsigned char* p, long long n, std::int32_t& lo, std::int32_t& hi) {
  std::int16_t a = 32767, b = -32768;
  for (long long i = 0; i < n; ++i) {
    std::int16_t v;
    std::memcpy(&v, p + 2 * i, 2);
    a = std::min(a, v);
    b = std::max(b, v);
  }
  lo = a;
  hi = b;
}

FirstRange pageRange(const Session& x, const PageData& pd, std::size_t c) {
  FirstRange r;
  r.any = pd.counts[c] > 0;
  if (!r.any) return r;
  if (pd.valuesReady) {
    rangeOf(pd.values[c].data(), static_cast<long long>(pd.values[c].size()), r.lo, r.hi);
    return r;
  }
  // a page kept as stored is looked over in its bytes, not widened first
  r.lo = std::numeric_limits<std::int32_t>::max();
  r.hi = std::numeric_limits<std::int32_t>::min();
  for (std::size_t s = 0; s < pd.segments.size(); ++s) {
    const long long end = s + 1 < pd.segments.size() ? pd.base[c][s + 1] : pd.counts[c];
    const long long n = end - pd.base[c][s];
    if (n <= 0) continue;
    std::int32_t lo = 0, hi = 0;
    rangeOfStored16(storedSamples(x, pd, c, s), n, lo, hi);
    r.lo = std::min(r.lo, lo);
    r.hi = std::max(r.hi, hi);
  }
  return r;
}

bool chooseMapping(const EdfSignalHeader& sig, int w, const FirstRange& first, EdfChannelMapping& m,
                   std::map<double, std::pair<long long, long long>>& fractions, std::string& reason) {
  const double vf = edfVoltageFactor(sig.dimension);
  const double f = vf > 0 ? vf : 1.0;
  // in doubles: a header may state digital limits near the ends of 64 bits
  const double g = (sig.physMax - sig.physMin) * f / (static_cast<double>(sig.digMax) - static_cast<double>(sig.digMin));
  const double d0 = static_cast<double>(sig.digMin) - sig.physMin * f / g;
  if (!std::isfinite(g) || g == 0 || !std::isfinite(d0)) {
    reason = kSignalQuotePrefix + sig.label + kNoScaleFromPhysicalRange;
    return false;
  }
  const double sigma = g > 0 ? 1.0 : -1.0;
  const double ga = std::fabs(g);
  // The values a sample can take: the header's digital range within the sample width.
  double lo = static_cast<double>(std::max(sig.digMin, widthMin(w)));
  double hi = static_cast<double>(std::min(sig.digMax, widthMax(w)));
  if (lo >= hi) {
    lo = static_cast<double>(widthMin(w));
    hi = static_cast<double>(widthMax(w));
  }
  const double fmin = first.lo, fmax = first.hi;
  double aSpan = 65533.0 / (hi - lo);
  if (aSpan < 0.5 && first.any) {
    // Wider than 16-bit codes can hold at the file's resolution (24- and
    // 32-bit files): the range the first page uses, with room to spare.
    const double mid = (fmin + fmax) / 2;
    const double half = std::max(2.0 * (fmax - fmin), 1024.0);
    lo = std::max(mid - half, static_cast<double>(widthMin(w)));
    hi = std::min(mid + half, static_cast<double>(widthMax(w)));
    aSpan = 65533.0 / (hi - lo);
  }
  // the largest distance of a first sample from `origin` is that of the
  // smallest or the largest (rounding of v − origin keeps their order)
  auto peakAround = [&](double origin) {
    if (!first.any) return 0.0;
    return std::max(std::fabs(fmin - origin), std::fabs(fmax - origin));
  };
  // Largest scale for which a zero level 0..65535 exists with every code of
  // [lo, hi] inside 16 bits (one code of margin for rounding).
  auto feasible = [&](double origin, double& U, double& L) {
    const double a = sigma * (lo - origin), b = sigma * (hi - origin);
    U = std::max(a, b);
    L = std::min(a, b);
    double A = 65533.0 / (U - L);
    if (U > 0) A = std::min(A, 32766.0 / U);
    if (L < 0) A = std::min(A, 98302.0 / -L);
    return A;
  };
  // Amplification as the first samples ask for (their peak to 2047 codes,
  // half a row, one short of the mark code above the usual zero level),
  // never below the file's own resolution unless the range needs it.
  auto wanted = [&](double origin) {
    const double peak = peakAround(origin);
    return std::min(aSpan, std::max(1.0, peak > 0 ? 2047.0 / peak : std::numeric_limits<double>::infinity()));
  };
  double origin = d0, offset = 0, U = 0, L = 0;
  double aFree = wanted(origin);
  double A = std::min(aFree, feasible(origin, U, L));
  if (A < aFree * 0.45) {
    // The true values would cost more than about one digital step (a code
    // more than two steps wide): a constant part far beyond what 16-bit codes
    // hold beside the signal (a DC offset). It is taken off and reported, so
    // the signal keeps its resolution.
    // the part taken off is the value at the middle of the range, in whole
    // units when the range spans at least one
    offset = g * ((lo + hi) / 2 - d0);
    if (std::fabs(g * (hi - lo)) >= 1) offset = std::round(offset);
    origin = d0 + offset / g;
    aFree = wanted(origin);
    A = std::min(aFree, feasible(origin, U, L));
  }
  const double x = ga / A;  // physical units per code
  if (!(x <= 65535.0) || !(A > 0)) {
    reason = kSignalQuotePrefix + sig.label + kScaleStepTooLarge;
    return false;
  }
  // calibValue/calibUnits: the smallest fraction of 16-bit terms not below
  // x, so the codes never need more room than planned and the calibration is exact
  auto [p, q] = calibrationFraction(x, fractions);
  A = ga * static_cast<double>(q) / static_cast<double>(p);
  const double lower = std::max(0.0, -32767.0 - A * L);
  const double upper = std::min(65535.0, 32766.0 - A * U);
  double zlo = std::ceil(lower), zhi = std::floor(upper);
  if (zlo > zhi) zlo = zhi = std::clamp(std::round((lower + upper) / 2), 0.0, 65535.0);
  m.origin = origin;
  m.scale = sigma * A;
  m.zero = static_cast<int>(std::clamp(2048.0, zlo, zhi));
  m.units = static_cast<int>(q);
  m.value = static_cast<int>(p);
  m.physicalOffset = offset;
  m.unitFactor = f;
  return true;
}

// --- state -----------------------------------------------------------------------------------

std::string twoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// "dd.mm.yy" to days since 30 December 1899 (years 85..99 are 1985..1999).
double startDateDays(const std::string& t) {
  int d = 0, m = 0, y = 0;
  if (t.size() != 8 || std::sscanf(t.c_str(), "%2d.%2d.%2d", &d, &m, &y) != 3) return 0;
  if (d < 1 || d > 31 || m < 1 || m > 12 || y < 0) return 0;
  return daysFromCivil(y >= 85 ? 1900 + y : 2000 + y, m, d);
}

double startTimeFraction(const std::string& t) {
  int hh = 0, mm = 0, ss = 0;
  if (t.size() != 8 || std::sscanf(t.c_str(), "%2d.%2d.%2d", &hh, &mm, &ss) != 3) return 0;
  if (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59) return 0;
  return (hh * 3600 + mm * 60 + ss) / 86400.0;
}

// The examination header: 98 blanks, the 4 bytes at file offset 42 padded
// to 10, the byte at 37 and the 20 bytes at 53. An EDF+ patient field
// ("code sex birthdate name") fills the same fields and the patient name.
std::string examHeaderOf(const unsigned char* fixed, const EdfHeader& h) {
  std::string t(98, ' ');
  std::string birth = rawField(fixed + 42, 4);
  birth.resize(10, ' ');
  t += birth;
  t += rawField(fixed + 37, 1);
  t += rawField(fixed + 53, 20);
  for (char& c : t)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  std::string header = utf8Fit(cp1251ToUtf8(t), kHeaderChars);
  if (h.reserved.rfind("EDF+", 0) == 0 || h.reserved.rfind("BDF+", 0) == 0) {
    std::vector<std::string> sub;
    std::string cur;
    for (char c : h.patient) {
      if (c == ' ') {
        if (!cur.empty()) sub.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    if (!cur.empty()) sub.push_back(cur);
    auto field = [&](std::size_t i) {
      if (i >= sub.size() || sub[i] == "X") return std::string();
      std::string v = sub[i];
      std::replace(v.begin(), v.end(), '_', ' ');
      return v;
    };
    std::string name;
    for (std::size_t i = 3; i < sub.size(); ++i) {
      if (sub[i] == "X" && i == 3) continue;
      if (!name.empty()) name += ' ';
      std::string v = sub[i];
      std::replace(v.begin(), v.end(), '_', ' ');
      name += v;
    }
    // EDF+ writes dates as dd-MMM-yyyy; the header field holds dd.mm.yyyy
    std::string birth2 = field(2);
    static const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (birth2.size() == 11 && birth2[2] == '-' && birth2[6] == '-') {
      std::string mon = birth2.substr(3, 3);
      for (char& ch : mon) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      for (int k = 0; k < 12; ++k)
        if (mon == months[k]) birth2 = birth2.substr(0, 2) + "." + twoDigits(k + 1) + "." + birth2.substr(7, 4);
    }
    const std::string sex = field(1);
    utf8PutField(header, 60, 30, name);
    utf8PutField(header, 90, 8, field(0));
    utf8PutField(header, 98, 10, birth2);
    utf8PutField(header, 108, 1, sex == "M" ? kEdfSexMale : (sex == "F" ? kEdfSexFemale : ""));
  }
  return utf8Fit(header, kHeaderChars);
}

void applyChannelTable(StudyState& s, const Session& x) {
  for (std::size_t c = 0; c < x.table.size(); ++c) {
    const int i = static_cast<int>(c);
    s.channelNames[c] = x.table[c].name;
    s.zeroLevel[i] = static_cast<std::uint16_t>(x.maps[c].zero);
    s.calibUnits[i] = static_cast<std::uint16_t>(x.maps[c].units);
    s.calibValue[i] = static_cast<std::uint16_t>(x.maps[c].value);
    s.channelPosX[c] = x.table[c].posX;
    s.channelPosY[c] = x.table[c].posY;
    s.leadPairs[c] = x.table[c].pair;
  }
}

std::string clippedNotice(const Session& x, int page, long long clipped) {
  return kPagePrefix + integerText(page + 1) + kOfFile + x.name + ": " + integerText(clipped) +
         kPageSamplesClipped;
}

// Puts a page that was read into the study state.
void commitPage(StudyState& s, Session& x, Interaction& ui, const std::function<void()>& alongside = {}) {
  s.leaveTransformView(true);
  const int channels = static_cast<int>(x.h.channelSignals.size());
  if (s.channelCount != channels || s.pendingChannelCount != 0) {
    s.channelCount = channels;
    applyChannelTable(s, x);
    s.pendingChannelCount = 0;
  }
  long long clipped = 0;
  expandPage(x, x.page, s.channelData.data(), s.markChannelCount == 1 ? s.markChannel : nullptr, clipped, alongside);
  s.recordLength = s.storedLength = s.plannedRecordLength = x.page.frames;
  s.epochCount = s.computeEpochCount();
  const Segment& g = x.page.segments.front();
  const double seconds = static_cast<double>(g.record) * x.h.recordDuration +
                         static_cast<double>(g.j0) * x.h.recordDuration / static_cast<double>(x.h.maxSamplesPerRecord);
  s.recordTime = std::fmod(x.startDay + seconds / 86400.0, 1.0);
  s.recordModified = 0;
  s.currentRecord = x.page.page + 1;
  if (clipped > 0) ui.message(clippedNotice(x, x.page.page, clipped));
}

bool movePage(StudyState& s, Session& x, int page, Interaction& ui) {
  const int from = x.page.page;
  if (x.ahead.page == page && x.ahead.ok) {
    std::swap(x.spare, x.ahead.pd);
  } else {
    std::string reason;
    if (!readPage(x, page, x.spare, reason)) {
      ui.message(kPagePrefix + integerText(page + 1) + kOfFile + x.name + kPageCannotBeRead + reason + ".");
      return false;
    }
  }
  x.ahead.page = -1;
  std::swap(x.page, x.spare);
  // paging on in the same direction finds the next page read already
  const int next = page + (page >= from ? 1 : -1);
  std::function<void()> readNext;
  if (next >= 0 && next < x.geo.pageCount && next != page) {
    readNext = [&x, next] {
      x.ahead.ok = false;
      x.ahead.ok = readPage(x, next, x.ahead.pd, x.ahead.reason);
      x.ahead.page = next;
    };
  }
  commitPage(s, x, ui, readNext);
  return true;
}

}  // namespace

// --- public helpers -------------------------------------------------------------------------

int edfSampleWidthFor(const std::string& path) {
  const std::string ext = extensionLower(path);
  if (ext == ".edf" || ext == ".udf") return 2;
  if (ext == ".e32") return 4;
  if (ext == ".bdf") return 3;
  return 0;
}

std::string EdfHeader::format() const {
  if (sampleWidth == 4) return "e32";
  if (sampleWidth == 3) return "bdf";
  return udf ? "udf" : "edf";
}

std::string edfChannelName(const std::string& label) {
  std::string t = label.substr(0, label.find('\0'));
  t = trimSpaces(t);
  const std::size_t sp = t.find(' ');
  if (sp != std::string::npos) t = trimSpaces(t.substr(sp + 1));
  t = t.substr(0, t.find('-'));
  return utf8Substr(t, 0, 5);
}

double edfVoltageFactor(const std::string& dimension) {
  std::string d = trimSpaces(dimension);
  // "µ" as UTF-8 (micro sign, Greek mu) or a lone 'u'
  for (const char* mu : {"\xC2\xB5", "\xCE\xBC"}) {
    const std::size_t at = d.find(mu);
    if (at == 0) d.replace(0, std::strlen(mu), "u");
  }
  std::string l;
  for (char c : d) l += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (l == "uv" || l == "microvolt" || l == "microvolts" || l == "mcv" || l == "mkv") return 1.0;
  if (l == "mv" || l == "millivolt" || l == "millivolts") return 1e3;
  if (l == "v" || l == "volt" || l == "volts") return 1e6;
  if (l == "nv" || l == "nanovolt" || l == "nanovolts") return 1e-3;
  if (d == kUnitMicrovolt || d == kUnitMicrovoltLower) return 1.0;
  if (d == kUnitMillivolt || d == kUnitMillivoltLower) return 1e3;
  if (d == kUnitVolt) return 1e6;
  return 0;
}

std::int16_t EdfChannelMapping::code(long long v, bool& clipped) const {
  const double exact = zero + scale * (static_cast<double>(v) - origin);
  double r = std::floor(exact + 0.5);
  if (!(r <= 32767.0)) {
    r = 32767.0;
    clipped = true;
  } else if (r < -32768.0) {
    r = -32768.0;
    clipped = true;
  }
  // 4096 in a signal channel is a user's mark, not a value
  if (r == kMarkCode) r = exact >= kMarkCode ? kMarkCode + 1 : kMarkCode - 1;
  return static_cast<std::int16_t>(r);
}

long long EdfChannelMapping::digital(int c) const {
  const double v = std::floor(origin + (c - zero) / scale + 0.5);
  if (!(v < 9e18)) return std::numeric_limits<long long>::max();
  if (v < -9e18) return std::numeric_limits<long long>::min();
  return static_cast<long long>(v);
}

bool readEdfHeader(int fd, int w, EdfHeader& h, std::string& reason) {
  h = EdfHeader{};
  if (w < 2 || w > 4) {
    reason = kUnknownSampleWidth;
    return false;
  }
  h.sampleWidth = w;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    reason = kReadError;
    return false;
  }
  const long long fileSize = st.st_size;
  if (fileSize < kFixedHeader) {
    reason = kShorterThanHeaderPrefix + integerText(fileSize) + kBytesOf256Suffix;
    return false;
  }
  unsigned char f[kFixedHeader];
  if (!fdPreadExact(fd, f, kFixedHeader, 0)) {
    reason = kReadError;
    return false;
  }
  h.version = textField(f, 8);
  h.patient = textField(f + 8, 80);
  h.recording = textField(f + 88, 80);
  h.startDate = textField(f + 168, 8);
  h.startTime = textField(f + 176, 8);
  h.reserved = textField(f + 192, 44);
  const auto ns = numberField(f + 252, 4);
  if (!ns || *ns != std::trunc(*ns) || *ns < 1 || *ns > kMaxSignals) {
    reason = kSignalCountQuotePrefix + textField(f + 252, 4) + kSignalCountMustBeInteger + integerText(kMaxSignals);
    return false;
  }
  const int n = static_cast<int>(*ns);
  const auto hb = numberField(f + 184, 8);
  const long long need = 256LL * (n + 1);
  if (!hb) {
    reason = kHeaderSizeQuotePrefix + textField(f + 184, 8) + kQuoteNotANumber;
    return false;
  }
  h.headerBytes = integral(*hb);
  if (h.headerBytes < need) {
    reason = kHeaderSizePrefix + integerText(h.headerBytes) + kHeaderSizeTooSmall + integerText(need);
    return false;
  }
  if (h.headerBytes > fileSize) {
    reason = kHeaderPrefix + integerText(h.headerBytes) + kHeaderLongerThanFile + integerText(fileSize) + kBytesSuffix;
    return false;
  }
  const auto dur = numberField(f + 244, 8);
  if (!dur || !(*dur > 0)) {
    reason = kRecordDurationQuotePrefix + textField(f + 244, 8) + kRecordDurationMustBePositive;
    return false;
  }
  h.recordDuration = *dur;
  const auto nrec = numberField(f + 236, 8);
  if (!nrec) {
    reason = kRecordCountQuotePrefix + textField(f + 236, 8) + kQuoteNotANumber;
    return false;
  }
  h.recordCountField = integral(*nrec);

  // the signal fields, and the UDF block when one follows
  const long long udfEnd = need + kUdfFixed + 20LL * n;
  const long long readSize = std::min(h.headerBytes, udfEnd);
  std::vector<unsigned char> b(static_cast<std::size_t>(readSize - kFixedHeader));
  if (!fdPreadExact(fd, b.data(), b.size(), kFixedHeader)) {
    reason = kReadError;
    return false;
  }
  const std::size_t un = static_cast<std::size_t>(n);
  const unsigned char* label = b.data();
  const unsigned char* transducer = label + 16 * un;
  const unsigned char* dimension = transducer + 80 * un;
  const unsigned char* pmin = dimension + 8 * un;
  const unsigned char* pmax = pmin + 8 * un;
  const unsigned char* dmin = pmax + 8 * un;
  const unsigned char* dmax = dmin + 8 * un;
  const unsigned char* prefilter = dmax + 8 * un;
  const unsigned char* spr = prefilter + 80 * un;
  h.signalHeaders.resize(un);
  long long offset = 0;
  for (std::size_t i = 0; i < un; ++i) {
    EdfSignalHeader& sg = h.signalHeaders[i];
    {
      std::string raw = rawField(label + 16 * i, 16);
      raw = raw.substr(0, raw.find('\0'));
      sg.label = cp1251ToUtf8(trimSpaces(raw));
    }
    sg.transducer = textField(transducer + 80 * i, 80);
    sg.dimension = textField(dimension + 8 * i, 8);
    sg.prefilter = textField(prefilter + 80 * i, 80);
    sg.annotation = isAnnotationLabel(sg.label);
    const std::string who = kSignalNumberPrefix + integerText(static_cast<long long>(i) + 1) + " («" + sg.label + "»): ";
    const auto vspr = numberField(spr + 8 * i, 8);
    if (!vspr) {
      reason = who + kSamplesPerRecordQuotePrefix + textField(spr + 8 * i, 8) + kQuoteNotANumber;
      return false;
    }
    sg.samplesPerRecord = integral(*vspr);
    if (sg.samplesPerRecord < (sg.annotation ? 0 : 1)) {
      reason = who + kSamplesPerRecordPrefix + integerText(sg.samplesPerRecord) + kMustBePositive;
      return false;
    }
    sg.offsetInRecord = offset;
    offset += sg.samplesPerRecord * w;
    if (offset > fileSize) {
      reason = who + kDataRecordLongerThanFile;
      return false;
    }
    const auto a = numberField(pmin + 8 * i, 8), bb = numberField(pmax + 8 * i, 8);
    const auto c = numberField(dmin + 8 * i, 8), d = numberField(dmax + 8 * i, 8);
    if (sg.annotation) {
      sg.physMin = a.value_or(0), sg.physMax = bb.value_or(0);
      sg.digMin = integral(c.value_or(0)), sg.digMax = integral(d.value_or(0));
      continue;
    }
    if (!a || !bb || !c || !d) {
      reason = who + kRangeNotANumber;
      return false;
    }
    sg.physMin = *a;
    sg.physMax = *bb;
    sg.digMin = integral(*c);
    sg.digMax = integral(*d);
    if (sg.digMin >= sg.digMax) {
      reason = who + kDigitalMinimumPrefix + integerText(sg.digMin) + kNotBelowMaximum + integerText(sg.digMax) + ")";
      return false;
    }
    if (sg.physMin == sg.physMax) {
      reason = who + kPhysicalMinimumEqualsMaximum;
      return false;
    }
  }
  h.recordBytes = offset;
  for (int i = 0; i < n; ++i) {
    if (h.signalHeaders[static_cast<std::size_t>(i)].annotation) {
      h.annotationSignals.push_back(i);
    } else if (h.channelSignals.size() < static_cast<std::size_t>(kMaxChannels)) {
      h.channelSignals.push_back(i);
    } else {
      ++h.leftOutSignals;
    }
  }
  if (h.channelSignals.empty()) {
    reason = kNoDataSignals;
    return false;
  }
  for (int c : h.channelSignals)
    h.maxSamplesPerRecord = std::max(h.maxSamplesPerRecord, h.signalHeaders[static_cast<std::size_t>(c)].samplesPerRecord);
  const double rate = static_cast<double>(h.maxSamplesPerRecord) / h.recordDuration;
  if (!(rate >= 0.5 && rate < 65535.5)) {
    reason = kSamplingRatePrefix + formatNumber(rate, 6) + kSamplingRateOutOfRange;
    return false;
  }
  h.sampleRate = static_cast<int>(std::floor(rate + 0.5));
  const long long available = (fileSize - h.headerBytes) / h.recordBytes;
  if (h.recordCountField == -1) {
    h.dataRecords = available;
  } else if (h.recordCountField < 1) {
    reason = kRecordCountPrefix + integerText(h.recordCountField) + kMustBePositive;
    return false;
  } else if (h.recordCountField > available) {
    reason = kHeaderClaimsPrefix + integerText(h.recordCountField) + kRecordsButFileHolds + integerText(available) +
             kFileShorterThanHeaderSays;
    return false;
  } else {
    h.dataRecords = h.recordCountField;
  }
  if (h.dataRecords < 1) {
    reason = kNoCompleteDataRecord;
    return false;
  }
  if (h.headerBytes >= need + 4 && std::memcmp(b.data() + (need - kFixedHeader), "UDF ", 4) == 0) {
    h.udf = true;
    if (readSize >= udfEnd) {
      h.udfPositions = true;
      const unsigned char* px = b.data() + (need - kFixedHeader) + 468;
      for (std::size_t i = 0; i < un; ++i) {
        h.udfX.push_back(getI16(px + 2 * i));
        h.udfY.push_back(getI16(px + 2 * un + 2 * i));
      }
    }
  }
  return true;
}

bool readEdfHeader(const std::string& path, int w, EdfHeader& out, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = kOpenFailed;
    return false;
  }
  const bool ok = readEdfHeader(fd, w, out, reason);
  ::close(fd);
  return ok;
}

bool edfFileExamHeader(const std::string& path, std::string& examHeader, int& startDays) {
  const int w = edfSampleWidthFor(path);
  if (w == 0) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  EdfHeader h;
  std::string reason;
  unsigned char fixed[kFixedHeader];
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readEdfHeader(fd, w, h, reason) &&
                  fdPreadExact(fd, fixed, kFixedHeader, 0);
  ::close(fd);
  if (!ok) return false;
  examHeader = examHeaderOf(fixed, h);
  const double days = startDateDays(h.startDate);
  startDays = std::isfinite(days) && days > 0 && days < 3e6 ? static_cast<int>(days) : 0;
  return true;
}

// --- EDF+ annotation lists -------------------------------------------------------------------

std::string edfOnsetText(double seconds) {
  char b[64];
  std::snprintf(b, sizeof b, "%+.9f", seconds);
  std::string t = b;
  while (t.back() == '0') t.pop_back();
  if (t.back() == '.') t.pop_back();
  if (t == "-0") t = "+0";
  return t;
}

std::optional<double> edfRecordStart(const std::vector<unsigned char>& bytes) {
  std::size_t end = 0;
  while (end < bytes.size() && bytes[end] != 0) ++end;
  const std::string tal(reinterpret_cast<const char*>(bytes.data()), end);
  const std::size_t sep = tal.find('\x14');
  // the time-keeping list has an empty first text: "+start\x14\x14"
  if (sep == std::string::npos || sep + 1 >= tal.size() || tal[sep + 1] != '\x14') return std::nullopt;
  const std::string head = tal.substr(0, sep);
  if (head.find('\x15') != std::string::npos) return std::nullopt;
  return parseNumber(head);
}

bool appendEdfAnnotation(std::vector<unsigned char>& bytes, double recordStart, double onset, const std::string& text) {
  std::size_t used = bytes.size();
  while (used > 0 && bytes[used - 1] == 0) --used;
  if (used > 0) ++used;  // the last list's closing zero stays
  std::string add;
  if (used == 0) add = edfOnsetText(recordStart) + "\x14\x14" + std::string(1, '\0');
  add += edfOnsetText(onset) + "\x14" + text + "\x14" + std::string(1, '\0');
  if (used > bytes.size() || add.size() > bytes.size() - used) return false;
  std::copy(add.begin(), add.end(), bytes.begin() + static_cast<std::ptrdiff_t>(used));
  return true;
}

// --- opening --------------------------------------------------------------------------------

bool openEdf(StudyState& s, const std::string& path, int w, Interaction& ui) {
  const std::string name = baseName(path);
  const int fd = openRegularFileForEditing(path);
  if (fd < 0) {
    ui.message(kCannotOpenFile + path);
    return false;
  }
  auto source = std::make_unique<EdfRecordSource>();
  Session& x = source->session;
  x.path = path;
  x.name = name;
  x.fd = fd;
  std::string reason;
  auto refuse = [&] {
    ::close(fd);
    ui.message(kFilePrefix + name + kFileCannotBeRead + reason + ".");
    return false;
  };
  if (!readEdfHeader(fd, w, x.h, reason)) return refuse();
  const EdfHeader& h = x.h;
  x.geo = geometryOf(h);
  if (!readPage(x, 0, x.page, reason)) return refuse();
  x.maps.resize(h.channelSignals.size());
  std::map<double, std::pair<long long, long long>> fractions;
  for (std::size_t c = 0; c < h.channelSignals.size(); ++c) {
    if (!chooseMapping(h.signalHeaders[static_cast<std::size_t>(h.channelSignals[c])], w, pageRange(x, x.page, c), x.maps[c],
                       fractions, reason))
      return refuse();
  }
  unsigned char fixed[kFixedHeader];
  if (!fdPreadExact(fd, fixed, kFixedHeader, 0)) {
    reason = kReadError;
    return refuse();
  }

  // The channel table: names, then electrode bytes from the table in
  // programDir or, for channels it does not name, from the label, then the
  // file's own electrode positions.
  const auto electrodes = readElectrodeTable(s.programDir + "eeg20.ini");
  x.table.resize(h.channelSignals.size());
  {
    for (std::size_t c = 0; c < x.table.size(); ++c) {
      ChannelTable& t = x.table[c];
      const std::string& label = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[c])].label;
      t.name = edfChannelName(label);
      const ChannelPlace place = placeChannel(t.name, label, electrodes);
      t.posX = place.posX;
      t.posY = place.posY;
      t.pair = place.pair;
      if (h.udfPositions) {
        const int sig = h.channelSignals[c];
        const int vx = h.udfX[static_cast<std::size_t>(sig)], vy = h.udfY[static_cast<std::size_t>(sig)];
        if (vx >= 0 && vx <= 100) {
          t.posX = static_cast<std::uint8_t>(std::trunc(vx * 64 / 100.0 + 0.5));
          t.posY = static_cast<std::uint8_t>(std::trunc(std::clamp(vy, 0, 100) * 64 / 100.0 + 0.5));
        } else {
          // a channel kind written as percent of the grid comes back as that kind
          const int kind = static_cast<int>(std::trunc(vx * 64 / 100.0 + 0.5));
          if (kind >= kKindAccel && kind <= kKindEcg) t.posX = static_cast<std::uint8_t>(kind);
        }
      }
    }
  }

  // Everything is checked; the file becomes the record file.
  s.leaveTransformView(true);
  closeRecordFile(s);
  s.recordFileHandle = fd;
  s.recordFileVersion = kVersionEdfStream;
  s.recordFileName = name;
  s.recordFilePath = path;
  s.recordModified = 0;
  s.pendingChannelCount = 0;
  s.examHeader = examHeaderOf(fixed, h);
  s.recordDate = startDateDays(h.startDate);
  s.referenceKind = 0;
  s.transformKind = TransformKind::Amplitude;
  s.channelCount = static_cast<int>(h.channelSignals.size());
  Session& xs = x;
  applyChannelTable(s, xs);
  s.leadPairCount = 0;
  s.markChannelCount = h.annotationSignals.empty() ? 0 : 1;
  s.sampleRate = h.sampleRate;
  s.recordCount = xs.geo.pageCount;
  s.epochLength = s.epochStep = 128;
  s.resetViewAfterOpen();
  xs.startDay = startTimeFraction(h.startTime);
  s.recordSource = std::move(source);
  commitPage(s, xs, ui);

  if (h.leftOutSignals > 0) {
    ui.message(kFilePrefix + name + kFirstSignalsRead + integerText(kMaxChannels) + kSignalsMore +
               integerText(h.leftOutSignals) + kSignalsLeftOut);
  }
  std::string offsets;
  for (std::size_t c = 0; c < xs.maps.size(); ++c) {
    if (xs.maps[c].physicalOffset == 0) continue;
    if (!offsets.empty()) offsets += ", ";
    char b[64];
    std::snprintf(b, sizeof b, "%.10g", xs.maps[c].physicalOffset);
    offsets += xs.table[c].name + " (" + b + (edfVoltageFactor(h.signalHeaders[static_cast<std::size_t>(h.channelSignals[c])].dimension) > 0 ? kMicrovoltSuffix : "") + ")";
  }
  if (!offsets.empty()) {
    ui.message(kFilePrefix + name + kOffsetChannelsPrefix + offsets +
               kOffsetNotRepresentable);
  }
  if (xs.geo.truncated) {
    ui.message(kFilePrefix + name + kLongerThan + integerText(kEdfMaxPages) + kPagesFirstAvailable + integerText(kEdfMaxPages) +
               ".");
  }
  return true;
}

bool edfIsOpen(const StudyState& s) { return sessionOf(s) != nullptr; }

const EdfHeader* edfOpenHeader(const StudyState& s) {
  const Session* x = sessionOf(s);
  return x ? &x->h : nullptr;
}

const EdfChannelMapping* edfChannelMapping(const StudyState& s, int channel) {
  const Session* x = sessionOf(s);
  if (!x || channel < 0 || channel >= static_cast<int>(x->maps.size())) return nullptr;
  return &x->maps[static_cast<std::size_t>(channel)];
}

std::vector<EdfAnnotation> edfPageAnnotations(const StudyState& s) {
  const Session* x = sessionOf(s);
  return x ? x->page.annotations : std::vector<EdfAnnotation>{};
}

bool readEdfPageCodes(const StudyState& s, int page, std::vector<std::vector<std::int16_t>>& codes,
                      std::vector<std::int16_t>& marks, std::string& reason) {
  Session* x = sessionOf(s);
  if (!x) {
    reason = kEdfNotOpen;
    return false;
  }
  if (page < 1 || page > x->geo.pageCount) {
    reason = kNoPagePrefix + integerText(page);
    return false;
  }
  PageData pd;
  if (!readPage(*x, page - 1, pd, reason)) return false;
  codes.assign(x->h.channelSignals.size(), std::vector<std::int16_t>(static_cast<std::size_t>(pd.frames)));
  std::vector<std::int16_t*> ptrs;
  for (auto& v : codes) ptrs.push_back(v.data());
  marks.clear();
  if (!x->h.annotationSignals.empty()) marks.resize(static_cast<std::size_t>(pd.frames));
  long long clipped = 0;
  expandPage(*x, pd, ptrs.data(), marks.empty() ? nullptr : marks.data(), clipped);
  return true;
}

bool edfFileAnnotations(const StudyState& s, std::vector<EdfAnnotation>& out, std::string& reason) {
  out.clear();
  const Session* x = sessionOf(s);
  if (!x) {
    reason = kEdfNotOpen;
    return false;
  }
  const EdfHeader& h = x->h;
  std::vector<EdfAnnotation> all;
  if (!h.annotationSignals.empty()) {
    PageData pd;
    std::vector<unsigned char> bytes;
    for (int page = 0; page < x->geo.pageCount; ++page) {
      laySegments(*x, page, pd);
      pd.annotations.clear();
      const long long N = h.maxSamplesPerRecord;
      const long long pageFirstFrame = pd.segments.front().record * N + pd.segments.front().j0;
      for (const Segment& g : pd.segments) {
        for (int ai : h.annotationSignals) {
          const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(ai)];
          const long long size = sig.samplesPerRecord * h.sampleWidth;
          if (size <= 0 || size > kAnnotationLimit) continue;
          bytes.resize(static_cast<std::size_t>(size));
          if (!fdPreadExact(x->fd, bytes.data(), bytes.size(), recordOffset(h, g.record) + sig.offsetInRecord)) {
            reason = kReadError;
            return false;
          }
          parseAnnotations(*x, bytes.data(), bytes.size(), g.record, pageFirstFrame, pd);
        }
      }
      std::stable_sort(pd.annotations.begin(), pd.annotations.end(),
                       [](const EdfAnnotation& a, const EdfAnnotation& b) { return a.sample < b.sample; });
      for (EdfAnnotation& a : pd.annotations) {
        a.page = page + 1;
        all.push_back(std::move(a));
      }
    }
  }
  out = std::move(all);
  return true;
}

// --- navigation ------------------------------------------------------------------------------

bool gotoEdfPage(StudyState& s, int page, Interaction& ui) { return edfIsOpen(s) && gotoRecord(s, page, ui); }

bool rewindEdf(StudyState& s, Interaction& ui) {
  Session* x = sessionOf(s);
  if (!x) return false;
  if (!confirmWriteBack(s, ui)) return false;
  return movePage(s, *x, 0, ui);
}

bool EdfRecordSource::moveTo(StudyState& s, int number, Interaction& ui) {
  return movePage(s, session, number - 1, ui);
}

bool EdfRecordSource::reread(StudyState& s, Interaction& ui) {
  return movePage(s, session, std::clamp(s.currentRecord, 1, std::max(1, session.geo.pageCount)) - 1, ui);
}

bool EdfRecordSource::writeBack(StudyState& s, Interaction& ui) {
  Session* x = &session;
  x->ahead.page = -1;  // it may hold samples this page shares with the next
  const std::string refused = kPageChangesNotSaved + x->name + ": ";
  const EdfHeader& h = x->h;
  const int channels = static_cast<int>(h.channelSignals.size());
  if (fdIsReadOnly(x->fd)) {
    ui.message(refused + kOpenedReadOnly);
    return false;
  }
  if (s.channelCount != channels) {
    ui.message(refused + kChannelCountPrefix + integerText(s.channelCount) + kDiffersFromFileSignals +
               integerText(channels) + ").");
    return false;
  }
  if (x->page.page + 1 != s.currentRecord) {
    ui.message(refused + kPageDiffersFromRead);
    return false;
  }
  // In the transform view the signals are parked; those are what the file holds.
  const bool results = s.viewMode == ViewMode::Transform;
  const auto& source = results ? s.parkedChannelData : s.channelData;
  const int length = std::clamp(results ? s.savedRecordLength : s.recordLength, 0, x->page.frames);
  const long long N = h.maxSamplesPerRecord;
  const int w = h.sampleWidth;
  PageData& pd = x->page;
  ensureValues(*x, pd);
  long long limited = 0;
  // Each source sample of the page is written as it is stored unless a
  // frame that shows it now holds another code; then the first such code,
  // mapped back, is its new value. Only stretches that changed are written.
  struct Change {
    std::size_t channel, segment;
    long long from = -1, to = -1;  // source samples relative to the segment's first, inclusive
    std::vector<std::int32_t> values;
  };
  std::vector<Change> changes;
  std::vector<std::int32_t> now;
  for (int c = 0; c < channels; ++c) {
    const auto uc = static_cast<std::size_t>(c);
    const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[uc])];
    const long long n = sig.samplesPerRecord;
    const EdfChannelMapping& m = x->maps[uc];
    long long dlo = std::max(sig.digMin, widthMin(w)), dhi = std::min(sig.digMax, widthMax(w));
    if (dlo >= dhi) dlo = widthMin(w), dhi = widthMax(w);
    const std::int16_t* codes = source[uc];
    for (std::size_t sg = 0; sg < pd.segments.size(); ++sg) {
      const Segment& g = pd.segments[sg];
      const long long a = srcFirst(g.j0, n, N), b = srcEnd(g.j1, n, N);
      const std::int32_t* orig = pd.values[uc].data() + pd.base[uc][sg];
      now.assign(orig, orig + (b - a));
      Change ch{uc, sg};
      for (long long i = a; i < b; ++i) {
        bool unused = false;
        const std::int16_t wasCode = m.code(orig[i - a], unused);
        // the frames that show sample i: j with floor(j·n/N) = i
        const long long jb = std::max(g.j0, (i * N + n - 1) / n);
        const long long je = std::min(g.j1, ((i + 1) * N + n - 1) / n);
        for (long long j = jb; j < je; ++j) {
          const long long frame = g.frame0 + (j - g.j0);
          if (frame >= length) break;
          const std::int16_t code = codes[frame];
          if (code == wasCode || code == kMarkCode) continue;  // a user's mark is not a value
          long long v = m.digital(code);
          if (v < dlo || v > dhi) {
            v = std::clamp(v, dlo, dhi);
            ++limited;
          }
          now[static_cast<std::size_t>(i - a)] = static_cast<std::int32_t>(v);
          break;
        }
        if (now[static_cast<std::size_t>(i - a)] != orig[i - a]) {
          if (ch.from < 0) ch.from = i - a;
          ch.to = i - a;
        }
      }
      if (ch.from >= 0) {
        ch.values.assign(now.begin() + ch.from, now.begin() + ch.to + 1);
        changes.push_back(std::move(ch));
      }
    }
  }
  // Marks set in the page become annotations of the data records they fall
  // in; every record's lists are settled before anything is written.
  struct AnnotationBytes {
    long long at = 0;
    std::vector<unsigned char> bytes;
  };
  std::map<std::pair<long long, int>, AnnotationBytes> notes;  // by (data record, signal)
  std::vector<EdfAnnotation> added;
  {
    long long markCount = 0;
    for (int c = 0; c < channels; ++c)
      markCount += std::count(source[static_cast<std::size_t>(c)], source[static_cast<std::size_t>(c)] + length, kMarkCode);
    if (markCount > 0 && h.annotationSignals.empty()) {
      ui.message(refused + kMarksNeedAnnotationSignalPrefix + integerText(markCount) + kMarksNeedAnnotationSignal);
      return false;
    }
    for (int f = 0; markCount > 0 && f < length; ++f) {
      for (int c = 0; c < channels; ++c) {
        if (source[static_cast<std::size_t>(c)][f] != kMarkCode) continue;
        const std::string text = kMarkAnnotationPrefix + s.channelNames[static_cast<std::size_t>(c)];
        auto same = [&](const EdfAnnotation& a) { return a.sample == f && a.text == text; };
        if (std::any_of(pd.annotations.begin(), pd.annotations.end(), same) ||
            std::any_of(added.begin(), added.end(), same))
          continue;  // the file holds it already
        const Segment* g = nullptr;
        for (const Segment& sg : pd.segments)
          if (f >= sg.frame0 && f < sg.frame0 + (sg.j1 - sg.j0)) g = &sg;
        if (!g) continue;
        const long long j = g->j0 + (f - g->frame0);
        bool placed = false;
        for (int ai : h.annotationSignals) {
          const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(ai)];
          const long long size = sig.samplesPerRecord * w;
          if (size <= 0 || size > kAnnotationLimit) continue;
          auto [it, fresh] = notes.try_emplace({g->record, ai});
          AnnotationBytes& nb = it->second;
          if (fresh) {
            nb.at = recordOffset(h, g->record) + sig.offsetInRecord;
            nb.bytes.resize(static_cast<std::size_t>(size));
            if (!fdPreadExact(x->fd, nb.bytes.data(), nb.bytes.size(), nb.at)) {
              ui.message(refused + kReadError + ".");
              return false;
            }
          }
          const double start = edfRecordStart(nb.bytes).value_or(static_cast<double>(g->record) * h.recordDuration);
          const double onset = start + static_cast<double>(j) * h.recordDuration / static_cast<double>(N);
          if (appendEdfAnnotation(nb.bytes, start, onset, text)) {
            added.push_back({f, onset, 0, text});
            placed = true;
            break;
          }
        }
        if (!placed) {
          ui.message(refused + kNoRoomInDataRecordPrefix + integerText(g->record + 1) + kNoRoomForMark + text +
                     kFileUnchanged);
          return false;
        }
      }
    }
  }
  std::vector<unsigned char> bytes;
  for (const Change& ch : changes) {
    const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[ch.channel])];
    const Segment& g = pd.segments[ch.segment];
    const long long a = srcFirst(g.j0, sig.samplesPerRecord, N);
    bytes.resize(ch.values.size() * static_cast<std::size_t>(w));
    for (std::size_t k = 0; k < ch.values.size(); ++k)
      writeSample(bytes.data() + k * static_cast<std::size_t>(w), w, ch.values[k]);
    const long long at = recordOffset(h, g.record) + sig.offsetInRecord + (a + ch.from) * w;
    if (!fdPwriteAll(x->fd, bytes.data(), bytes.size(), at)) {
      ui.message(refused + kWriteErrorSentence);
      return false;
    }
    std::copy(ch.values.begin(), ch.values.end(),
              pd.values[ch.channel].data() + pd.base[ch.channel][ch.segment] + ch.from);
  }
  for (const auto& [key, nb] : notes) {
    if (!fdPwriteAll(x->fd, nb.bytes.data(), nb.bytes.size(), nb.at)) {
      ui.message(refused + kWriteErrorSentence);
      return false;
    }
  }
  if (!added.empty()) {
    pd.annotations.insert(pd.annotations.end(), added.begin(), added.end());
    std::stable_sort(pd.annotations.begin(), pd.annotations.end(),
                     [](const EdfAnnotation& a, const EdfAnnotation& b) { return a.sample < b.sample; });
    if (s.markChannelCount == 1 && s.markChannel) fillMarkChannel(pd, s.markChannel);
  }
  if (limited > 0) {
    ui.message(kFilePrefix + x->name + ": " + integerText(limited) +
               kEditedSamplesClipped);
  }
  return true;
}

// --- export ------------------------------------------------------------------------------------

namespace {

// A number in at most `width` characters, plain decimal notation, as exact as fits.
std::string fixedText(double v, std::size_t width) {
  std::string best;
  for (int dp = 0; dp <= 10; ++dp) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", dp, v);
    std::string t = b;
    if (t.find('.') != std::string::npos) {
      while (!t.empty() && t.back() == '0') t.pop_back();
      if (!t.empty() && t.back() == '.') t.pop_back();
    }
    if (t == "-0") t = "0";
    if (t.size() > width) break;
    best = t;
    if (std::strtod(t.c_str(), nullptr) == v) break;
  }
  return best;
}

void putText(std::string& h, std::size_t at, std::size_t width, const std::string& cp1251) {
  std::string t = cp1251.substr(0, width);
  t.resize(width, ' ');
  h.replace(at, width, t);
}

struct ExportChannel {
  long long digital = 2047;  // digital maximum; the minimum is its negative
  std::string physical;      // physical maximum as text
  bool silent = false;       // calibValue 0: every value is 0
};

// The digital and physical range of a channel: ±k·calibUnits and ±k·calibValue
// (an exact calibration) when that holds every value written, else ±32767.
ExportChannel exportScale(int units, int value, long long largest) {
  ExportChannel e;
  units = std::max(1, units);
  if (value == 0) {
    e.digital = 32767;
    e.physical = "1";
    e.silent = true;
    return e;
  }
  long long k = units <= 32767 ? 32767 / units : 0;
  while (k > 1 && k * value > 9999999) --k;
  if (k >= 1 && k * units >= largest) {
    e.digital = k * units;
    e.physical = integerText(k * value);
  } else {
    e.digital = 32767;
    e.physical = fixedText(32767.0 * value / units, 7);
  }
  return e;
}

std::string dateText(const StudyState& s) {
  int year = 0, month = 0, day = 0;
  struct stat st {};
  if (s.recordFileHandle >= 0 && ::fstat(s.recordFileHandle, &st) == 0) {
    std::tm tm{};
    ::localtime_r(&st.st_mtime, &tm);
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
  } else {
    civilFromDays(todayAsDays(s), year, month, day);
  }
  return twoDigits(day) + "." + twoDigits(month) + "." + twoDigits(year % 100);
}

// The records an export writes (the current one from memory, then those
// after it in the open file) and the data record length that divides them all.
struct ExportPlan {
  Session* edf = nullptr;          // the open EDF file, or nullptr for a record file
  RecordFileHeader cad;            // the open record file's header and records,
  std::vector<RecordInfo> cadRecords;  // read when records follow the current one
  std::vector<int> lengths;        // samples per channel of each record written
  long long L = 0;                 // samples per channel of one data record
  long long dataRecords = 0;
};

bool planExport(StudyState& s, Session* x, const std::string& refused, Interaction& ui, ExportPlan& plan) {
  const int ns = s.channelCount;
  plan.edf = x;
  plan.lengths = {s.recordLength};
  const bool following = s.recordFileHandle >= 0 && s.recordCount >= 1 && s.currentRecord >= 1 &&
                         s.currentRecord < s.recordCount;
  if (following && x) {
    for (int p = s.currentRecord + 1; p <= s.recordCount; ++p) {
      PageData pd;
      layOut(*x, p - 1, pd);
      plan.lengths.push_back(pd.frames);
    }
  } else if (following && s.recordFileVersion != kVersionEdfStream) {
    std::string reason;
    if (!readRecordFileHeader(s.recordFilePath, plan.cad, reason) ||
        !scanRecords(s.recordFilePath, plan.cad, plan.cadRecords, reason) ||
        static_cast<int>(plan.cadRecords.size()) < s.recordCount) {
      if (reason.empty()) reason = kRecordsUnreadable;
      ui.message(refused + kFollowingRecordsUnreadable + reason + ".");
      return false;
    }
    if (plan.cad.channelCount != ns) {
      ui.message(refused + kMemoryChannelCountPrefix + integerText(ns) + kDiffersFromFileChannels +
                 integerText(plan.cad.channelCount) + ").");
      return false;
    }
    for (int k = s.currentRecord; k < s.recordCount; ++k) {
      const RecordInfo& r = plan.cadRecords[static_cast<std::size_t>(k)];
      plan.lengths.push_back(std::max(0, std::min(r.recordLength, r.storedLength)));
    }
  }
  long long total = 0;
  for (int n : plan.lengths) {
    plan.L = std::gcd(plan.L, static_cast<long long>(n));
    total += n;
  }
  plan.dataRecords = total / plan.L;
  if (plan.dataRecords > 99999999) {
    ui.message(refused + kTooManyDataRecords);
    return false;
  }
  return true;
}

// Each planned record's codes, channel by channel: the current one from
// memory, the others read from the open file without touching the study.
class ExportReader {
 public:
  ExportReader(const StudyState& s, const ExportPlan& plan, const std::string& refused, Interaction& ui)
      : s_(s), plan_(plan), refused_(refused), ui_(ui) {}

  // Points src[c] at record k's samples of channel c; false with a message.
  bool fetch(std::size_t k, std::vector<const std::int16_t*>& src) {
    const auto un = static_cast<std::size_t>(s_.channelCount);
    src.assign(un, nullptr);
    if (k == 0) {
      for (std::size_t c = 0; c < un; ++c) src[c] = s_.channelData[c];
      return true;
    }
    std::string reason;
    const bool ok =
        plan_.edf ? readEdfPageCodes(s_, s_.currentRecord + static_cast<int>(k), codes_, marks_, reason)
                  : readRecordSamples(s_.recordFilePath, plan_.cad,
                                      plan_.cadRecords[static_cast<std::size_t>(s_.currentRecord - 1) + k], codes_, reason);
    const std::string record = integerText(s_.currentRecord + static_cast<long long>(k));
    if (!ok || codes_.size() < un) {
      ui_.message(refused_ + kRecordNumberPrefix + record + kNotReadable + (reason.empty() ? "" : ": " + reason) + ".");
      return false;
    }
    for (std::size_t c = 0; c < un; ++c) {
      if (codes_[c].size() < static_cast<std::size_t>(plan_.lengths[k])) {
        ui_.message(refused_ + kRecordNumberPrefix + record + kShorterThanLength);
        return false;
      }
      src[c] = codes_[c].data();
    }
    return true;
  }

 private:
  const StudyState& s_;
  const ExportPlan& plan_;
  const std::string& refused_;
  Interaction& ui_;
  std::vector<std::vector<std::int16_t>> codes_;
  std::vector<std::int16_t> marks_;
};

// The fixed EDF header and the signal headers; each channel's range from
// the largest distance of its codes from the zero level.
std::string exportHeader(const StudyState& s, const ExportPlan& plan, const std::vector<long long>& largest, bool udf,
                         std::vector<ExportChannel>& scale) {
  const int ns = s.channelCount;
  const auto un = static_cast<std::size_t>(ns);
  const long long fixedSize = 256LL * (ns + 1);
  const long long headerSize = fixedSize + (udf ? kUdfFixed + 20LL * ns : 0);
  std::string hd(static_cast<std::size_t>(fixedSize), ' ');
  putText(hd, 0, 8, "0");
  putText(hd, 8, 80, utf8ToCp1251(headerField(s.examHeader, false, 3)));
  putText(hd, 168, 8, dateText(s));
  putText(hd, 176, 8, "00.00.00");
  putText(hd, 184, 8, integerText(headerSize));
  putText(hd, 236, 8, integerText(plan.dataRecords));
  putText(hd, 244, 8, edfDurationText(static_cast<double>(plan.L) / std::max(1, s.sampleRate)));
  putText(hd, 252, 4, integerText(ns));
  scale.clear();
  for (int c = 0; c < ns; ++c) {
    const auto uc = static_cast<std::size_t>(c);
    const ExportChannel e = exportScale(s.calibUnits[c], s.calibValue[c], largest[uc]);
    scale.push_back(e);
    std::size_t at = 256;
    putText(hd, at + 16 * uc, 16, utf8ToCp1251("EEG " + s.channelNames[uc]));
    at += 16 * un;
    putText(hd, at + 80 * uc, 80, "AgAgCl electrode");
    at += 80 * un;
    putText(hd, at + 8 * uc, 8, "uV");
    at += 8 * un;
    putText(hd, at + 8 * uc, 8, "-" + e.physical);
    at += 8 * un;
    putText(hd, at + 8 * uc, 8, e.physical);
    at += 8 * un;
    putText(hd, at + 8 * uc, 8, "-" + integerText(e.digital));
    at += 8 * un;
    putText(hd, at + 8 * uc, 8, integerText(e.digital));
    at += 8 * un;
    at += 80 * un;  // prefiltering: blanks
    putText(hd, at + 8 * uc, 8, integerText(plan.L));
  }
  return hd;
}

// The program's own extension block after the standard header: the patient,
// electrode positions in percent, the sampling rate and the channel count.
std::string udfBlock(const StudyState& s) {
  const int ns = s.channelCount;
  const auto un = static_cast<std::size_t>(ns);
  ByteWriter u;
  u.bytes("UDF ");
  u.bytes("1.1 ");
  u.text("", 64);
  u.text(utf8ToCp1251(headerField(s.examHeader, false, 3)), 32);
  u.text("", 32);
  u.text("", 16);
  u.text("", 20);
  u.text("", 256);
  u.text("", 24);
  u.text("", 16);
  for (int c = 0; c < ns; ++c) u.i16(static_cast<int>(std::trunc(s.channelPosX[static_cast<std::size_t>(c)] * 100 / 64.0 + 0.5)));
  for (int c = 0; c < ns; ++c) u.i16(static_cast<int>(std::trunc(s.channelPosY[static_cast<std::size_t>(c)] * 100 / 64.0 + 0.5)));
  u.zeros(2 * un + 12 * un + 2 * un);
  u.u16(static_cast<unsigned>(s.sampleRate) & 0xFFFF);
  u.u16(0);
  u.u16(0);
  u.u32(0);
  u.u16(static_cast<unsigned>(ns));
  u.bytes("TXT ");
  u.u16(0);
  u.u16(0);
  u.text("VELOR", 16);
  return u.data();
}

// The data records after the header: each sample as code − zeroLevel,
// limited to its channel's digital range (counted in `clipped`).
bool writeExportRecords(const StudyState& s, const ExportPlan& plan, const std::vector<ExportChannel>& scale,
                        ExportReader& reader, int fd, const std::string& refused, Interaction& ui, Progress* progress,
                        long long& clipped) {
  const auto un = static_cast<std::size_t>(s.channelCount);
  const long long L = plan.L;
  const std::size_t uL = static_cast<std::size_t>(L);
  if (progress) progress->begin("EDF", static_cast<long>(plan.lengths.size()));
  std::string out;
  std::vector<const std::int16_t*> src;
  for (std::size_t k = 0; k < plan.lengths.size(); ++k) {
    const int n = plan.lengths[k];
    if (!reader.fetch(k, src)) {
      if (progress) progress->end();
      return false;
    }
    for (long long t = 0; t + L <= n; t += L) {
      const std::size_t before = out.size();
      out.resize(before + un * uL * 2);
      auto* p = reinterpret_cast<unsigned char*>(out.data() + before);
      for (std::size_t c = 0; c < un; ++c) {
        const int zero = s.zeroLevel[static_cast<int>(c)];
        const long long lim = scale[c].digital;
        for (std::size_t i = 0; i < uL; ++i) {
          long long d = scale[c].silent ? 0 : static_cast<long long>(src[c][static_cast<std::size_t>(t) + i]) - zero;
          if (d > lim || d < -lim) {
            d = std::clamp(d, -lim, lim);
            ++clipped;
          }
          putU16(p, static_cast<std::uint16_t>(static_cast<std::int16_t>(d)));
          p += 2;
        }
      }
      if (out.size() >= (4u << 20)) {
        if (!fdWriteAll(fd, out.data(), out.size())) {
          ui.message(refused + kWriteErrorSentence);
          if (progress) progress->end();
          return false;
        }
        out.clear();
      }
    }
    if (progress && !progress->step(static_cast<long>(k + 1))) {
      progress->end();
      ui.message(refused + kWriteInterrupted);
      return false;
    }
  }
  if (progress) progress->end();
  if (!out.empty() && !fdWriteAll(fd, out.data(), out.size())) {
    ui.message(refused + kWriteErrorSentence);
    return false;
  }
  return true;
}

}  // namespace

std::string edfDurationText(double seconds) { return fixedText(seconds, 8); }

bool exportEdf(StudyState& s, const std::string& path, bool udf, Interaction& ui, Progress* progress) {
  const std::string name = baseName(path);
  const std::string refused = kFilePrefix + name + kFileNotWritten;
  if (s.viewMode == ViewMode::Transform) {
    ui.message(refused + kConversionWritesSignalsOnly);
    return false;
  }
  const int ns = s.channelCount;
  if (ns < 1 || ns > kMaxChannels || s.recordLength < 1 || s.recordLength > kMaxSamples) {
    ui.message(refused + kNothingToWrite);
    return false;
  }
  Session* x = sessionOf(s);
  if (x && samePath(path, x->path)) {
    ui.message(refused + kTargetIsOpenFile);
    return false;
  }
  ExportPlan plan;
  if (!planExport(s, x, refused, ui, plan)) return false;

  // The largest value each channel writes, so that its digital range holds it.
  ExportReader reader(s, plan, refused, ui);
  const auto un = static_cast<std::size_t>(ns);
  std::vector<long long> largest(un, 0);
  std::vector<const std::int16_t*> src;
  for (std::size_t k = 0; k < plan.lengths.size(); ++k) {
    if (!reader.fetch(k, src)) return false;
    for (std::size_t c = 0; c < un; ++c) {
      const int zero = s.zeroLevel[static_cast<int>(c)];
      for (int i = 0; i < plan.lengths[k]; ++i) largest[c] = std::max<long long>(largest[c], std::abs(src[c][i] - zero));
    }
  }
  std::vector<ExportChannel> scale;
  std::string hd = exportHeader(s, plan, largest, udf, scale);
  if (udf) hd += udfBlock(s);

  AtomicFile file(path);
  if (!file.ok()) {
    ui.message(refused + kCannotCreateFilePrefix + std::strerror(errno) + ").");
    return false;
  }
  if (!fdWriteAll(file.fd(), hd.data(), hd.size())) {
    ui.message(refused + kWriteErrorSentence);
    return false;
  }
  long long clipped = 0;
  if (!writeExportRecords(s, plan, scale, reader, file.fd(), refused, ui, progress, clipped)) return false;
  if (!file.commit()) {
    ui.message(refused + kWriteErrorSentence);
    return false;
  }
  if (clipped > 0) {
    ui.message(kFilePrefix + name + kWrittenWith + integerText(clipped) +
               kSamplesClippedToRange);
  }
  return true;
}

}  // namespace velor
