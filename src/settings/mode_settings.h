// Each mode window's settings keys with their defaults, in one place: the
// window reads and writes them, and vertolin-cli reads the same ones.
#pragma once

#include <string>
#include <string_view>

namespace vertolin {

class SettingsStore;

struct SettingKey {
  std::string_view key;
  std::string_view fallback;  // the default when the key is missing

  std::string Read(const SettingsStore& settings) const;
};

namespace keys {

// The milling window (Form1).
inline constexpr SettingKey kMillWidth{"cncrez_width", "200"};    // Text6
inline constexpr SettingKey kMillDepth{"cncrez_depth", "10"};     // Text1
inline constexpr SettingKey kMillDiameter{"mill_diameter", "3"};  // Text3
inline constexpr SettingKey kMillDelay{"SM_mill_delay", "4000"};  // Text4
inline constexpr std::string_view kMillImage = "Image";           // default: ornament.bmp

// The gradation engraving and wood burning windows (Form3, Form8).
inline constexpr SettingKey kEtchWidth{"Etching_width", "200"};   // Text6
inline constexpr SettingKey kEtchDelay{"Etching_delay", "4000"};  // Text4
inline constexpr SettingKey kEtchMin{"Etching_min", "0"};         // Text3 (gradation)
inline constexpr std::string_view kEtchImage = "Etching_image";   // default: gepard2.jpg

// The scanner window (Form2). The area's Y size (Text9) has no key: it is
// always derived from Text8 and the picture size.
inline constexpr SettingKey kScanMeshWidth{"scanner_mesh_width", "6"};            // Text3
inline constexpr SettingKey kScanMeshHeight{"scanner_mesh_height", "5"};          // Text4
inline constexpr SettingKey kScanAreaWidth{"scanner_area_width", "100"};          // Text8
inline constexpr SettingKey kScanPictureWidth{"scanner_picture_width", "200"};    // Text6
inline constexpr SettingKey kScanPictureHeight{"scanner_picture_height", "200"};  // Text7

// The cutting window (Form9).
inline constexpr SettingKey kCutWidth{"Etching9_width", "200"};   // Text6
inline constexpr SettingKey kCutDelay{"Etching9_delay", "1000"};  // Text4
inline constexpr std::string_view kCutImage = "Etching9_image";   // default: ornament.bmp

// The outlining window (Form5).
inline constexpr SettingKey kOutlineWidth{"Etching2_width", "200"};      // Text6
inline constexpr SettingKey kOutlineDiameter{"Etching2_diameter", "2"};  // Text3
inline constexpr SettingKey kOutlineDelay{"Etching2_delay", "1000"};     // Text4
inline constexpr std::string_view kOutlineImage = "Etching2_image";      // default: ornament.bmp

}  // namespace keys

}  // namespace vertolin
