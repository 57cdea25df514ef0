#include "bench/benchsupport.h"

#include "config/configfile.h"
#include "platform/settings.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace nimbrel::bench {

void QuietUi::ServeEvents(int maxWaitMs) {
    if (serve) {
        serve(maxWaitMs);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(maxWaitMs, 0, 50)));
    }
}

namespace {

// Waits shortened so that nothing a benchmark touches sits in a fixed wait.
constexpr const char* kSettingsText = "[STARTUP]\r\n"
                                      "simplemode=0\r\n"
                                      "[TIMING]\r\n"
                                      "StartWaitMs=100\r\n"
                                      "ResponseWaitMs=100\r\n"
                                      "VersionWaitMs=100\r\n"
                                      "ReadByteWaitMs=100\r\n"
                                      "ClosePollMs=10\r\n"
                                      "MonitorPauseMs=10\r\n"
                                      "StartPassMs=10\r\n"
                                      "SplashSeconds=0\r\n";

std::string& PathStore() {
    static std::string path;
    return path;
}

struct ItemSpec {
    const char* name;
    std::int32_t type;
    std::int32_t size; // 0: the type's own size
    bool hex;
    const char* list; // list text, or null for a range
    std::int32_t min;
    std::int32_t max;
    std::int32_t value;
    const char* text; // value text of float and hex-string items
    bool notUserConfigurable;
};

struct SensorSpec {
    const char* name;
    std::vector<ItemSpec> items;
};

const ItemSpec kTransmitter[] = {
    {"PTT ID number", kTypePttId, 4, false, nullptr, 0, 99999, 11111, nullptr, false},
    {"Fast transmission rep rate (seconds)", kTypeLong, 0, false, "{90,200}", 0, 0, 90, nullptr,
     true},
    {"Transmission on time (seconds)", kTypeLong, 0, false, nullptr, 1, 86400, 7200, nullptr,
     false},
    {"Transmission off time (seconds)", kTypeLong, 0, false, nullptr, 1, 86400, 14400, nullptr,
     false},
};

const SensorSpec kSensors[] = {
    {"Temperature probe",
     {
         {"Sample interval (seconds)", kTypeLong, 0, false, nullptr, 1, 86400, 600, nullptr, false},
         {"Averaging count", kTypeInt, 0, false, nullptr, 1, 64, 8, nullptr, false},
         {"Resolution (bits)", kTypeChar, 1, false, "{8,10,12}", 0, 0, 12, nullptr, false},
         {"Calibration offset (deg C)", kTypeFloat, 0, false, nullptr, -10, 10, 0, "0.250000",
          false},
         {"Alarm mask", kTypeLong, 0, true, nullptr, 0, 0xFFFF, 0x00F0, nullptr, false},
     }},
    {"Pressure sensor",
     {
         {"Sample interval (seconds)", kTypeLong, 0, false, nullptr, 1, 86400, 300, nullptr, false},
         {"Gain", kTypeChar, 1, false, "{1,2,4,8,16}", 0, 0, 4, nullptr, false},
         {"Scale factor", kTypeFloat, 0, false, nullptr, 0, 1000, 0, "1.500000", false},
         {"Zero offset (counts)", kTypeInt, 0, false, nullptr, -32768, 32767, -120, nullptr, false},
         {"Channel enable mask", kTypeInt, 0, true, nullptr, 0, 0xFF, 0x0F, nullptr, false},
         {"Calibration coefficients", kTypeString, 4, true, nullptr, 0, 0, 0, "3f8ccccd", true},
     }},
    {"Battery monitor",
     {
         {"Low voltage threshold (mV)", kTypeInt, 0, false, nullptr, 0, 20000, 3300, nullptr,
          false},
         {"Check interval (minutes)", kTypeLong, 0, false, "{15,30,60,120}", 0, 0, 60, nullptr,
          false},
         {"Shutdown delay (seconds)", kTypeChar, 1, false, nullptr, 0, 255, 30, nullptr, false},
         {"Status register", kTypeChar, 1, true, nullptr, 0, 0xFF, 0x80, nullptr, true},
     }},
    {"Wet/dry switch",
     {
         {"Dry threshold (counts)", kTypeInt, 0, false, nullptr, 0, 1023, 512, nullptr, false},
         {"Debounce time (ms)", kTypeChar, 1, false, nullptr, 0, 250, 40, nullptr, false},
         {"Transmit when wet yes=1 no=0", kTypeChar, 1, false, "{0,1}", 0, 0, 0, nullptr, false},
         {"Conductivity scale", kTypeFloat, 0, false, nullptr, 0, 100, 0, "12.500000", false},
     }},
    {"Depth gauge",
     {
         {"Sample interval (seconds)", kTypeLong, 0, false, nullptr, 1, 3600, 60, nullptr, false},
         {"Surface threshold (cm)", kTypeInt, 0, false, nullptr, 0, 5000, 150, nullptr, false},
         {"Dive log mode", kTypeChar, 1, false, "{0,1,2}", 0, 0, 1, nullptr, false},
         {"Pressure offset (mbar)", kTypeFloat, 0, false, nullptr, -50, 50, 0, "-1.750000", false},
         {"Sensor address", kTypeLong, 0, true, nullptr, 0, 0xFFFFFF, 0x1A2B3C, nullptr, true},
         {"Maximum dive duration (minutes)", kTypeLong, 0, false, nullptr, 0, 1440, 240, nullptr,
          false},
     }},
};

// First address after the transmitter's items; large configurations wrap here.
constexpr std::int32_t kFirstSensorAddress = 0x0010;

std::unique_ptr<DisplayLine> MakeItem(std::int32_t index, const std::string& sensor,
                                      std::int32_t number, const ItemSpec& spec,
                                      std::int32_t& address) {
    auto item = std::make_unique<DisplayLine>(index, sensor, std::to_string(number), spec.name, "0",
                                              spec.type, 1);
    // The order of a ready-made sensor: list and limits, type and size, then hex and value.
    item->SetList(spec.list != nullptr);
    item->SetMin(spec.min);
    if (spec.list != nullptr) {
        item->SetMax(spec.list);
    } else {
        item->SetMax(spec.max);
    }
    item->SetType(spec.type);
    if (spec.size != 0) item->SetSize(spec.size);
    item->SetHex(spec.hex);
    if (spec.text != nullptr) {
        item->SetValue(spec.text);
    } else {
        item->SetValue(spec.value);
    }
    item->SetUser(spec.notUserConfigurable);
    item->SetNumber(number);
    item->SetIndex(index);

    const std::int32_t bytes = std::max(item->GetSize(), 1);
    if (address + bytes - 1 > kMaxAddress) address = kFirstSensorAddress;
    item->SetAddress(address);
    address += bytes;
    return item;
}

// Reads a whole status line value of /proc/self/status in kB; -1 when absent.
long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

} // namespace

BenchFolder::BenchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "nimbrel-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("nimbrel-bench: temporary folder");
        std::exit(1);
    }
    path_ = pattern;
    previousSettingsDir_ = Settings::Directory();
    Settings::SetDirectory(path_);
    std::ofstream(path_ + "/Nimbrel.ini", std::ios::binary) << kSettingsText;
}

BenchFolder::~BenchFolder() {
    Settings::SetDirectory(previousSettingsDir_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

const std::string& BenchPath() {
    return PathStore();
}

void SetBenchPath(const std::string& path) {
    PathStore() = path;
}

ItemList MakeConfiguration(std::int32_t count) {
    ItemList items;
    items.reserve(static_cast<std::size_t>(std::max(count, 0)));
    std::int32_t address = 0;
    std::int32_t number = 1;
    for (const ItemSpec& spec : kTransmitter) {
        if (static_cast<std::int32_t>(items.size()) >= count) return items;
        const auto index = static_cast<std::int32_t>(items.size());
        items.push_back(
            MakeItem(index, index == 0 ? "ARGOS transmitter" : "", number, spec, address));
    }
    address = kFirstSensorAddress;
    for (std::size_t s = 0; static_cast<std::int32_t>(items.size()) < count; ++s) {
        const SensorSpec& sensor = kSensors[s % std::size(kSensors)];
        ++number;
        for (std::size_t i = 0; i < sensor.items.size(); ++i) {
            if (static_cast<std::int32_t>(items.size()) >= count) break;
            const auto index = static_cast<std::int32_t>(items.size());
            items.push_back(
                MakeItem(index, i == 0 ? sensor.name : "", number, sensor.items[i], address));
        }
    }
    return items;
}

std::string ConfigurationFile(std::int32_t count) {
    static std::map<std::int32_t, std::string> written;
    if (auto it = written.find(count); it != written.end()) return it->second;

    const ItemList items = MakeConfiguration(count);
    const std::int32_t sensors = items.empty() ? 0 : items.back()->GetNumber();
    const std::string path = BenchPath() + "/bench" + std::to_string(count) + ".cfg";
    std::string error;
    if (!WriteConfigFile(path, sensors, items, error)) {
        std::fprintf(stderr, "nimbrel-bench: %s\n", error.c_str());
        return {};
    }
    written[count] = path;
    return path;
}

double PeakRssMb() {
    const long kb = StatusKb("VmHWM");
    if (kb >= 0) return static_cast<double>(kb) / 1024.0;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kB on Linux
}

double CurrentRssMb() {
    const long kb = StatusKb("VmRSS");
    return kb >= 0 ? static_cast<double>(kb) / 1024.0 : 0.0;
}

bool ResetPeakRss() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

} // namespace nimbrel::bench
