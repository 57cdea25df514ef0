#include "configwin/useredit.h"

#include "config/displayline.h"

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

namespace nimbrel {

int UserEdit::suspended_ = 0;

bool IsOkOrCancelButton(const QWidget* widget) {
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (button == nullptr) return false;
    const QVariant id = button->property("buttonId");
    if (id.isValid()) return id.toInt() == 1 || id.toInt() == 2;
    for (const QObject* p = button->parent(); p != nullptr; p = p->parent()) {
        if (const auto* box = qobject_cast<const QDialogButtonBox*>(p)) {
            const auto role = box->buttonRole(const_cast<QAbstractButton*>(button));
            return role == QDialogButtonBox::AcceptRole || role == QDialogButtonBox::RejectRole;
        }
    }
    return false;
}

UserEdit::UserEdit(DisplayLine* item, EditHost* host, QWidget* parent)
    : QLineEdit(parent), item_(nullptr), host_(host) {
    // The item keeps at most this many characters; a longer text would be cut
    // there and shown back, moving the cursor.
    setMaxLength(static_cast<int>(kMaxItemText));
    SetItem(item);
    connect(this, &QLineEdit::textEdited, this, &UserEdit::OnTextEdited);
}

void UserEdit::SetItem(DisplayLine* item) {
    item_ = item;
    setText(item_ != nullptr ? ItemText(item_->GetValueText()) : QString());
    setReadOnly(item_ == nullptr || item_->GetUser());
}

void UserEdit::ShowValue(const std::string& text) {
    const QString shown = ItemText(text);
    if (shown != this->text()) setText(shown);
}

void UserEdit::OnTextEdited(const QString& text) {
    if (item_ == nullptr) return;
    item_->SetValue(ItemText(text));
    // Every edit by the user counts, deletions included, so closing offers to save.
    if (host_ != nullptr) host_->Modified();
}

void UserEdit::MoveCurrent(int delta) {
    if (host_ != nullptr && item_ != nullptr) host_->SetCurrentEntry(item_->GetIndex() + delta);
}

bool UserEdit::event(QEvent* event) {
    // Tab moves the current entry instead of the focus chain.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            const bool back =
                key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            MoveCurrent(back ? -1 : 1);
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void UserEdit::keyPressEvent(QKeyEvent* event) {
    // The dedicated arrow keys move one row at a time: neither the keypad's
    // arrows nor the repeats of a held key.
    const bool dedicated = !event->isAutoRepeat() && !(event->modifiers() & Qt::KeypadModifier);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        MoveCurrent(1);
        break;
    case Qt::Key_Down:
        if (dedicated && host_ != nullptr && item_ != nullptr) {
            MoveCurrent(1);
            host_->ScrollDown(1);
        }
        break;
    case Qt::Key_Up:
        if (dedicated && host_ != nullptr && item_ != nullptr) {
            MoveCurrent(-1);
            host_->ScrollUp(1);
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

void UserEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (host_ != nullptr && item_ != nullptr) host_->SetCurrentEntry(item_->GetIndex());
}

void UserEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A menu or another application taking the focus leaves the value alone.
    if (suspended_ > 0 || item_ == nullptr || host_ == nullptr ||
        event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
        return;
    }
    // Checked once the focus has settled where it went.
    QTimer::singleShot(0, this, &UserEdit::CheckLeftValue);
}

void UserEdit::CheckLeftValue() {
    if (suspended_ > 0 || item_ == nullptr || hasFocus()) return;
    const QWidget* to = QApplication::focusWidget();
    if (to == nullptr || to->window() != window() || IsOkOrCancelButton(to)) return;
    if (QApplication::activeModalWidget() != nullptr) return;
    Validate();
}

bool UserEdit::Validate() {
    if (item_ == nullptr || item_->Validator().IsValid()) return true;
    const NoFocusChecks scope;
    setFocus(Qt::OtherFocusReason);
    item_->Validator().Error();
    return false;
}

} // namespace nimbrel
