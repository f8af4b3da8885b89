#include "shell/numberedit.h"

#include "common/convert.h"

#include <QFocusEvent>
#include <QTimer>

#include <cstdint>

namespace zelt {

TNumberEdit::TNumberEdit(TKind kind, const QString& caption, QWidget* parent)
    : QLineEdit(parent), kind_(kind), caption_(caption) {
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (marked_ && HoldsPositiveNumber())
            SetMarked(false);
    });
}

bool TNumberEdit::HoldsPositiveNumber() const {
    const std::string value = text().toStdString();
    if (kind_ == TKind::Integer) {
        std::int32_t number = 0;
        return TryStrToInt(value, number) && number > 0;
    }
    double number = 0;
    return TryStrToFloat(value, number) && number > 0;
}

QString TNumberEdit::Complaint() const {
    if (HoldsPositiveNumber())
        return QString();
    const QString what = kind_ == TKind::Integer ? QStringLiteral("a whole number above 0")
                                                 : QStringLiteral("a number above 0");
    return QStringLiteral("%1: \"%2\" is not %3.").arg(caption_, text(), what);
}

void TNumberEdit::SetMarked(bool marked) {
    marked_ = marked;
    QPalette colours;
    if (marked)
        colours.setColor(QPalette::Base, QColor(255, 215, 215));
    setPalette(colours);
    setToolTip(marked ? Complaint() : QString());
    emit ComplaintChanged(marked ? Complaint() : QString());
}

// Switching to another window or opening a menu is no leaving of the box.
void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (!HoldsPositiveNumber()) {
        SetMarked(true);
        QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
    }
}

} // namespace zelt
