// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The edit box of a number setting (app/settings.h). Leaving it with a text that is not a
// positive number of the setting's kind is refused: the focus goes back to the box, the text
// stays as it is, and the box is marked in red with the reason as its tool tip until its text
// is a positive number again.

#include "app/settings.h"

#include <QLineEdit>

namespace zelt {

class TNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    // Named after the setting's edit box; its caption names the box in the reason for a refusal.
    explicit TNumberEdit(const TSetting& setting, QWidget* parent = nullptr);
    const TSetting& Setting() const { return setting_; }
    // True when the text is a number of the box's kind and greater than zero.
    bool HoldsPositiveNumber() const;
    // Why the text is refused, or empty while it is a positive number:
    // Absorption path (m): "-2" is not a number above 0.
    QString Complaint() const;
    bool Marked() const { return marked_; }
    // The tool tip while the text is accepted: what the value means (TSetting::Meaning), then
    // "A number above 0."
    QString Help() const;
    // Marks the box with its reason and takes the focus back to it.
    void Refuse();

signals:
    // The box was marked (with the reason) or its mark removed (with an empty text).
    void ComplaintChanged(const QString& complaint);

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void SetMarked(bool marked);

    const TSetting& setting_;
    bool marked_ = false;
};

} // namespace zelt
