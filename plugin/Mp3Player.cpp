#include "plugin/Mp3Player.h"

#include "decoder/MpegDecoder.h"
#include "plugin/HostNotify.h"

namespace bramble {

namespace {
constexpr DWORD kRoomPollMs = 2;
constexpr DWORD kDrainPollMs = 10;
}  // namespace

int PriorityForStep(int step) {
  static const int kPriorities[7] = {THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
                                     THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                     THREAD_PRIORITY_HIGHEST};
  return (step >= 0 && step <= 6) ? kPriorities[step] : step;
}

void Mp3Player::NotifyInfoBlock(void* self, const char* text, int url_flag, int32_t time_ms) {
  auto* player = static_cast<Mp3Player*>(self);
  Notify(player->session_.notify_once, player->settings_.qdx_auto_switch != 0, text, url_flag, time_ms);
}

Mp3Player::Mp3Player(Session& session) : session_(session) {
  reader_.SetListener(this);
  info_blocks_.SetNotify(NotifyInfoBlock, this);
}

Mp3Player::~Mp3Player() {
  // The host stops playback before it quits; never leave a thread behind
  // that would run on a freed player.
  Stop();
}

long Mp3Player::Open(const char* name, InModule* module) {
  // One source at a time: a second Open first ends the playback of the first.
  Stop();
  reader_.Attach(nullptr, nullptr);
  decoder_.reset();
  file_.Close();
  session_.stream_mode = false;
  // Nothing of an earlier source carries over: a seek asked for while
  // nothing played, its position or its last header.
  seek_request_ = kNoSeek;
  opening_time_ = 0;
  pause_applied_ = false;
  output_time_ = 0;
  header_word_ = 0;
  if (!name) return -1;

  ByteSource* source = nullptr;
  long length = 0;
  if (!IsNetworkName(name)) {
    if (!file_.Open(name)) return -1;
    length = file_.Size();
    source = &file_;
  } else {
    session_.stream_mode = true;
    if (!g_pStreaming || g_pStreaming->Open(name) == 0) {
      session_.stream_mode = false;
      return -1;
    }
    stream_open_ = true;
    stream_.Reset();
    source = &stream_;
  }
  module_ = module;
  decoder_ = std::make_unique<MpegDecoder>();
  decoder_->Init();
  // The owner sets the layout (tags, header, walk) from its scan.
  reader_.Attach(source, decoder_.get());
  session_.notify_once = 0;  // the first text of this source may switch the host
  info_blocks_.ResetInfoBlocks(decoder_->embedded());
  return length;
}

void Mp3Player::SetLayout(const SourceLayout& layout, int bitrate) {
  reader_.SetLayout(layout);
  scanned_byte_rate_ = bitrate / 8;
}

void Mp3Player::UseSettings(const Settings& settings) {
  settings_ = settings;
  if (decoder_) decoder_->SetFullAccuracy(settings.full_accuracy != 0);
}

int Mp3Player::Close() {
  reader_.Attach(nullptr, nullptr);
  decoder_.reset();
  NotifyEndOfSource(session_.notify_once);
  if (session_.stream_mode) {
    CloseStream();
    session_.stream_mode = false;
  } else {
    file_.Close();
  }
  return 0;
}

void Mp3Player::CloseStream() {
  if (stream_open_.exchange(false) && g_pStreaming) g_pStreaming->Close();
}

int Mp3Player::SetPriority(int priority) {
  priority_ = priority;
  if (thread_) SetThreadPriority(thread_, priority);
  return 1;
}

int Mp3Player::Start() {
  if (thread_) return 0;
  stop_ = false;
  reader_.SetGapless(settings_.gapless != 0);
  average_bitrate_ = AverageBitrate(reader_.layout());
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, this, CREATE_SUSPENDED, &id);
  if (!thread || id == 0) {
    if (thread) CloseHandle(thread);
    return -1;
  }
  thread_ = thread;
  SetThreadPriority(thread, priority_);
  ResumeThread(thread);
  return 0;
}

DWORD WINAPI Mp3Player::ThreadMain(void* self) {
  static_cast<Mp3Player*>(self)->PlayLoop();
  return 0;
}

void Mp3Player::PlayLoop() {
  bool ended = false;
  while (!stop_ && !ended) {
    const int seek = seek_request_.exchange(kNoSeek);
    if (seek != kNoSeek) CarryOutSeek(seek);
    // A frame that failed because Stop cut the stream short is no end of
    // stream: the host asked for the stop and gets no notice.
    if (PlayFrame() < 0 && !stop_) ended = Drain() == DrainEnd::kDrained;
  }
  CloseOutput(!ended);
  if (ended && module_) PostMessageA(static_cast<HWND>(module_->host_window), kEndOfStreamMessage, 0, 0);
}

void Mp3Player::CarryOutSeek(int ms) {
  decode_time_ = ms - ms % 1000;
  // A time far past the end stays a valid offset: reading there ends the play.
  const int byte_rate = reader_.byte_rate() > 0 ? reader_.byte_rate() : scanned_byte_rate_;
  reader_.SeekSource(SeekOffset(reader_.layout(), byte_rate, ms, reader_.gapless()));
  OutModule* out = output();
  // Before the first frame the output is not open yet: it starts at the
  // seek's time when it opens.
  if (!reader_.output_opened())
    opening_time_ = ms;
  else if (out && out->Flush)
    out->Flush(ms);
  PublishOutputTime();
}

int Mp3Player::PlayFrame() {
  const int r = reader_.SynHeader(session_.pcm());
  if (r == -1) return -1;
  const uint8_t* h = reader_.frame();
  header_word_ = uint32_t(h[0]) << 24 | uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | h[3];
  // The decoder's own count: a frame that reached back into data it never
  // saw yields nothing, and the buffer still holds the last frame's block.
  if (r == 0 && decoder_) WriteBlock(decoder_->pcm_bytes());
  if (decoder_ && decoder_->embedded().bytes != 0) info_blocks_.FeedFromDecoder(decoder_->embedded(), decode_time_);
  return int(reader_.byte_position());
}

void Mp3Player::ApplyPause() {
  const bool paused = pause_request_;
  OutModule* out = output();
  if (paused == pause_applied_ || !reader_.output_opened() || !out) return;
  if (out->Pause) out->Pause(paused ? 1 : 0);
  pause_applied_ = paused;
}

void Mp3Player::PublishOutputTime() {
  int time = decode_time_;
  OutModule* out = output();
  if (reader_.output_opened() && out && out->GetOutputTime && out->GetWrittenTime)
    time += out->GetOutputTime() - out->GetWrittenTime();
  output_time_ = time;
}

bool Mp3Player::WaitForRoom(OutModule* out) {
  for (;;) {
    ApplyPause();
    PublishOutputTime();
    // An output that never makes room must not keep Stop waiting forever.
    if (stop_) return false;
    if (!out->CanWrite || out->CanWrite() >= kOutputRoomBytes) return true;
    Sleep(kRoomPollMs);
  }
}

Mp3Player::DrainEnd Mp3Player::Drain() {
  OutModule* out = output();
  if (!reader_.output_opened() || !out) return DrainEnd::kDrained;
  if (out->CanWrite) out->CanWrite();  // lets the output start its last part
  for (;;) {
    ApplyPause();
    PublishOutputTime();
    const bool playing = out->IsPlaying && out->IsPlaying();
    // Looked at after the output answered, so that neither is missed.
    if (stop_) return DrainEnd::kStop;
    if (seek_request_ != kNoSeek) return DrainEnd::kSeek;
    if (!playing) return DrainEnd::kDrained;
    Sleep(kDrainPollMs);
  }
}

void Mp3Player::WriteBlock(int block) {
  OutModule* out = output();
  if (!out || !module_ || block <= 0) return;
  if (block > FrameReader::kMaxBlockBytes) block = FrameReader::kMaxBlockBytes;
  if (!WaitForRoom(out)) return;
  const int time = decode_time_;
  uint8_t* pcm = session_.pcm();
  if (module_->PcmFeedA) module_->PcmFeedA(pcm, 2, 16, time);
  if (module_->PcmFeedB) module_->PcmFeedB(pcm, 2, 16, time);
  const int rate = reader_.sample_rate();
  if (rate > 0) decode_time_ = int(unsigned(time) + unsigned(block / 4) * 1000u / unsigned(rate));
  int bytes = block;
  if (module_->DspIsActive && module_->DspIsActive() && module_->DspProcess) {
    int frames = module_->DspProcess(pcm, block / 4, 16, 2, rate);
    // The processed block must stay inside the buffer.
    if (frames < 0) frames = 0;
    if (frames > kMaxDspSampleFrames) frames = kMaxDspSampleFrames;
    bytes = frames * 4;
  }
  if (out->Write) out->Write(pcm, bytes);  // a refused block is dropped
  PublishOutputTime();
}

bool Mp3Player::LockedOn(const FrameReader&) {
  OutModule* out = output();
  if (!out || !out->Open) return false;
  const int rate = reader_.sample_rate();
  const int r = out->Open(rate, 2, 16, -1, -1);
  if (r < 0) return false;
  decode_time_ = opening_time_ - opening_time_ % 1000;
  if (opening_time_ > 0 && out->Flush) out->Flush(opening_time_);
  opening_time_ = 0;
  // A pause asked for before the output existed holds from its start.
  if (pause_request_ && out->Pause) out->Pause(1);
  pause_applied_ = pause_request_;
  if (module_->PcmFeedInit) module_->PcmFeedInit(r, rate);
  if (module_->PcmFeedSetInfo) module_->PcmFeedSetInfo(rate, 2);
  return true;
}

void Mp3Player::CloseOutput(bool stopped) {
  OutModule* out = output();
  if (!reader_.output_opened() || !out) return;
  if (pause_applied_ && out->Pause) out->Pause(0);
  pause_applied_ = false;
  if (stopped && out->Flush) out->Flush(0);
  if (out->Close) out->Close();
}

void Mp3Player::Seek(int ms) {
  seek_request_ = ms < 0 ? 0 : ms;  // a negative time is "no seek"
}

int Mp3Player::Stop() {
  if (!thread_) return -1;
  const bool ended = WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
  if (!ended) {
    stop_ = true;
    // A read stalled on a dead server would hold the thread until its
    // time-out; closing the stream ends the read now.
    if (session_.stream_mode) CloseStream();
    // No messages dispatched here: an end message would reach the host in
    // the middle of its Stop. The thread's notifications time out in 1 s.
    WaitForSingleObject(thread_, INFINITE);
  }
  CloseHandle(thread_);
  thread_ = nullptr;
  DropEndMessage();
  seek_request_ = kNoSeek;
  return ended ? -1 : 0;
}

void Mp3Player::DropEndMessage() {
  if (!module_) return;
  MSG msg;
  while (PeekMessageA(&msg, static_cast<HWND>(module_->host_window), kEndOfStreamMessage, kEndOfStreamMessage,
                      PM_REMOVE)) {
  }
}

}  // namespace bramble
