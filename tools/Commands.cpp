#include "tools/Commands.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "decoder/dsp/Kernels.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"
#include "reader/FrameReader.h"
#include "reader/Length.h"
#include "tags/TagCommands.h"
#include "tools/WavWriter.h"

namespace bramble {
namespace cli {

void Fail(const char* format, const char* arg) {
  std::fprintf(stderr, "bramble: ");
  std::fprintf(stderr, format, arg);
  std::fputc('\n', stderr);
}

namespace {

const char* const kNoFrames = "no MPEG audio frames found in %s";
const char* const kCannotOpen = "cannot open %s";
const char* const kFullAccuracy = "--full-accuracy";

// Counts what it is given and keeps nothing.
class NullSink : public PcmSink {
 public:
  bool Write(const int16_t*, int, int) override { return true; }
};

bool ReadWholeFile(const char* name, std::vector<uint8_t>* out) {
  FileSource file;
  if (!file.Open(name)) return false;
  out->resize(size_t(file.Size()));
  return file.Read(out->data(), int(out->size())) == int(out->size());
}

const char* ModeName(int mode) {
  static const char* const kNames[4] = {"stereo", "joint_stereo", "dual_channel", "single_channel"};
  return kNames[mode & 3];
}

const char* VersionName(const FrameHeader& h) {
  if (h.mpeg25) return "2.5";
  return h.lsf ? "2" : "1";
}

}  // namespace

int Decode(int argc, char** argv) {
  const char* names[2] = {};
  int count = 0;
  bool gapless = false, full_accuracy = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gapless") == 0) {
      gapless = true;
    } else if (std::strcmp(argv[i], kFullAccuracy) == 0) {
      full_accuracy = true;
    } else if (count < 2) {
      names[count++] = argv[i];
    } else {
      count = 3;
    }
  }
  if (count != 2) {
    std::fprintf(stderr, "usage: bramble decode IN OUT [--gapless] [--full-accuracy]\n");
    return 2;
  }
  FileSource file;
  if (!file.Open(names[0])) {
    Fail(kCannotOpen, names[0]);
    return 1;
  }
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->SetFullAccuracy(full_accuracy);
  decoder->Init();
  FilePcmSink sink(names[1]);
  DecodeStats stats;
  const bool ok = DecodeSource(file, *decoder, sink, &stats, gapless);
  if (!stats.started) {
    Fail(kNoFrames, names[0]);
    return 1;
  }
  if (!ok || !sink.Finish()) {
    Fail("cannot write %s", names[1]);
    return 1;
  }
  return 0;
}

int Info(int argc, char** argv) {
  const bool full_accuracy = argc == 2 && std::strcmp(argv[1], kFullAccuracy) == 0;
  if (argc != 1 && !full_accuracy) {
    std::fprintf(stderr, "usage: bramble info IN [--full-accuracy]\n");
    return 2;
  }
  const char* name = argv[0];
  FileSource file;
  if (!file.Open(name)) {
    Fail(kCannotOpen, name);
    return 1;
  }
  FrameReader scanner;
  int bitrate = 0, channels = 0, rate = 0;
  if (scanner.GetInfo(name, &bitrate, &channels, &rate) != 0) {
    Fail(kNoFrames, name);
    return 1;
  }
  // Walk every frame without decoding; the first one describes the stream.
  FrameReader walker;
  walker.Attach(&file, nullptr);
  int frames = 0;
  FrameHeader first;
  while (walker.SynHeader(nullptr) != -1) {
    if (frames++ == 0) first = walker.frame_header();
  }
  const int length_ms = LengthMs(scanner.layout(), FileSize(name), bitrate, false);
  std::printf("version: %s\n", VersionName(first));
  std::printf("layer: %d\n", first.layer);
  std::printf("mode: %s\n", ModeName(first.mode));
  std::printf("sample_rate: %d\n", rate);
  std::printf("bitrate: %d\n", bitrate);
  std::printf("length_ms: %d\n", length_ms);
  std::printf("frames: %d\n", frames);
  // Which synthesis `decode` with the same option runs.
  std::printf("accuracy: %s\n", full_accuracy ? "full" : "limited");
  PrintTagLines(name);
  return 0;
}

namespace {
// The time a length takes to learn: the file scan (first frames, tags,
// probes, a walk when the rate varies), best of a few runs, in wall-clock
// and processor time (a busy machine stretches the first).
int BenchLength(const char* name) {
  double best = 1e9, best_cpu = 1e9;
  int length = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    FrameReader scanner;
    int bitrate = 0, channels = 0, rate = 0;
    if (scanner.GetInfo(name, &bitrate, &channels, &rate) != 0) {
      Fail(kNoFrames, name);
      return 1;
    }
    length = LengthMs(scanner.layout(), FileSize(name), bitrate, false);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, ms);
    best_cpu = std::min(best_cpu, double(std::clock() - cpu_start) * 1000.0 / CLOCKS_PER_SEC);
  }
  std::printf("length_ms: %d\nscan_ms: %.3f\nscan_cpu_ms: %.3f\n", length, best, best_cpu);
  return 0;
}
}  // namespace

int Bench(int argc, char** argv) {
  double seconds = 3.0;
  const char* name = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--length") == 0 && i + 1 == argc && name) return BenchLength(name);
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (!name) {
      name = argv[i];
    } else {
      name = nullptr;
      break;
    }
  }
  if (!name || !(seconds > 0.0)) {
    std::fprintf(stderr, "usage: bramble bench IN [--seconds N]\n");
    return 2;
  }
  std::vector<uint8_t> data;
  if (!ReadWholeFile(name, &data)) {
    Fail(kCannotOpen, name);
    return 1;
  }
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  NullSink sink;
  DecodeStats stats;
  int64_t frames = 0, sample_frames = 0;
  int passes = 0;
  const std::clock_t cpu_start = std::clock();
  const auto wall_start = std::chrono::steady_clock::now();
  double wall = 0.0;
  do {
    MemorySource source(data.data(), data.size());
    DecodeSource(source, *decoder, sink, &stats);
    if (!stats.started) {
      Fail(kNoFrames, name);
      return 1;
    }
    frames += stats.frames;
    sample_frames += stats.expected_sample_frames;
    ++passes;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  } while (wall < seconds);
  double cpu = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  if (cpu <= 0.0) cpu = wall;
  const double audio_seconds = double(sample_frames) / stats.sample_rate;
  std::printf("x_realtime: %.1f\n", audio_seconds / cpu);
  std::printf("ns_per_frame: %.0f\n", cpu * 1e9 / double(frames));
  std::printf("frames_per_pass: %d\n", stats.frames);
  std::printf("passes: %d\n", passes);
  std::printf("cpu_seconds: %.3f\n", cpu);
  std::printf("kernels: %s\n", dsp::Selected().name);
  return 0;
}

}  // namespace cli
}  // namespace bramble
