// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the window tests: dialogs that record instead of blocking, a temporary data
// folder with a configuration, and measurement files of the bundled argon database.

#include "shell/dialogs.h"
#include "shell/imagesizedialog.h"

#include <QDir>
#include <QFile>
#include <QMessageLogContext>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

// Readable texts in the messages of failed comparisons.
inline void PrintTo(const QString& text, std::ostream* stream) {
    *stream << '"' << text.toStdString() << '"';
}

namespace zelt::test {

class TRecordingDialogs : public TDialogs {
public:
    void Error(const QString& text) override { Errors.append(text); }
    void Message(const QString& text) override { Messages.append(text); }
    QString OpenFileName(const QString& folder, const QString& file) override {
        OpenFolders.append(folder);
        OpenPresets.append(file);
        return OpenAnswers.isEmpty() ? QString() : OpenAnswers.takeFirst();
    }
    QString SaveFileName(const QString& folder) override {
        SaveFolders.append(folder);
        return SaveAnswers.isEmpty() ? QString() : SaveAnswers.takeFirst();
    }

    QString SaveImageFileName(const QString& folder) override { return SaveFileName(folder); }
    // Cancels unless the test queued choices.
    bool AskImageSize(TImageChoice& choice, QSize onScreen) override {
        ImageChoicesShown.append(choice);
        ImageScreens.append(onScreen);
        if (ImageAnswers.isEmpty())
            return false;
        choice = ImageAnswers.takeFirst();
        return true;
    }
    QString OpenDataFileName(const QString& folder) override { return OpenFileName(folder, {}); }
    // Closes the box unless the test queued answers.
    int Ask(const QString& text, const QStringList& choices) override {
        Questions.append(text + " [" + choices.join("|") + "]");
        return AskAnswers.isEmpty() ? -1 : AskAnswers.takeFirst();
    }
    // Discards unless the test queued other answers.
    TUnsavedChoice AskUnsaved(const QString& text) override {
        Unsaved.append(text);
        return UnsavedAnswers.isEmpty() ? TUnsavedChoice::Discard : UnsavedAnswers.takeFirst();
    }

    QStringList Errors, Messages, OpenFolders, OpenPresets, SaveFolders;
    QStringList OpenAnswers, SaveAnswers, Unsaved, Questions;
    QList<int> AskAnswers;
    QList<TUnsavedChoice> UnsavedAnswers;
    QList<TImageChoice> ImageChoicesShown, ImageAnswers;
    QList<QSize> ImageScreens;
};

// The bundled database folder of the source tree.
inline QString DatabaseFolder() {
    return QStringLiteral(ZELT_SOURCE_DIR "/data");
}

// A temporary folder that holds the measurement files and the user's data folder of a test.
class TTestFolders {
public:
    TTestFolders() {
        QDir(root_.path()).mkpath(QStringLiteral("user"));
        QDir(root_.path()).mkpath(QStringLiteral("measurements"));
    }
    QString Root() const { return root_.path(); }
    QString UserFolder() const { return root_.path() + "/user"; }
    QString ConfigFile() const { return UserFolder() + "/zeltfit.ini"; }
    QString Measurements() const { return root_.path() + "/measurements"; }

    // Writes `content` byte for byte; returns the path.
    static QString Write(const QString& path, const QByteArray& content) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString WriteMeasurement(const QString& name, const QByteArray& content) const {
        return Write(Measurements() + "/" + name, content);
    }
    // The argon species section and the folders; `extra` is appended.
    void WriteConfig(const QByteArray& extra = {}) const {
        Write(ConfigFile(), "[_Files]\r\nDatabase=" + DatabaseFolder().toUtf8() +
                                "\r\nMeasurements=" + Measurements().toUtf8() +
                                "\r\n[Ar I]\r\nLevels=Ar_levels.txt\r\nLines=Ar,I\r\nm=39.948\r\n"
                                "Boltzmax=4\r\n" +
                                extra);
    }

private:
    QTemporaryDir root_;
};

// The warnings Qt writes to standard error while it lives, so that a test can require none.
class TQtWarnings {
public:
    TQtWarnings() : previous_(qInstallMessageHandler(&Handler)) { Collected().clear(); }
    ~TQtWarnings() { qInstallMessageHandler(previous_); }
    TQtWarnings(const TQtWarnings&) = delete;
    TQtWarnings& operator=(const TQtWarnings&) = delete;
    static QStringList& Collected() {
        static QStringList warnings;
        return warnings;
    }

private:
    static void Handler(QtMsgType type, const QMessageLogContext&, const QString& text) {
        // The offscreen platform's note on every shown window is none of the program's.
        if (type != QtDebugMsg && type != QtInfoMsg && !text.contains("propagateSizeHints"))
            Collected().append(text);
    }
    QtMessageHandler previous_;
};

// Five argon lines: three from 2p2 (upper energy 13.32785693 eV), two from 2p3 (13.30222736).
inline const QByteArray FiveLines = "696.5431 1000\r\n727.2936 400\r\n772.4207 300\r\n"
                                    "706.7218 500\r\n738.3980 900\r\n";

} // namespace zelt::test
