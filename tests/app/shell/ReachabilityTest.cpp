#include <gtest/gtest.h>

#include "app/shell/Reachability.h"
#include "platform/NotificationCenter.h"
#include "QtWait.h"
#include "ShellTestSupport.h"

namespace orv {
namespace {

using State = test::FakeReachabilityBackend::State;

std::shared_ptr<Reachability> notifierWith(const std::shared_ptr<State>& state)
{
    return Reachability::withBackend(std::make_unique<test::FakeReachabilityBackend>(state));
}

TEST(ReachabilityTest, FlagsDecideStatusAndTexts)
{
    using R = Reachability;
    struct Case {
        std::optional<uint32_t> flags;
        bool reachable;
        int status;
        const char* text;
        const char* flagText;
    } cases[] = {
        {R::kReachable | R::kIsDirect, true, 2, "WiFi", "XR ------d"},
        {0u, false, 0, "No Connection", "X- -------"},
        {std::nullopt, false, 0, "No Connection", "X- -------"},
        {R::kReachable | R::kTransientConnection | R::kConnectionRequired, false, 0, "No Connection", "XR ct-----"},
        {R::kReachable | R::kConnectionRequired, true, 2, "WiFi", "XR c------"},
        {R::kReachable | R::kTransientConnection, true, 2, "WiFi", "XR -t-----"},
        {0x3003Fu, false, 0, "No Connection", "XR ctiCDld"},
    };
    auto state = std::make_shared<State>();
    auto notifier = notifierWith(state);
    for (const auto& c : cases) {
        state->flags = c.flags;
        SCOPED_TRACE(c.flagText);
        EXPECT_EQ(notifier->isReachable(), c.reachable);
        EXPECT_EQ(notifier->currentReachabilityStatus(), c.status);
        EXPECT_EQ(notifier->currentReachabilityString(), c.text);
        EXPECT_EQ(notifier->currentReachabilityFlags(), c.flagText);
        EXPECT_FALSE(notifier->isReachableViaWWAN());
    }
    state->flags = R::kConnectionRequired | R::kConnectionOnTraffic | R::kInterventionRequired;
    EXPECT_TRUE(notifier->isConnectionOnDemand());
    EXPECT_TRUE(notifier->isInterventionRequired());
    EXPECT_TRUE(notifier->description().startsWith("<Reachability: 0x"));
}

TEST(ReachabilityTest, ChangesRunTheBlocksThenNotifyOnTheMainQueue)
{
    auto state = std::make_shared<State>();
    auto notifier = notifierWith(state);
    EXPECT_TRUE(notifier->startNotifier());
    EXPECT_TRUE(notifier->startNotifier());
    EXPECT_EQ(state->registrations, 1);

    std::atomic<int> reachable{0}, unreachable{0}, every{0};
    notifier->reachableBlock = [&](Reachability&) { ++reachable; };
    notifier->unreachableBlock = [&](Reachability&) { ++unreachable; };
    notifier->reachabilityBlock = [&](Reachability&, uint32_t) { ++every; };
    int notified = 0;
    int observer = 0;
    NotificationCenter::defaultCenter().addObserver(
        &observer, [&](const Notification& n) { notified += n.object == notifier.get(); },
        Reachability::kChangedNotification);

    state->flags = 0;
    state->callback();
    EXPECT_TRUE(test::qtWaitUntil([&] { return notified == 1; }));
    state->flags = Reachability::kReachable;
    state->callback();
    EXPECT_TRUE(test::qtWaitUntil([&] { return notified == 2; }));
    EXPECT_EQ(reachable, 1);
    EXPECT_EQ(unreachable, 1);
    EXPECT_EQ(every, 2);

    notifier->stopNotifier();
    EXPECT_FALSE(state->callback);
    NotificationCenter::defaultCenter().removeObserver(&observer);
}

TEST(ReachabilityTest, SystemBackendAnswersWithoutBlocking)
{
    // Whatever the machine's network, the system notifier either cannot be
    // made or gives one of the two statuses.
    auto notifier = Reachability::reachabilityForInternetConnection();
    if (notifier) {
        const int status = notifier->currentReachabilityStatus();
        EXPECT_TRUE(status == 0 || status == 2);
    }
}

}  // namespace
}  // namespace orv
