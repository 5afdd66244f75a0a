#include <gtest/gtest.h>

#include <cstdlib>

#include "net/RoutedTransport.h"
#include "support/FakeTransport.h"

namespace velto {
namespace {

using test::ScriptedTransportFactory;

TEST(RoutedTransport, OnlyPortNumbersCount) {
    EXPECT_EQ(ParsePortOverride("2110"), 2110);
    EXPECT_EQ(ParsePortOverride("65535"), 65535);
    for (const char* bad : {"", "0", "65536", "-5", "110x", " 110", "pop"})
        EXPECT_FALSE(ParsePortOverride(bad).has_value()) << bad;
    EXPECT_FALSE(ParsePortOverride(nullptr).has_value());
}

TEST(RoutedTransport, SendsPop3ConnectionsToThePortAndLeavesOthersAlone) {
    auto inner = std::make_shared<ScriptedTransportFactory>("S: +OK\n");
    auto factory = WithPop3Port(inner, 2110);
    auto transport = factory->Create();
    EXPECT_TRUE(transport->Connect("pop.example.com", 110));
    EXPECT_EQ(inner->state().host, "pop.example.com");
    EXPECT_EQ(inner->state().port, 2110);
    char buffer[16];
    EXPECT_EQ(transport->Receive(buffer, sizeof buffer), 5);  // the rest passes through
    transport->Connect("smtp.example.com", 25);
    EXPECT_EQ(inner->state().port, 25);
}

TEST(RoutedTransport, TheEnvironmentDecides) {
    auto inner = std::make_shared<ScriptedTransportFactory>("");
    ::unsetenv(kPop3PortVariable);
    EXPECT_EQ(WithPop3PortFromEnvironment(inner), inner);
    ::setenv(kPop3PortVariable, "40110", 1);
    auto factory = WithPop3PortFromEnvironment(inner);
    ::unsetenv(kPop3PortVariable);
    factory->Create()->Connect("127.0.0.1", 110);
    EXPECT_EQ(inner->state().port, 40110);
}

}  // namespace
}  // namespace velto
