// Arbitrary bytes through the QDX block reader (in chunks whose sizes the
// first byte picks) and, as a file and a stored order, through the ID3v1
// reader and the title builder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "decoder/EmbeddedData.h"
#include "tags/InfoBlocks.h"
#include "tags/Title.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bramble::InfoBlockReader* reader = new bramble::InfoBlockReader();
  static const std::string path = "/tmp/bramble_fuzz_tags_" + std::to_string(getpid()) + ".mp3";
  if (size < 2) return 0;
  bramble::EmbeddedChannel channel = {};
  // Touches the whole payload, so that a missing NUL shows.
  reader->SetNotify([](void*, const char* s, int, int32_t) { while (*(const volatile char*)s) ++s; }, nullptr);
  reader->ResetInfoBlocks(channel);
  const uint8_t shape = data[0];
  for (size_t at = 1, k = 0; at < size; ++k) {
    size_t chunk = 1 + ((shape >> (k % 8)) & 1 ? (size_t(shape) * (k + 1)) % 8191 : k % 37);
    if (chunk > size - at) chunk = size - at;
    reader->FeedInfoBlocks(data + at, int(chunk), int32_t(k));
    at += chunk;
  }
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    bramble::TitleOrderTable& order = bramble::CurrentTitleOrder();  // and the bytes as a stored order
    order = bramble::DefaultTitleOrder();
    bramble::ApplyStoredTitleOrder(&order, data + 1, size - 1 < 96 ? size - 1 : 96);
    for (bramble::TitleOrderEntry& e : order.entry) e.field_id = 4013 + int32_t(uint32_t(e.field_id) % 8);
    bramble::SetFileTitleHook(nullptr);  // no host call
    char title[256];
    bramble::BuildTitle(path.c_str(), title, 1 + shape);  // reads the file's ID3v1 tag
  }
  return 0;
}
