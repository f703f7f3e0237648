#include "ui/qt/window_metrics.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QString>
#include <algorithm>

namespace kelvarin::qt {

QFont resolveFont(const window::FontSpec& spec) {
    const QString face = QString::fromUtf8(spec.face.data(), static_cast<qsizetype>(spec.face.size()));
    QFont font(face);
    if (QFontInfo(font).family().compare(face, Qt::CaseInsensitive) != 0) {
        // fontconfig hands out some other face for an unknown name; the platform's own choice
        // for the job reads better than whatever it substitutes.
        font = QFontDatabase::systemFont(spec.monospace ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    }
    font.setPointSize(spec.pointSize);
    font.setBold(spec.bold);
    if (spec.monospace) font.setStyleHint(QFont::Monospace);
    return font;
}

DialogUnits::DialogUnits(const QFont& dialogFont) {
    // The measure Windows uses for dialog base units: the mean width of A-Z and a-z, rounded.
    const QFontMetrics metrics(dialogFont);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth_ = (letters / 26 + 1) / 2;
    baseHeight_ = metrics.height();
    if (baseWidth_ < 1) baseWidth_ = 1;
    if (baseHeight_ < 1) baseHeight_ = 1;
}

QRect DialogUnits::rect(const window::DuRect& r) const {
    return QRect(x(r.x), y(r.y), x(r.x + r.width) - x(r.x), y(r.y + r.height) - y(r.y));
}

QPoint placeOnScreen(QPoint wanted, QSize frameSize, const QRect& available) {
    QPoint place = wanted;
    // QRect's right() and bottom() are the last pixel inside, hence the + 1.
    const int overRight = place.x() + frameSize.width() - (available.right() + 1);
    const int overBottom = place.y() + frameSize.height() - (available.bottom() + 1);
    if (overRight > 0) place.rx() -= overRight;
    if (overBottom > 0) place.ry() -= overBottom;
    place.setX(std::max(place.x(), available.left()));
    place.setY(std::max(place.y(), available.top()));
    return place;
}

void ProgressRange::setRange(std::int32_t minimum, std::int32_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    clampPosition();
}

void ProgressRange::setPosition(std::int32_t position) {
    position_ = position;
    clampPosition();
}

void ProgressRange::clampPosition() {
    if (position_ < minimum_) position_ = minimum_;
    if (position_ > maximum_) position_ = maximum_;
}

int ProgressRange::fill() const {
    const std::int64_t span = std::int64_t{maximum_} - minimum_;
    if (span <= 0) return kFillSteps;  // a range of one value, and the position is on it
    return static_cast<int>((std::int64_t{position_} - minimum_) * kFillSteps / span);
}

}  // namespace kelvarin::qt
