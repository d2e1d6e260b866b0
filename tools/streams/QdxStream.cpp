#include "tools/streams/QdxStream.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "tags/InfoBlocks.h"
#include "tools/streams/Layer3Writer.h"

namespace bramble {
namespace test {

namespace {

constexpr int kChunkBytes = 30;  // payload bytes of one channel block of 16 words
constexpr int kChannelWords = 16;
constexpr int kLeadFrames = 3, kTrailFrames = 3;  // frames before the first word and after the last
constexpr int kGarbageBytes = 7;     // at most this many garbage bytes before each block
constexpr int kStrayWords = 3;       // at most this many unscrambled words between channel blocks
constexpr int kEmptySlotPercent = 20;  // granules that carry no word

bool PayloadAllowed(const std::string& p) {
  return p.size() <= 1023 && p.find('\xFF') == std::string::npos && p.find("\x15\x11\x51") == std::string::npos;
}

// Garbage that can never start a block: no 0x15 byte.
uint8_t GarbageByte(std::mt19937& rng) {
  uint8_t b = uint8_t(rng());
  return b == 0x15 ? 0x16 : b;
}

// The receiver's check on its ring of the last 16 words: recognised when the
// XOR of all slots equals the last key word; the ring is then cleared. The
// builder uses it to keep stray words from completing a block by chance.
struct ChannelRing {
  const uint16_t* key;
  uint16_t ring[kChannelWords] = {};
  int index = 0;

  bool Push(uint16_t word) {
    ring[index] = word;
    uint16_t x = 0;
    for (uint16_t w : ring) x ^= w;
    const bool hit = x == key[kChannelWords - 1];
    if (hit) std::fill(std::begin(ring), std::end(ring), uint16_t(0));
    index = (index + 1) % kChannelWords;
    return hit;
  }
};

// Quantised values of a slow melody: a note with a weaker octave above,
// at most magnitude 8 so that only planted granules yield a word.
void ToneValues(int frame, int gr, int ch, std::mt19937& rng, int32_t* v) {
  static const int kNotes[8] = {24, 27, 30, 32, 36, 32, 30, 27};
  std::fill(v, v + 576, 0);
  const int line = kNotes[(frame / 8) % 8] + ch;
  const int32_t sign = ((frame + gr) & 1) ? -1 : 1;
  static const int kShape[5] = {8, 5, 3, 2, 1};
  for (int d = -4; d <= 4; ++d) {
    const int m = kShape[std::abs(d)];
    v[line + d] = sign * m;
    v[2 * line + d] += -sign * (m / 2);
  }
  // A little hiss up to line 160.
  for (int i = 4; i < 160; ++i)
    if (v[i] == 0 && rng() % 4 == 0) v[i] = (rng() & 1) ? 1 : -1;
}

// Plants a 16-bit word in the low bits of the magnitudes of the 16-value
// block holding the largest magnitude, so that the embedded-word search
// finds it: the block gets the granule's unique largest magnitude (at least
// 9) and its last value a magnitude of at least 2, which keeps the block in
// the big-values part.
void PlantEmbeddedWord(int32_t* values, uint16_t word) {
  int largest = 0, block = 0;
  for (int k = 0; k < 576; ++k)
    if (std::abs(values[k]) > largest) largest = std::abs(values[k]), block = k;
  block = std::min(block & ~15, 560);
  auto set = [values](int i, int32_t m) { values[i] = values[i] < 0 ? -m : m; };

  int32_t inside = 0, outside = 0;
  int top = block;
  for (int k = 0; k < 16; ++k) {
    const int bit = (word >> k) & 1;
    int32_t m = std::abs(values[block + k]);
    if ((m & 1) != bit) m = m == 0 ? 1 : m - 1;
    if (k == 15 && m < 2) m += 2;  // keeps the block inside the big-values part
    set(block + k, m);
    if (m > inside) inside = m, top = block + k;
  }
  for (int k = 0; k < 576; ++k)
    if (k < block || k >= block + 16) outside = std::max(outside, std::abs(values[k]));
  int32_t peak = std::max({inside, outside + 1, int32_t(9)});
  if ((peak & 1) != ((word >> (top - block)) & 1)) ++peak;
  set(top, peak);
}

// The words to send so that the receiver recognises a block whose first 15
// plain words are `payload`: the last word makes the XOR of all 16 equal the
// last key word.
void ScrambleEmbeddedBlock(const uint16_t* key, const uint16_t* payload, uint16_t* words) {
  uint16_t x = 0;
  for (int k = 0; k + 1 < kChannelWords; ++k) x ^= words[k] = uint16_t(payload[k] ^ key[k]);
  words[kChannelWords - 1] = uint16_t(key[kChannelWords - 1] ^ x);
}

// Byte form of one block: sync, code list, parameter bytes, payload, 0xFF.
// Text blocks list a Start code (two parameter bytes, which come first)
// before the Text code.
std::vector<uint8_t> EncodeQdxBlock(const QdxBlock& block) {
  std::vector<uint8_t> out = {0x15, 0x11, 0x51, 0x87, 0x01, 0x00, 0x2A, 0x07};
  if (block.kind != QdxBlock::kText) out = {0x15, 0x11, 0x51, uint8_t(block.kind)};
  out.insert(out.end(), block.payload.begin(), block.payload.end());
  out.push_back(0xFF);
  return out;
}

}  // namespace

bool BuildQdxStream(const std::vector<QdxBlock>& blocks, const QdxStreamOptions& o, QdxStream* out,
                    std::string* error) {
  *out = QdxStream();
  std::mt19937 rng(o.seed);

  // 1. The information block byte stream.
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (!PayloadAllowed(blocks[i].payload)) {
      *error = "payload of block " + std::to_string(i) + " cannot be carried";
      return false;
    }
    const int garbage = int(rng() % unsigned(kGarbageBytes + 1));
    for (int k = 0; k < garbage; ++k) bytes.push_back(GarbageByte(rng));
    const std::vector<uint8_t> enc = EncodeQdxBlock(blocks[i]);
    if (blocks[i].kind == QdxBlock::kText || blocks[i].kind == QdxBlock::kUrl)
      out->planted.push_back({blocks[i].kind, blocks[i].payload, bytes.size() + enc.size() - 1});
    bytes.insert(bytes.end(), enc.begin(), enc.end());
    if (i % 2 == 1) {  // an HTML block after every second block
      const std::vector<uint8_t> html = EncodeQdxBlock({QdxBlock::kHtml, "<b>not shown</b>"});
      bytes.insert(bytes.end(), html.begin(), html.end());
    }
  }
  while (bytes.size() % kChunkBytes != 0) bytes.push_back(GarbageByte(rng));

  // 2. Channel words: stray words and empty granules between scrambled blocks.
  uint16_t key[kQdxKeyWords];
  BuildQdxKeyWords(key);
  ChannelRing ring{key};
  std::vector<int32_t> slots;  // per granule and channel: a channel word, or -1 for none
  const int header_slots = (o.version == 1 ? 2 : 1) * (o.mode == 3 ? 1 : 2);
  slots.resize(size_t(kLeadFrames * header_slots), -1);
  const size_t chunks = bytes.size() / kChunkBytes;
  std::vector<size_t> chunk_end(chunks);
  for (size_t c = 0; c < chunks; ++c) {
    uint16_t payload[kChannelWords - 1], words[kChannelWords];
    for (int k = 0; k < kChannelWords - 1; ++k)
      payload[k] = uint16_t(bytes[c * kChunkBytes + 2 * k] | (bytes[c * kChunkBytes + 2 * k + 1] << 8));
    ScrambleEmbeddedBlock(key, payload, words);
    int strays = int(rng() % unsigned(kStrayWords + 1));
    for (;;) {
      // Stray words that complete nothing, then the block if it completes
      // exactly at its last word; else one more stray word and retry.
      ChannelRing trial = ring;
      std::vector<uint16_t> sent;
      for (int s = 0; s < strays; ++s) {
        uint16_t w = uint16_t(rng());
        ChannelRing probe = trial;
        while (probe.Push(w)) {
          w = uint16_t(w + 1);
          probe = trial;
        }
        trial = probe;
        sent.push_back(w);
      }
      bool clean = true;
      for (int k = 0; k < kChannelWords && clean; ++k) {
        clean = trial.Push(words[k]) == (k == kChannelWords - 1);
        sent.push_back(words[k]);
      }
      if (!clean) {
        ++strays;
        continue;
      }
      ring = trial;
      for (uint16_t w : sent) {
        while (int(rng() % 100) < kEmptySlotPercent) slots.push_back(-1);
        slots.push_back(w);
      }
      chunk_end[c] = slots.size() - 1;
      break;
    }
  }
  while (slots.size() % size_t(header_slots) != 0) slots.push_back(-1);
  slots.resize(slots.size() + size_t(kTrailFrames * header_slots), -1);

  // 3. The frames.
  Layer3Writer writer;
  const int frames = int(slots.size()) / header_slots;
  for (int f = 0; f < frames; ++f) {
    Layer3Frame frame;
    frame.header = {o.version, o.sampling_frequency, o.bitrate_index, o.mode};
    const int channels = frame.header.channels();
    for (int gr = 0; gr < frame.header.granules(); ++gr)
      for (int ch = 0; ch < channels; ++ch) {
        Layer3Channel& c = frame.gr[gr][ch];
        c = LongGranule();
        c.info.global_gain = 176;
        ToneValues(f, gr, ch, rng, c.values);
        const int32_t word = slots[size_t(f * header_slots + gr * channels + ch)];
        if (word >= 0) PlantEmbeddedWord(c.values, uint16_t(word));
      }
    if (!writer.Add(frame)) {
      *error = "frame " + std::to_string(f) + ": " + writer.error();
      return false;
    }
  }
  out->bytes = writer.Stream();

  // 4. Where each Text or URL block completes: after the frame of the
  // channel block holding its terminator.
  const int32_t frame_ms = int32_t((o.version == 1 ? 1152 : 576) * 1000 / Layer3Header{o.version, o.sampling_frequency}.SampleRate());
  for (QdxPlanted& p : out->planted)
    p.time_ms = (int(chunk_end[p.last_byte / kChunkBytes]) / header_slots + 1) * frame_ms;
  return true;
}

std::string QdxLine(int32_t time_ms, int kind, const std::string& payload) {
  std::string line = std::to_string(time_ms) + (kind == QdxBlock::kUrl ? "\turl\t" : "\ttext\t");
  for (unsigned char ch : payload) {
    char esc[8];
    if (ch == '\\') line += "\\\\";
    else if (ch == '\t') line += "\\t";
    else if (ch == '\n') line += "\\n";
    else if (ch < 0x20 || ch >= 0x7F) {
      std::snprintf(esc, sizeof esc, "\\x%02X", ch);
      line += esc;
    } else {
      line += char(ch);
    }
  }
  return line;
}

}  // namespace test
}  // namespace bramble
