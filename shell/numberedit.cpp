#include "shell/numberedit.h"

#include "common/convert.h"

#include <QFocusEvent>
#include <QTimer>

#include <cstdint>

namespace zelt {

TNumberEdit::TNumberEdit(TKind kind, QWidget* parent) : QLineEdit(parent), kind_(kind) {}

bool TNumberEdit::HoldsPositiveNumber() const {
    const std::string value = text().toStdString();
    if (kind_ == TKind::Integer) {
        std::int32_t number = 0;
        return TryStrToInt(value, number) && number > 0;
    }
    double number = 0;
    return TryStrToFloat(value, number) && number > 0;
}

// Switching to another window or opening a menu is no leaving of the box.
void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (!HoldsPositiveNumber())
        QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
}

} // namespace zelt
