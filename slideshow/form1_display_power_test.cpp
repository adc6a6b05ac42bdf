// The slideshow while the display is off: the ticks go on unseen and read nothing; back on, the picture of
// the interval shows at once.
#include "slideshow/form1.h"

#include "platform/fake/fake_platform.h"
#include "slideshow/form1_def.h"
#include "slideshow/picture_sequence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace slideshow {
namespace {

using platform::fake::FakePlatform;

std::string picture(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "C:\\Pictures\\KWOBL%03d.DAT", number);
    return name;
}

// The numbers in the recorded calls of one kind ("load(" or "prefetch("), in order.
std::vector<int> numbers_of(const FakePlatform& fake, const std::string& call)
{
    std::vector<int> numbers;
    for (const std::string& line : fake.calls_starting(call))
        numbers.push_back(std::stoi(line.substr(line.find("KWOBL") + 5, 3)));
    return numbers;
}

struct Case {
    const char* name;
    const char* events;          // after the load: "t" a tick, "off" and "on" the display; "t48" 48 ticks
    std::vector<int> loads;      // pictures read from the first "off" or "on" on, in order
    std::vector<int> prefetches; // pictures asked for ahead from then on, in order
    std::int16_t picture_no;     // where the sequence is at the end
};

const Case kCases[] = {
    {"ticks in the dark read nothing", "off t t", {}, {}, 4},
    {"back on shows the picture the sequence is at", "off t t on", {3}, {4}, 4},
    {"the tick after that shows the next one", "off t t on t", {3, 4}, {4, 5}, 5},
    {"on within the interval keeps the picture shown", "off on", {}, {2}, 2},
    {"and its next tick shows the next one", "off on t", {2}, {2, 3}, 3},
    {"on while on changes nothing", "on t", {2}, {3}, 3},
    {"off twice counts once", "off off t on on", {2}, {3}, 3},
    {"ticks before the dark as usual", "t off t on", {3}, {4}, 4},
    {"back on at the cycle's start shows 050", "t47 off t t on", {50}, {1}, 1},
};

class Form1DisplayPowerTest : public ::testing::TestWithParam<Case> {
protected:
    Form1DisplayPowerTest()
    {
        for (int n = 1; n <= kPictureCount; ++n)
            fake.pictures[picture(n)] = {800, 600};
    }

    void run(const std::string& events)
    {
        std::istringstream in(events);
        bool first_display_event = true;
        for (std::string event; in >> event;) {
            if (event == "on" || event == "off") {
                if (std::exchange(first_display_event, false))
                    fake.clear_calls();
                form.on_display_power(event == "on");
            }
            else
                for (int i = 0, n = event.size() > 1 ? std::stoi(event.substr(1)) : 1; i < n; ++i)
                    form.on_timer(kTimer1);
        }
    }

    FakePlatform fake;
    Form1 form{fake.platform()};
};

TEST_P(Form1DisplayPowerTest, ReadsOnlyWhatCanBeSeen)
{
    const Case& c = GetParam();
    form.load();
    run(c.events);
    EXPECT_EQ(numbers_of(fake, "load("), c.loads) << c.name;
    EXPECT_EQ(numbers_of(fake, "prefetch("), c.prefetches) << c.name;
    EXPECT_EQ(form.state().picture_no, c.picture_no) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Events, Form1DisplayPowerTest, ::testing::ValuesIn(kCases));

TEST_F(Form1DisplayPowerTest, TicksInTheDarkStillPutTheWindowOnTopAndTakeTheFocus)
{
    form.load();
    form.on_display_power(false);
    fake.clear_calls();
    run("t t t");
    EXPECT_EQ(fake.calls_starting("SetWindowPos(0x10010, -1").size(), 3u);
    EXPECT_EQ(fake.calls_starting("set_focus(Form1)").size(), 3u);
    EXPECT_TRUE(fake.calls_starting("set_picture(").empty());
}

TEST_F(Form1DisplayPowerTest, AMissingPictureBackOnIsBlackAndTheCycleGoesOn)
{
    fake.pictures.erase(picture(3));
    form.load();
    run("off t t on");
    EXPECT_FALSE(fake.window(form.window()).element(kImage1).visible);
    EXPECT_EQ(form.state().picture_no, 4);
    fake.clear_calls();
    run("t");
    EXPECT_EQ(numbers_of(fake, "load("), std::vector<int>{4});
    EXPECT_TRUE(fake.window(form.window()).element(kImage1).visible);
}

} // namespace
} // namespace slideshow
