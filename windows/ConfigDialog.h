#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
#include <QString>
#include <QStringList>

#include <memory>

class HospitalSettingsPage;
class QStudyStorePage;
class TAcqSource;

namespace Ui {
class ConfigDialog;
}

// Edits the "Config" settings: the filters of beat averaging in review, the
// acquisition mode and Bluetooth port, the low-battery threshold and the
// signal gain. Only OK writes them; they take effect for the next monitor
// window. A page of its own (HospitalSettingsPage) sets the hospital's
// archive. It can also detect the Bluetooth device and open an acquisition
// test window on the source the dialog currently shows.
class ConfigDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(QWidget* parent = nullptr);
    ~ConfigDialog() override;

protected:
    // The source of the acquisition test, from the dialog's current choice
    // (not from the stored settings): the USB device, the Bluetooth device on
    // the port typed in, or the 500 Hz demo recording. Throws what the
    // source constructors throw.
    virtual std::unique_ptr<TAcqSource> createTestSource() const;
    // The Bluetooth ports on which the device answers; blocks until every
    // port has answered.
    virtual QStringList findBluetoothDevices() const;

private slots:
    void on_btnAcqTest_clicked();
    void on_ConfigDialog_accepted();
    void on_listCategory_currentRowChanged(int currentRow);
    void on_rbtAcqDeviceBT_toggled(bool checked);
    void on_btnBluetoothDetect_clicked();
    void on_btnHardwareDefaults_clicked();

private:
    // The "Late potentials" page: the recording's noise target and whether
    // recording stops there, the noise limit and the fewest beats of the
    // verdict, and the cutoff the review shows the figures at.
    void addLatePotentialsPage();
    void loadSettings();
    // The "Config/AcqMode" text of the chosen radio button.
    QString acquisitionMode() const;
    void setAcquisitionMode(const QString& mode);
    void enableBluetoothPort(bool enabled);
    // Runs the search behind a progress dialog and the wait cursor.
    QStringList searchBluetoothDevices();
    void takeDetectedDevices(const QStringList& ports);

    std::unique_ptr<Ui::ConfigDialog> m_ui;
    QDoubleSpinBox* m_noiseTarget = nullptr;
    QCheckBox* m_stopAtNoiseTarget = nullptr;
    QDoubleSpinBox* m_noiseLimit = nullptr;
    QSpinBox* m_minimumBeats = nullptr;
    QComboBox* m_cutoff = nullptr;
    QStudyStorePage* m_storePage;  // the "Studies" page
    HospitalSettingsPage* m_hospitalPage; // owned by the pages
};
