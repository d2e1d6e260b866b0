#include <cstdio>
#include <memory>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "tags/InfoBlocks.h"
#include "tools/Commands.h"
#include "tools/QdxCommand.h"

namespace bramble {
namespace cli {

namespace {

// Restarts the clock where the plug-in opens its output.
class QdxClock final : public LockOnListener {
 public:
  int32_t decode_time = 0;

  bool LockedOn(const FrameReader&) override {
    decode_time = 0;
    return true;
  }
};

void PrintBlock(void*, const char* text, int url_flag, int32_t time_ms) {
  std::printf("%d\t%s\t", int(time_ms), url_flag ? "url" : "text");
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p == '\\') std::fputs("\\\\", stdout);
    else if (*p == '\t') std::fputs("\\t", stdout);
    else if (*p == '\n') std::fputs("\\n", stdout);
    else if (*p < 0x20 || *p >= 0x7F) std::printf("\\x%02X", *p);
    else std::putchar(*p);
  }
  std::putchar('\n');
}

alignas(16) int16_t g_pcm[FrameReader::kPcmBufferBytes / 2];

}  // namespace

int RunQdxCommand(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: bramble qdx FILE\n");
    return 2;
  }
  FileSource file;
  if (!file.Open(argv[0])) {
    Fail("cannot open %s", argv[0]);
    return 1;
  }
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  auto reader = std::make_unique<FrameReader>();
  QdxClock clock;
  reader->SetListener(&clock);
  reader->Attach(&file, decoder.get());
  auto blocks = std::make_unique<InfoBlockReader>();
  blocks->SetNotify(PrintBlock, nullptr);
  blocks->ResetInfoBlocks(decoder->embedded());
  bool found = false;
  for (;;) {
    const int r = reader->SynHeader(g_pcm);
    if (r == -1) break;
    found = true;
    // Only a frame that yielded PCM advances the clock, by its block's
    // whole milliseconds; its channel bytes carry the advanced time.
    const unsigned rate = unsigned(reader->sample_rate());
    if (r == 0 && rate > 0)
      clock.decode_time = int32_t(unsigned(clock.decode_time) + unsigned(reader->block_size() / 4) * 1000u / rate);
    if (decoder->embedded().bytes != 0) blocks->FeedFromDecoder(decoder->embedded(), clock.decode_time);
  }
  std::fflush(stdout);
  if (!found) {
    Fail("no MPEG audio frames found in %s", argv[0]);
    return 1;
  }
  return 0;
}

}  // namespace cli
}  // namespace bramble
