// Audio buffers, wave-format conversion through the compression manager stand-in, and the
// buffered sound loader.
#include "formats/sndbasic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "platform/acm.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

// The bytes of frames of this align, or error (5, 5) when they do not fit a tracked block.
int32_t FrameBytes(int64_t frames, int64_t align) {
  const int64_t bytes = frames * align;
  if (frames < 0 || align < 0 || bytes > INT32_MAX) ErrSet(5, 5);
  return int32_t(bytes);
}

// A size computed from a ratio of rates, rounded half to even, kept to what a block can hold.
int32_t ScaledBytes(double bytes, int32_t atLeast) {
  const double rounded = std::nearbyint(bytes);
  if (!(rounded < double(INT32_MAX))) ErrSet(5, 5);
  return std::max(atLeast, int32_t(rounded));
}

// The buffer's block size: a record whose block was released holds none.
int32_t Capacity(const QSndBuf& b) { return MemSize(b.SndData) == NOT_SET ? 0 : b.capacity; }

// An 18-byte record handed on as a complete format: it has no extra bytes behind it.
WaveFormatEx Bare(const WaveFormatEx& f) {
  WaveFormatEx copy = f;
  copy.extraSize = 0;
  return copy;
}

double AverageRate(const WaveFormatEx& f) {
  if (f.avgBytesPerSec >= 1) return f.avgBytesPerSec;
  return std::max(1.0, double(f.samplesPerSec) * f.blockAlign);
}

// Conversion streams kept between calls, one per pair of formats, so that a sound converted
// piece by piece joins without seams. A few pairs are kept because loading and converting
// alternate (stored to decoded, decoded to the output format); the least recently used goes.
struct Slot {
  std::vector<uint8_t> key;
  HACMSTREAM stream = nullptr;
  uint64_t used = 0;
};
constexpr int kSlots = 4;
Slot g_slots[kSlots];
uint64_t g_clock = 0;
bool g_ending = false;  // a WaveConvertEnding is alive

std::vector<uint8_t> PairKey(const WaveFormatEx* src, const WaveFormatEx* dst) {
  const auto* s = reinterpret_cast<const uint8_t*>(src);
  const auto* d = reinterpret_cast<const uint8_t*>(dst);
  std::vector<uint8_t> key(s, s + sizeof(WaveFormatEx) + src->extraSize);
  key.insert(key.end(), d, d + sizeof(WaveFormatEx));
  return key;
}

void CloseSlot(Slot& slot) {
  if (slot.stream) acmStreamClose(slot.stream, 0);
  slot = Slot{};
}

Slot* FindSlot(const std::vector<uint8_t>& key) {
  for (auto& slot : g_slots)
    if (slot.stream && slot.key == key) return &slot;
  return nullptr;
}

// An outside library's own words, when it gave any, say more than the result code.
void FailAcm(int32_t result) {
  const std::string reason = LibTakeReason();
  if (reason.empty()) ErrSet(19, result);
  ErrSetText(1, reason);
}

// The stream of the pair, opened when the pair is new; error (19, result) when it cannot be.
Slot& StreamFor(const WaveFormatEx* src, const WaveFormatEx* dst) {
  auto key = PairKey(src, dst);
  Slot* slot = FindSlot(key);
  if (!slot) {
    slot = &*std::min_element(std::begin(g_slots), std::end(g_slots),
                              [](const Slot& a, const Slot& b) { return a.used < b.used; });
    CloseSlot(*slot);
    const WaveFormatEx target = Bare(*dst);
    HACMSTREAM stream = nullptr;
    const int32_t r = acmStreamOpen(&stream, src, &target, ACM_STREAMOPENF_NONREALTIME);
    if (r != 0) FailAcm(r);
    slot->stream = stream;
    slot->key = std::move(key);
  }
  slot->used = ++g_clock;
  return *slot;
}

void FailStep(Slot& slot, int32_t result) {
  CloseSlot(slot);
  FailAcm(result);
}

}  // namespace

bool WaveFormatEqual(const WaveFormatEx& a, const WaveFormatEx& b) { return std::memcmp(&a, &b, 16) == 0; }

bool WaveFormatValidate(WaveFormatEx& f) {
  if (f.channels == 0 || f.samplesPerSec == 0 || f.bitsPerSample == 0) return false;
  const uint32_t align = uint32_t(f.channels) * (f.bitsPerSample / 8u);
  const uint64_t average = uint64_t(f.samplesPerSec) * align;
  if (align > UINT16_MAX || average > UINT32_MAX) return false;
  f.blockAlign = uint16_t(align);
  f.avgBytesPerSec = uint32_t(average);
  return true;
}

WaveFormatEx SndDefaultFormat() { return WaveFormatEx{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0}; }

void _sndalloc_(QSndBuf& buffer, int32_t bytes, std::string_view label, Site site) {
  Guarded("SndBasic._sndalloc_", [&] {
    if (MemSize(buffer.SndData) == NOT_SET) buffer = QSndBuf{};
    _memalloc_(buffer.SndData, bytes, MEM_RESIZE, "(SndAlloc):" + std::string(label), site);
    buffer.capacity = bytes;
  });
}

void SndFree(QSndBuf& buffer) {
  MemFree(buffer.SndData);
  buffer = QSndBuf{};
}

void SndAddSilence(QSndBuf& buffer, int32_t frames) {
  Guarded("SndBasic.SndAddSilence", [&] {
    // A buffer without a format takes the default one before it is checked.
    if (buffer.format.formatTag == 0) buffer.format = SndDefaultFormat();
    if (!WaveFormatValidate(buffer.format)) ErrSet(8, 4);
    const int32_t align = buffer.format.blockAlign;
    if (buffer.count >= frames) return;
    const int32_t used = FrameBytes(buffer.count, align);
    const int32_t need = FrameBytes(frames, align);
    if (Capacity(buffer) < need) {
      if (MemSize(buffer.SndData) == NOT_SET) buffer.SndData = nullptr;
      _memalloc_(buffer.SndData, need, MEM_RESIZE, "SndBasic.SndAddSilence.snd.SndData");
      buffer.capacity = need;
    }
    std::memset(buffer.SndData + used, buffer.format.bitsPerSample == 8 ? 128 : 0, size_t(need - used));
    buffer.count = frames;
  });
}

void SndMakeSilence(QSndBuf& buffer, int32_t frames, const WaveFormatEx& format) {
  Guarded("SndBasic.SndMakeSilence", [&] {
    buffer.format = format;
    buffer.count = 0;
    SndAddSilence(buffer, frames);
  });
}

void SndJoin(QSndBuf& destination, const QSndBuf& source) {
  QSndBuf converted;
  Guarded("SndBasic.SndJoin", [&] {
    WaveFormatEx sourceFormat = source.format;
    if (source.count <= 0 || !WaveFormatValidate(sourceFormat)) return;
    const QSndBuf* appended = &source;
    if (!WaveFormatEqual(destination.format, source.format)) {
      if (destination.count <= 0) destination.format = source.format;
      if (!WaveFormatEqual(destination.format, source.format)) {
        SndConvert(source, converted, destination.format);
        appended = &converted;
      }
    }
    WaveFormatEx format = destination.format;
    if (!WaveFormatValidate(format)) ErrSet(8, 4);
    const int32_t align = format.blockAlign;
    const int32_t used = FrameBytes(destination.count, align);
    const int32_t added = FrameBytes(appended->count, align);
    const int32_t need = FrameBytes(int64_t(destination.count) + appended->count, align);
    if (Capacity(destination) < need) {
      if (MemSize(destination.SndData) == NOT_SET) destination.SndData = nullptr;
      _memalloc_(destination.SndData, need, MEM_RESIZE, "SndBasic.SndJoin.join_to.sndData");
      destination.capacity = need;
    }
    if (added > 0) std::memcpy(destination.SndData + used, appended->SndData, size_t(added));
    destination.count += appended->count;
    SndFree(converted);
  });
}

void SndMove(const QSndBuf& source, QSndBuf& destination, int32_t first, int32_t count) {
  Guarded("SndBasic.SndMove", [&] {
    WaveFormatEx format = source.format;
    if (first < 0 || first >= source.count || count < 1 || !WaveFormatValidate(format)) return;
    count = std::min(count, source.count - first);
    const int32_t align = format.blockAlign;
    const int32_t bytes = FrameBytes(count, align);
    _sndalloc_(destination, bytes, "SndBasic.SndMove.dest");
    destination.format = source.format;
    std::memcpy(destination.SndData, source.SndData + int64_t(first) * align, size_t(bytes));
  });
}

void SndDelete(QSndBuf& buffer, int32_t first, int32_t count) {
  Guarded("SndBasic.SndDelete", [&] {
    WaveFormatEx format = buffer.format;
    if (first < 0 || first >= buffer.count || count < 1 || !WaveFormatValidate(format)) return;
    const int64_t align = format.blockAlign;
    if (int64_t(first) + count > buffer.count) {
      buffer.count = first;
      return;
    }
    const int32_t after = buffer.count - first - count;
    std::memmove(buffer.SndData + first * align, buffer.SndData + (int64_t(first) + count) * align,
                 size_t(after * align));
    buffer.count -= count;
    if (buffer.count == 0) {
      // A tracked block cannot be empty: the buffer keeps its format and gives up its block.
      MemFree(buffer.SndData);
      buffer.capacity = 0;
      return;
    }
    const int32_t bytes = FrameBytes(buffer.count, align);
    _memalloc_(buffer.SndData, bytes, MEM_RESIZE, "SndBasic.SndDelete.snd.sndData");
    buffer.capacity = bytes;
  });
}

void SndConvert(const QSndBuf& source, QSndBuf& destination, const WaveFormatEx& format) {
  Guarded("SndBasic.SndConvert", [&] {
    if (source.count <= 0) return;
    WaveFormatEx target = Bare(format);
    WaveFormatEx from = Bare(source.format);
    if (!WaveFormatValidate(target) || !WaveFormatValidate(from)) ErrSet(8, 1);
    const int32_t sourceBytes = FrameBytes(source.count, from.blockAlign);
    // A sound's end also brings what the converter held back, a small fraction of a second.
    const double tail = g_ending ? target.avgBytesPerSec / 10.0 : 0.0;
    const int32_t size =
        ScaledBytes(double(target.avgBytesPerSec) / from.avgBytesPerSec * sourceBytes * 1.05 + tail, target.blockAlign);
    _sndalloc_(destination, size, "SndBasic.SndConvert.dest");
    int32_t produced = 0;
    const WaveFormatEx stored = Bare(source.format);
    WaveConvert(source.SndData, destination.SndData, sourceBytes, size, produced, &stored, &target);
    destination.format = target;
    destination.count = produced / target.blockAlign;
  });
}

void WaveConvert(const uint8_t* source, uint8_t* destination, int32_t sourceLength, int32_t capacity, int32_t& produced,
                 const WaveFormatEx* sourceFormat, const WaveFormatEx* destinationFormat) {
  uint8_t* temp = nullptr;
  Guarded("SndBasic.WaveConvert", [&] {
    produced = 0;
    if (sourceLength < 1 || capacity < 1) return;
    if (WaveFormatEqual(*sourceFormat, *destinationFormat)) {
      if (capacity < sourceLength) ErrSet(8, 3);
      std::memcpy(destination, source, size_t(sourceLength));
      produced = sourceLength;
      return;
    }
    WaveFormatEx middle{};
    if (sourceFormat->formatTag == WAVE_FORMAT_PCM) {
      middle = Bare(*sourceFormat);
    } else {
      middle.formatTag = WAVE_FORMAT_PCM;
      if (acmFormatSuggest(sourceFormat, &middle, sizeof middle, ACM_FORMATSUGGESTF_WFORMATTAG) != 0) ErrSet(8, 3);
    }
    if (!WaveFormatValidate(middle)) ErrSet(8, 3);
    if (WaveFormatEqual(middle, *sourceFormat) || WaveFormatEqual(middle, *destinationFormat)) {
      WaveConvert_(source, destination, sourceLength, capacity, produced, sourceFormat, destinationFormat);
      return;
    }
    const int32_t size = ScaledBytes(double(sourceLength) * middle.avgBytesPerSec / AverageRate(*sourceFormat) * 1.05,
                                     middle.blockAlign);
    _memalloc_(temp, size, MEM_RESIZE, "SndBasic.WaveConvert.temp_buf");
    int32_t decoded = 0;
    WaveConvert_(source, temp, sourceLength, size, decoded, sourceFormat, &middle);
    WaveConvert_(temp, destination, decoded, capacity, produced, &middle, destinationFormat);
    MemFree(temp);
  });
}

void WaveConvert_(const uint8_t* source, uint8_t* destination, int32_t sourceLength, int32_t capacity,
                  int32_t& produced, const WaveFormatEx* sourceFormat, const WaveFormatEx* destinationFormat) {
  Guarded("SndBasic.WaveConvert_", [&] {
    produced = 0;
    Slot& slot = StreamFor(sourceFormat, destinationFormat);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = source;
    header.cbSrcLength = uint32_t(std::max(0, sourceLength));
    header.pbDst = destination;
    header.cbDstLength = uint32_t(std::max(0, capacity));
    int32_t r = acmStreamPrepareHeader(slot.stream, &header, 0);
    if (r != 0) FailStep(slot, r);
    r = acmStreamConvert(slot.stream, &header, g_ending ? ACM_STREAMCONVERTF_END : 0);
    const int32_t unprepared = acmStreamUnprepareHeader(slot.stream, &header, 0);
    if (r != 0) FailStep(slot, r);
    if (unprepared != 0) FailStep(slot, unprepared);
    produced = int32_t(header.cbDstLengthUsed);
  });
}

WaveConvertEnding::WaveConvertEnding() : outer_(!g_ending) { g_ending = true; }
WaveConvertEnding::~WaveConvertEnding() {
  if (outer_) g_ending = false;
}

void WaveConvertReset() {
  for (auto& slot : g_slots) CloseSlot(slot);
}

void WaveConvertReset(const WaveFormatEx* sourceFormat, const WaveFormatEx* destinationFormat) {
  if (Slot* slot = FindSlot(PairKey(sourceFormat, destinationFormat))) CloseSlot(*slot);
}

void SndLoad(void* handle, QSndLoader& sl, QSndBuf& buffer, SndReadCBF read, int32_t frames) {
  uint8_t* raw = nullptr;
  Guarded("SndBasic.SndLoad", [&] {
    // Decoded sound that was released with a failed call is gone: forget it.
    MonSetCleanup([&] {
      sl.held = sl.delivered = 0;
      buffer.count = 0;
    });
    WaveFormatEx decoded = Bare(sl.decodedFormat);
    if (!sl.InFormat || !WaveFormatValidate(decoded)) ErrSet(8, 4);
    const int32_t align = decoded.blockAlign;
    buffer.count = 0;
    if (frames < 1) return;
    const int32_t wanted = FrameBytes(frames, align);
    _sndalloc_(buffer, wanted, "SndBasic.SndLoad.sh");
    buffer.format = sl.decodedFormat;
    buffer.count = 0;
    const int32_t left = sl.held - sl.delivered;
    if (left >= wanted) {
      std::memcpy(buffer.SndData, sl.SndData + sl.delivered, size_t(wanted));
      sl.delivered += wanted;
      buffer.count = frames;
      return;
    }
    int32_t got = 0;
    if (left > 0) std::memcpy(buffer.SndData, sl.SndData + sl.delivered, size_t(left));
    got = std::max(0, left);
    sl.delivered = sl.held;
    if (sl.endReached) {
      buffer.count = got / align;
      return;
    }
    const double ratio = double(decoded.avgBytesPerSec) / AverageRate(*sl.InFormat);
    do {
      int32_t bytes = 0, units = 0;
      read(handle, raw, wanted, bytes, units);
      if (bytes < 1) {
        MemFree(raw);
        sl.endReached = RF_TRUE;
        break;
      }
      sl.unitsRead += units;
      const int32_t size = ScaledBytes(bytes * ratio * 1.05, align);
      _memalloc_(sl.SndData, size, MEM_RESIZE, "SndBasic.SndLoad.sl.SndData");
      int32_t produced = 0;
      WaveConvert(raw, sl.SndData, bytes, size, produced, sl.InFormat, &decoded);
      MemFree(raw);
      sl.held = produced;
      const int32_t take = std::min(produced, wanted - got);
      if (take > 0) std::memcpy(buffer.SndData + got, sl.SndData, size_t(take));
      got += take;
      sl.delivered = take;
      sl.endReached = sl.unitsRead >= sl.unitsTotal ? RF_TRUE : RF_FALSE;
    } while (got < wanted && !sl.endReached);
    buffer.count = got / align;
  });
}

}  // namespace rf
