// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/axistitle.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

#include <cmath>

namespace zelt {

namespace {

// The title laid out in the axis's label font.
void LayOut(QTextDocument& document, const QCPAxis& axis, const QString& html) {
    document.setDocumentMargin(0);
    document.setDefaultFont(axis.labelFont());
    document.setHtml(html);
}

// The axis's room beyond the axis rectangle: ticks, tick labels and padding. QCPAxis computes
// it for the layout but keeps the routine protected; a pointer to the member taken through a
// derived class reaches it without touching the axis's state.
class TAxisMargin : public QCPAxis {
public:
    static int Of(QCPAxis& axis) { return (axis.*(&TAxisMargin::calculateMargin))(); }
};

} // namespace

TAxisTitle::TAxisTitle(QCPAxis* axis, const QString& caption, const QString& html)
    : QCPLayerable(axis->parentPlot(), QString(), axis), axis_(axis) {
    setParent(axis);
    setLayer(axis->layer());
    axis->setLabel(QString());
    Set(caption, html);
}

void TAxisTitle::Set(const QString& caption, const QString& html) {
    caption_ = caption;
    html_ = html;
    QTextDocument document;
    LayOut(document, *axis_, html);
    axis_->setPadding(axis_->labelPadding() +
                      static_cast<int>(std::ceil(document.size().height())));
}

TAxisTitle* TAxisTitle::Of(const QCPAxis* axis) {
    return axis->findChild<TAxisTitle*>(QString(), Qt::FindDirectChildrenOnly);
}

void TAxisTitle::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    applyAntialiasingHint(painter, true, QCP::aeAxes);
}

void TAxisTitle::draw(QCPPainter* painter) {
    if (!axis_->visible())
        return;
    QTextDocument document;
    LayOut(document, *axis_, html_);
    const QSizeF size = document.size();
    // The title's band: the axis's padding at the outer end of its room, less the gap to the
    // tick labels.
    const QRect rect = axis_->axisRect()->rect();
    const int outer = axis_->offset() + TAxisMargin::Of(*axis_);
    const double near = outer - axis_->padding() + axis_->labelPadding();
    painter->save();
    switch (axis_->axisType()) {
    case QCPAxis::atBottom:
        painter->translate(rect.center().x() - size.width() / 2, rect.bottom() + near);
        break;
    case QCPAxis::atTop:
        painter->translate(rect.center().x() - size.width() / 2, rect.top() - near - size.height());
        break;
    case QCPAxis::atLeft:
        painter->translate(rect.left() - near - size.height(),
                           rect.center().y() + size.width() / 2);
        painter->rotate(-90);
        break;
    case QCPAxis::atRight:
        painter->translate(rect.right() + near + size.height(),
                           rect.center().y() - size.width() / 2);
        painter->rotate(90);
        break;
    }
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, axis_->labelColor());
    document.documentLayout()->draw(painter, context);
    painter->restore();
}

} // namespace zelt
