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

QString ShownText(std::string_view text) {
    QString shown;
    shown.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) {
            shown += QChar(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
            ++i;
        } else {
            shown += QString::fromUtf8(text.data() + i, static_cast<qsizetype>(n));
            i += n;
        }
    }
    return shown;
}

} // namespace nimbrel
