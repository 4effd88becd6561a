// Where the skins leave room for the controls. The skins were drawn for an
// 8-point dialog font; the dialogs lay their controls out with Qt layouts
// over them and grow with longer words, larger fonts and the user's resizing,
// while these places keep the controls off the pictures' drawn parts.
#ifndef MENDORA_RESOURCES_DIALOG_LAYOUTS_H_
#define MENDORA_RESOURCES_DIALOG_LAYOUTS_H_

#include <QMargins>
#include <QSize>

namespace mendora::layout {

// The dialogs' font, in points.
inline constexpr int kDialogPointSize = 8;
// The narrowest a push button is drawn (50 dialog units of the 8-point font).
inline constexpr int kButtonWidth = 75;

namespace main_dialog {
// The skin's size: the client area (without the menu bar) at the start.
inline constexpr QSize kSkinSize{650, 410};
// The client area at the first start; later starts keep the user's size.
inline constexpr QSize kFirstSize{760, 540};
// The header band above the controls, the working area's margins, and the
// footer band (from this row of the skin down) that carries the buttons and
// the status bar.
inline constexpr QMargins kWorkingArea{70, 108, 107, 0};
inline constexpr int kFooterRow = 358;
inline constexpr int kButtonsRight = 26;
// The skin's drawn parts: the drums at the left of the header, the arcs at
// its right and in the lower right corner. They are never stretched.
inline constexpr QMargins kFixedEdges{200, 108, 200, 138};
// The button that opens the preview has a longer text.
inline constexpr int kPreviewButtonWidth = 120;
}  // namespace main_dialog

namespace about_dialog {
inline constexpr QSize kSkinSize{416, 223};
// The text stands right of the dark strip, below the rule's top.
inline constexpr QMargins kTextArea{60, 12, 16, 12};
// The strip and its drum, the rule under the product name, the arcs.
inline constexpr QMargins kFixedEdges{56, 64, 140, 110};
}  // namespace about_dialog

}  // namespace mendora::layout

#endif  // MENDORA_RESOURCES_DIALOG_LAYOUTS_H_
