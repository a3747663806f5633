#pragma once

class QSettings;

namespace prismeta {

// The show's preferences kept in the application's settings: the fade of the
// blackout, in seconds (defaultBlackoutFade unless set). A value that is not
// a number reads as the default, one out of 0..maxBlackoutFade as the nearest
// end of it.
double readBlackoutFade(const QSettings& settings);
void writeBlackoutFade(QSettings& settings, double seconds);

} // namespace prismeta
