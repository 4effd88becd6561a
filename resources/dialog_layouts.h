// The two dialog templates: sizes and control places in dialog units, as
// drawn for an 8-point dialog font, and their conversion to pixels.
#ifndef MENDORA_RESOURCES_DIALOG_LAYOUTS_H_
#define MENDORA_RESOURCES_DIALOG_LAYOUTS_H_

#include <QRect>
#include <QSize>

namespace mendora::layout {

struct Units {
  int x, y, width, height;
};

// Base units of an 8-point dialog font: 6 x 13 pixels for 4 x 8 units. The
// skins were drawn for exactly this scale.
inline constexpr int kBaseX = 6;
inline constexpr int kBaseY = 13;

// Rounds the way dialog templates always have (to nearest, halves up).
constexpr int ScaleX(int units) { return (units * kBaseX + 2) / 4; }
constexpr int ScaleY(int units) { return (units * kBaseY + 4) / 8; }

inline QRect ToPixels(Units u) { return QRect(ScaleX(u.x), ScaleY(u.y), ScaleX(u.width), ScaleY(u.height)); }
inline QSize ToPixels(int width_units, int height_units) { return QSize(ScaleX(width_units), ScaleY(height_units)); }

namespace main_dialog {
inline constexpr int kWidth = 433;
inline constexpr int kHeight = 251;
inline constexpr Units kPathBox{64, 106, 228, 19};
inline constexpr Units kBrowse{297, 108, 50, 14};
inline constexpr Units kNext{277, 224, 50, 14};
inline constexpr Units kLogBox{48, 92, 313, 91};
inline constexpr Units kSelectFrame{49, 88, 312, 53};
inline constexpr Units kRunningPath{112, 74, 241, 11};
inline constexpr Units kProgress{59, 199, 291, 12};
inline constexpr Units kStop{218, 224, 50, 14};
inline constexpr Units kSourceLabel{50, 74, 61, 12};
inline constexpr Units kPathFrame{47, 67, 314, 21};
inline constexpr Units kProgressFrame{48, 188, 314, 31};
inline constexpr Units kSave{159, 224, 50, 14};
inline constexpr Units kBack{100, 224, 50, 14};
inline constexpr Units kPreview{336, 224, 80, 14};
// Status pane 0 leaves this many pixels of the client width to pane 1.
inline constexpr int kStatusPane1Width = 300;
}  // namespace main_dialog

namespace about_dialog {
inline constexpr int kWidth = 276;
inline constexpr int kHeight = 126;
inline constexpr Units kProductName{40, 10, 119, 8};
inline constexpr Units kNotice{40, 25, 119, 8};
inline constexpr Units kLicence{40, 40, 228, 8};
inline constexpr Units kOk{125, 107, 50, 14};
// The links stand under the product name and run to the right edge: the
// desktop's bold sans is wider than the font the box was first drawn for,
// and a cut address would be useless.
inline constexpr Units kWebLink{40, 81, 228, 12};
inline constexpr Units kMailLink{40, 95, 228, 11};
}  // namespace about_dialog

}  // namespace mendora::layout

#endif  // MENDORA_RESOURCES_DIALOG_LAYOUTS_H_
