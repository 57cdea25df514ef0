#include "configwin/qttext.h"

#include "platform/displaytext.h"

#include <QByteArray>

namespace nimbrel {

QString ItemText(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ItemText(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString ShownText(std::string_view text, bool keepLineBreaks) {
    return QString::fromStdString(DisplayText(text, keepLineBreaks));
}

} // namespace nimbrel
