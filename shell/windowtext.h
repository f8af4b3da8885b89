// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's texts from the program's: the core and the files hold Windows-1252, the
// application layer's outcomes and file names UTF-8.

#include "app/application.h"
#include "common/codepage.h"

#include <QString>

#include <string>

namespace zelt {

// The application title, the caption of the window and of its boxes.
inline QString Caption() {
    return QStringLiteral("Zelt Fit");
}

inline QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Texts of the database, the listings and the report.
inline QString FromCp1252(const std::string& text) {
    return QString::fromStdString(Cp1252ToUtf8(text));
}

// Messages of the core, which mix Windows-1252 texts with UTF-8 file names (MessageText).
inline QString FromCoreText(const std::string& text) {
    return QString::fromStdString(MessageText(text));
}

} // namespace zelt
