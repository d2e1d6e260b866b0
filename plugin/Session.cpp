#include "plugin/Session.h"

#include <cstring>

#include "reader/ByteSource.h"
#include "reader/Length.h"

namespace bramble {

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

int Session::GetLength(const char* name) {
  if (std::strncmp(name, cached_name_, kSourceNameBytes) == 0 && cached_length_ >= 0) return cached_length_;
  std::strncpy(cached_name_, name, kSourceNameBytes - 1);
  cached_name_[kSourceNameBytes - 1] = '\0';

  const uint32_t bytes = QuerySourceSize(name);
  // Only the open stream itself is measured at its bit rate, with what its
  // first bytes showed; any other name is a file to scan.
  if (stream_mode && std::strcmp(name, source_name_) == 0)
    cached_length_ = LengthMs(stream_layout, bytes, stream_bitrate, scanner.gapless());
  else
    cached_length_ = FileLengthMs(scanner, name, bytes);
  return cached_length_;
}

}  // namespace bramble
