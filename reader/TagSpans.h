// Tags around the audio of a file: ID3v2 at the start, ID3v1 and APEv2 at
// the end. Their bytes are never searched for frames and never counted as
// audio. Every size comes from the file and is checked before use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bramble {

constexpr int kId3v2HeaderBytes = 10;
// Some files carry more than one ID3v2 tag in a row.
constexpr int kMaxLeadingTags = 8;

// Bytes of the ID3v2 tag (versions 2.2 to 2.4) that `data` begins with:
// header, body (extended header, frames, padding) and the footer of 2.4.
// 0 when the first kId3v2HeaderBytes bytes are no well-formed tag header.
uint32_t Id3v2TagSize(const uint8_t* data, size_t size);

// Bytes of an ID3v1 tag and an APEv2 tag (before the ID3v1 tag or at the
// very end) in `tail`, the last `size` bytes of a source (160 suffice).
// A tag claiming more than `limit` bytes (the bytes after the leading
// tags) is not counted.
uint32_t TrailingTagSize(const uint8_t* tail, size_t size, uint32_t limit);

}  // namespace bramble
