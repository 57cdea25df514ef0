// Every key of the settings file, with each reader's own default (the link
// and transfer options are read in platform/options.cpp). Readers of
// the same key may differ in default and buffer size on purpose.
#pragma once

#include "platform/settings.h"

#include <string>

namespace nimbrel::keys {

// [COM]: the serial port.
inline constexpr IntSetting kPrefPort{"COM", "port", 2};        // Preferences dialog
inline constexpr IntSetting kPortNumber{"COM", "port", 2};      // port opening: number
inline constexpr IntSetting kPrefBaud{"COM", "baud", 4800};     // Preferences dialog
inline constexpr TextSetting kPortBaud{"COM", "baud", "9600", 50};
inline constexpr TextSetting kPortParity{"COM", "parity", "n", 50};
inline constexpr TextSetting kPortBits{"COM", "bits", "8", 50};
inline constexpr TextSetting kPortStop{"COM", "stop", "1", 50};
// Device behind port n: key "device<n>", default /dev/ttyS<n-1>.
inline std::string PortDeviceKey(int port) {
    return "device" + std::to_string(port);
}
inline std::string PortDefaultDevice(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}
inline constexpr int kPortDeviceBuffer = 256;

// [USER INTERFACE]
inline constexpr TextSetting kPrefAbort{"USER INTERFACE", "abort", "QQQQQQQ", 20}; // Preferences
inline constexpr TextSetting kStopAbort{"USER INTERFACE", "abort", "qqqqqqq", 50}; // Stop command
inline constexpr IntSetting kPrefWait{"USER INTERFACE", "wait", 70};               // Preferences
inline constexpr IntSetting kStartWait{"USER INTERFACE", "wait", 60}; // Start command, seconds

// [FILE TRANSFER]
inline constexpr IntSetting kPrefReadAfterWrite{"FILE TRANSFER", "ReadAfterWrite", 0};
inline constexpr IntSetting kReadAfterWrite{"FILE TRANSFER", "ReadAfterWrite", 1}; // writes
inline constexpr IntSetting kWaitTimeForResponse{"FILE TRANSFER", "WaitTimeForResponse", 2}; // s

// [STARTUP]
inline constexpr IntSetting kPrefSimpleMode{"STARTUP", "simplemode", 0};
inline constexpr IntSetting kOpenSimpleMode{"STARTUP", "simplemode", 0};   // New and Open
inline constexpr IntSetting kWindowSimpleMode{"STARTUP", "simplemode", 0}; // window creation

// [VIEW]: panels the frame shows again at start-up.
inline constexpr IntSetting kViewMemoryMap{"VIEW", "memorymap", 0};

// [EEPROM], [VERSION]: written by Preferences; only "size" is read back.
inline constexpr IntSetting kPrefEepromSize{"EEPROM", "size", 512};
inline constexpr const char* kEepromSection = "EEPROM";
inline constexpr const char* kVersionSection = "VERSION";

// [MRU]: recent files MRU0 (newest) .. MRU3; MRU4 receives the entry pushed out.
inline constexpr const char* kMruSection = "MRU";
inline std::string MruKey(int slot) {
    return "MRU" + std::to_string(slot);
}
inline constexpr const char* kMruEmpty = "Default";
inline constexpr int kMruBuffer = 255;
inline constexpr IntSetting kMruCount{"MRU", "Count", 4};

// [TIMING]: optional overrides of the program's fixed waits, in milliseconds
// (used by tests and demos to keep waits short). Absent keys keep the fixed waits.
inline constexpr const char* kTimingSection = "TIMING";
inline constexpr IntSetting kStartWaitMs{"TIMING", "StartWaitMs", -1};       // else wait * 1000
inline constexpr IntSetting kResponseWaitMs{"TIMING", "ResponseWaitMs", -1}; // else s * 1000
inline constexpr IntSetting kVersionWaitMs{"TIMING", "VersionWaitMs", 5000};
inline constexpr IntSetting kReadByteWaitMs{"TIMING", "ReadByteWaitMs", 10000};
inline constexpr IntSetting kAnswerQuietMs{"TIMING", "AnswerQuietMs", -1}; // else by the baud rate
inline constexpr IntSetting kClosePollMs{"TIMING", "ClosePollMs", 1000};
inline constexpr IntSetting kMonitorPauseMs{"TIMING", "MonitorPauseMs", 100};
inline constexpr IntSetting kStartPassMs{"TIMING", "StartPassMs", 100};
// Transfers shorter than this finish without a progress dialog.
inline constexpr IntSetting kProgressDelayMs{"TIMING", "ProgressDelayMs", 400};
inline constexpr IntSetting kSplashSeconds{"TIMING", "SplashSeconds", 5};
inline constexpr IntSetting kSettleMs{"TIMING", "SettleMs", 50}; // quiet line after the start
inline constexpr IntSetting kWriteStallMs{"TIMING", "WriteStallMs", 5000}; // port taking no data
// How long a port is listened to for the wake-up byte before a transmitter
// already awake is probed for with the version query.
inline constexpr IntSetting kAwakeWaitMs{"TIMING", "AwakeWaitMs", 2000};
// Station mode: how often ports are looked for, and how long a unit may send
// nothing before its port counts as free again.
inline constexpr IntSetting kStationPollMs{"TIMING", "StationPollMs", 500};
inline constexpr IntSetting kStationGoneMs{"TIMING", "StationGoneMs", 3000};

// [HISTORY] File: the programming history database; empty for the default
// ($XDG_DATA_HOME/Nimbrel/history.sqlite).
inline constexpr TextSetting kHistoryFile{"HISTORY", "File", "", 1024};

// [BACKUP]: Keep (1: a send first keeps the transmitter's bytes it will
// overwrite as a configuration file, then writes only the bytes that differ)
// and Folder (where; empty for the default, $XDG_DATA_HOME/Nimbrel/backups).
inline constexpr IntSetting kBackupKeep{"BACKUP", "Keep", 0};
inline constexpr TextSetting kBackupFolder{"BACKUP", "Folder", "", 1024};

} // namespace nimbrel::keys
