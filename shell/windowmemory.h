// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window remembers from one session to the next beside the configuration: the last
// folder of each kind of saved file, the size of saved images, the splitter positions, the
// region level and the Fit T_exc tick. Kept in a file of its own next to zeltfit.ini, which
// stays the configuration that zeltfit-cli shares.

#include "shell/imagesizedialog.h"

#include <QSettings>
#include <QString>

class QWidget;

namespace zelt {

class TWindowMemory {
public:
    explicit TWindowMemory(const QString& file);

    // Where the save dialog of `kind` ("report", "table", "map", "series", "image") starts:
    // its last folder, else `folder`, with the name `measurement`'s base name + "_" + kind
    // + `suffix` (argon_5e16_map.txt), or the folder alone without a measurement.
    QString SaveStart(const QString& kind, const QString& folder, const QString& measurement,
                      const QString& suffix) const;
    // `fileName` was written: its folder is the next start of `kind`.
    void Saved(const QString& kind, const QString& fileName);

    // The last size chosen for a saved image.
    TImageChoice ImageChoice() const;
    void SetImageChoice(const TImageChoice& choice);

    // The splitters, combo boxes and check boxes under `window` that carry a remembered state.
    void Restore(QWidget& window) const;
    void Store(const QWidget& window);

private:
    mutable QSettings settings_;
};

} // namespace zelt
