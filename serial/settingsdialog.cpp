#include "serial/settingsdialog.h"
#include "ui_settingsdialog.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QSerialPortInfo>

static const char blankString[] = "N/A";

SettingsDialog::SettingsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::SettingsDialog)
    , customBaudRateValidator(new QIntValidator(0, 4000000, this))
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_ui->baudRateBox->setInsertPolicy(QComboBox::NoInsert);

    // Connected before the boxes are filled, so the first entry added already
    // shows its details and sets the editable state.
    connect(m_ui->applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
    connect(m_ui->serialPortInfoListBox, &QComboBox::currentIndexChanged,
            this, &SettingsDialog::showPortInfo);
    connect(m_ui->baudRateBox, &QComboBox::currentIndexChanged,
            this, &SettingsDialog::checkCustomBaudRatePolicy);
    connect(m_ui->serialPortInfoListBox, &QComboBox::currentIndexChanged,
            this, &SettingsDialog::checkCustomDevicePathPolicy);

    fillParameterLists();
    fillPortList();
    captureSettings();
}

SettingsDialog::~SettingsDialog()
{
    delete m_ui;
}

SerialSettings SettingsDialog::settings() const
{
    return m_currentSettings;
}

void SettingsDialog::showPortInfo(int idx)
{
    if (idx == -1)
        return;

    const QStringList list = m_ui->serialPortInfoListBox->itemData(idx).toStringList();
    const auto field = [&list](int k) { return list.size() > k ? list.at(k) : tr(blankString); };
    m_ui->descriptionLabel->setText(tr("Description: %1").arg(field(1)));
    m_ui->manufacturerLabel->setText(tr("Manufacturer: %1").arg(field(2)));
    m_ui->serialNumberLabel->setText(tr("Serial number: %1").arg(field(3)));
    m_ui->locationLabel->setText(tr("Location: %1").arg(field(4)));
    m_ui->vidLabel->setText(tr("Vendor Identifier: %1").arg(field(5)));
    m_ui->pidLabel->setText(tr("Product Identifier: %1").arg(field(6)));
}

void SettingsDialog::apply()
{
    captureSettings();
    hide();
}

void SettingsDialog::checkCustomBaudRatePolicy(int idx)
{
    const bool isCustom = !m_ui->baudRateBox->itemData(idx).isValid();
    m_ui->baudRateBox->setEditable(isCustom);
    if (isCustom) {
        m_ui->baudRateBox->clearEditText();
        m_ui->baudRateBox->lineEdit()->setValidator(customBaudRateValidator);
    }
}

void SettingsDialog::checkCustomDevicePathPolicy(int idx)
{
    const bool isCustom = !m_ui->serialPortInfoListBox->itemData(idx).isValid();
    m_ui->serialPortInfoListBox->setEditable(isCustom);
    if (isCustom)
        m_ui->serialPortInfoListBox->clearEditText();
}

void SettingsDialog::fillParameterLists()
{
    for (qint32 rate : {9600, 19200, 38400, 57600, 115200, 256000, 375000})
        m_ui->baudRateBox->addItem(QString::number(rate), rate);
    m_ui->baudRateBox->setCurrentIndex(4);

    m_ui->dataBitsBox->addItem(QStringLiteral("5"), QSerialPort::Data5);
    m_ui->dataBitsBox->addItem(QStringLiteral("6"), QSerialPort::Data6);
    m_ui->dataBitsBox->addItem(QStringLiteral("7"), QSerialPort::Data7);
    m_ui->dataBitsBox->addItem(QStringLiteral("8"), QSerialPort::Data8);
    m_ui->dataBitsBox->setCurrentIndex(3);

    m_ui->parityBox->addItem(tr("None"), QSerialPort::NoParity);
    m_ui->parityBox->addItem(tr("Even"), QSerialPort::EvenParity);
    m_ui->parityBox->addItem(tr("Odd"), QSerialPort::OddParity);
    m_ui->parityBox->addItem(tr("Mark"), QSerialPort::MarkParity);
    m_ui->parityBox->addItem(tr("Space"), QSerialPort::SpaceParity);

    m_ui->stopBitsBox->addItem(QStringLiteral("1"), QSerialPort::OneStop);
    m_ui->stopBitsBox->addItem(tr("1.5"), QSerialPort::OneAndHalfStop);
    m_ui->stopBitsBox->addItem(QStringLiteral("2"), QSerialPort::TwoStop);

    // The controller starts up with XON/XOFF, so that is the first choice.
    m_ui->flowControlBox->addItem(tr("XON/XOFF"), QSerialPort::SoftwareControl);
    m_ui->flowControlBox->addItem(tr("None"), QSerialPort::NoFlowControl);
    m_ui->flowControlBox->addItem(tr("RTS/CTS"), QSerialPort::HardwareControl);
}

QStringList portEntryTexts(const QString &name, const QString &description,
                           const QString &manufacturer, const QString &serialNumber,
                           const QString &location, quint16 vendorId, quint16 productId)
{
    const auto orBlank = [](const QString &text) {
        return text.isEmpty() ? QString::fromLatin1(blankString) : text;
    };
    const auto idText = [](quint16 id) {
        return id ? QString::number(id, 16) : QString::fromLatin1(blankString);
    };
    return {name,
            orBlank(description),
            orBlank(manufacturer),
            orBlank(serialNumber),
            location,
            idText(vendorId),
            idText(productId)};
}

void SettingsDialog::fillPortList()
{
    m_ui->serialPortInfoListBox->clear();
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        const QStringList list = portEntryTexts(info.portName(), info.description(),
                                                info.manufacturer(), info.serialNumber(),
                                                info.systemLocation(), info.vendorIdentifier(),
                                                info.productIdentifier());
        m_ui->serialPortInfoListBox->addItem(list.first(), list);
    }

    m_ui->serialPortInfoListBox->addItem(tr("Custom"));
}

void SettingsDialog::captureSettings()
{
    m_currentSettings.portName = m_ui->serialPortInfoListBox->currentText();

    m_currentSettings.baudRate = m_ui->baudRateBox->currentData().toInt();
    m_currentSettings.baudRateText = QString::number(m_currentSettings.baudRate);

    m_currentSettings.dataBits =
        static_cast<QSerialPort::DataBits>(m_ui->dataBitsBox->currentData().toInt());
    m_currentSettings.dataBitsText = m_ui->dataBitsBox->currentText();

    m_currentSettings.parity =
        static_cast<QSerialPort::Parity>(m_ui->parityBox->currentData().toInt());
    m_currentSettings.parityText = m_ui->parityBox->currentText();

    m_currentSettings.stopBits =
        static_cast<QSerialPort::StopBits>(m_ui->stopBitsBox->currentData().toInt());
    m_currentSettings.stopBitsText = m_ui->stopBitsBox->currentText();

    m_currentSettings.flowControl =
        static_cast<QSerialPort::FlowControl>(m_ui->flowControlBox->currentData().toInt());
    m_currentSettings.flowControlText = m_ui->flowControlBox->currentText();
}
