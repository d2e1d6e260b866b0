// qdxembed: writes a Layer III test stream whose embedded data channel
// carries Text and URL information blocks, and the lines `bramble qdx`
// must print for it.
//
//   qdxembed OUT.mp3 EXPECTED.txt [--seed N] [--version 1|2|25] [--mono]
//
// The blocks are a fixed set; the same arguments give the same bytes.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tools/streams/QdxStream.h"

using bramble::test::QdxBlock;

int main(int argc, char** argv) {
  bramble::test::QdxStreamOptions options;
  bool ok = argc >= 3;
  for (int i = 3; ok && i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seed" && i + 1 < argc) options.seed = uint32_t(std::strtoul(argv[++i], nullptr, 10));
    else if (arg == "--version" && i + 1 < argc) options.version = std::atoi(argv[++i]);
    else if (arg == "--mono") options.mode = 3;
    else ok = false;
  }
  if (!ok || (options.version != 1 && options.version != 2 && options.version != 25)) {
    std::fprintf(stderr, "usage: qdxembed OUT.mp3 EXPECTED.txt [--seed N] [--version 1|2|25] [--mono]\n");
    return 2;
  }
  if (options.version != 1) options.bitrate_index = 8;
  bramble::test::QdxStream stream;
  std::string error;
  const std::vector<QdxBlock> blocks = {
      {QdxBlock::kText, "Now playing: a test tone in eight notes"},
      {QdxBlock::kUrl, "http://example.invalid/qdx/first"},
      {QdxBlock::kText, ""},
      {QdxBlock::kText, "A longer line that needs several channel blocks to arrive: "
                        "0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ, "
                        "back\\slash and caf\xC3\xA9 too."},
      {QdxBlock::kUrl, "http://example.invalid/qdx/second?a=1&b=2"},
      {QdxBlock::kText, "The last words"},
  };
  if (!bramble::test::BuildQdxStream(blocks, options, &stream, &error)) {
    std::fprintf(stderr, "qdxembed: %s\n", error.c_str());
    return 1;
  }
  std::ofstream mp3(argv[1], std::ios::binary);
  mp3.write(reinterpret_cast<const char*>(stream.bytes.data()), std::streamsize(stream.bytes.size()));
  std::ofstream expected(argv[2], std::ios::binary);
  for (const auto& p : stream.planted) expected << bramble::test::QdxLine(p.time_ms, p.kind, p.payload) << '\n';
  if (!mp3.good() || !expected.good()) {
    std::fprintf(stderr, "qdxembed: cannot write the output\n");
    return 1;
  }
  return 0;
}
