// Arbitrary bytes through the QDX block reader (in chunks whose sizes the
// input picks), the ID3v1 reader and the title builder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "decoder/MpegDecoder.h"
#include "tags/Id3v1Tag.h"
#include "tags/InfoBlocks.h"
#include "tags/Title.h"

namespace {

void Ignore(void*, const char* text, int, int32_t) {
  // Touch the whole payload so a missing NUL shows up.
  volatile size_t n = 0;
  while (text[n] != '\0') n = n + 1;
}

int NoFileTitle(const char*, char* out, int capacity) {
  if (capacity > 0) out[0] = '\0';
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bramble::MpegDecoder* decoder = new bramble::MpegDecoder();
  static bramble::InfoBlockReader* reader = new bramble::InfoBlockReader();
  static const std::string path = "/tmp/bramble_fuzz_tags_" + std::to_string(getpid()) + ".mp3";
  if (size < 2) return 0;

  reader->SetNotify(&Ignore, nullptr);
  reader->ResetInfoBlocks(decoder->embedded());
  // Chunk sizes cycle through the first byte's pattern, up to 8191 bytes.
  const uint8_t shape = data[0];
  size_t at = 1;
  for (int k = 0; at < size; ++k) {
    size_t chunk = 1 + ((shape >> (k % 8)) & 1 ? (static_cast<size_t>(shape) * (k + 1)) % 8191 : k % 37);
    if (chunk > size - at) chunk = size - at;
    reader->FeedInfoBlocks(data + at, static_cast<int>(chunk), k);
    at += chunk;
  }

  // The same bytes as a file: tag, stored order and title.
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    bramble::Id3v1Tag tag;
    tag.ReadFromFile(path.c_str());
    bramble::TitleOrderTable order = bramble::DefaultTitleOrder();
    bramble::ApplyStoredTitleOrder(&order, data + 1, size - 1 < 96 ? size - 1 : 96);
    for (bramble::TitleOrderEntry& e : order.entry) {
      e.position &= 7;
      e.field_id = 4013 + static_cast<int32_t>(static_cast<uint32_t>(e.field_id) % 8);
    }
    bramble::CurrentTitleOrder() = order;
    bramble::SetFileTitleHook(&NoFileTitle);
    char title[256];
    bramble::BuildTitle(path.c_str(), title, 1 + shape);
  }
  return 0;
}
