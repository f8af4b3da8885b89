// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window says about the last result beside its result line, outside the saved report:
// the status bar tells why a flagged map or fit cannot be trusted (and a read's warnings); the
// report memo's tool tip keeps that line, or what to quote of a sound fit.

#include "app/resultrow.h"

#include <QObject>

#include <string>
#include <vector>

class QStatusBar;
class QWidget;

namespace zelt {

class TResultStatus : public QObject {
    Q_OBJECT
public:
    TResultStatus(QStatusBar* statusBar, QWidget* report, QObject* parent = nullptr);

    // The line of QualityText for the result just appended to the report: on the tool tip, and
    // for a flagged result on the status bar too.
    void Show(const TResultRow& row);
    // The warnings of a read (a negative intensity), or nothing when there are none.
    void ShowWarnings(const std::vector<std::string>& warnings);

private:
    void ShowText(const QString& text, bool onStatusBar);

    QStatusBar* statusBar_;
    QWidget* report_;
    QString shown_; // the status bar message of this class, while it stands
};

} // namespace zelt
