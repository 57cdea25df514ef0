// The user command list: a modal dialog offering the configuration's user
// commands by name. Execute (or a double click) closes it with OK and the
// terminal window sends the chosen command; the terminal reopens the list
// with the same entries and the executed one selected, until Close.
#pragma once

#include <QDialog>
#include <QListWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QPushButton;

// The dialog's transfer record: the entries shown and the selected one. The
// list is filled from it when the dialog opens; the selection is copied back
// when the dialog closes with OK.
struct UserCommandsXfer {
    std::vector<std::string> entries;
    std::int32_t selected = -1; // index into entries; -1 when none

    // The selected entry, at most 254 characters; "" when none is selected.
    std::string SelectedText() const;
};

// The list box: a left double click selects as usual, then closes the
// dialog with OK, as the Execute button does.
class ListBox : public QListWidget {
    Q_OBJECT
public:
    ListBox(QWidget* parent, int id);
    int Id() const { return id_; }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int id_;
};

class UserCommands : public QDialog {
    Q_OBJECT
public:
    static constexpr int kListId = 101;

    UserCommands(QWidget* parent, UserCommandsXfer& transfer);

    // Runs the dialog modally (or through the test driver, when one is set)
    // and answers QDialog::Accepted for Execute, Rejected otherwise.
    int Execute();

    // OK copies the selection into the transfer record.
    void done(int result) override;

    ListBox* List() const { return list_; }
    QPushButton* ExecuteButton() const { return execute_; }
    QPushButton* CloseButton() const { return close_; }

    // Tests: while set, Execute hands the filled dialog to the driver
    // instead of running a modal loop. The driver closes it the way a user
    // would (buttons, double click, accept/reject); a dialog it leaves open
    // counts as closed with Close.
    using Driver = std::function<void(UserCommands&)>;
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
    UserCommandsXfer& transfer_;
    ListBox* list_;
    QPushButton* execute_;
    QPushButton* close_;
};
