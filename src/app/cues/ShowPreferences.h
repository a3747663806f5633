#pragma once

class QSettings;

namespace prismeta {

// The show's preferences kept in the application's settings: the fade of the
// blackout, in seconds (defaultBlackoutFade unless set). A value that is not
// a number reads as the default, one out of 0..maxBlackoutFade as the nearest
// end of it.
double readBlackoutFade(const QSettings& settings);
void writeBlackoutFade(QSettings& settings, double seconds);

// How long a live surface keeps its source's last picture once pictures stop
// coming, before it shows the placeholder, in seconds (LiveSources'
// default unless set); read as the blackout fade is, within 0..60.
double readLiveHoldSeconds(const QSettings& settings);
void writeLiveHoldSeconds(QSettings& settings, double seconds);

} // namespace prismeta
