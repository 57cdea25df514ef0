// The sensor item editor: a modal dialog in which every field of one
// configuration item is edited at once. The rules its controls follow live in
// config/modsensorxfer.h; this class shows them.
#pragma once

#include "config/modsensorxfer.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class ModSensor : public QDialog {
    Q_OBJECT
public:
    // The controls are filled from the record; OK copies them back into it.
    ModSensor(QWidget* parent, nimbrel::ModSensorXfer& xfer);

    // Runs the dialog modally (or through the test driver, when one is set).
    // QDialog::Accepted after OK, with the record updated; Rejected otherwise,
    // with the record unchanged.
    int Execute();

    // The type list's selection changed: proposes a size.
    void CBNSelchange();
    // The hex box was clicked: re-shows the numbers in the other base, or
    // refuses and puts the box back.
    void HexBNClicked();
    // The list box was clicked: a list skeleton, or "0" limits.
    void ListBNClicked();
    // True when OK may close the dialog; otherwise shows why.
    bool CanClose();
    // OK (QDialog::Accepted): closes only when CanClose(), copying the controls
    // into the record. Any other result closes without touching the record.
    void CloseWindow(int result);

    // OK goes through CloseWindow.
    void accept() override;

    // The controls as they stand, as a record (the dialog's base in `hex`).
    nimbrel::ModSensorXfer Form() const;

    QCheckBox* HexCheck() const { return hexCheck_; }
    QCheckBox* UserCheck() const { return userCheck_; }
    QCheckBox* ListCheck() const { return listCheck_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* ValueEdit() const { return value_; }
    QLineEdit* AddressEdit() const { return address_; }
    QLineEdit* MaxEdit() const { return max_; }
    QLineEdit* MinEdit() const { return min_; }
    QComboBox* TypeList() const { return type_; }
    QLineEdit* SizeEdit() const { return size_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Tests: while set, Execute hands the filled dialog to the driver instead
    // of running a modal loop. The driver closes it the way a user would
    // (buttons, keys, accept/reject); a dialog it leaves open counts as Cancel.
    using Driver = std::function<void(ModSensor&)>;
    class ScopedDriver {
    public:
        explicit ScopedDriver(Driver driver);
        ~ScopedDriver();
        ScopedDriver(const ScopedDriver&) = delete;
        ScopedDriver& operator=(const ScopedDriver&) = delete;

    private:
        Driver previous_;
    };

private:
    // Shows the number texts of a record in the edits.
    void ShowNumbers(const nimbrel::ModSensorXfer& form);

    nimbrel::ModSensorXfer& xfer_;
    bool hex_; // the dialog's base: how it reads and writes numbers
    QCheckBox* hexCheck_;
    QCheckBox* userCheck_;
    QCheckBox* listCheck_;
    QLineEdit* name_;
    QLineEdit* value_;
    QLineEdit* address_;
    QLineEdit* max_;
    QLineEdit* min_;
    QComboBox* type_;
    QLineEdit* size_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
