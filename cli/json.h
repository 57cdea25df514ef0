// A small JSON writer for the command line's --json output: objects, arrays,
// strings, whole numbers and booleans, commas placed by the writer.
#pragma once

#include "platform/displaytext.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace nimbrel::cli {

using nimbrel::JsonQuote;

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next value in an object.
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    JsonWriter& Int(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // Shorthands for a named value.
    JsonWriter& Field(std::string_view name, std::string_view text) {
        return Key(name).String(text);
    }
    JsonWriter& Field(std::string_view name, const char* text) { return Key(name).String(text); }
    JsonWriter& Field(std::string_view name, bool value) { return Key(name).Bool(value); }
    template <typename T>
    requires(std::is_integral_v<T> &&
             !std::is_same_v<T, bool>) JsonWriter& Field(std::string_view name, T value) {
        return Key(name).Int(static_cast<std::int64_t>(value));
    }

    const std::string& Text() const { return out_; }

private:
    void BeforeValue();

    std::string out_;
    std::vector<bool> empty_; // per open container: nothing in it yet
    bool afterKey_ = false;
};

} // namespace nimbrel::cli
