#pragma once

#include <QCheckBox>

// A check box whose state reads as a number: -1 ticked, 0 clear.
class XPCheckBox : public QCheckBox
{
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE setValue)

public:
    using QCheckBox::QCheckBox;

    int Value() const
    {
        switch (checkState()) {
        case Qt::Checked:
            return -1;
        case Qt::Unchecked:
            return 0;
        case Qt::PartiallyChecked:
            break;
        }
        return 1;
    }
    void setValue(int value) { setCheckState(value == -1 ? Qt::Checked : Qt::Unchecked); }
};
