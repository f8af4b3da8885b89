// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's help at the controls: tool tips on the command buttons (what they do and their
// keyboard shortcut), the shortcuts themselves, and Enter in an edit box of the Map or the Fit
// group clicking that group's command.

class QWidget;

namespace zelt {

void AddControlHelp(QWidget& window);

} // namespace zelt
