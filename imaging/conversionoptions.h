#ifndef CONVERSIONOPTIONS_H
#define CONVERSIONOPTIONS_H

// The "Conversion" group of the Bitmaps tab: fit to the head's width, the
// dithering, the threshold level and inversion. It only holds the choices and
// says when one changed; the window converts.

#include "imaging/dithering.h"

#include <QGroupBox>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QSpinBox;
QT_END_NAMESPACE

class ConversionOptionsBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit ConversionOptionsBox(QWidget *parent = nullptr);
    ConversionOptions options() const;

signals:
    void changed();

private:
    QCheckBox *m_fit = nullptr;
    QComboBox *m_dithering = nullptr;
    QSpinBox *m_level = nullptr;
    QCheckBox *m_invert = nullptr;
};

#endif // CONVERSIONOPTIONS_H
