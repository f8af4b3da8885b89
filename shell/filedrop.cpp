// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/filedrop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace zelt {

namespace {

// The local path of the first URL that names one, or an empty text.
QString DroppedPath(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

} // namespace

TFileDrop::TFileDrop(QWidget& window, std::function<void(const QString& path)> open)
    : QObject(&window), open_(std::move(open)) {
    setObjectName(QStringLiteral("FileDrop"));
    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

bool TFileDrop::eventFilter(QObject* object, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedPath(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DroppedPath(drop->mimeData());
        if (path.isEmpty())
            return false;
        drop->acceptProposedAction();
        open_(path);
        return true;
    }
    default:
        return QObject::eventFilter(object, event);
    }
}

} // namespace zelt
