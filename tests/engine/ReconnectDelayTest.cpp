#include <gtest/gtest.h>

#include "engine/ReconnectDelay.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// One watch's life: each step a time (seconds from the start) and what
// happened; a failure or a fall gives the wait before the next try.
TEST(ReconnectDelay, OnlyAWatchThatStoodAWhileIsMadeAgainAtOnce) {
    enum Event { Stood, Fell, Failed, Woken };
    struct Step {
        int at;
        Event event;
        long long waitMs;  // for Fell and Failed
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
    } rows[] = {
        {"failures double up to five minutes",
         {{0, Failed, 1000}, {1, Failed, 2000}, {3, Failed, 4000}, {7, Failed, 8000}, {15, Failed, 16000},
          {31, Failed, 32000}, {63, Failed, 64000}, {127, Failed, 128000}, {255, Failed, 256000},
          {511, Failed, 300000}, {811, Failed, 300000}}},
        {"a server that drops each IDLE at once", {{0, Stood, 0}, {0, Fell, 1000}, {1, Stood, 0}, {1, Fell, 2000},
                                                   {3, Stood, 0}, {3, Fell, 4000}}},
        {"killed every three seconds", {{0, Stood, 0}, {3, Fell, 1000}, {4, Stood, 0}, {7, Fell, 2000}}},
        {"a watch that stood a minute is made at once, and the count starts over",
         {{0, Failed, 1000}, {1, Failed, 2000}, {3, Stood, 0}, {70, Fell, 0}, {70, Failed, 1000}}},
        {"a wake starts the count over", {{0, Failed, 1000}, {1, Failed, 2000}, {2, Woken, 0}, {2, Failed, 1000}}},
    };
    for (const Row& row : rows) {
        ReconnectDelay delay;
        const auto start = ReconnectDelay::Clock::now();
        for (const Step& step : row.steps) {
            const auto at = start + std::chrono::seconds(step.at);
            if (step.event == Stood) delay.Stood(at);
            else if (step.event == Woken) delay.Reset();
            else EXPECT_EQ(delay.Next(at).count(), step.waitMs) << row.what << " at " << step.at << " s";
        }
    }
}

}  // namespace
}  // namespace velto
