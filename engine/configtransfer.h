// A configuration's items as a transfer sees them: what a send writes and
// what stops it, what a read asks for, the values it gives and how they
// compare with the configuration's. Every caller of a configuration transfer
// (the configuration window, nimbrel-cli) prepares its lists here and runs
// them on the TransferEngine; the texts are returned for the caller to show
// through its own Ui.
//
// Threads: all but ApplyValues only read the items, and a plan is not changed
// by a transfer, so one plan may serve transfers on several threads at once.
// The apply function of a ReadPlan runs on the engine's thread.
#pragma once

#include "config/checks.h"
#include "config/displayline.h"
#include "engine/transferengine.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel {

// The caption of the question OverlapQuestion gives.
inline constexpr const char* kOverlapCaption = "Overlapping items";
// The caption of the message ComparisonText gives.
inline constexpr const char* kCompareCaption = "Compare with transmitter";

// One item a send writes.
struct EncodedItem {
    std::size_t index = 0; // in the configuration
    std::string name;
    std::string sensor; // as SensorNames gives it
    std::int32_t address = 0;
    std::string commands; // its memory-write commands as they go out (upper case)
};

// What a send writes: every item but the user commands, in order. Nothing is
// sent unless every item can be sent whole: for the first item that cannot
// be encoded, `items` is empty and `refusal` holds the message that names it
// ("...\r\nNothing was sent.").
struct SendPlan {
    std::vector<EncodedItem> items;
    std::string refusal;

    bool Refused() const { return !refusal.empty(); }
    // The list TransferEngine::SendConfiguration takes.
    std::vector<TransferEngine::SendItem> EngineItems() const;
};
SendPlan PlanSend(const ItemList& items);
// The same for only the items at the indexes `only` ("Send checked items"),
// in the configuration's order; the other items are neither sent nor checked.
SendPlan PlanSend(const ItemList& items, const std::vector<std::size_t>& only);

// The indexes of the items of each name (every item of that name), in the
// configuration's order; nullopt, with `unknown` the first name no item has.
std::optional<std::vector<std::size_t>>
ItemsNamed(const ItemList& items, const std::vector<std::string>& names, std::string& unknown);

// The question asked before a send when items write the same EEPROM bytes
// (Yes to send anyway), naming the first pairs; "" when no bytes overlap.
std::string OverlapQuestion(const ItemList& items);

// Whether a read gives the item a value: items without bytes, and types a
// read leaves as they are (user commands, ready-made command texts), get none.
bool ReadGivesValue(const DisplayLine& item);

enum class ReadScope {
    // Every item, as the window reads: the bytes of items a read gives no
    // value are read too, and not used.
    EveryItem,
    // Only the items a read gives a value.
    ValuedItems,
};

// What a read asks for: the engine's list and, for each of its entries, the
// index of the item in the configuration.
struct ReadPlan {
    std::vector<TransferEngine::ReadItem> items;
    std::vector<std::size_t> at;
    // Whether some item cannot be read as it is (TransferEngine::ReadProblem):
    // the read names it in a message and leaves its value.
    bool skips = false;

    // The apply function TransferEngine::ReadConfiguration takes: hands
    // `apply` each value read with the index of its item in the configuration.
    using ItemFn = std::function<void(std::size_t item, const std::string& value)>;
    TransferEngine::ApplyFn ToItems(ItemFn apply) const;
};
ReadPlan PlanRead(const ItemList& items, ReadScope scope);

// The value texts of a read, one per item of the configuration; nullopt for
// an item it gave no value. CompareValues (config/checks.h) takes them.
using ReadValues = std::vector<std::optional<std::string>>;
// Gives each item the value read for it; answers how many got one.
std::size_t ApplyValues(const ItemList& items, const ReadValues& values);

// One row of a comparison table, for every item of the configuration.
struct CompareRow {
    std::size_t item = 0;
    std::string name;
    std::string sensor;
    std::int32_t address = 0;
    std::string fileValue;
    std::optional<std::string> pttValue; // nullopt: not read
    bool differs = false;
};
std::vector<CompareRow> CompareRows(const ItemList& items, const ReadValues& values);

// The message that reports a comparison (kCompareCaption): that the values
// are the same, or the first items that differ with both values.
std::string ComparisonText(const ItemList& items, const std::vector<Difference>& differences);

} // namespace nimbrel
