// Inside the guide module: what the EIT reader's two passes share, and the section pass.
//
// The positional pass (eit.cpp) and the section pass (eit_sections.cpp) read broadcast bytes
// through BlockView, which cannot leave the data it was given, and capture events through the
// same descriptor reading, cleaning and line building in eit.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "guide/event_times.h"

// CRC_32 of ISO/IEC 13818-1 annex A (polynomial 0x04C11DB7, all ones at the start, no
// reflection, no final inversion); over a whole section including its CRC_32 field it gives 0.
// The one implementation for the reader, pelta-tool and the benchmarks.
uint32_t Crc32(const uint8_t* data, size_t size);

// A read-only window on broadcast bytes. Byte() past the end answers 0 and marks the view
// failed until Clear(); Text() and Copy() take what lies inside and cut the rest.
class BlockView {
 public:
  BlockView(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte(size_t pos) {
    if (pos >= size_) {
      failed_ = true;
      return 0;
    }
    return data_[pos];
  }
  bool failed() const { return failed_; }
  size_t size() const { return size_; }
  // The bytes from `pos`, for reads the caller has already bounded (a whole packet's header).
  const unsigned char* At(size_t pos) const { return data_ + pos; }
  void Clear() { failed_ = false; }

  // Up to `count` bytes from `pos` into `out` (zeroed by the caller, larger than any count the
  // reader asks for: at most 255), cut at the end.
  void Text(size_t pos, size_t count, char* out) const {
    Copy(pos, count, reinterpret_cast<uint8_t*>(out));
  }
  // Up to `count` bytes from `pos` into `out`; returns how many were inside.
  size_t Copy(size_t pos, size_t count, uint8_t* out) const {
    if (pos >= size_) return 0;
    if (count > size_ - pos) count = size_ - pos;
    std::memcpy(out, data_ + pos, count);
    return count;
  }

 private:
  const unsigned char* data_;
  size_t size_;
  bool failed_ = false;
};

constexpr int32_t kPresentBit = 2;            // eitstate: the present event is captured
constexpr int32_t kFollowingBit = 4;          // eitstate: the following event is captured
constexpr uint16_t kTableEitPfActual = 0x4E;  // EN 300 468: EIT p/f, actual transport stream
constexpr uint16_t kShortEventTag = 0x4D;     // short_event_descriptor (EN 300 468, 6.2.37)
constexpr uint16_t kExtendedEventTag = 0x4E;  // extended_event_descriptor (6.2.15)
constexpr uint16_t kTextTag69 = 0x69;         // read in the reader's own name/text layout

// An event the section pass found in a whole section, or in the checked part of one cut short.
struct SectionEvent {
  uint16_t service;   // service_id
  int32_t bit;        // kPresentBit or kFollowingBit
  uint8_t tag;        // the text descriptor to read
  size_t descriptor;  // its offset in the section
  uint8_t hour;       // start_time hour, minute and second, BCD
  uint8_t minute;
  uint8_t version;  // version_number of the p/f sub-table
  uint16_t mjd;     // start_time date
  uint8_t second;
  int32_t duration;  // seconds (event_times.h DurationSeconds)
};

// Provided by eit.cpp, called by the section pass under ReaderLock.
// Whether the event (kPresentBit, kFollowingBit) of the current channel is wanted from a
// section of `version`: not yet captured, or, once both are, of a version not yet shown.
bool EventWanted(int32_t bit, uint8_t version);
// Whether a first descriptor without text may give way to the event's short event descriptor.
bool MayTakeLaterDescriptor(int32_t bit);
// Reads, formats, cleans and publishes the event; `section` holds the section's bytes at hand.
void CaptureSectionEvent(BlockView& section, const SectionEvent& event);
// Whether the guide's record of the event is wanted from a section of `version`: not yet read
// for this channel, or read from another version.
bool RecordWanted(int32_t bit, uint8_t version);
// Reads the record of the first event of the whole, CRC-checked section `sec` (`size` bytes)
// and publishes it for the guide window.
void CaptureRecord(const uint8_t* sec, size_t size, int32_t bit, uint8_t version);
// The EPG language preference of the block being read (packed, shared/languages.h).
uint64_t BlockLanguages();
// The channel generation the section pass reads for (under ReaderLock), and, under GuideLock,
// whether that is still the current channel's: what is read for a channel the viewer has left
// is dropped.
uint32_t SectionGeneration();
bool ReadingCurrentGenerationLocked();

// Walks the examined bytes [0, limit) of a block of `packets` 184-byte payloads section by
// section, for the service `current`. A section cut at `limit` is carried into the next call.
void SectionPass(const unsigned char* data, size_t limit, size_t packets, uint16_t current);
// Forgets a carried section (a block that does not continue it, a channel change).
void DropCarriedSection();
// The section pass's load-time state.
void ResetSectionPass();
