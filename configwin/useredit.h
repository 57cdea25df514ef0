// The value edit of a configuration row: a single-line edit bound to an item.
// Typed text flows into the item; Enter, Tab and the arrow keys move the
// window's current entry; getting the focus makes the item current; losing it
// to another control of the window checks the value; the item's "not user
// configurable" flag makes it read-only. Rows are reused as the view scrolls,
// so the edit can be bound to another item (or to none).
#pragma once

#include "configwin/qttext.h"

#include <QLineEdit>
#include <QString>

#include <string>

namespace nimbrel {

class DisplayLine;

// What a value edit needs from the window that shows it.
class EditHost {
public:
    virtual ~EditHost() = default;
    virtual void SetCurrentEntry(int index) = 0;
    virtual void ScrollDown(int n) = 0;
    virtual void ScrollUp(int n) = 0;
    virtual void Modified() = 0;
};

class UserEdit : public QLineEdit {
    Q_OBJECT
public:
    // `host` may be null (an edit outside a configuration window).
    UserEdit(DisplayLine* item, EditHost* host, QWidget* parent);

    DisplayLine* Item() const { return item_; }
    // Shows `item` (null: none) without checking the value being left.
    void SetItem(DisplayLine* item);

    // Shows the item's value without moving the cursor when the text is unchanged.
    void ShowValue(const std::string& text);

    // Checks the item's value; on failure the focus comes back here and the
    // item's "Input error" message is shown. Answers whether it passed.
    bool Validate();

    // While one exists, losing the focus checks nothing (the caller checks).
    class NoFocusChecks {
    public:
        NoFocusChecks() { ++suspended_; }
        ~NoFocusChecks() { --suspended_; }
        NoFocusChecks(const NoFocusChecks&) = delete;
        NoFocusChecks& operator=(const NoFocusChecks&) = delete;
    };

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void OnTextEdited(const QString& text);
    void MoveCurrent(int delta);
    // After the focus has moved on: the check of the value left behind.
    void CheckLeftValue();

    DisplayLine* item_;
    EditHost* host_;
    static int suspended_; // focus checks off: a check in progress, or a caller's scope
};

// True for a dialog's OK or Cancel button (property "buttonId" 1 or 2, or
// the accept and reject buttons of a button box): moving the focus there
// leaves the value unchecked.
bool IsOkOrCancelButton(const QWidget* widget);

} // namespace nimbrel
