#pragma once

class QWidget;

namespace prismeta {

// Makes a control take the wheel only once the user is in it (clicked or
// tabbed into, never focused by the wheel); until then a wheel passing over
// it is left to the panel around, which scrolls. Scrolling the inspector must
// never change a surface's opacity or a projector's blend on the way.
void takeWheelOnlyWhenFocused(QWidget* control);

} // namespace prismeta
