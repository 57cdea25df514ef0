// Bytes as Qt strings and back.
//
// Item texts are single-byte characters, as the configuration file and the
// transmitter hold them: an edit shows each byte as one character (the
// character of that code) and gives back exactly the bytes it was shown from.
//
// A text that is only shown (a message, the user command list, the recent-file
// menu) reads valid UTF-8 as its characters and any other byte as the
// character of that code, as the item edits show it: a byte that is not UTF-8
// never vanishes and reads the same wherever it is shown.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace nimbrel {

QString ItemText(std::string_view text);
std::string ItemText(const QString& text);

QString ShownText(std::string_view text);

} // namespace nimbrel
