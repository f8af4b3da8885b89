// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Controls made alike on every page of the window.

#include <QPushButton>
#include <QString>

namespace zelt {

// A push button named `name` (its established control name) that Enter does not press.
inline QPushButton* Button(const char* name, const QString& caption) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace zelt
