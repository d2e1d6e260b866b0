// Finds MPEG audio frames in a byte source: header test, byte-wise
// resynchronisation, and one search that confirms a file's frame by the
// next header (or by the audio's end after it) for playback, the file scan
// and the stream probe alike; a free-format stream's frame length is the
// distance to its next header. The scan reports a file's bit rate and
// sample rate. ID3v2 tags at the start are skipped unsearched, a
// Xing/Info/VBRI frame is not played, and gapless decoding trims what the
// encoder added.
#pragma once

#include <cstdint>

#include "decoder/FrameHeader.h"
#include "reader/ByteSource.h"
#include "reader/GaplessTrim.h"
#include "reader/SourceLayout.h"
#include "reader/TagSpans.h"

namespace bramble {

class FrameReader;
class MpegDecoder;

// The owner of a frame reader hears from it when the reader first locks on
// to a source, after the decoder is re-initialised and before the source's
// first frame is decoded: a player opens its output device there.
class LockOnListener {
 public:
  // False fails the read that locked on.
  virtual bool LockedOn(const FrameReader& reader) = 0;

 protected:
  ~LockOnListener() = default;
};

class FrameReader {
 public:
  static constexpr int kHeaderBytes = 4;
  static constexpr int kBodyBytes = kMaxFreeFrameLength;
  // Largest PCM block one frame yields (MPEG-1 Layer II/III), and the
  // buffer a caller of SynHeader provides: twice that.
  static constexpr int kMaxBlockBytes = 4608;
  static constexpr int kPcmBufferBytes = 2 * kMaxBlockBytes;

  enum SyncState { kSearching = 0, kOneFrameSeen = 1, kSynchronised = 2 };

  FrameReader() = default;
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // Binds a source and decoder (both borrowed; decoder may be null to only
  // walk the frames) and starts searching from the source's current place.
  void Attach(ByteSource* source, MpegDecoder* decoder);
  // Told of each source's first synchronisation (borrowed; may be null).
  void SetListener(LockOnListener* listener) { listener_ = listener; }

  // Tests the header area: 1 valid, 0 not a header, -1 invalid or not
  // matching the locked fields.
  int CheckHeader();

  // Reads the next frame and decodes it into `pcm` (kPcmBufferBytes).
  // 0 decoded, -2 the decoder rejected the frame, -1 end of data, read
  // failure or output open failure.
  int SynHeader(void* pcm);

  // Scans a file for its first two consecutive frames (or its one frame),
  // its tags and, without a frame count, whether its rate varies: a file
  // whose rate varies is walked frame by frame (FrameWalk.h). 0 with bit/s
  // (the average of a Xing, VBRI or walked file), channels (always 2) and
  // Hz; -1 when none are found, the file cannot be read or `name` is a
  // network address (outputs untouched). The layout is kept.
  int GetInfo(const char* name, int* bitrate, int* channels, int* sample_rate);
  // The same scan on an open source, which is left at its start. A source
  // of unknown size is neither probed nor walked.
  int ScanInfo(ByteSource& source, int* bitrate, int* channels, int* sample_rate);
  // The scan for its layout only.
  void ScanLayout(ByteSource& source);

  // The layout of the last scan, or as the owner set it (a stream's, from
  // its first bytes). Attach forgets it.
  const SourceLayout& layout() const { return layout_; }
  void SetLayout(const SourceLayout& layout);

  // Trims each decoded frame to the encoder's input (see GaplessTrim).
  void SetGapless(bool on) { gapless_ = on; }
  bool gapless() const { return gapless_; }

  // Moves the source to `offset` and resynchronises there. An offset
  // before the audio's start begins again with its first frame.
  bool SeekSource(long offset);

  const uint8_t* frame() const { return frame_; }
  int frame_size() const { return frame_size_; }
  // Where frame() begins in the source.
  long frame_offset() const { return frame_offset_; }
  bool output_opened() const { return output_opened_; }
  long byte_position() const { return byte_position_; }
  int block_size() const { return block_size_; }
  int byte_rate() const { return current_.bitrate_kbps * 125; }
  int sample_rate() const { return locked_.sample_rate; }
  // The header of the frame in frame().
  const FrameHeader& frame_header() const { return frame_header_; }

  // A header the search may take: a length within the bounds (a free
  // format's once its length is known) and, for the `first` header of a
  // search, a version and layer that exist together.
  static bool Lockable(const FrameHeader& h, bool first);

 private:
  // Reads a header and slides byte by byte until CheckHeader accepts one.
  bool FindHeader();
  // The free-format length (without padding) that the next header with
  // the same version, layer, rate and mode fixes; 0 when none follows
  // within the bounds.
  int FreeFormatLength(const FrameHeader& h);
  // Makes up to `n` bytes that follow available in pending_ without
  // consuming them; the count available.
  int Peek(int n);
  // The source's place, less what was read ahead.
  long SourcePos();
  // The audio ends at the source's place: the end of a source of known
  // size, or the start of its trailing ID3v1/APEv2 tags.
  bool AtEndOfAudio();
  // Copies the accepted header and reads the rest of its n-byte frame.
  bool LoadFrame(int n);
  // At the first synchronisation with a source: a fresh decoder, the
  // block size, and the listener told.
  bool LockOn();
  // The one search: finds the next frame and confirms it (a file's by the
  // matching header right after it, or by the audio's end) into frame_;
  // false at the end.
  bool NextFrame();
  // Searching from `offset` on; at the source's start tags come first.
  void RestartSearch(long offset);
  // Reads from the pushed-back bytes first, then from the source.
  int ReadSource(uint8_t* dst, int n);
  bool SkipId3v2Tags();
  bool SkipBytes(uint32_t n);
  // True when frame_ is the first frame of the audio and holds a header.
  bool TakeHeaderFrame();
  // Gapless: keeps the encoder's input of the frame just decoded.
  int TrimFrame(void* pcm, int64_t index);

  ByteSource* source_ = nullptr;
  MpegDecoder* decoder_ = nullptr;
  LockOnListener* listener_ = nullptr;

  uint8_t header_[kHeaderBytes] = {};
  // The frame to decode: its own header, then the body.
  uint8_t frame_[kHeaderBytes + kBodyBytes] = {};
  int frame_size_ = 0;
  long frame_offset_ = 0;

  FrameHeader locked_;   // fields a search locked on
  FrameHeader current_;  // the header last accepted
  FrameHeader frame_header_;
  int free_length_ = 0;  // the locked free-format length; 0 at a table rate
  bool keep_stream_ = false;  // from a seek until synchronised: locked_'s stream only
  int sync_state_ = kSearching;
  bool output_opened_ = false;
  long byte_position_ = 0;
  int block_size_ = 0;

  // Bytes read ahead (an ID3v2 tag that was none, a free-format frame's
  // partner, the start of trailing tags), read again before the source.
  uint8_t pending_[kHeaderBytes + kBodyBytes + kHeaderBytes] = {};
  int pending_pos_ = 0;
  int pending_len_ = 0;
  bool at_source_start_ = true;  // the next header read is the source's first bytes
  bool start_search_ = true;     // the next frame confirmed is the audio's first
  uint32_t tag_bytes_ = 0;       // ID3v2 bytes skipped at the start

  SourceLayout layout_;
  bool gapless_ = false;
  GaplessTrim trim_;
  // Of the next frame handed to the decoder; known when the search began
  // at the audio's start, not after a seek into it.
  int64_t frame_index_ = 0;
  bool index_known_ = true;
};

}  // namespace bramble
