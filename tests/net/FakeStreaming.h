// A scripted streaming library for the plug-in's tests: it is built as
// Plugins\Tolquin.DLL beside the test program, serves bytes from memory,
// answers as the script says and records every call.
#pragma once

#include <cstdint>

struct FakeStreamingScript {
  int open_result = 1;         // Open's answer
  int seekable = 1;            // IsSeekable's answer
  bool has_record = true;      // false: the third word stays null
  uint32_t content_length = 0;
  const char* first_text = nullptr;
  const char* second_text = nullptr;
  const uint8_t* data = nullptr;  // the stream's bytes (borrowed)
  int size = 0;
  // At the end of the data Read waits until Close instead of answering short.
  bool stall_at_end = false;
};

// Exported by the fake library as "FakeStreamingStatePtr".
struct FakeStreamingState {
  FakeStreamingScript script;
  char calls[4096];            // "Prepare;IsSeekable http://a;Open http://a;..." (Read not listed)
  int reads;                   // Read calls
  int stalled_reads;           // Read calls that waited for Close
  int last_seek;               // offset of the last Seek, -1 none
};

using FakeStreamingStateFn = FakeStreamingState* (*)();
