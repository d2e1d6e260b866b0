#include "config/Settings.h"

#include "config/SettingsKey.h"

namespace bramble {

namespace {
int ReadText(const char* subkey, const char* name, int fallback) { return ReadSettingNumber(subkey, name, fallback); }
int ReadDword(const char* subkey, const char* name, int fallback) {
  return int(ReadSettingDword(subkey, name, DWORD(fallback)));
}
void WriteText(const char* subkey, const char* name, int value) { WriteSettingNumber(subkey, name, value); }
void WriteDword(const char* subkey, const char* name, int value) { WriteSettingDword(subkey, name, DWORD(value)); }
}  // namespace

Settings Settings::Load() {
  Settings s;
#define BRAMBLE_SETTING_READ(field, subkey, kind, name, fallback) s.field = Read##kind(subkey, name, fallback);
  BRAMBLE_SETTINGS(BRAMBLE_SETTING_READ)
#undef BRAMBLE_SETTING_READ
  s.title_order_bytes = ReadSettingBinary(kPluginSubkey, "ID3Tag", s.title_order, sizeof s.title_order);
  return s;
}

void Settings::Store(std::initializer_list<int Settings::*> fields) const {
  for (int Settings::*f : fields) {
#define BRAMBLE_SETTING_WRITE(field, subkey, kind, name, fallback) \
  if (f == &Settings::field) Write##kind(subkey, name, this->*f);
    BRAMBLE_SETTINGS(BRAMBLE_SETTING_WRITE)
#undef BRAMBLE_SETTING_WRITE
  }
}

void Settings::ApplyTitleOrder() const {
  if (title_order_bytes > 0) LoadTitleOrder(title_order, size_t(title_order_bytes));
}

}  // namespace bramble
