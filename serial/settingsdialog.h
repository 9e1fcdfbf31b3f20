#ifndef SETTINGSDIALOG_H
#define SETTINGSDIALOG_H

#include "serial/serialsettings.h"

#include <QDialog>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QIntValidator;
namespace Ui { class SettingsDialog; }
QT_END_NAMESPACE

// The seven texts a port entry carries: name, description, manufacturer, serial
// number, system location, vendor and product identifier. Missing details read
// "N/A"; identifiers are bare lowercase hexadecimal.
QStringList portEntryTexts(const QString &name, const QString &description,
                           const QString &manufacturer, const QString &serialNumber,
                           const QString &location, quint16 vendorId, quint16 productId);

// Chooses the port and its line parameters. Apply stores them; the window asks
// for the stored record each time it opens the port and never reads the boxes.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr);
    ~SettingsDialog() override;

    SerialSettings settings() const;

private slots:
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);

private:
    void fillParameterLists();
    void fillPortList();
    void captureSettings();

    Ui::SettingsDialog *m_ui = nullptr;
    SerialSettings m_currentSettings;
    QIntValidator *customBaudRateValidator = nullptr;
};

#endif // SETTINGSDIALOG_H
