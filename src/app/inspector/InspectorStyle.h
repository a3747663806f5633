#pragma once

#include <QString>

class QFrame;
class QLabel;
class QWidget;

namespace prismeta {

// The inspector's text styles, relative to the application font: a bold
// headline for section titles, a slightly smaller subheadline for control
// captions, and two caption sizes for notes; and three tones of the text
// colour (secondary and tertiary fade toward the background).
enum class TextStyle { body, headline, subheadline, caption, smallCaption };
enum class Tone { primary, secondary, tertiary };

// Interface thread only.
void applyTextStyle(QWidget* widget, TextStyle style, Tone tone = Tone::primary);
QLabel* makeLabel(const QString& text, TextStyle style, Tone tone, QWidget* parent = nullptr);

// A thin horizontal line between the panel's parts.
QFrame* makeDivider(QWidget* parent = nullptr);

} // namespace prismeta
