// Arbitrary bytes as a whole file through the ID3v2, APEv2 and ID3v1
// readers, the choice of what shows and the dialog's start values.
#include <cstdint>
#include <string>

#include "tags/FileTags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bramble::MemoryTagSource source(data, size);
  bramble::FileTags tags;
  bramble::ReadTags(source, &tags);
  size_t shown = bramble::TagNames(tags).size() + bramble::ShownGenreOf(tags).name.size();
  for (int f = 0; f < bramble::kTagFieldCount - 1; ++f) shown += bramble::ShownField(tags, bramble::TagField(f)).text.size();
  bramble::Id3v1Tag record;
  bramble::FillFromOtherTags(tags, &record);
  return shown > size_t(1) << 40;  // never: keeps the work observable
}
