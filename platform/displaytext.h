// Text that came from a file or a device, made safe to show: on a terminal
// (where control bytes would be taken as commands) and in a message box.
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// `text` with every control byte (below 0x20, 0x7f), every C1 control
// (U+0080 to U+009F) and every byte that is not part of valid UTF-8 written
// as "\xNN" (two lower-case hex digits, "\x1b" for ESC); everything else as it
// is. With `keepLineBreaks`, CR and LF stay as they are. Applying it again
// changes nothing.
std::string DisplayText(std::string_view text, bool keepLineBreaks = false);

// The length (2 to 4) of the valid multi-byte UTF-8 sequence at `at`; 0 for
// an ASCII byte and where there is none (overlong forms, surrogates and code
// points past U+10FFFF are not valid).
std::size_t Utf8Length(std::string_view s, std::size_t at);

// The text as a JSON string, quotes included. Quotes, backslashes and control
// characters are escaped; valid UTF-8 passes as it is; any other byte (the
// transmitter's bytes need not be UTF-8) becomes the character of that code
// (\u00XX), so the output is always valid JSON. With `escapeC1` false the C1
// controls stay UTF-8 text, so that \u0080 to \u00ff always stand for single
// bytes and every string reads back as it was.
std::string JsonQuote(std::string_view text, bool escapeC1 = true);

} // namespace nimbrel
