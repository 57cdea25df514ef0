#include "app/recentfiles.h"

#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

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

// The failure last told, so a file that stays unwritable is told once.
std::string gToldFailure;

// The absolute path without ".", ".." or links, so one file has one entry
// whichever way it was named; the path as given when that cannot be worked out.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    const auto full = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : full.string();
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

bool RecentFiles::Add(const std::string& given) {
    const int n = Slots();
    if (n == 0 || given.empty()) return true;
    const std::string path = Canonical(given);
    std::vector<std::string> list;
    for (int i = 0; i < n; ++i)
        list.push_back(ReadSlot(i));

    // A listed path leaves its place; the ones below move up. Entries stored
    // before paths were made canonical are compared by the file they name.
    const auto found = std::find_if(list.begin(), list.end(), [&](const std::string& e) {
        return !e.empty() && SameIgnoringCase(Canonical(e), path);
    });
    if (found != list.end()) {
        list.erase(found);
        list.emplace_back();
    }
    const std::string pushedOut = list.back();
    list.pop_back();
    list.insert(list.begin(), path);

    bool saved = true;
    for (int i = 0; i < n && saved; ++i) {
        const std::string& v = list[static_cast<std::size_t>(i)];
        saved = Settings::WriteString(keys::kMruSection, keys::MruKey(i),
                                      v.empty() ? keys::kMruEmpty : v);
    }
    if (saved && !pushedOut.empty()) {
        saved = Settings::WriteString(keys::kMruSection, keys::MruKey(n), pushedOut);
    }
    if (saved) {
        gToldFailure.clear();
        return true;
    }
    const std::string text = Settings::WriteErrorText();
    if (text != gToldFailure) {
        gToldFailure = text;
        CurrentUi().MessageBox(text + "\r\nThe list of recent files was not saved.", "Error",
                               Buttons::Ok, Icon::Exclamation);
    }
    return false;
}

} // namespace nimbrel
