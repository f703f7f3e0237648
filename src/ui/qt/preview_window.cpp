#include "ui/qt/preview_window.h"

#include <QButtonGroup>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <optional>

#include "ui/ids.h"
#include "ui/preview_description.h"
#include "ui/preview_view.h"
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

// The chosen picture where the PreviewView puts it: fitted at first, zoomed with the wheel about
// the cursor, dragged to pan, "Fit" and "1:1" in its top right corner, and a readout of what lies
// under the cursor in its bottom left corner.
class ImageView final : public QWidget {
public:
    ImageView(PreviewModel& model, QWidget* parent) : QWidget(parent), model_(model) {
        setMouseTracking(true);
        fit_ = new QPushButton(QStringLiteral("Fit"), this);
        oneToOne_ = new QPushButton(QStringLiteral("1:1"), this);
        for (QPushButton* button : {fit_, oneToOne_}) {
            button->setFocusPolicy(Qt::NoFocus);
            button->setFixedSize(button->sizeHint().height() * 2, button->sizeHint().height());
        }
        connect(fit_, &QPushButton::clicked, this, [this] { changeView([](PreviewView& view) { view.fit(); }); });
        connect(oneToOne_, &QPushButton::clicked, this,
                [this] { changeView([](PreviewView& view) { view.oneToOne(); }); });
    }
    const PreviewView& view() const { return view_; }
    QString readout() const { return readout_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), colour(preview::kImageBackground));
        const GreyImage& picture = model_.image();
        if (picture.width == 0 || picture.height == 0) return;
        view_.setSizes(width(), height(), picture.width, picture.height);
        const QImage image(picture.pixels.data(), static_cast<int>(picture.width), static_cast<int>(picture.height),
                           static_cast<qsizetype>(picture.width), QImage::Format_Grayscale8);
        const PicturePlacement placed = view_.placement();
        // A map of one row or column still shows as a line, however thin it comes out.
        const QRectF target(placed.x, placed.y, std::max(placed.width, 1.0), std::max(placed.height, 1.0));
        // Enlarged, each sample shows as a square; reduced, smoothly.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, view_.scale() < 1.0);
        painter.drawImage(target, image);
        if (!readout_.isEmpty()) {
            const QRect box = painter.fontMetrics().boundingRect(readout_).adjusted(-3, -2, 3, 2);
            const QRect at(QPoint(2, height() - box.height() - 2), box.size());
            painter.fillRect(at, QColor(255, 255, 255, 210));
            painter.setPen(Qt::black);
            painter.drawText(at, Qt::AlignCenter, readout_);
        }
    }
    void resizeEvent(QResizeEvent*) override {
        oneToOne_->move(width() - oneToOne_->width() - 2, 2);
        fit_->move(oneToOne_->x() - fit_->width() - 2, 2);
    }
    void wheelEvent(QWheelEvent* event) override {
        const double steps = event->angleDelta().y() / 120.0;
        const QPointF at = event->position();
        changeView([&](PreviewView& view) { view.zoomAbout({at.x(), at.y()}, std::pow(1.25, steps)); });
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) dragFrom_ = event->position();
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragFrom_.reset(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPointF at = event->position();
        if (dragFrom_ && (event->buttons() & Qt::LeftButton)) {
            const QPointF moved = at - *dragFrom_;
            dragFrom_ = at;
            changeView([&](PreviewView& view) { view.panBy(moved.x(), moved.y()); });
        }
        const auto cell = view_.pixelAt({at.x(), at.y()});
        const QString readout = cell ? uiText(model_.readout(cell->first, cell->second)) : QString();
        if (readout != readout_) {
            readout_ = readout;
            update();
        }
    }
    void leaveEvent(QEvent*) override {
        readout_.clear();
        update();
    }

private:
    template <typename Change>
    void changeView(Change&& change) {
        change(view_);
        update();
    }

    PreviewModel& model_;
    PreviewView view_;
    QPushButton* fit_ = nullptr;
    QPushButton* oneToOne_ = nullptr;
    std::optional<QPointF> dragFrom_;
    QString readout_;
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
        // Tick marks at the quarters of the levels, and the scale in the corner.
        painter.setPen(palette().color(QPalette::Dark));
        for (int bin : PreviewModel::kHistogramTickBins) {
            const int x = 1 + (2 * bin + 1) * (width() - 2) / 512;
            painter.drawLine(x, height() - 2, x, height() - 5);
        }
        painter.drawText(rect().adjusted(0, 2, -3, 0), Qt::AlignTop | Qt::AlignRight,
                         model_.logarithmicHistogram() ? QStringLiteral("log") : QStringLiteral("linear"));
    }
    // A click switches between the linear and the logarithmic scale.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        model_.setLogarithmicHistogram(!model_.logarithmicHistogram());
        update();
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
    // Shown without taking the focus from the main window, where the user goes on working.
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
    raise();
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::updateResults(std::vector<FinishedReport> results) {
    if (!isVisible()) return;
    model_.setResults(std::move(results));
    refresh();
}

}  // namespace kelvarin::qt
