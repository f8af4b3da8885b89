// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An axis title set in rich text: subscripts, superscripts and italic quantity symbols
// (log<sub>10</sub> <i>n</i><sub>1</sub>), which a plain axis label cannot show. The title is
// drawn through the painter as text, so a PDF or SVG keeps it as vector text; on a left axis it
// reads upwards, on a right one downwards, as the plain labels do.
//
// The axis itself keeps no label: it reserves the title's height as its padding, so the title
// sits where a plain label would, beyond the tick labels.

#include <QString>

#include <qcustomplot.h>

namespace zelt {

class TAxisTitle : public QCPLayerable {
    Q_OBJECT
public:
    // Titles `axis` with `html`; `caption` is the same title in plain text.
    TAxisTitle(QCPAxis* axis, const QString& caption, const QString& html);

    // Replaces the title, for an axis whose quantity changes.
    void Set(const QString& caption, const QString& html);
    QString Caption() const { return caption_; }
    QString Html() const { return html_; }
    // The title of `axis`, or none.
    static TAxisTitle* Of(const QCPAxis* axis);

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

private:
    QCPAxis* axis_;
    QString caption_, html_;
};

} // namespace zelt
