// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/windowmemory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSplitter>

namespace zelt {

namespace {

const QStringList kRemembered = {QStringLiteral("AreaSplitter"), QStringLiteral("UpperSplitter"),
                                 QStringLiteral("RegionLevelBox"),
                                 QStringLiteral("FitTempCheckBox")};

} // namespace

TWindowMemory::TWindowMemory(const QString& file) : settings_(file, QSettings::IniFormat) {}

QString TWindowMemory::SaveStart(const QString& kind, const QString& folder,
                                 const QString& measurement, const QString& suffix) const {
    const QString start = settings_.value(QStringLiteral("SaveFolders/") + kind, folder).toString();
    if (measurement.isEmpty())
        return start;
    return QDir(start).filePath(QFileInfo(measurement).completeBaseName() + "_" + kind + suffix);
}

void TWindowMemory::Saved(const QString& kind, const QString& fileName) {
    settings_.setValue(QStringLiteral("SaveFolders/") + kind, QFileInfo(fileName).absolutePath());
}

TImageChoice TWindowMemory::ImageChoice() const {
    const TImageChoice defaults;
    const int preset = settings_.value(QStringLiteral("ImageSize/Preset")).toInt();
    return {preset >= 0 && preset <= static_cast<int>(TImageChoice::TPreset::Custom)
                ? static_cast<TImageChoice::TPreset>(preset)
                : defaults.Preset,
            settings_.value(QStringLiteral("ImageSize/Size"), defaults.Size).toSizeF(),
            settings_.value(QStringLiteral("ImageSize/Millimetres"), defaults.Millimetres).toBool(),
            settings_.value(QStringLiteral("ImageSize/DotsPerInch"), defaults.DotsPerInch).toInt()};
}

void TWindowMemory::SetImageChoice(const TImageChoice& choice) {
    settings_.setValue(QStringLiteral("ImageSize/Preset"), static_cast<int>(choice.Preset));
    settings_.setValue(QStringLiteral("ImageSize/Size"), choice.Size);
    settings_.setValue(QStringLiteral("ImageSize/Millimetres"), choice.Millimetres);
    settings_.setValue(QStringLiteral("ImageSize/DotsPerInch"), choice.DotsPerInch);
}

void TWindowMemory::Restore(QWidget& window) const {
    for (const QString& name : kRemembered) {
        const QVariant value = settings_.value(QStringLiteral("Window/") + name);
        if (!value.isValid())
            continue;
        if (auto* splitter = window.findChild<QSplitter*>(name))
            splitter->restoreState(value.toByteArray());
        else if (auto* box = window.findChild<QComboBox*>(name);
                 box != nullptr && value.toInt() >= 0 && value.toInt() < box->count())
            box->setCurrentIndex(value.toInt());
        else if (auto* tick = window.findChild<QCheckBox*>(name))
            tick->setChecked(value.toBool());
    }
}

void TWindowMemory::Store(const QWidget& window) {
    for (const QString& name : kRemembered) {
        const QString key = QStringLiteral("Window/") + name;
        if (const auto* splitter = window.findChild<QSplitter*>(name))
            settings_.setValue(key, splitter->saveState());
        else if (const auto* box = window.findChild<QComboBox*>(name))
            settings_.setValue(key, box->currentIndex());
        else if (const auto* tick = window.findChild<QCheckBox*>(name))
            settings_.setValue(key, tick->isChecked());
    }
    settings_.sync();
}

} // namespace zelt
