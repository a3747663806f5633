#pragma once

#include <QString>

namespace prismeta {

// The captions above the selected surface's opacity and feather sliders:
// the word, two spaces, the value times 100 cut toward zero, and "%". The
// opacity is scaled in double precision and the feather in single, as the
// fields are stored, so an opacity of 0.29 shows 28 (0.29 × 100 falls just
// below 29) while a feather of 0.29 shows 29.
//
// Pure functions; any thread.

QString opacityCaption(double opacity);
QString featherCaption(float feather);

// A number already scaled to percent, cut toward zero, as a plain decimal
// integer (not localised; never "-0").
QString truncatedPercentText(double scaled);

} // namespace prismeta
