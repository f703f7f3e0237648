#include "ui/qt/window_metrics.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QString>

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

}  // namespace kelvarin::qt
