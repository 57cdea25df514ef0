// Bytes as Qt strings and back.
//
// Item texts are single-byte characters, as the configuration file and the
// transmitter hold them: an edit shows each byte as one character (the
// character of that code) and gives back exactly the bytes it was shown from.
//
// A text that is only shown (a message, the user command list, the recent-file
// menu) is shown as DisplayText writes it: valid UTF-8 as its characters, any
// other byte and every control byte as "\xNN". A byte that is not UTF-8 thus
// never vanishes and reads the same there, on the terminal and in the
// messages of the core and the command line, which escape it already.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace nimbrel {

QString ItemText(std::string_view text);
std::string ItemText(const QString& text);

QString ShownText(std::string_view text, bool keepLineBreaks = false);

} // namespace nimbrel
