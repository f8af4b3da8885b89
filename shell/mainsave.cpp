// SPDX-License-Identifier: GPL-3.0-or-later
// The window's save commands: the report, the tables, the map, the series and the plots'
// images, each written through the atomic writer and remembered for the next dialog.
#include "shell/main.h"

#include "app/tables.h"
#include "app/tsv.h"
#include "common/codepage.h"
#include "common/textfile.h"
#include "shell/dialogs.h"
#include "shell/imagesizedialog.h"
#include "shell/linetable.h"
#include "shell/messagearea.h"
#include "shell/seriesrun.h"
#include "shell/windowmemory.h"
#include "widgets/contourplot.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace zelt {

bool TMainForm::SaveText(const std::string& text, const QString& kind, const QString& suffix) {
    const QString fileName =
        dialogs_.SaveFileName(memory_->SaveStart(kind, openDialogFolder_, CurrentFile(), suffix));
    if (fileName.isEmpty())
        return false;
    bool saved = false;
    Guarded([&] {
        TTextWriter writer;
        writer.Create(fileName.toStdString());
        writer.Write(text);
        writer.Close();
        saved = true;
        memory_->Saved(kind, fileName);
        messages_->Show(TMessageArea::TKind::Note, QStringLiteral("Saved the %1.").arg(kind),
                        fileName);
    });
    return saved;
}

void TMainForm::SaveButtonClick() {
    std::string text;
    const QTextDocument* document = reportsMemo_->document();
    if (!document->isEmpty())
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            text += Utf8ToCp1252(block.text().toStdString()) + "\r\n";
    if (SaveText(text, QStringLiteral("report")))
        reportUnsaved_ = false;
}

std::vector<TTableRow> TMainForm::GridRows() const {
    std::vector<TTableRow> rows;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        TTableRow row;
        for (int c = 0; c < TLineTable::ColumnCount; ++c)
            row[static_cast<std::size_t>(c)] = Utf8ToCp1252(grid_->CellText(c, r).toStdString());
        rows.push_back(row);
    }
    return rows;
}

void TMainForm::Button1Click() {
    SaveText(TableText(GridRows()), QStringLiteral("table"));
}

void TMainForm::SaveTableTsvClick() {
    SaveText(TableTsvText(GridRows()), QStringLiteral("table"), QStringLiteral(".tsv"));
}

void TMainForm::SaveResultsClick() {
    SaveText(Utf8ToCp1252(ResultsTableText(app_.Results())), QStringLiteral("results"),
             QStringLiteral(".tsv"));
}

void TMainForm::SaveMapClick() {
    if (!app_.ShownMap().Empty())
        SaveText(app_.ShownMap().Text(), QStringLiteral("map"));
}

void TMainForm::SaveSeriesClick() {
    if (!seriesRun_->Entries().empty() &&
        SaveText(Utf8ToCp1252(SeriesTableText(seriesRun_->Entries())), QStringLiteral("series")))
        seriesUnsaved_ = false;
}

void TMainForm::AddImageMenu(QCustomPlot* plot, const std::function<void(QMenu&)>& addMore) {
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this, [this, plot, addMore](QPoint at) {
        QMenu menu(plot);
        menu.addAction(QStringLiteral("Save image…"), this, [this, plot] {
            TImageChoice choice = memory_->ImageChoice();
            if (!dialogs_.AskImageSize(choice, plot->size()))
                return;
            memory_->SetImageChoice(choice);
            const QString kind = QStringLiteral("image");
            const QString fileName = dialogs_.SaveImageFileName(
                memory_->SaveStart(kind, openDialogFolder_, CurrentFile(), QStringLiteral(".png")));
            if (!fileName.isEmpty())
                Guarded([&] {
                    SavePlotImage(*plot, fileName, ImageSizeOf(choice, plot->size()));
                    memory_->Saved(kind, fileName);
                    messages_->Show(TMessageArea::TKind::Note, QStringLiteral("Saved the image."),
                                    fileName);
                });
        });
        menu.addAction(QStringLiteral("Copy image"), this,
                       [plot] { QApplication::clipboard()->setPixmap(plot->toPixmap()); });
        if (addMore)
            addMore(menu);
        menu.exec(plot->mapToGlobal(at));
    });
}

} // namespace zelt
