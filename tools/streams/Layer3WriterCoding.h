// Coding of one granule and channel for the Layer III test writer:
// scalefactors (part 2) and Huffman-coded values (part 3).
#pragma once

#include <string>

#include "tools/streams/Layer3Codes.h"
#include "tools/streams/Layer3Writer.h"

namespace bramble {
namespace test {

// Appends part 2 and part 3 of channel `ch` of granule `gr` to `sink`,
// computing the fields the channel's auto_ flags ask for. `scfsi` is the
// channel's scfsi (MPEG-1). False with `error` set when the values cannot be
// coded as asked.
bool CodeChannel(const Layer3Header& h, int gr, int ch, const int32_t* scfsi, Layer3Channel& c,
                 Layer3BitSink& sink, std::string* error);

// The big-values region boundaries (region1 start, region2 start) that a
// decoder derives from the granule's side information.
void RegionBounds(const Layer3Header& h, const GranuleInfo& gi, int* region1, int* region2);

}  // namespace test
}  // namespace bramble
