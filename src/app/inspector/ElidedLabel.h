#pragma once

#include <QLabel>

namespace prismeta {

// A one-line label that cuts its text in the middle (or at the end) with an
// ellipsis when it does not fit, instead of growing the panel. The full text
// stays its accessible name and tooltip.
//
// Interface thread only; owned by its parent widget.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The height of the one line, descenders and underscores included.
    int lineHeight() const;
    void updateShownText();

    Qt::TextElideMode mode_;
    QString fullText_;
};

} // namespace prismeta
