// The "System Preferences" dialog: serial port, baud rate, the transmitter's
// user-interface exit string, the prompt wait, write verification, platform
// and simple mode, loaded from and saved to the settings file. Controls carry
// object names "id<control id>".
#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QLineEdit;
class QRadioButton;

class Preferences : public QDialog {
    Q_OBJECT
public:
    explicit Preferences(QWidget* parent = nullptr);

    // Loads the controls from the settings file (run by the constructor).
    void SetupWindow();
    // OK: writes the settings file, shows the notice, and agrees to close.
    bool CanClose();

    void accept() override;

private:
    std::array<QRadioButton*, 4> port_{}; // Com1 .. Com4
    std::array<QRadioButton*, 4> baud_{}; // 1200, 2400, 4800, 9600
    QRadioButton* abortA_ = nullptr;
    QRadioButton* abortQ_ = nullptr;
    QLineEdit* wait_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QRadioButton* tundrix_ = nullptr;
    QRadioButton* pelomar_ = nullptr;
    QCheckBox* simple_ = nullptr;
};
