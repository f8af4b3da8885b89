// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's About box: the program's version, its licence and how to cite it, the texts of
// the application layer (app/about.h) that zeltfit-cli --version prints too.

class QMessageBox;
class QPushButton;
class QWidget;

namespace zelt {

// The box, not yet shown, titled "About Zelt Fit": "Zelt Fit" and the version, then the
// licence and the citation. It deletes itself when closed.
QMessageBox* CreateAboutBox(QWidget* parent);

// The button "About" (object name "AboutBtn") that opens the box over `window` without blocking
// the window's event loop.
QPushButton* CreateAboutButton(QWidget* window);

} // namespace zelt
