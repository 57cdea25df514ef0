#include "fleet/idsource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace nimbrel {
namespace {

// A configuration with an int item and a PTT ID item limited to 1..99999.
ItemList Config(bool withId = true) {
    ItemList items;
    items.push_back(std::make_unique<DisplayLine>(0, "ARGOS", "0", "Rep rate", "60", kTypeInt, 2));
    items.back()->SetMin(0);
    items.back()->SetMax(600);
    if (withId) {
        items.push_back(
            std::make_unique<DisplayLine>(1, "ARGOS", "0", "PTT ID number", "5", kTypePttId, 4));
        items.back()->SetMin(1);
        items.back()->SetMax(99999);
        items.back()->SetAddress(0x100);
    }
    return items;
}

std::vector<std::int32_t> Numbers(const std::vector<FleetId>& ids) {
    std::vector<std::int32_t> out;
    for (const FleetId& f : ids)
        out.push_back(f.id);
    return out;
}

TEST(IdSourceTest, AcceptedSources) {
    const struct {
        bool list;
        std::string text;
        std::vector<std::int32_t> ids;
    } cases[] = {
        {false, "12000-12003", {12000, 12001, 12002, 12003}},
        {false, " 7 - 7 ", {7}},
        {false, "1-1", {1}},
        {false, "99998-99999", {99998, 99999}},
        {true, "5\n3\n9\n", {5, 3, 9}},
        {true, "# units of lot 4\r\n  12 \r\n\n\t\n13 # spare\n14", {12, 13, 14}},
    };
    const ItemList items = Config();
    for (const auto& c : cases) {
        std::string error;
        const auto ids =
            c.list ? IdsFromList(c.text, items, error) : IdsFromRange(c.text, items, error);
        ASSERT_TRUE(ids) << c.text << ": " << error;
        EXPECT_EQ(Numbers(*ids), c.ids) << c.text;
    }
    // The value of the configuration's own ID item is left as it was.
    EXPECT_EQ(items[1]->GetValueText(), "5");
}

TEST(IdSourceTest, RefusedSourcesNameTheProblem) {
    const struct {
        bool list;
        bool withId;
        std::string text;
        std::string message; // a part of the one message
    } cases[] = {
        {false, false, "1-5", "no PTT ID item"},
        {true, false, "1", "no PTT ID item"},
        {false, true, "12-", "not of the form START-END"},
        {false, true, "a-b", "not of the form START-END"},
        {false, true, "-5-6", "not of the form START-END"},
        {false, true, "12", "not of the form START-END"},
        {false, true, "99999999999-1", "not of the form START-END"},
        {false, true, "9-3", "ends before it starts"},
        {false, true, "0-10", "PTT ID 0 of the range 0-10 cannot be sent"},
        {false, true, "99990-100000", "outside its limits 1 to 99999"},
        {false, true, "1-99999999", "PTT ID 99999999 of the range 1-99999999 cannot be sent"},
        {true, true, "5\n6\n\n5\n", "PTT ID 5 is in the ID list twice, on lines 1 and 4."},
        {true, true, "5\n6x\n", "Line 2 of the ID list, \"6x\", is not a decimal PTT ID."},
        {true, true, "5\n-6\n", "Line 2"},
        {true, true, "5\n100000\n", "PTT ID 100000 (line 2) cannot be sent"},
        {true, true, "# none\n\n", "holds no PTT ID"},
    };
    for (const auto& c : cases) {
        const ItemList items = Config(c.withId);
        std::string error;
        const auto ids =
            c.list ? IdsFromList(c.text, items, error) : IdsFromRange(c.text, items, error);
        EXPECT_FALSE(ids) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
    }
    ItemList wide = Config();
    wide[1]->SetMax(50000000);
    std::string error;
    EXPECT_FALSE(IdsFromRange("1-40000000", wide, error));
    EXPECT_NE(error.find("holds 40000000 IDs; one run takes at most 100000."), std::string::npos)
        << error;
}

TEST(IdSourceTest, WordsCarryTheCheckBitsOfASingleSend) {
    ItemList items = Config();
    items[1]->SetMax(20000);
    std::string error;
    const auto ids = IdsFromList("1\n11111\n16385\n", items, error);
    ASSERT_TRUE(ids) << error;
    EXPECT_EQ(*ids, (std::vector<FleetId>{{1, 0x53u}, {11111, 0xAD9ECu}, {16385, 0x62u}}));
}

TEST(IdPoolTest, TakeGiveBackBurnLeft) {
    IdPool pool({{10, 1}, {11, 2}, {12, 3}, {13, 4}});
    EXPECT_EQ(pool.Take()->id, 10);
    EXPECT_EQ(pool.Take()->id, 11);
    EXPECT_EQ(pool.Take()->id, 12);
    // A failed unit's ID comes back before the next unused one; the lowest first.
    EXPECT_TRUE(pool.GiveBack(12));
    EXPECT_TRUE(pool.GiveBack(10));
    EXPECT_FALSE(pool.GiveBack(10)); // not taken
    EXPECT_FALSE(pool.GiveBack(99)); // not in the pool
    EXPECT_EQ(Numbers(pool.Left()), (std::vector<std::int32_t>{10, 12, 13}));
    EXPECT_EQ(*pool.Take(), (FleetId{10, 1}));
    EXPECT_TRUE(pool.Burn(10));
    EXPECT_FALSE(pool.GiveBack(10)); // burnt stays used
    EXPECT_TRUE(pool.Burn(13));      // free IDs can be burnt too
    EXPECT_EQ(Numbers(pool.Left()), (std::vector<std::int32_t>{12}));
    EXPECT_EQ(pool.Take()->id, 12);
    EXPECT_FALSE(pool.Take());
    EXPECT_TRUE(pool.Left().empty());
}

TEST(IdPoolTest, PortsTakingAtOnceGetDistinctIds) {
    std::vector<FleetId> ids;
    for (std::int32_t i = 0; i < 2000; ++i)
        ids.push_back({i, static_cast<std::uint32_t>(i)});
    IdPool pool(ids);
    std::vector<std::atomic<bool>> returned(ids.size());
    std::vector<std::vector<std::int32_t>> got(4);
    std::vector<std::thread> threads;
    for (auto& mine : got) {
        threads.emplace_back([&pool, &returned, &mine] {
            while (auto id = pool.Take()) {
                // Every third unit fails once and gives its ID back.
                if (id->id % 3 == 0 && !returned[id->id].exchange(true)) {
                    EXPECT_TRUE(pool.GiveBack(id->id));
                    continue;
                }
                mine.push_back(id->id);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    std::vector<std::int32_t> all;
    for (const auto& mine : got)
        all.insert(all.end(), mine.begin(), mine.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, Numbers(ids)); // each ID exactly once
    EXPECT_TRUE(pool.Left().empty());
}

} // namespace
} // namespace nimbrel
