// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files dropped on the window: a measurement file is read as a click in the file list would
// read it (its folder becomes the list's), a folder dropped shows its files in the list.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace zelt {

class TFileDrop : public QObject {
    Q_OBJECT
public:
    // `open` gets the local path of the first file or folder dropped on `window`.
    TFileDrop(QWidget& window, std::function<void(const QString& path)> open);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    std::function<void(const QString&)> open_;
};

} // namespace zelt
