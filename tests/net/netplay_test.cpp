// The plug-in's network-stream branch driven through its module table with
// a scripted streaming library (Plugins\Tolquin.DLL beside this program):
// call order, the host report, lengths, the seekable word, failures and a
// stop during a stalled read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/FakeStreaming.h"
#include "tests/win/WinHarness.h"

using namespace wintest;

namespace {

constexpr char kUrl[] = "http://127.0.0.1:1/radio.mp3";

class StreamPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().Reset();
    library_ = LoadLibraryA("Plugins\\Tolquin.DLL");
    ASSERT_NE(library_, nullptr);
    auto get = reinterpret_cast<FakeStreamingStateFn>(
        reinterpret_cast<void*>(GetProcAddress(library_, "FakeStreamingStatePtr")));
    ASSERT_NE(get, nullptr) << "the scripted library is not the one beside the program";
    state_ = get();
    *state_ = FakeStreamingState();
    state_->last_seek = -1;
    data_ = SilentFrames(125);  // 3 s at 128 kbit/s, 48 kHz
    state_->script.data = data_.data();
    state_->script.size = int(data_.size());
    state_->script.content_length = uint32_t(data_.size());
    ASSERT_TRUE(dll_.ok());
    mod_ = dll_.mod();
    Host().Attach(mod_, window_.hwnd());
    mod_->Init();
  }
  void TearDown() override {
    if (mod_) {
      mod_->Stop();
      mod_->Quit();
    }
    if (library_) FreeLibrary(library_);
  }
  std::string Calls() const { return state_->calls; }
  void ClearCalls() { state_->calls[0] = '\0'; }
  bool WaitForEnd(DWORD ms = 5000) {
    return PumpUntil([&] { return window_.end_of_stream_messages() > 0; }, ms);
  }
  int LengthOf(const char* name) {
    int length = -7;
    mod_->GetFileInfo(name, nullptr, &length);
    return length;
  }

  HMODULE library_ = nullptr;
  FakeStreamingState* state_ = nullptr;
  std::vector<uint8_t> data_;
  HostWindow window_;
  PluginDll dll_;
  bramble::InModule* mod_ = nullptr;
};

TEST_F(StreamPlay, PlayPreparesProbesReportsAndStopFinishes) {
  state_->script.first_text = "";
  state_->script.second_text = "Evening Programme";
  ASSERT_EQ(mod_->Play(kUrl), 0);
  const std::string url(kUrl);
  EXPECT_EQ(Calls(), "Prepare;IsSeekable " + url + ";Open " + url + ";Prefetch 10240;");
  EXPECT_EQ(mod_->seekable, 1);
  // Rates from the probe of the prefetched bytes, not from a file scan.
  EXPECT_TRUE(Host().log.Has("setinfo 128 48 2 1"));
  EXPECT_TRUE(Host().log.Has("feed-setinfo 48000 2"));
  // 48000 bytes x 8000 / 128000 bit/s; an empty first text is not given.
  EXPECT_TRUE(Host().log.Has("info-get"));
  EXPECT_TRUE(Host().log.Has("info-set 42 size=" + std::to_string(sizeof(bramble::StreamItemInfo)) +
                             " kind=92 flags=0x30 dur=3 first=[(null)] second=[Evening Programme]"));
  EXPECT_TRUE(Host().log.Has("info-release"));
  EXPECT_EQ(mod_->GetLength(), 3000);
  EXPECT_EQ(LengthOf(nullptr), 3000);

  ASSERT_TRUE(WaitForEnd());
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 125; }, 5000));
  EXPECT_EQ(Host().log.Writes(), 125u) << "every prefetched byte is read again";
  ClearCalls();
  mod_->Stop();
  EXPECT_EQ(Calls(), "Close;Finish;");
  EXPECT_TRUE(Host().log.Has("notify-3"));
}

TEST_F(StreamPlay, TextsAndFlagsFollowTheRecord) {
  struct Case {
    bool record;
    const char* first;
    const char* second;
    const char* expect;
  };
  const Case cases[] = {
      {true, "Station", "Genre", "flags=0x31 dur=3 first=[Station] second=[Genre]"},
      {true, "Station", nullptr, "flags=0x21 dur=3 first=[Station] second=[(null)]"},
      {true, nullptr, "", "flags=0x20 dur=3 first=[(null)] second=[(null)]"},
      {false, "ignored", "ignored", "flags=0x20 dur=0 first=[(null)] second=[(null)]"},
  };
  for (const Case& c : cases) {
    Host().Reset();
    state_->script.has_record = c.record;
    state_->script.first_text = c.first;
    state_->script.second_text = c.second;
    ASSERT_EQ(mod_->Play(kUrl), 0);
    EXPECT_TRUE(Host().log.Has(std::string("info-set 42 size=") + std::to_string(sizeof(bramble::StreamItemInfo)) +
                               " kind=92 " + c.expect))
        << c.expect;
    mod_->Stop();
  }
}

TEST_F(StreamPlay, SourceSizeOfTheCurrentStreamWithAndWithoutRecord) {
  ASSERT_EQ(mod_->Play(kUrl), 0);
  EXPECT_EQ(LengthOf(kUrl), 3000);
  // Only the exact current name is the stream; any other name is measured
  // as a file (a missing one is 1 byte).
  EXPECT_EQ(LengthOf("HTTP://127.0.0.1:1/radio.mp3"), 0);
  EXPECT_EQ(LengthOf("C:\\no\\such.mp3"), 0);
  mod_->Stop();

  state_->script.has_record = false;
  ASSERT_EQ(mod_->Play(kUrl), 0);  // the length cache starts afresh
  EXPECT_EQ(LengthOf(kUrl), 0) << "no record: content length 0";
  EXPECT_EQ(mod_->GetLength(), 0);
  mod_->Stop();
}

TEST_F(StreamPlay, SeekableWordComesFromTheLibrary) {
  state_->script.seekable = 0;
  ASSERT_EQ(mod_->Play(kUrl), 0);
  EXPECT_EQ(mod_->seekable, 0);
  EXPECT_EQ(mod_->GetLength(), 268435455);
  EXPECT_EQ(LengthOf(kUrl), 3000) << "the file information still has the length";
  mod_->Stop();

  // A seek on a seekable stream goes through the library at the byte rate.
  // The first playback may have written blocks before it stopped.
  Host().Reset();
  state_->script.seekable = 1;
  Host().writes_allowed = 2;
  ASSERT_EQ(mod_->Play(kUrl), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 2; }, 5000));
  // Wait until the third frame waits for room, so the seek follows it.
  const int calls = Host().can_write_calls;
  ASSERT_TRUE(PumpUntil([&] { return Host().can_write_calls > calls + 2; }, 2000));
  mod_->SetOutputTime(2000);
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(PumpUntil([] { return Host().log.Has("flush 2000"); }, 5000));
  EXPECT_EQ(state_->last_seek, 32000);
  ASSERT_TRUE(WaitForEnd());
  // Three frames before the seek (the third was waiting for room), then
  // from the first frame after byte 32000 (frame 84) to the end.
  EXPECT_EQ(Host().log.Writes(), size_t(3 + 125 - 84));
}

TEST_F(StreamPlay, FailedOpenGivesMinus100AndLeavesNoStreamBehind) {
  state_->script.open_result = 0;
  EXPECT_EQ(mod_->Play(kUrl), -100);
  const std::string url(kUrl);
  EXPECT_EQ(Calls(), "Prepare;IsSeekable " + url + ";Open " + url + ";Close;Finish;");
  EXPECT_FALSE(Host().log.Has("info-get"));
  EXPECT_EQ(Host().log.Count("setinfo"), 0);

  // A missing local file also gives -100 while the library is loaded, and
  // the stream mode is clear again: a file plays with its scanned rates.
  EXPECT_EQ(mod_->Play("C:\\no\\such\\file.mp3"), -100);
  const std::string path = WriteTempFile("after-stream.mp2", SilentFrames(10));
  ClearCalls();
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  EXPECT_EQ(Calls(), "") << "a local file asks nothing of the library";
  EXPECT_TRUE(Host().log.Has("setinfo 128 48 2 1"));
  EXPECT_EQ(mod_->GetLength(), 240);
  ASSERT_TRUE(WaitForEnd());
  mod_->Stop();
  EXPECT_EQ(Calls(), "Finish;") << "Stop finishes the library's work whatever played";
  DeleteFileA(path.c_str());
}

TEST_F(StreamPlay, LetterCaseOfTheScheme) {
  EXPECT_EQ(mod_->ClaimsName("http://a/b.mp3"), 1);
  EXPECT_EQ(mod_->ClaimsName("HTTP://a/b.mp3"), 0);
  EXPECT_EQ(mod_->ClaimsName("Http://a/b.mp3"), 0);
  EXPECT_EQ(mod_->ClaimsName("http:/a"), 0);
  ASSERT_EQ(mod_->Play("HtTp://127.0.0.1:1/x.mp3"), 0);
  EXPECT_EQ(Calls(), "Prepare;IsSeekable HtTp://127.0.0.1:1/x.mp3;Open HtTp://127.0.0.1:1/x.mp3;Prefetch 10240;");
  EXPECT_EQ(LengthOf(nullptr), 3000);
  // The audio query leaves its outputs alone while a stream plays.
  int rate = -1, channels = -1, bitrate = -1;
  mod_->GetAudioInfo(nullptr, &rate, &channels, &bitrate);
  EXPECT_EQ(rate, -1);
  EXPECT_EQ(bitrate, -1);
}

TEST_F(StreamPlay, StopDuringAStalledReadReturnsAtOnceWithoutNotice) {
  state_->script.stall_at_end = true;
  ASSERT_EQ(mod_->Play(kUrl), 0);
  ASSERT_TRUE(PumpUntil([&] { return state_->stalled_reads > 0; }, 5000));
  ClearCalls();
  const DWORD start = GetTickCount();
  mod_->Stop();
  EXPECT_EQ(Calls(), "Close;Finish;") << "the stream is closed once";
  EXPECT_LT(GetTickCount() - start, 1000u);
  PumpFor(100);
  EXPECT_EQ(window_.end_of_stream_messages(), 0) << "the host stopped it: no end-of-stream notice";
  EXPECT_EQ(Host().log.Writes(), 125u);
}

// An ID3v2 tag holding two frames a frame length apart, a Xing frame that
// counts 100 frames, then those 100 silent Layer III frames (128 kbit/s,
// 44.1 kHz, 417 bytes).
std::vector<uint8_t> TaggedXingStream() {
  constexpr int kL3Frame = 417, kTagBody = 1000;
  std::vector<uint8_t> bytes = {'I', 'D', '3', 3, 0, 0, 0, 0, kTagBody >> 7, kTagBody & 0x7F};
  bytes.resize(10 + kTagBody, 0);
  for (int f = 0; f < 101 + 2; ++f) {
    const size_t at = f < 2 ? 100 + f * kL3Frame : bytes.size();
    if (f >= 2) bytes.resize(bytes.size() + kL3Frame, 0);
    const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x00};
    std::copy(header, header + 4, bytes.begin() + at);
    if (f == 2) {
      const uint8_t xing[] = {'X', 'i', 'n', 'g', 0, 0, 0, 3, 0, 0, 0, 100, 0, 0, 0xA4, 0x85};  // 101 x 417 bytes
      std::copy(xing, xing + sizeof xing, bytes.begin() + at + 36);
    }
  }
  return bytes;
}

TEST_F(StreamPlay, TagAndXingFrameOfAStream) {
  data_ = TaggedXingStream();
  state_->script.data = data_.data();
  state_->script.size = int(data_.size());
  state_->script.content_length = uint32_t(data_.size());
  state_->script.seekable = 1;
  Host().writes_allowed = 2;
  ASSERT_EQ(mod_->Play(kUrl), 0);
  EXPECT_EQ(LengthOf(kUrl), 2612) << "100 frames of 1152 samples, not the bytes at 128 kbit/s";
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 2; }, 5000));
  const int calls = Host().can_write_calls;
  ASSERT_TRUE(PumpUntil([&] { return Host().can_write_calls > calls + 2; }, 2000));
  mod_->SetOutputTime(0);
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(state_->last_seek, 1010) << "a seek to the start lands behind the tag";
  // Three frames before the seek, then the 100 again: never the tag's
  // frames or the Xing frame.
  EXPECT_EQ(Host().log.Writes(), 3u + 100u);
}

TEST_F(StreamPlay, NoFrameInTheStreamEndsWithNothingWritten) {
  std::vector<uint8_t> garbage(20000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t((i * 7 + 3) % 251);
  state_->script.data = garbage.data();
  state_->script.size = int(garbage.size());
  state_->script.content_length = uint32_t(garbage.size());
  ASSERT_EQ(mod_->Play(kUrl), 0);
  EXPECT_TRUE(Host().log.Has("setinfo 0 0 2 1"));
  // Without a bit rate the length counts 128 kbit/s.
  EXPECT_EQ(mod_->GetLength(), 1250);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Host().log.Writes(), 0u);
  EXPECT_EQ(Host().log.Count("open "), 0) << "no frame, no output";
}

}  // namespace
