#include "plugin/Session.h"

#include <cstring>

#include "reader/ByteSource.h"
#include "reader/Length.h"

namespace bramble {

namespace {
// What tells two files of one name and size apart: their first bytes (tags,
// the header frame) and their last (trailing tags). FNV-1a.
uint64_t Fingerprint(const char* name) {
  FileSource file;
  if (!file.Open(name)) return 0;
  uint8_t bytes[4096];
  uint64_t hash = 14695981039346656037ull;
  auto mix = [&](int n) {
    for (int i = 0; i < n; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  };
  mix(file.Read(bytes, int(sizeof bytes)));
  constexpr long kTail = 160;
  if (file.Size() > long(sizeof bytes) && file.Seek(file.Size() - kTail)) mix(file.Read(bytes, int(kTail)));
  return hash;
}
}  // namespace

void Session::SetSourceName(const char* name) {
  std::strncpy(source_name_, name ? name : "", kSourceNameBytes - 1);
  source_name_[kSourceNameBytes - 1] = '\0';
}

uint32_t Session::QuerySourceSize(const char* name) const {
  // The open stream's size comes from its record, not from a file.
  uint32_t bytes = 0;
  if (content_length_ && IsNetworkName(name) && std::strcmp(name, source_name_) == 0 && content_length_(&bytes))
    return bytes;
  return FileSize(name);
}

const Session::FileScan& Session::ScanFile(const char* name, uint32_t bytes) {
  const bool same = std::strncmp(name, cached_name_, kSourceNameBytes) == 0;
  const uint64_t print = Fingerprint(name);
  if (same && scanned_ && bytes == scanned_bytes_ && print == scanned_print_) return scan_;
  cached_length_ = -1;
  std::strncpy(cached_name_, name, kSourceNameBytes - 1);
  cached_name_[kSourceNameBytes - 1] = '\0';
  scan_ = FileScan();
  int channels = 0;
  scan_.found = scanner.GetInfo(name, &scan_.bitrate, &channels, &scan_.sample_rate) == 0;
  if (scan_.found)
    scan_.layout = scanner.layout();
  else
    scan_.bitrate = 0;
  scanned_ = true;
  scanned_bytes_ = bytes;
  scanned_print_ = print;
  return scan_;
}

int Session::GetLength(const char* name) {
  if (std::strncmp(name, cached_name_, kSourceNameBytes) == 0 && cached_length_ >= 0) return cached_length_;
  const uint32_t bytes = QuerySourceSize(name);
  // Only the open stream itself is measured at its bit rate, with what its
  // first bytes showed; any other name is a file to scan.
  if (stream_mode && std::strcmp(name, source_name_) == 0) {
    std::strncpy(cached_name_, name, kSourceNameBytes - 1);
    cached_name_[kSourceNameBytes - 1] = '\0';
    scanned_ = false;
    cached_length_ = LengthMs(stream_layout, bytes, stream_bitrate, scanner.gapless());
  } else {
    const FileScan& scan = ScanFile(name, bytes);
    // Without frames, at 128 kbit/s.
    cached_length_ = LengthMs(scan.layout, bytes, scan.bitrate, scanner.gapless());
  }
  return cached_length_;
}

}  // namespace bramble
