#include "reader/FrameReader.h"

#include <algorithm>
#include <cstring>

#include "decoder/MpegDecoder.h"
#include "reader/FrameWalk.h"
#include "reader/VbrHeader.h"

namespace bramble {

namespace {
// The last bytes of a source hold its trailing tags.
constexpr int kTailBytes = 160;
}  // namespace

void FrameReader::Attach(ByteSource* source, MpegDecoder* decoder) {
  source_ = source;
  decoder_ = decoder;
  output_opened_ = false;
  frame_size_ = 0;
  locked_ = current_ = FrameHeader();  // no rate of an earlier source
  layout_ = SourceLayout();
  trim_ = GaplessTrim();
  RestartSearch(0);
}

void FrameReader::RestartSearch(long offset) {
  sync_state_ = kSearching;
  keep_stream_ = false;
  byte_position_ = offset;
  pending_pos_ = pending_len_ = 0;
  at_source_start_ = offset == 0;
  if (at_source_start_) tag_bytes_ = 0;
  start_search_ = offset <= long(layout_.audio_start);
  index_known_ = start_search_;
  if (start_search_) frame_index_ = 0;
}

void FrameReader::SetLayout(const SourceLayout& layout) {
  layout_ = layout;
  trim_ = GaplessTrim::For(layout_.vbr, layout_.samples_per_frame);
}

bool FrameReader::Lockable(const FrameHeader& h, bool first) {
  // MPEG-2.5 is Layer III only, and its ID bit set is the reserved version.
  const int longest = h.bitrate_index == 0 ? kMaxFreeFrameLength : kMaxFrameLength;
  if (h.frame_length > longest || h.frame_length < kMinFrameLength) return false;
  return !first || !(h.mpeg25 && (h.id || h.layer != 3));
}

int FrameReader::CheckHeader() {
  FrameHeader h;
  if (!ParseFrameHeader(header_, &h)) return 0;
  const bool free = h.bitrate_index == 0;
  if (sync_state_ == kSearching) {
    // After a seek the audio's own patterns are not taken for another
    // stream: a free-format pair among a table rate's frames, say.
    if (keep_stream_ && (!SameStream(h, locked_) || free != (free_length_ > 0))) return -1;
    // A free-format frame's length is the distance to the next header.
    const int length = free ? FreeFormatLength(h) : 0;
    if (free && (length == 0 || (keep_stream_ && length != free_length_))) return -1;
    if (free && !ParseFrameHeader(header_, &h, length)) return -1;
    if (!Lockable(h, true)) return -1;
    locked_ = h;
    free_length_ = length;
  } else if (!SameStream(h, locked_) || free != (free_length_ > 0)) {
    return -1;
  } else if (free) {
    ParseFrameHeader(header_, &h, free_length_);
  }
  current_ = h;
  return Lockable(h, false) ? 1 : -1;
}

int FrameReader::FreeFormatLength(const FrameHeader& h) {
  const int padding = h.padding_bit * PaddingBytes(h.layer);
  // The partner's header lies at most the longest frame and its padding on.
  const int got = Peek(kMaxFreeFrameLength + padding);
  const uint8_t* p = pending_ + pending_pos_;
  for (int at = kMinFrameLength + padding - kHeaderBytes; at + kHeaderBytes <= got; ++at) {
    FrameHeader next;
    if (p[at] != 0xFF || !ParseFrameHeader(p + at, &next)) continue;
    if (next.bitrate_index == 0 && SameStream(next, h) && next.mode == h.mode) return at + kHeaderBytes - padding;
  }
  return 0;
}

int FrameReader::Peek(int n) {
  int have = pending_len_ - pending_pos_;
  if (have < n) {
    std::memmove(pending_, pending_ + pending_pos_, size_t(have));
    pending_pos_ = 0;
    pending_len_ = have + std::max(0, source_->Read(pending_ + have, n - have));
    have = pending_len_;
  }
  return std::min(have, n);
}

long FrameReader::SourcePos() { return source_->Tell() - (pending_len_ - pending_pos_); }

bool FrameReader::AtEndOfAudio() {
  if (source_->IsStream()) return false;
  const long size = source_->Size(), at = SourcePos();
  if (size <= 0 || at <= 0 || at > size) return false;
  if (at == size) return true;
  // Trailing tags begin "TAG" (ID3v1) or "APETAGEX" (APEv2).
  const int got = Peek(kHeaderBytes);
  const uint8_t* p = pending_ + pending_pos_;
  if (got < 3 || !(std::memcmp(p, "TAG", 3) == 0 || (got == 4 && std::memcmp(p, "APET", 4) == 0))) return false;
  const long here = source_->Tell();
  const long tail = std::min<long>(kTailBytes, size);
  uint8_t bytes[kTailBytes];
  const bool read = source_->Seek(size - tail) && source_->Read(bytes, int(tail)) == int(tail);
  if (!source_->Seek(here) || !read) return false;
  return TrailingTagSize(bytes, size_t(tail), uint32_t(size)) == uint32_t(size - at);
}

int FrameReader::ReadSource(uint8_t* dst, int n) {
  int got = 0;
  while (got < n && pending_pos_ < pending_len_) dst[got++] = pending_[pending_pos_++];
  if (got < n) got += source_->Read(dst + got, n - got);
  return got;
}

bool FrameReader::SkipBytes(uint32_t n) {
  if (source_->IsStream()) {
    // A stream is read through: its server need not take ranges.
    while (n > 0) {
      const int step = int(std::min<uint32_t>(n, kBodyBytes));
      if (source_->Read(frame_, step) != step) return false;
      n -= uint32_t(step);
    }
    return true;
  }
  // A tag that claims more than the file holds is not trusted.
  const long at = source_->Tell();
  const long size = source_->Size();
  if (at < 0 || size <= at || uint32_t(size - at) < n) return false;
  return source_->Seek(at + long(n));
}

bool FrameReader::SkipId3v2Tags() {
  for (int tags = 0; tags < kMaxLeadingTags && std::memcmp(header_, "ID3", 3) == 0; ++tags) {
    uint8_t tag[kId3v2HeaderBytes];
    std::memcpy(tag, header_, kHeaderBytes);
    const int more = ReadSource(tag + kHeaderBytes, kId3v2HeaderBytes - kHeaderBytes);
    const uint32_t size = Id3v2TagSize(tag, size_t(kHeaderBytes + more));
    if (size == 0 || !SkipBytes(size - kId3v2HeaderBytes)) {
      // No tag after all: its bytes are searched like any others.
      std::memcpy(pending_, tag + kHeaderBytes, size_t(more));
      pending_pos_ = 0;
      pending_len_ = more;
      return true;
    }
    byte_position_ += long(size);
    tag_bytes_ += size;
    if (ReadSource(header_, kHeaderBytes) != kHeaderBytes) return false;
  }
  return true;
}

bool FrameReader::FindHeader() {
  if (ReadSource(header_, kHeaderBytes) != kHeaderBytes) return false;
  if (at_source_start_) {
    // Nothing inside a tag (a picture, say) may be taken for audio.
    at_source_start_ = false;
    if (!SkipId3v2Tags()) return false;
  }
  while (CheckHeader() != 1) {
    if (sync_state_ == kOneFrameSeen && !source_->IsStream()) {
      // The frame found last pass is not confirmed, and its body may hold
      // the real next header: look again from just after where it began.
      sync_state_ = kSearching;
      byte_position_ = frame_offset_ + 1;
      pending_pos_ = pending_len_ = 0;
      if (!source_->Seek(byte_position_) || ReadSource(header_, kHeaderBytes) != kHeaderBytes) return false;
      continue;
    }
    // "Can't find SyncHeader": slide one byte and look again.
    header_[0] = header_[1];
    header_[1] = header_[2];
    header_[2] = header_[3];
    sync_state_ = kSearching;
    if (ReadSource(&header_[3], 1) != 1) return false;
    ++byte_position_;
  }
  return true;
}

bool FrameReader::LoadFrame(int n) {
  frame_offset_ = SourcePos() - kHeaderBytes;
  std::memcpy(frame_, header_, kHeaderBytes);
  frame_header_ = current_;
  const int body = n - kHeaderBytes;
  if (body < 0 || body > kBodyBytes) return false;
  if (ReadSource(frame_ + kHeaderBytes, body) != body) return false;
  frame_size_ = n;
  return true;
}

bool FrameReader::LockOn() {
  if (output_opened_) return true;
  if (decoder_) decoder_->Init();
  block_size_ = locked_.pcm_bytes;
  if (listener_ && !listener_->LockedOn(*this)) return false;
  output_opened_ = true;
  return true;
}

bool FrameReader::NextFrame() {
  const bool stream = source_->IsStream();
  for (;;) {
    const long pass_start = byte_position_;
    const long offset = stream ? 0 : SourcePos();
    // A frame alone is confirmed where the audio ends right after it.
    if (sync_state_ == kOneFrameSeen && AtEndOfAudio()) {
      sync_state_ = kSynchronised;
      return true;
    }
    if (!FindHeader()) return false;
    const int n = current_.frame_bytes;
    if (stream) {
      if (!LoadFrame(n)) return false;
      sync_state_ = kSynchronised;
    } else if (sync_state_ != kOneFrameSeen) {
      if (!LoadFrame(n)) return false;
      byte_position_ += n;
    } else {
      // This header confirms the frame read last pass: decode that one and
      // read this header again next pass.
      byte_position_ = pass_start;
      pending_pos_ = pending_len_ = 0;
      if (!source_->Seek(offset)) return false;
    }
    if (sync_state_ < kSynchronised) ++sync_state_;
    if (sync_state_ == kSynchronised) {
      keep_stream_ = false;
      return true;
    }
  }
}

bool FrameReader::TakeHeaderFrame() {
  if (!start_search_) return false;
  start_search_ = false;
  VbrHeader header;
  if (!ParseVbrHeader(frame_, size_t(frame_size_), &header)) return false;
  // Not audio: it is not decoded, and the next frame is the first. A
  // stream's header counts only as its owner found it (SetLayout): on a
  // live mount it may be some file's, whose end is not the stream's.
  if (!source_->IsStream()) trim_ = GaplessTrim::For(header, locked_.samples_per_frame);
  frame_index_ = 0;
  return true;
}

int FrameReader::SynHeader(void* pcm) {
  if (!source_) return -1;
  do {
    if (!NextFrame() || !LockOn()) return -1;
  } while (TakeHeaderFrame());
  block_size_ = locked_.pcm_bytes;
  const int64_t index = frame_index_++;
  if (!decoder_) return 0;
  decoder_->SetFreeFormatLength(free_length_);
  if (decoder_->DecodeFrame(frame_, frame_size_, pcm) == 0) return -2;
  return gapless_ ? TrimFrame(pcm, index) : 0;
}

int FrameReader::TrimFrame(void* pcm, int64_t index) {
  if (!trim_.active()) return 0;
  // After a seek into the audio the frame's place is not known (a table
  // is far coarser than a frame): only the last frame, found by its end,
  // is trimmed, so that no audio is ever cut.
  if (!index_known_) {
    if (trim_.frames() == 0 || !AtEndOfAudio()) return 0;
    index = int64_t(trim_.frames()) - 1;
  }
  int skip = 0, keep = 0;
  trim_.Keep(index * locked_.samples_per_frame, decoder_->pcm_bytes() / 4, &skip, &keep);
  auto* values = static_cast<int16_t*>(pcm);
  if (skip > 0 && keep > 0) std::memmove(values, values + 2 * skip, size_t(keep) * 4);
  // What the frame yields is what the owner writes.
  decoder_->KeepPcmBytes(4 * keep);
  block_size_ = 4 * keep;
  return keep > 0 ? 0 : -2;
}

bool FrameReader::SeekSource(long offset) {
  if (offset < long(layout_.audio_start)) offset = long(layout_.audio_start);
  sync_state_ = kSearching;
  if (!source_ || !source_->Seek(offset)) return false;
  RestartSearch(offset);
  keep_stream_ = locked_.sample_rate > 0;
  return true;
}

int FrameReader::GetInfo(const char* name, int* bitrate, int* channels, int* sample_rate) {
  sync_state_ = kSearching;
  // A network address is no file to scan; any file is, also while a
  // stream plays.
  if (IsNetworkName(name)) return -1;
  FileSource file;
  if (!file.Open(name)) return -1;
  return ScanInfo(file, bitrate, channels, sample_rate);
}

void FrameReader::ScanLayout(ByteSource& source) {
  int bitrate = 0, channels = 0, rate = 0;
  ScanInfo(source, &bitrate, &channels, &rate);
}

int FrameReader::ScanInfo(ByteSource& source, int* bitrate, int* channels, int* sample_rate) {
  ByteSource* const saved = source_;
  source_ = &source;
  layout_ = SourceLayout();
  RestartSearch(0);
  const bool found = NextFrame();
  SourceLayout layout;
  if (found) {
    // frame_ holds the first frame: the audio's first, or its header.
    layout.source_bytes = uint32_t(std::max(0L, source.Size()));
    layout.audio_start = tag_bytes_;
    layout.sample_rate = locked_.sample_rate;
    layout.samples_per_frame = locked_.samples_per_frame;
    ParseVbrHeader(frame_, size_t(frame_size_), &layout.vbr);
    const long size = source.Size();
    const long tail = std::min<long>(kTailBytes, size - long(tag_bytes_));
    uint8_t bytes[kTailBytes];
    if (tail > 0 && source.Seek(size - tail) && source.Read(bytes, int(tail)) == int(tail))
      layout.tail_bytes = TrailingTagSize(bytes, size_t(tail), uint32_t(size - long(tag_bytes_)));
    if (layout.source_bytes > 0 && !source.IsStream() && !HasFrameCount(layout))
      WalkIfVariable(source, frame_header_, &layout);
  }
  source.Seek(0);
  source_ = saved;
  SetLayout(layout);
  RestartSearch(0);
  if (!found) return -1;
  const int average = AverageBitrate(layout_);
  *bitrate = average > 0 ? average : byte_rate() * 8;
  *channels = 2;
  *sample_rate = locked_.sample_rate;
  return 0;
}

}  // namespace bramble
