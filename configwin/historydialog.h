// The programming history as a table: every send the history database holds
// (from the window, the command line and fleet runs), newest first, narrowed
// by PTT ID, port and date (asked of the database) and by free text over
// every column. Only reads: a missing database is not created.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // At most this many records are listed (the newest).
    static constexpr int kMaxRows = 2000;

    HistoryDialog(QWidget* parent, std::string path);

    // Lists the records the filters select (run shortly after each edit).
    void Refresh();

    QTableWidget* Table() const { return table_; }
    QLineEdit* IdFilter() const { return id_; }
    QLineEdit* PortFilter() const { return port_; }
    QLineEdit* SinceFilter() const { return since_; }
    QLineEdit* Search() const { return search_; }
    // What the table shows, or why it shows nothing.
    QLabel* Note() const { return note_; }

private:
    void Show(const QString& note);

    std::string path_;
    QLineEdit* id_;
    QLineEdit* port_;
    QLineEdit* since_;
    QLineEdit* search_;
    QTableWidget* table_;
    QLabel* note_;
    QTimer* pending_;
};
