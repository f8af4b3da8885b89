// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The size and resolution of a saved plot image: as on screen, one or two journal columns, or
// a width and height of the user's own, in millimetres or pixels.

#include "widgets/contourplot.h"

#include <QDialog>
#include <QSize>
#include <QSizeF>

class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace zelt {

struct TImageChoice {
    enum class TPreset { Screen, OneColumn, TwoColumns, Custom };
    TPreset Preset = TPreset::Screen;
    // The custom width and height, in millimetres or pixels.
    QSizeF Size{85, 60};
    bool Millimetres = true;
    int DotsPerInch = 96;
};

// The picture `choice` makes of a plot of `onScreen` pixels: the screen's layout at the chosen
// resolution, or a column's width (85 or 170 mm) at 300 dpi with the screen's aspect ratio
// kept between 0.75 and 0.8, or the custom size; a column or a custom size laid out for paper.
TImageSize ImageSizeOf(const TImageChoice& choice, QSize onScreen);

class TImageSizeDialog : public QDialog {
    Q_OBJECT
public:
    TImageSizeDialog(const TImageChoice& choice, QSize onScreen, QWidget* parent = nullptr);
    TImageChoice Choice() const;

private:
    // The width, height and resolution boxes show what the preset makes, and the line below
    // the image's pixels and millimetres.
    void ShowPreset();

    QSize onScreen_;
    QComboBox* preset_;
    QDoubleSpinBox* width_;
    QDoubleSpinBox* height_;
    QComboBox* unit_;
    QSpinBox* dotsPerInch_;
    QLabel* result_;
    QDialogButtonBox* buttons_;
};

} // namespace zelt
