// The recent-file list, kept in section "MRU" of the settings file: MRU0 is
// the newest entry; an empty value or "Default" is an empty slot. Nothing is
// cached: every call reads the file.
#pragma once

#include <string>
#include <vector>

namespace nimbrel {

class RecentFiles {
public:
    static constexpr int kCapacity = 4;

    struct Entry {
        int slot;
        std::string path;
    };

    // Slots in use: the "Count" key, at most the capacity.
    int Slots() const;
    // The path of a slot; empty for an empty slot or one out of range.
    std::string Path(int slot) const;
    // The non-empty slots in slot order.
    std::vector<Entry> Entries() const;

    // Makes `path`, made absolute and canonical, entry 0. A listed path
    // (compared by the file it names, without regard to letter case) moves up
    // instead of being duplicated; with a full list the oldest entry moves to
    // the key after the last slot, which nobody reads. False when the list
    // could not be saved: the user is told, once while the same failure
    // lasts.
    bool Add(const std::string& path);
};

} // namespace nimbrel
