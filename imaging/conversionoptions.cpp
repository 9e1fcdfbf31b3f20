#include "imaging/conversionoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QSpinBox>

ConversionOptionsBox::ConversionOptionsBox(QWidget *parent)
    : QGroupBox(tr("Conversion"), parent)
    , m_fit(new QCheckBox(tr("Fit to print width"), this))
    , m_dithering(new QComboBox(this))
    , m_level(new QSpinBox(this))
    , m_invert(new QCheckBox(tr("Invert"), this))
{
    setObjectName(QStringLiteral("groupBoxConversion"));
    m_fit->setObjectName(QStringLiteral("checkBoxFitWidth"));
    m_fit->setToolTip(tr("Scales a wider picture to the 384 dots of the head, keeping its "
                         "proportions; smaller pictures keep their size"));
    m_dithering->setObjectName(QStringLiteral("comboBoxDithering"));
    m_dithering->setToolTip(tr("How shades of grey become printed dots"));
    m_dithering->addItem(tr("Error diffusion (default)"), int(Dithering::ErrorDiffusion));
    m_dithering->addItem(tr("Threshold"), int(Dithering::Threshold));
    m_dithering->addItem(tr("Ordered 8x8"), int(Dithering::Ordered));
    m_dithering->addItem(tr("Atkinson"), int(Dithering::Atkinson));
    m_dithering->addItem(tr("Floyd-Steinberg"), int(Dithering::FloydSteinberg));
    m_level->setObjectName(QStringLiteral("spinBoxLevel"));
    m_level->setToolTip(tr("Threshold: a pixel darker than this level prints"));
    m_level->setRange(0, 255);
    m_level->setValue(ConversionOptions().level);
    m_level->setEnabled(false);
    // Typing 200 would otherwise convert at 2, 20 and 200.
    m_level->setKeyboardTracking(false);
    m_invert->setObjectName(QStringLiteral("checkBoxInvert"));
    m_invert->setToolTip(tr("Prints the light parts and leaves the dark ones blank"));

    auto *form = new QFormLayout(this);
    form->setContentsMargins(9, 6, 9, 6);
    form->setVerticalSpacing(4);
    form->addRow(m_fit);
    form->addRow(tr("Dithering"), m_dithering);
    form->addRow(tr("Level"), m_level);
    form->addRow(m_invert);

    connect(m_fit, &QCheckBox::toggled, this, &ConversionOptionsBox::changed);
    connect(m_invert, &QCheckBox::toggled, this, &ConversionOptionsBox::changed);
    connect(m_level, &QSpinBox::valueChanged, this, &ConversionOptionsBox::changed);
    connect(m_dithering, &QComboBox::currentIndexChanged, this, [this] {
        m_level->setEnabled(options().dithering == Dithering::Threshold);
        emit changed();
    });
}

ConversionOptions ConversionOptionsBox::options() const
{
    ConversionOptions options;
    options.fit = m_fit->isChecked();
    options.dithering = Dithering(m_dithering->currentData().toInt());
    options.level = m_level->value();
    options.invert = m_invert->isChecked();
    return options;
}
