#include "app/recentfiles.h"

#include "platform/settings.h"
#include "platform/settingskeys.h"

#include <algorithm>
#include <cctype>

namespace nimbrel {
namespace {

// Linux paths may be much longer than the key's historical 254 characters; a
// cut path would reopen (and later save to) a different file.
constexpr int kPathBuffer = 4097;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ReadSlot(int slot) {
    std::string v =
        Settings::GetString(keys::kMruSection, keys::MruKey(slot), keys::kMruEmpty, kPathBuffer);
    return v == keys::kMruEmpty ? std::string() : v;
}

} // namespace

int RecentFiles::Slots() const {
    return std::clamp(Settings::Get(keys::kMruCount), 0, kCapacity);
}

std::string RecentFiles::Path(int slot) const {
    if (slot < 0 || slot >= Slots()) return {};
    return ReadSlot(slot);
}

std::vector<RecentFiles::Entry> RecentFiles::Entries() const {
    std::vector<Entry> out;
    const int n = Slots();
    for (int i = 0; i < n; ++i) {
        std::string p = ReadSlot(i);
        if (!p.empty()) out.push_back({i, std::move(p)});
    }
    return out;
}

void RecentFiles::Add(const std::string& path) {
    const int n = Slots();
    if (n == 0 || path.empty()) return;
    std::vector<std::string> list;
    for (int i = 0; i < n; ++i)
        list.push_back(ReadSlot(i));

    // A listed path leaves its place; the ones below move up.
    const auto found = std::find_if(list.begin(), list.end(), [&](const std::string& e) {
        return !e.empty() && SameIgnoringCase(e, path);
    });
    if (found != list.end()) {
        list.erase(found);
        list.emplace_back();
    }
    const std::string pushedOut = list.back();
    list.pop_back();
    list.insert(list.begin(), path);

    for (int i = 0; i < n; ++i) {
        const std::string& v = list[static_cast<std::size_t>(i)];
        Settings::WriteString(keys::kMruSection, keys::MruKey(i), v.empty() ? keys::kMruEmpty : v);
    }
    if (!pushedOut.empty()) Settings::WriteString(keys::kMruSection, keys::MruKey(n), pushedOut);
}

} // namespace nimbrel
