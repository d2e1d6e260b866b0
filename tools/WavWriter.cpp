#include "tools/WavWriter.h"

#include <cctype>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace bramble {

namespace {
void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}
}  // namespace

bool IsWavPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".wav";
}

FilePcmSink::FilePcmSink(std::string path) : path_(std::move(path)), wav_(IsWavPath(path_)) {}

FilePcmSink::~FilePcmSink() {
  if (file_ && file_ != stdout) std::fclose(file_);
}

bool FilePcmSink::Start(int sample_rate) {
  sample_rate_ = sample_rate;
  if (path_ == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    file_ = stdout;
  } else {
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_) return false;
  }
  // Frames come in blocks of a few kilobytes: write them in fewer, larger
  // pieces. Standard output may outlive the sink, so its buffer is static.
  static char stdout_buffer[kBufferBytes];
  if (file_ != stdout) buffer_.resize(kBufferBytes);
  std::setvbuf(file_, file_ == stdout ? stdout_buffer : buffer_.data(), _IOFBF, kBufferBytes);
  return file_ == stdout || !wav_ || WriteHeader(0);
}

bool FilePcmSink::WriteHeader(uint32_t data_bytes) {
  uint8_t h[44];
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, 36 + data_bytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);                      // fmt chunk size
  Put16(h + 20, 1);                       // integer PCM
  Put16(h + 22, 2);                       // channels
  Put32(h + 24, uint32_t(sample_rate_));
  Put32(h + 28, uint32_t(sample_rate_) * 4);  // bytes per second
  Put16(h + 32, 4);                       // bytes per sample frame
  Put16(h + 34, 16);                      // bits per sample
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, data_bytes);
  return std::fwrite(h, 1, sizeof h, file_) == sizeof h;
}

bool FilePcmSink::Write(const int16_t* pcm, int values, int channels) {
  if (values > 4608) values = 4608;
  const size_t n = size_t(values) * 2;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // The samples are little-endian already.
  const void* bytes = pcm;
#else
  uint8_t bytes[2 * 4608];
  for (int i = 0; i < values; ++i) Put16(bytes + 2 * i, uint16_t(pcm[i]));
#endif
  if (std::fwrite(bytes, 1, n, file_) != n) {
    failed_ = true;
    return false;
  }
  data_bytes_ += n;
  return true;
}

bool FilePcmSink::Finish() {
  if (!file_) return false;
  bool ok = !failed_;
  if (file_ == stdout) {
    ok = std::fflush(stdout) == 0 && ok;
    file_ = nullptr;
    return ok;
  }
  if (wav_) {
    // A WAVE file cannot describe more than 4 GB; clamp the sizes.
    const uint32_t data = data_bytes_ > 0xFFFFFFD0u ? 0xFFFFFFD0u : uint32_t(data_bytes_);
    ok = std::fseek(file_, 0, SEEK_SET) == 0 && WriteHeader(data) && ok;
  }
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

}  // namespace bramble
