// The font of the analysis log: one whose letters all take the same width,
// so that the log's rules and columns line up.
#ifndef MENDORA_APP_LOG_FONT_H_
#define MENDORA_APP_LOG_FONT_H_

#include <QFont>

namespace mendora {

// A fixed-pitch font of `point_size`. The desktop's "monospace" comes
// first, but only when it really is fixed-pitch: some desktops map it to a
// font whose few wide glyphs make the font database call it proportional
// (Noto Sans Mono), so the first fixed-pitch family installed comes next.
QFont FixedPitchFont(int point_size);

}  // namespace mendora

#endif  // MENDORA_APP_LOG_FONT_H_
