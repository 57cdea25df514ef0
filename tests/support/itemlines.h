// Items from configuration file lines (type, hex, value, sensor, name,
// number, index, list, max, min, size, user, address), for tests.
#pragma once

#include "config/configfile.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace nimbrel::test {

inline ItemList Items(const std::vector<std::string>& lines) {
    ItemList items = MakeBlankItems(static_cast<std::int32_t>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::istringstream in(lines[i] + "\r\n");
        in >> *items[i];
        EXPECT_FALSE(in.fail()) << lines[i];
    }
    return items;
}

} // namespace nimbrel::test
