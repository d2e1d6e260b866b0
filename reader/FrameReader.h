// Finds MPEG audio frames in a byte source: header test, byte-wise
// resynchronisation, two-frame confirmation for files, and the scan that
// reports a file's bit rate and sample rate. ID3v2 tags at the start are
// skipped unsearched, a Xing/Info/VBRI frame is not played, and gapless
// decoding trims what the encoder added.
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
  static constexpr int kBodyBytes = 4096;
  // The header test's bounds on frame_length, this format's own (every frame
  // the standards allow lies within: 24 to 1729 bytes).
  static constexpr int kMinFrameLength = 10;
  static constexpr int kMaxFrameLength = 1800;
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

  // Scans a file for its first two consecutive frames. 0 with bit/s (the
  // average of a Xing or VBRI file), channels (always 2) and Hz; -1 when
  // none are found, the file cannot be read or `name` is a network address
  // (outputs untouched). The layout is kept.
  int GetInfo(const char* name, int* bitrate, int* channels, int* sample_rate);
  // The same scan on an open source, which is left at its start.
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

  uint8_t* header() { return header_; }
  const uint8_t* frame() const { return frame_; }
  int frame_size() const { return frame_size_; }
  bool output_opened() const { return output_opened_; }
  long byte_position() const { return byte_position_; }
  int block_size() const { return block_size_; }
  int byte_rate() const { return current_.bitrate_kbps * 125; }
  int sample_rate() const { return locked_.sample_rate; }
  // The header of the frame in frame().
  const FrameHeader& frame_header() const { return frame_header_; }
  MpegDecoder* decoder() const { return decoder_; }

  // A header the search may take: a known bit rate, a length within the
  // bounds and, for the `first` header of a search, a version and layer
  // that exist together.
  static bool Lockable(const FrameHeader& h, bool first);

 private:
  // Reads a header and slides byte by byte until CheckHeader accepts one.
  bool FindHeader();
  // Copies the accepted header and reads the rest of its n-byte frame.
  bool LoadFrame(int n);
  // At the first synchronisation with a source: a fresh decoder, the
  // block size, and the listener told.
  bool LockOn();
  // Finds and confirms the next frame into frame_; false at the end.
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
  // The frame just read ends where the audio ends (known sizes only).
  bool AtAudioEnd() const;

  ByteSource* source_ = nullptr;
  MpegDecoder* decoder_ = nullptr;
  LockOnListener* listener_ = nullptr;

  uint8_t header_[kHeaderBytes] = {};
  // The frame to decode: its own header, then the body.
  uint8_t frame_[kHeaderBytes + kBodyBytes] = {};
  int frame_size_ = 0;

  FrameHeader locked_;   // fields a search locked on
  FrameHeader current_;  // the header last accepted
  FrameHeader frame_header_;
  int sync_state_ = kSearching;
  bool output_opened_ = false;
  long byte_position_ = 0;
  int block_size_ = 0;

  // Bytes read ahead while looking for an ID3v2 tag that was none.
  uint8_t pending_[kId3v2HeaderBytes] = {};
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
