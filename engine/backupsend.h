// A send that keeps a backup first and then writes only what changed: it
// reads the transmitter's byte at every address the send writes, saves those
// bytes as a configuration file (the same items with the transmitter's
// values) in the backup folder, then writes, and reads back, only the bytes
// whose value differs. Sending that file is the restore. The windows and
// nimbrel-cli run it the same way, on an engine whose transmitter has been
// started; the texts are returned for the caller to show.
#pragma once

#include "config/displayline.h"
#include "engine/configtransfer.h"
#include "engine/transferengine.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

// One byte a send leaves in the transmitter's memory.
struct PlannedByte {
    std::uint16_t address = 0;
    std::uint8_t value = 0;
    std::size_t item = 0; // the entry of the plan that writes it last
};
// Every address the plan's memory-write commands write, once, ascending, with
// the value the send leaves there (the last write to it).
std::vector<PlannedByte> PlannedBytes(const SendPlan& plan);

// The plan's commands cut to the bytes whose value differs from `held` (the
// transmitter's bytes at the addresses of PlannedBytes, in that order), each
// written once by the item that writes it last; commands that are not memory
// writes stay. Items left without commands are left out.
std::vector<TransferEngine::SendItem> ChangedItems(const SendPlan& plan,
                                                   const std::vector<PlannedByte>& bytes,
                                                   const std::vector<std::uint8_t>& held);

// The items of the plan (copies) holding the values that write `held` back
// exactly. An item whose own type cannot give those bytes (a float that does
// not print exactly, an invalid PTT ID word, an unknown baud code, bytes
// beyond a number's width) becomes a string item of the same bytes.
ItemList BackupItems(const ItemList& items, const SendPlan& plan,
                     const std::vector<PlannedByte>& bytes, const std::vector<std::uint8_t>& held);

// "<PTT ID>-<UTC time>", e.g. "11111-2026-12-09T193000Z"; characters other
// than letters and digits are left out of the ID, and an empty one reads
// "unknown" (SendWithBackup gives none for a transmitter whose ID word is
// not valid, or a configuration without a PTT ID item).
std::string BackupFileStem(const std::string& pttId, std::chrono::system_clock::time_point when);
// Why `folder` cannot take a backup ("The backup folder F cannot be written
// (reason)."), or "" when it can; it is made when missing.
std::string BackupFolderProblem(const std::string& folder);
// Saves the items as STEM.cfg in `folder` (created when missing), or as
// STEM-2.cfg, STEM-3.cfg, ... when that exists: never over another file.
// Answers the path, or "" with the reason in `error`.
std::string KeepBackupFile(const std::string& folder, const std::string& stem,
                           std::int32_t sensorCount, const ItemList& items, std::string& error);

struct BackupSendResult {
    std::string backupPath;   // the backup kept; "" when none was
    std::size_t bytes = 0;    // bytes the send writes
    std::size_t differed = 0; // of them, written and verified
    std::string refusal;      // Refused: why nothing was written, for the caller to show
};

// The backup send of `plan` (PlanSend of `items`): reads, keeps the backup in
// `folder`, writes the bytes that differ, each read back whatever the
// options say. Refused, with `refusal` set and nothing written, when the
// backup cannot be kept; any other outcome has been shown by the engine.
Outcome SendWithBackup(TransferEngine& engine, const ItemList& items, const SendPlan& plan,
                       std::int32_t sensorCount, const std::string& folder,
                       BackupSendResult& result);

// The message of a backup send that went through: "Configuration sent: 12 of
// 388 bytes differed and were written and verified.", then the backup file.
std::string BackupSentText(const BackupSendResult& result);

} // namespace nimbrel
