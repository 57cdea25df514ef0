// "Compare with transmitter" as a table: one row per item (name, sensor,
// address, the file's value, the transmitter's, whether they differ), only
// the differing rows unless "Show all items" is checked. Each differing row
// has a check box; the dialog ends with what the user chose to do with the
// checked items, which the configuration window then does.
#pragma once

#include "engine/configtransfer.h"

#include <QDialog>

#include <cstddef>
#include <vector>

class QCheckBox;
class QPushButton;
class QTableWidget;

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    enum class Choice {
        None,        // closed
        TakeValues,  // "Take transmitter values"
        SendChecked, // "Send checked items"
    };
    // The columns of the table; a differing row's check box is in its name.
    enum Column { kName, kSensor, kAddress, kFileValue, kPttValue, kDiffers, kColumns };

    // Every differing row starts checked.
    CompareDialog(QWidget* parent, std::vector<nimbrel::CompareRow> rows);

    Choice Chosen() const { return chosen_; }
    // The configuration indexes of the checked rows, in order.
    std::vector<std::size_t> CheckedItems() const;

    QTableWidget* Table() const { return table_; }
    QCheckBox* ShowAll() const { return showAll_; }
    QPushButton* TakeButton() const { return take_; }
    QPushButton* SendButton() const { return send_; }
    // Table rows not hidden, top to bottom, as configuration indexes.
    std::vector<std::size_t> ShownItems() const;

private:
    void ShowRows();
    void UpdateButtons();
    void Finish(Choice choice);

    std::vector<nimbrel::CompareRow> rows_;
    std::vector<bool> checked_; // per entry of rows_; kept while rows are hidden
    QTableWidget* table_;
    QCheckBox* showAll_;
    QPushButton* take_;
    QPushButton* send_;
    Choice chosen_ = Choice::None;
};
