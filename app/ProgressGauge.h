// The status bar's progress gauge, drawn off-screen: "gotowy" on black when
// idle; while running a bar whose done part is white on black, with the
// percentage inverted over it.
#pragma once

#include <QFont>
#include <QImage>
#include <QLocale>
#include <QString>

#include <cstdint>

namespace kadrimex::ui {

// progress / (progressMax + 0.0001) * 100 in 80-bit reals; the 0.0001 keeps
// the division defined before the routine has set its maximum.
long double ProgressPercent(std::int64_t progress, std::int64_t progressMax);

// The percentage with group separators and two decimals in `locale`,
// rounded to at most four significant digits first, followed by " %".
QString ProgressText(long double percent, const QLocale& locale = QLocale());

// The gauge picture of `size` (panel width, status bar height).
QImage PaintProgressGauge(QSize size, const QFont& font, bool running, long double percent,
                          const QLocale& locale = QLocale());

}  // namespace kadrimex::ui
