#include "plugin/Mp3Player.h"

#include <climits>

#include "decoder/MpegDecoder.h"
#include "plugin/HostNotify.h"

namespace bramble {

namespace {
constexpr DWORD kLockStepMs = 200;
constexpr DWORD kRoomPollMs = 2;
constexpr DWORD kDrainPollMs = 10;
constexpr DWORD kStopPollMs = 5;

void Trace(const char*) {}
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
  InitializeCriticalSection(&handle_guard_);
  info_blocks_.SetNotify(NotifyInfoBlock, this);
  mutex_ = CreateMutexA(nullptr, FALSE, nullptr);
  Lock();
  thread_id_ = 0;
  thread_ = nullptr;
  Unlock();
}

Mp3Player::~Mp3Player() {
  // The host stops playback before it quits; never leave a thread behind
  // that would run on a freed player.
  Stop();
  if (mutex_) CloseHandle(mutex_);
  DeleteCriticalSection(&handle_guard_);
}

void Mp3Player::Lock() {
  if (!mutex_) return;
  Sleep(0);
  // Keep the calling thread's windows alive while the other side holds it.
  while (WaitForSingleObject(mutex_, kLockStepMs) == WAIT_TIMEOUT) {
    Sleep(0);
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void Mp3Player::Unlock() {
  if (mutex_) ReleaseMutex(mutex_);
}

long Mp3Player::Open(const char* name, InModule* module) {
  // One source at a time: a second Open first ends the playback of the first.
  if (running()) Stop();
  reader_.Attach(nullptr, nullptr);
  decoder_.reset();
  file_.Close();
  session_.stream_mode = false;
  // A seek asked for while nothing played belongs to no source.
  seek_target_ = -1;
  seek_time_ = -1;
  opening_time_ = 0;
  if (!name) return -1;

  ByteSource* source = nullptr;
  if (!IsNetworkName(name)) {
    if (!file_.Open(name)) return -1;
    file_length_ = file_.Size();
    source = &file_;
  } else {
    session_.stream_mode = true;
    if (!g_pStreaming || g_pStreaming->Open(name) == 0) {
      session_.stream_mode = false;
      return -1;
    }
    stream_open_ = true;
    stream_.Reset();
    file_length_ = 0;
    source = &stream_;
  }
  module_ = module;
  decoder_ = std::make_unique<MpegDecoder>();
  decoder_->Init();
  // The owner sets the layout (tags, header, walk) from its scan.
  reader_.Attach(source, decoder_.get());
  session_.notify_once = 0;  // the first text of this source may switch the host
  info_blocks_.ResetInfoBlocks(decoder_->embedded());
  return file_length_;
}

void Mp3Player::UseSettings(const Settings& settings) {
  settings_ = settings;
  if (decoder_) decoder_->SetFullAccuracy(settings.full_accuracy != 0);
}

int Mp3Player::Close() {
  if (module_ && output() && output()->Close) output()->Close();
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
  // Not under the player's lock: a paused output holds that for as long as
  // the pause lasts. The thread closes its own handle under the guard.
  EnterCriticalSection(&handle_guard_);
  priority_ = priority;
  if (thread_) SetThreadPriority(thread_, priority);
  LeaveCriticalSection(&handle_guard_);
  return 1;
}

int Mp3Player::Start() {
  if (running()) return 0;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, this, CREATE_SUSPENDED, &id);
  if (!thread || id == 0) {
    if (thread) CloseHandle(thread);
    return -1;
  }
  Lock();
  command_ = kRun;
  stop_requested_ = false;
  thread_id_ = id;
  EnterCriticalSection(&handle_guard_);
  thread_ = thread;
  SetThreadPriority(thread, priority_);
  LeaveCriticalSection(&handle_guard_);
  Unlock();
  ResumeThread(thread);
  return 0;
}

DWORD WINAPI Mp3Player::ThreadMain(void* self) {
  auto* player = static_cast<Mp3Player*>(self);
  player->PlayLoop();
  player->Lock();
  EnterCriticalSection(&player->handle_guard_);
  CloseHandle(player->thread_);
  player->thread_ = nullptr;
  LeaveCriticalSection(&player->handle_guard_);
  player->Unlock();
  // Last touch of the player: Stop waits for this and may then delete it.
  player->thread_id_ = 0;
  return 0;
}

void Mp3Player::PlayLoop() {
  while (command_ != kStopCommand) {
    Sleep(0);
    Lock();
    if (seek_target_ != -1) CarryOutSeek();
    // A frame that failed because Stop cut the stream short is no end of
    // stream: the host asked for the stop and gets no notice.
    if (PlayFrame() < 0 && command_ != kStopCommand) {
      command_ = kStopCommand;
      OutModule* out = output();
      if (out && out->CanWrite) out->CanWrite();
      while (out && out->IsPlaying && out->IsPlaying() && !stop_requested_) Sleep(kDrainPollMs);
      if (module_) PostMessageA(static_cast<HWND>(module_->host_window), kEndOfStreamMessage, 0, 0);
    }
    Unlock();
  }
}

void Mp3Player::CarryOutSeek() {
  const int ms = seek_time_;
  decode_time_ = ms - ms % 1000;
  reader_.SeekSource(seek_target_);
  OutModule* out = output();
  // Before the first frame the output is not open yet: it starts at the
  // seek's time when it opens.
  if (!reader_.output_opened())
    opening_time_ = ms;
  else if (out && out->Flush)
    out->Flush(ms);
  seek_target_ = -1;
}

int Mp3Player::PlayFrame() {
  const int r = reader_.SynHeader(session_.pcm());
  if (r == -1) {
    Trace("PlayFrame failed\n");
    return -1;
  }
  // The decoder's own count: a frame that reached back into data it never
  // saw yields nothing, and the buffer still holds the last frame's block.
  if (r == 0 && decoder_) WriteBlock(decoder_->pcm_bytes());
  if (decoder_ && decoder_->embedded().bytes != 0) info_blocks_.FeedFromDecoder(decoder_->embedded(), decode_time_);
  return int(reader_.byte_position());
}

bool Mp3Player::WaitForRoom(OutModule* out) {
  while (out->CanWrite && out->CanWrite() < kOutputRoomBytes) {
    // An output that never makes room must not keep Stop waiting forever.
    if (stop_requested_) return false;
    Sleep(kRoomPollMs);
  }
  return true;
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
}

bool Mp3Player::LockedOn(const FrameReader&) { return OpenOutput() == 0; }

int Mp3Player::OpenOutput() {
  OutModule* out = output();
  if (!out || !out->Open) return -1;
  const int rate = reader_.sample_rate();
  const int r = out->Open(rate, 2, 16, -1, -1);
  if (r < 0) return -1;
  decode_time_ = opening_time_ - opening_time_ % 1000;
  if (opening_time_ > 0 && out->Flush) out->Flush(opening_time_);
  opening_time_ = 0;
  if (module_->PcmFeedInit) module_->PcmFeedInit(r, rate);
  if (module_->PcmFeedSetInfo) module_->PcmFeedSetInfo(rate, 2);
  return 0;
}

void Mp3Player::Seek(int ms) {
  if (ms < 0) ms = 0;  // -1 marks "no seek pending"
  seek_time_ = ms;
  // The thread resynchronises at the new place when it carries this out. A
  // time far past the end stays a valid offset: reading there ends the play.
  seek_target_ = SeekOffset(reader_.layout(), reader_.byte_rate(), ms, reader_.gapless());
}

int Mp3Player::Stop() {
  if (thread_id_ == 0) return -1;
  stop_requested_ = true;
  const bool ending = command_.exchange(kStopCommand) == kStopCommand;
  // A read stalled on a dead server would hold the lock until its time-out;
  // closing the stream ends the read now (not needed once the thread ends).
  if (!ending && session_.stream_mode) CloseStream();
  Sleep(0);
  Lock();
  command_ = kStopCommand;
  Unlock();
  while (thread_id_ != 0) Sleep(kStopPollMs);
  OutModule* out = output();
  if (out && out->Flush) out->Flush(0);
  if (!session_.stream_mode) file_.Seek(0);
  seek_target_ = -1;
  seek_time_ = -1;
  return 0;
}

}  // namespace bramble
