#include "settings/mode_settings.h"

#include "settings/settings_store.h"

namespace vertolin {

std::string SettingKey::Read(const SettingsStore& settings) const {
  return settings.ReadSetting(key, fallback);
}

}  // namespace vertolin
