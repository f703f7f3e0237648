#include "ui/qt/job_input_gate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

namespace kelvarin::qt {

namespace {

bool isInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut: return true;
        default: return false;
    }
}

}  // namespace

JobInputGate::JobInputGate(QWidget& window, std::function<void()> onEscape)
    : window_(window), onEscape_(std::move(onEscape)) {
    qApp->installEventFilter(this);
}

JobInputGate::~JobInputGate() { qApp->removeEventFilter(this); }

bool JobInputGate::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != &window_ || !isInput(event->type())) return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        onEscape_();
        return true;
    }
    // The menu bar opens its menus (a separate window each), which holds "Stop Conversion".
    if (auto* main = qobject_cast<QMainWindow*>(&window_);
        main != nullptr && (widget == main->menuBar() || main->menuBar()->isAncestorOf(widget)))
        return false;
    return true;
}

}  // namespace kelvarin::qt
