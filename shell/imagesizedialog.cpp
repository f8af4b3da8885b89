// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/imagesizedialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr int kPrintDotsPerInch = 300;
// Larger images would take gigabytes of memory to draw.
constexpr int kLargestSide = 20000;

int Rounded(double value) {
    return static_cast<int>(std::lround(value));
}

QSize Pixels(QSizeF size, bool millimetres, int dotsPerInch) {
    const double scale = millimetres ? dotsPerInch / kMillimetresPerInch : 1;
    return {Rounded(size.width() * scale), Rounded(size.height() * scale)};
}

// A journal column's width: one or two columns.
double ColumnWidth(TImageChoice::TPreset preset) {
    return preset == TImageChoice::TPreset::OneColumn ? 85 : 170;
}

} // namespace

TImageSize ImageSizeOf(const TImageChoice& choice, QSize onScreen) {
    switch (choice.Preset) {
    case TImageChoice::TPreset::Screen:
        return ScreenImageSize(onScreen, choice.DotsPerInch);
    case TImageChoice::TPreset::OneColumn:
    case TImageChoice::TPreset::TwoColumns: {
        // The screen's shape, unless a wide screen would make the figure a strip or a tall
        // one a tower: between 0.75 and 0.8 of the width high. At 85 mm a wider figure leaves
        // the plotting area too low for its axis title once the legend, and the chart's marks,
        // stand above it; 4:3 is the common shape of a journal figure.
        const double width = ColumnWidth(choice.Preset);
        const double aspect = std::clamp(
            static_cast<double>(onScreen.height()) / std::max(1, onScreen.width()), 0.75, 0.8);
        const double height = width * aspect;
        return {Pixels(QSizeF(width, height), true, kPrintDotsPerInch), kPrintDotsPerInch, true};
    }
    case TImageChoice::TPreset::Custom:
        break;
    }
    return {Pixels(choice.Size, choice.Millimetres, choice.DotsPerInch), choice.DotsPerInch, true};
}

TImageSizeDialog::TImageSizeDialog(const TImageChoice& choice, QSize onScreen, QWidget* parent)
    : QDialog(parent), onScreen_(onScreen), preset_(new QComboBox(this)),
      width_(new QDoubleSpinBox(this)), height_(new QDoubleSpinBox(this)),
      unit_(new QComboBox(this)), dotsPerInch_(new QSpinBox(this)), result_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setWindowTitle(QStringLiteral("Image size"));
    preset_->addItems({QStringLiteral("As on screen"),
                       QStringLiteral("One journal column (85 mm, 300 dpi)"),
                       QStringLiteral("Two columns (170 mm, 300 dpi)"), QStringLiteral("Custom")});
    unit_->addItems({QStringLiteral("mm"), QStringLiteral("px")});
    for (QDoubleSpinBox* box : {width_, height_}) {
        box->setRange(1, kLargestSide);
        box->setDecimals(1);
    }
    dotsPerInch_->setRange(50, 1200);
    dotsPerInch_->setSuffix(QStringLiteral(" dpi"));
    preset_->setCurrentIndex(static_cast<int>(choice.Preset));
    unit_->setCurrentIndex(choice.Millimetres ? 0 : 1);
    width_->setValue(choice.Size.width());
    height_->setValue(choice.Size.height());
    dotsPerInch_->setValue(choice.DotsPerInch);

    auto* size = new QHBoxLayout;
    size->addWidget(width_);
    size->addWidget(new QLabel(QStringLiteral("×"), this));
    size->addWidget(height_);
    size->addWidget(unit_);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Size:"), preset_);
    form->addRow(QStringLiteral("Width × height:"), size);
    form->addRow(QStringLiteral("Resolution:"), dotsPerInch_);
    form->addRow(result_);
    form->addRow(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(preset_, &QComboBox::currentIndexChanged, this, [this] { ShowPreset(); });
    // An edit of what the preset fixes makes the size the user's own; the screen's layout takes
    // any resolution.
    const auto edited = [this](bool resolution) {
        const auto preset = static_cast<TImageChoice::TPreset>(preset_->currentIndex());
        if (preset != TImageChoice::TPreset::Custom &&
            !(resolution && preset == TImageChoice::TPreset::Screen)) {
            const QSignalBlocker blocker(preset_);
            preset_->setCurrentIndex(static_cast<int>(TImageChoice::TPreset::Custom));
        }
        ShowPreset();
    };
    for (QDoubleSpinBox* box : {width_, height_})
        connect(box, &QDoubleSpinBox::valueChanged, this, [edited] { edited(false); });
    connect(dotsPerInch_, &QSpinBox::valueChanged, this, [edited] { edited(true); });
    connect(unit_, &QComboBox::currentIndexChanged, this, [this](int index) {
        // The same size in the other unit.
        const double scale = dotsPerInch_->value() / kMillimetresPerInch;
        const double factor = index == 0 ? 1 / scale : scale;
        const QSignalBlocker blockWidth(width_), blockHeight(height_);
        width_->setValue(width_->value() * factor);
        height_->setValue(height_->value() * factor);
        ShowPreset();
    });
    ShowPreset();
}

TImageChoice TImageSizeDialog::Choice() const {
    return {static_cast<TImageChoice::TPreset>(preset_->currentIndex()),
            QSizeF(width_->value(), height_->value()), unit_->currentIndex() == 0,
            dotsPerInch_->value()};
}

void TImageSizeDialog::ShowPreset() {
    const TImageChoice choice = Choice();
    const TImageSize size = ImageSizeOf(choice, onScreen_);
    if (choice.Preset != TImageChoice::TPreset::Custom) {
        const double scale = choice.Millimetres ? kMillimetresPerInch / size.DotsPerInch : 1;
        const QSignalBlocker blockWidth(width_), blockHeight(height_), blockDots(dotsPerInch_);
        width_->setValue(size.Pixels.width() * scale);
        height_->setValue(size.Pixels.height() * scale);
        dotsPerInch_->setValue(size.DotsPerInch);
    }
    const double millimetres = kMillimetresPerInch / size.DotsPerInch;
    const bool tooLarge =
        std::max(size.Pixels.width(), size.Pixels.height()) > kLargestSide || size.Pixels.isEmpty();
    result_->setText(QStringLiteral("%1 × %2 pixels, %3 × %4 mm%5")
                         .arg(size.Pixels.width())
                         .arg(size.Pixels.height())
                         .arg(QString::number(size.Pixels.width() * millimetres, 'f', 1),
                              QString::number(size.Pixels.height() * millimetres, 'f', 1),
                              tooLarge ? QStringLiteral(": too large to draw") : QString()));
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!tooLarge);
}

} // namespace zelt
