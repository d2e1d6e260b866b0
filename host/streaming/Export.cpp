// The library's single export.
#include "host/streaming/TolquinStream.h"

namespace {
TolquinStream g_stream;
}

extern "C" __declspec(dllexport) bramble::StreamingObject* GetStreamingObject() { return &g_stream; }
