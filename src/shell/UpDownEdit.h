#pragma once
// An edit with up-down arrows whose arrows keep to a range while typing does
// not: any text may be typed, and the page that owns it decides what it
// accepts. A value typed outside the range is brought to the nearest limit
// by the first arrow press.
#include <QAbstractSpinBox>

namespace velto {

class CUpDownEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit CUpDownEdit(QWidget* parent = nullptr);
    void SetRange(int minimum, int maximum);
    QString Text() const;
    void SetText(const QString& text);
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_min = 0;
    int m_max = 100;
};

}  // namespace velto
