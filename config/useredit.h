// The value edit of a configuration row: a single-line edit bound to its item.
// Typed text flows into the item; getting the focus makes the item the
// window's current entry; the item's "not user configurable" flag makes it
// read-only.
#pragma once

#include <QLineEdit>
#include <QString>

#include <string>

class TNimbrelWindow;

namespace nimbrel {

class DisplayLine;

// Item texts are single-byte characters, one byte per character, as in the
// configuration file.
QString ItemText(const std::string& text);
std::string ItemText(const QString& text);

class UserEdit : public QLineEdit {
    Q_OBJECT
public:
    // `window` may be null (an edit outside a configuration window).
    UserEdit(DisplayLine* item, TNimbrelWindow* window, QWidget* parent);

    DisplayLine* Item() const { return item_; }

    // Shows the item's value without moving the cursor when the text is unchanged.
    void ShowValue(const std::string& text);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnTextEdited(const QString& text);

    DisplayLine* item_;
    TNimbrelWindow* window_;
};

} // namespace nimbrel
