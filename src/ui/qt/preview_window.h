// The Qt preview window: the controls of the preview description, laid out again whenever the
// window is resized, showing what the PreviewModel holds. It draws; the model decides.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "ui/preview_model.h"
#include "ui/qt/window_metrics.h"

namespace kelvarin::qt {

class PreviewWindow final : public QWidget {
    Q_OBJECT

public:
    // A window of its own, without a parent: it stays open beside the main window.
    PreviewWindow();

    // Shows these results (one height map, or a terrain set's three tiles) and brings the window up.
    void showResults(std::vector<FinishedReport> results);
    // Shows these results if the window is open, where it is, without bringing it up.
    void updateResults(std::vector<FinishedReport> results);
    PreviewModel& model() { return model_; }
    QWidget* control(int id) const;
    // "Save Preview As..." calls this; the button is greyed while it is empty.
    std::function<void(PreviewWindow&)> onSave;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void layoutControls();
    // Texts, checks, visibility and pictures from the model.
    void refresh();

    PreviewModel model_;
    std::vector<QFont> fonts_;
    DialogUnits units_;
    std::map<int, QWidget*> controls_;
};

}  // namespace kelvarin::qt
