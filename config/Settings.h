// The plug-in's settings as one record: each value's field, registry place,
// kind and default are written once, in BRAMBLE_SETTINGS. A new setting is
// one line there.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "tags/Title.h"

namespace bramble {

// X(field, subkey, kind, value name, default); kind Text is decimal text,
// Dword a REG_DWORD.
#define BRAMBLE_SETTINGS(X)                                                                   \
  X(thread_priority, kPluginSubkey, Text, "ThreadPriority", 5)   /* playback thread step 0..6 */ \
  X(filter, kPluginSubkey, Text, "Filter", 16)                   /* Quality/Speed 12, 14 or 16 */ \
  X(bandwidth, kPluginSubkey, Text, "Bandwidth", 0)              /* CPU class; always 0 */        \
  X(gapless, kPluginSubkey, Dword, "Gapless", 0)                 /* trim delay and padding */     \
  X(full_accuracy, kPluginSubkey, Dword, "FullAccuracy", 0)      /* exact float synthesis */      \
  X(qdx_auto_switch, kNotifySubkey, Dword, "QDX Auto Switch", 1) /* a text may switch the view */

struct Settings {
#define BRAMBLE_SETTING_FIELD(field, subkey, kind, name, fallback) int field = fallback;
  BRAMBLE_SETTINGS(BRAMBLE_SETTING_FIELD)
#undef BRAMBLE_SETTING_FIELD
  // "ID3Tag", the stored title order (read, never written): bytes, or -1.
  uint8_t title_order[TitleOrderTable::kStoredBytes] = {};
  int title_order_bytes = -1;

  // A missing value keeps its default.
  static Settings Load();
  // Writes the given fields to the user's tree, e.g. Store({&Settings::filter}).
  void Store(std::initializer_list<int Settings::*> fields) const;
  // Makes a stored title order the one titles are composed with.
  void ApplyTitleOrder() const;
};

}  // namespace bramble
