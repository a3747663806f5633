#include "app/OutputWindow.h"

#include "app/Icons.h"
#include "app/OutputView.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace prismeta {

OutputWindow::OutputWindow(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new OutputView(adapter, outputID, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(appIcon(AppIcon::application));
    setFocusPolicy(Qt::StrongFocus);
    // Black under everything, including whatever the window system shows
    // before the first frame.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    view_->setFocusPolicy(Qt::NoFocus);

    resize(defaultWidth, defaultHeight);
    connect(view_, &OutputView::nameChanged, this, &OutputWindow::applyTitle);
    applyTitle(QString::fromStdString(view_->config().name));
}

const std::optional<Uuid>& OutputWindow::outputID() const {
    return view_->outputID();
}

void OutputWindow::applyTitle(const QString& name) {
    QString title = name;
    // A name is text, never Qt's modified-mark placeholder.
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title);
    // Assistive technology announces the window by the title it shows.
    setAccessibleName(name);
}

void OutputWindow::toggleFullScreen() {
    if (isFullScreen()) {
        leaveFullScreen();
    } else {
        enterFullScreen(screen());
    }
}

void OutputWindow::enterFullScreen(QScreen* target) {
    if (target == nullptr) {
        target = screen();
    }
    if (isFullScreen() && screen() == target) {
        return;
    }
    if (isFullScreen()) {
        // Back to a normal window first, so the window system moves it.
        showNormal();
    }
    if (target != nullptr && target != screen()) {
        QRect frame = geometry();
        frame.moveCenter(target->availableGeometry().center());
        setGeometry(frame);
        if (QWindow* window = windowHandle()) {
            window->setScreen(target);
        }
    }
    showFullScreen();
}

void OutputWindow::leaveFullScreen() {
    if (isFullScreen()) {
        showNormal();
    }
}

QString OutputWindow::fullScreenLabel(const QScreen* target) {
    QString label = tr("Full Screen On %1").arg(target->name());
    const QString model = target->model().trimmed();
    if (!model.isEmpty() && model != target->name()) {
        label += QStringLiteral(" (%1)").arg(model);
    }
    return label;
}

void OutputWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

void OutputWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        updateCursor();
    }
}

void OutputWindow::updateCursor() {
    // Nothing but the picture on a projector: no pointer over it.
    if (isFullScreen()) {
        setCursor(Qt::BlankCursor);
    } else {
        unsetCursor();
    }
}

void OutputWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    for (QScreen* target : QGuiApplication::screens()) {
        QAction* action = menu.addAction(fullScreenLabel(target));
        // A screen may be unplugged while the menu is open.
        const QPointer<QScreen> guarded(target);
        connect(action, &QAction::triggered, this, [this, guarded] {
            if (guarded) {
                enterFullScreen(guarded);
            }
        });
    }
    if (isFullScreen()) {
        menu.addSeparator();
        QAction* leave = menu.addAction(tr("Leave Full Screen"));
        connect(leave, &QAction::triggered, this, &OutputWindow::leaveFullScreen);
    }
    menu.exec(event->globalPos());
}

void OutputWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier) {
        toggleFullScreen();
        return;
    }
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        leaveFullScreen();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OutputWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        toggleFullScreen();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace prismeta
