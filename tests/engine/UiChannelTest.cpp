#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "engine/UiChannel.h"

namespace velto {
namespace {

void Drain() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(UiChannel, SendOnTheUiThreadRunsAtOnce) {
    QObject receiver;
    UiChannel channel(&receiver);
    bool ran = false;
    EXPECT_TRUE(channel.Send([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST(UiChannel, NothingQueuedRunsAfterClose) {
    QObject receiver;
    auto channel = std::make_shared<UiChannel>(&receiver);
    auto ran = std::make_shared<std::atomic<int>>(0);
    channel->Post([ran] { ++*ran; });
    // A sender on another thread, queued and waiting or about to be: either
    // way Close lets it go and its call never runs.
    auto sent = std::async(std::launch::async, [channel, ran] { return channel->Send([ran] { ++*ran; }); });
    channel->Close();
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(10)), std::future_status::ready);  // let go
    EXPECT_FALSE(sent.get());
    Drain();
    EXPECT_EQ(ran->load(), 0);
    channel->Post([ran] { ++*ran; });
    EXPECT_FALSE(channel->Send([ran] { ++*ran; }));
    Drain();
    EXPECT_EQ(ran->load(), 0);
}

TEST(UiChannel, DestroyingTheReceiverReleasesTheSender) {
    auto receiver = std::make_unique<QObject>();
    auto channel = std::make_shared<UiChannel>(receiver.get());
    std::promise<void> queued;
    auto sent = std::async(std::launch::async, [channel, &queued] {
        queued.set_value();
        return channel->Send([] {});
    });
    queued.get_future().wait();
    receiver.reset();  // Qt drops the calls queued for it
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(sent.get());
}

TEST(UiChannel, ASenderWaitsUntilTheUiThreadRanItsCall) {
    QObject receiver;
    auto channel = std::make_shared<UiChannel>(&receiver);
    std::string seen;
    auto sent = std::async(std::launch::async, [channel, &seen] {
        std::string text = "by value";
        return channel->Send([&seen, text] { seen = text; });
    });
    while (sent.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents();
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(seen, "by value");
}

}  // namespace
}  // namespace velto
