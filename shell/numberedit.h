#pragma once
// An edit box for a positive number. Leaving it with a text that is not a positive number
// (a real or a decimal integer, by kind) is refused silently: the focus goes back to the box
// and the text stays as it is.

#include <QLineEdit>

namespace zelt {

class TNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class TKind { Float, Integer };

    TNumberEdit(TKind kind, QWidget* parent = nullptr);
    TKind Kind() const { return kind_; }
    // True when the text is a number of the box's kind and greater than zero.
    bool HoldsPositiveNumber() const;

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    TKind kind_;
};

} // namespace zelt
