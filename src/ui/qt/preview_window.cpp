#include "ui/qt/preview_window.h"

#include <QButtonGroup>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>

#include "ui/ids.h"
#include "ui/preview_description.h"
#include "ui/wide_text.h"

namespace kelvarin::qt {

namespace {

QString uiText(std::string_view text) {
    const std::u16string wide = utf16FromUtf8(text);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

QColor colour(preview::Colour c) { return QColor(c.red, c.green, c.blue); }

QString joined(const std::vector<std::string>& lines, const char* separator) {
    QString text;
    for (const std::string& line : lines) {
        if (!text.isEmpty()) text += QLatin1String(separator);
        text += uiText(line);
    }
    return text;
}

// The chosen picture, scaled to fit its view with its proportions kept, centred.
class ImageView final : public QWidget {
public:
    ImageView(PreviewModel& model, QWidget* parent) : QWidget(parent), model_(model) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), colour(preview::kImageBackground));
        const GreyImage& picture = model_.image();
        if (picture.width == 0 || picture.height == 0) return;
        const QImage image(picture.pixels.data(), static_cast<int>(picture.width), static_cast<int>(picture.height),
                           static_cast<qsizetype>(picture.width), QImage::Format_Grayscale8);
        // A map of one row or column still shows as a line, however thin it comes out.
        const QSize fitted =
            QSize(image.width(), image.height()).scaled(size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    }

private:
    PreviewModel& model_;
};

// One bar per bin of 256 levels, the tallest bin filling the view.
class HistogramView final : public QWidget {
public:
    HistogramView(PreviewModel& model, QWidget* parent) : QWidget(parent), model_(model) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), colour(preview::kHistogramBackground));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        const int inner = height() - 2;
        const std::array<int, 256> bars = model_.histogramBars(inner);
        for (int bin = 0; bin < 256; ++bin) {
            const int left = 1 + bin * (width() - 2) / 256, right = 1 + (bin + 1) * (width() - 2) / 256;
            if (bars[static_cast<std::size_t>(bin)] == 0) continue;
            painter.fillRect(left, 1 + inner - bars[static_cast<std::size_t>(bin)], std::max(1, right - left),
                             bars[static_cast<std::size_t>(bin)], colour(preview::kHistogramBars));
        }
    }

private:
    PreviewModel& model_;
};

}  // namespace

PreviewWindow::PreviewWindow() : units_(resolveFont(window::font(window::FontRole::Dialog))) {
    for (const window::FontSpec& spec : window::fonts()) {
        const auto index = static_cast<std::size_t>(spec.role);
        if (fonts_.size() <= index) fonts_.resize(index + 1);
        fonts_[index] = resolveFont(spec);
    }
    const preview::FrameDescription& frame = preview::frame();
    setWindowTitle(uiText(frame.caption));
    setWindowFlags(Qt::Window);
    setFont(fonts_[static_cast<std::size_t>(window::FontRole::Dialog)]);
    setMinimumSize(units_.x(frame.minimumWidth), units_.y(frame.minimumHeight));
    resize(units_.x(frame.clientWidth), units_.y(frame.clientHeight));
    buildControls();
    refresh();
}

void PreviewWindow::buildControls() {
    QButtonGroup* group = nullptr;
    for (const preview::ControlDescription& description : preview::controls()) {
        const QString text = uiText(description.text);
        QWidget* widget = nullptr;
        switch (description.kind) {
            case preview::ControlKind::RadioButton: {
                auto* button = new QRadioButton(text, this);
                if (description.startsGroup || group == nullptr) group = new QButtonGroup(this);
                group->addButton(button, description.id);
                widget = button;
                break;
            }
            case preview::ControlKind::PushButton: widget = new QPushButton(text, this); break;
            case preview::ControlKind::Label: {
                auto* label = new QLabel(text, this);
                label->setWordWrap(true);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment((description.align == preview::Align::Right ? Qt::AlignRight : Qt::AlignLeft) |
                                    Qt::AlignTop);
                widget = label;
                break;
            }
            case preview::ControlKind::ImageView: widget = new ImageView(model_, this); break;
            case preview::ControlKind::HistogramView: widget = new HistogramView(model_, this); break;
        }
        if (description.kind != preview::ControlKind::RadioButton) group = nullptr;
        widget->setObjectName(QStringLiteral("control%1").arg(description.id));
        widget->setFont(fonts_[static_cast<std::size_t>(description.font)]);
        controls_[description.id] = widget;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const int id = description.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] {
                if (id == ids::PreviewSave) {
                    if (onSave) onSave(*this);
                } else if (model_.handle(id)) {
                    refresh();
                }
            });
        }
    }
    auto* warnings = qobject_cast<QLabel*>(control(ids::PreviewWarnings));
    QPalette palette = warnings->palette();
    palette.setColor(QPalette::WindowText, colour(preview::kWarningColour));
    warnings->setPalette(palette);
    layoutControls();
}

void PreviewWindow::layoutControls() {
    const preview::BaseUnits units{units_.baseWidth(), units_.baseHeight()};
    for (const preview::ControlDescription& description : preview::controls()) {
        const preview::PixelRect r = preview::place(description, width(), height(), units);
        control(description.id)->setGeometry(r.x, r.y, r.width, r.height);
    }
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutControls();
}

QWidget* PreviewWindow::control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void PreviewWindow::refresh() {
    for (const preview::ControlDescription& description : preview::controls()) {
        QWidget* widget = control(description.id);
        widget->setVisible(model_.isVisible(description.id));
        if (description.kind == preview::ControlKind::RadioButton)
            qobject_cast<QAbstractButton*>(widget)->setChecked(model_.isChecked(description.id));
    }
    qobject_cast<QLabel*>(control(ids::PreviewFigures))->setText(joined(model_.figureLines(), "\n"));
    auto* warnings = qobject_cast<QLabel*>(control(ids::PreviewWarnings));
    warnings->setText(joined(model_.warningLines(), "\n\n"));
    warnings->setFont(fonts_[static_cast<std::size_t>(model_.hasWarnings() ? window::FontRole::Frame
                                                                           : window::FontRole::Dialog)]);
    warnings->setForegroundRole(model_.hasWarnings() ? QPalette::WindowText : QPalette::Text);
    control(ids::PreviewSave)->setEnabled(!model_.empty() && onSave != nullptr);
    control(ids::PreviewImage)->update();
    control(ids::PreviewHistogram)->update();
}

void PreviewWindow::showResults(std::vector<FinishedReport> results) {
    model_.setResults(std::move(results));
    refresh();
    // A minimized preview comes back too.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void PreviewWindow::updateResults(std::vector<FinishedReport> results) {
    if (!isVisible()) return;
    model_.setResults(std::move(results));
    refresh();
}

}  // namespace kelvarin::qt
