#include "config/useredit.h"

#include "config/displayline.h"
#include "configwin/nimbrelwindow.h"

#include <QByteArray>

namespace nimbrel {

QString ItemText(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ItemText(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

UserEdit::UserEdit(DisplayLine* item, TNimbrelWindow* window, QWidget* parent)
    : QLineEdit(parent), item_(item), window_(window) {
    // The item keeps at most this many characters; a longer text would be cut
    // there and shown back, moving the cursor.
    setMaxLength(static_cast<int>(kMaxItemText));
    setText(ItemText(item_->GetValueText()));
    setReadOnly(item_->GetUser());
    connect(this, &QLineEdit::textEdited, this, &UserEdit::OnTextEdited);
}

void UserEdit::ShowValue(const std::string& text) {
    const QString shown = ItemText(text);
    if (shown != this->text()) setText(shown);
}

void UserEdit::OnTextEdited(const QString& text) {
    item_->SetValue(ItemText(text));
    // Every edit by the user counts, deletions included, so closing offers to save.
    if (window_ != nullptr) window_->Modified();
}

void UserEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (window_ != nullptr) window_->SetCurrentEntry(item_->GetIndex());
}

} // namespace nimbrel
