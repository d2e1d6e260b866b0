#include "plugin/reader/FrameReader.h"

#include <cstring>

#include "decoder/MpegDecoder.h"
#include "decoder/Tables.h"
#include "plugin/reader/StreamState.h"

namespace bramble {

void FrameReader::Attach(ByteSource* source, MpegDecoder* decoder) {
  source_ = source;
  decoder_ = decoder;
  sync_state_ = kSearching;
  output_opened_ = false;
  byte_position_ = 0;
  frame_size_ = 0;
}

int FrameReader::BlockSizeFor(int layer, int version_bit) {
  // MPEG-2 Layer II keeps 1152 samples per frame; only LSF Layer III halves.
  return 4 * SamplesPerFrame(layer, version_bit ? 0 : 1);
}

int FrameReader::FrameLengthFor(int layer, int lsf, int kbps, int rate) {
  if (layer == 1) return 4 * (12000 * kbps / rate);
  // 1152 samples per Layer II frame at every rate (ISO/IEC 13818-3 2.4.3.1);
  // only LSF Layer III frames carry 576.
  return (layer == 3 && lsf ? 72000 : 144000) * kbps / rate;
}

int FrameReader::CheckHeader() {
  const int b0 = header_[0], b1 = header_[1], b2 = header_[2], b3 = header_[3];
  (void)b3;
  if (b0 != 0xFF || (b1 & 0xE0) != 0xE0 || (b1 & 0x06) == 0) return 0;
  if ((b2 & 0xF0) == 0x00 || (b2 & 0xF0) == 0xF0 || (b2 & 0x0C) == 0x0C) return 0;

  const int is25 = (b1 & 0xF0) == 0xE0;
  const int version = (b1 >> 3) & 1;
  const int layer = 4 - ((b1 >> 1) & 3);
  const int row = is25 ? 2 : (version ? 0 : 1);
  const int rate = kSampleRateHz[3 * row + ((b2 >> 2) & 3)];

  if (sync_state_ == kSearching) {
    if (is25 && (version || layer != 3)) return -1;
    mpeg25_ = is25;
    version_bit_ = version;
    layer_ = layer;
    sample_rate_ = rate;
  } else if (is25 != mpeg25_ || version != version_bit_ || layer != layer_ || rate != sample_rate_) {
    return -1;
  }

  bitrate_index_ = b2 >> 4;
  const int kbps = kBitrateKbps[version ? 0 : 1][layer - 1][bitrate_index_];
  byte_rate_ = kbps * 125;
  frame_length_ = FrameLengthFor(layer, version ? 0 : 1, kbps, rate);
  padding_ = (b2 >> 1) & 1;
  if (frame_length_ > kMaxFrameLength || frame_length_ < kMinFrameLength) return -1;
  return 1;
}

int FrameReader::PaddedLength() const {
  return frame_length_ + padding_ * (layer_ == 1 ? 4 : 1);
}

bool FrameReader::FindHeader() {
  if (source_->Read(header_, kHeaderBytes) != kHeaderBytes) return false;
  while (CheckHeader() != 1) {
    // "Can't find SyncHeader": slide one byte and look again.
    header_[0] = header_[1];
    header_[1] = header_[2];
    header_[2] = header_[3];
    sync_state_ = kSearching;
    if (source_->Read(&header_[3], 1) != 1) return false;
    ++byte_position_;
  }
  return true;
}

bool FrameReader::LoadFrame(int n) {
  std::memcpy(frame_, header_, kHeaderBytes);
  const int body = n - kHeaderBytes;
  if (body < 0 || body > kBodyBytes) return false;
  if (source_->Read(frame_ + kHeaderBytes, body) != body) return false;
  frame_size_ = n;
  return true;
}

bool FrameReader::EnsureOutput() {
  if (output_opened_) return true;
  if (OpenOutput() != 0) return false;
  output_opened_ = true;
  return true;
}

int FrameReader::OpenOutput() {
  if (decoder_) decoder_->Init();
  block_size_ = BlockSizeFor(layer_, version_bit_);
  return 0;
}

int FrameReader::SynHeader(void* pcm) {
  if (!source_) return -1;
  const bool stream = source_->IsStream();
  for (;;) {
    const long pass_start = byte_position_;
    const long offset = stream ? 0 : source_->Tell();
    if (!FindHeader()) return -1;
    const int n = PaddedLength();
    if (stream) {
      if (!LoadFrame(n) || !EnsureOutput()) return -1;
      sync_state_ = kSynchronised;
    } else if (sync_state_ != kOneFrameSeen) {
      if (!LoadFrame(n)) return -1;
      byte_position_ += n;
    } else {
      // This header confirms the frame read last pass: decode that one and
      // read this header again next pass.
      byte_position_ = pass_start;
      if (!source_->Seek(offset) || !EnsureOutput()) return -1;
    }
    if (sync_state_ < kSynchronised) ++sync_state_;
    if (sync_state_ == kSynchronised) break;
  }
  block_size_ = BlockSizeFor(layer_, version_bit_);
  if (!decoder_) return 0;
  return decoder_->DecodeFrame(frame_, frame_size_, pcm) == 0 ? -2 : 0;
}

bool FrameReader::SeekSource(long offset) {
  sync_state_ = kSearching;
  if (!source_ || !source_->Seek(offset)) return false;
  byte_position_ = offset;
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

int FrameReader::ScanInfo(ByteSource& source, int* bitrate, int* channels, int* sample_rate) {
  ByteSource* const saved = source_;
  source_ = &source;
  sync_state_ = kSearching;
  byte_position_ = 0;
  bool found = true;
  while (sync_state_ < kSynchronised) {
    if (!FindHeader()) {
      found = false;
      break;
    }
    if (sync_state_ != kOneFrameSeen) {
      if (!LoadFrame(PaddedLength())) {
        found = false;
        break;
      }
      byte_position_ += frame_size_;
    }
    ++sync_state_;
  }
  source.Seek(0);
  byte_position_ = 0;
  source_ = saved;
  if (!found) return -1;
  *bitrate = byte_rate_ * 8;
  *channels = 2;
  *sample_rate = sample_rate_;
  return 0;
}

}  // namespace bramble
