// While a job runs inside the command handler, the Qt window lets its events through now and then
// so that the user can stop the job. This gate, installed for that moment, keeps the clicks and
// keys meant for the window's controls from reaching them (they would change options under the
// job) and turns Esc into the stop question. The menu bar, its menus, the close button and other
// windows get their events as usual.
#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace kelvarin::qt {

class JobInputGate final : public QObject {
public:
    JobInputGate(QWidget& window, std::function<void()> onEscape);
    ~JobInputGate() override;
    JobInputGate(const JobInputGate&) = delete;
    JobInputGate& operator=(const JobInputGate&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    std::function<void()> onEscape_;
};

}  // namespace kelvarin::qt
