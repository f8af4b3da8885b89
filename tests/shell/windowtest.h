// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fixture of the window tests: a window on a temporary configuration with recording
// dialogs, and access to its controls by their names.

#include "shell/linetable.h"
#include "shell/main.h"
#include "shell/messagearea.h"
#include "shell/numberedit.h"
#include "tests/shell/guitest.h"
#include "widgets/chart.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

#include <memory>

namespace zelt::test {

class WindowTest : public ::testing::Test {
protected:
    TMainForm& Open() {
        window_ = std::make_unique<TMainForm>(dialogs_, folders_.ConfigFile().toStdString());
        return *window_;
    }
    TMainForm& Window() { return *window_; }
    template <class T = QWidget> T* Control(const char* name) {
        T* control = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QString EditText(const char* name) { return Control<QLineEdit>(name)->text(); }
    TLineTable* Grid() { return Control<TLineTable>("StringGrid1"); }
    TZeltChart* Chart() { return Control<TZeltChart>("ZeltChart"); }
    QString Position() { return Control<QLabel>("PositionPanel")->text(); }
    // The message the strip shows whole, empty when it is clear.
    QString Message() { return Window().Messages().Text(); }
    // Column texts of a table row.
    QStringList Row(int row) {
        QStringList texts;
        for (int c = 0; c < TLineTable::ColumnCount; ++c)
            texts.append(Grid()->CellText(c, row));
        return texts;
    }
    QStringList ListItems(const char* name) {
        QStringList items;
        const auto* list = Control<QListWidget>(name);
        for (int i = 0; i < list->count(); ++i)
            items.append(list->item(i)->text());
        return items;
    }
    // Reads a measurement file through the open dialog.
    void ReadThroughDialog(const QString& file) {
        dialogs_.OpenAnswers.append(file);
        window_->ReadBtnClick(TMainForm::TSender::ReadBtn);
    }

    TTestFolders folders_;
    TRecordingDialogs dialogs_;
    std::unique_ptr<TMainForm> window_;
};

} // namespace zelt::test
