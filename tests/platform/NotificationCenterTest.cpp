#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

// A center whose handlers note, in order, which observer heard a post.
class NotificationOrderTest : public testing::Test {
protected:
    NotificationCenter::Handler heard(std::string who)
    {
        return [this, who](const Notification&) { got.push_back(who); };
    }

    NotificationCenter center;
    std::vector<std::string> got;
};

TEST(NotificationCenterTest, DeliversByNameAndSender)
{
    int card = 0;
    int otherCard = 0;
    struct Case {
        std::string observedName;
        const void* observedObject;
        std::string postedName;
        const void* postedObject;
        bool delivered;
    };
    const Case cases[] = {
        {"ejectNotification", nullptr, "ejectNotification", &card, true},
        {"ejectNotification", &card, "ejectNotification", &card, true},
        {"ejectNotification", &card, "ejectNotification", &otherCard, false},
        {"ejectNotification", &card, "ejectNotification", nullptr, false},
        {"ejectNotification", nullptr, "updatePhoneImageNotification", &card, false},
        {"", &card, "updatePhoneImageNotification", &card, true},
        {"", nullptr, "anything", nullptr, true},
    };
    for (const auto& c : cases) {
        NotificationCenter center;
        int observer = 0;
        std::vector<Notification> got;
        center.addObserver(&observer, [&](const Notification& n) { got.push_back(n); }, c.observedName,
                           c.observedObject);
        center.postNotificationName(c.postedName, c.postedObject, std::string("info"));
        ASSERT_EQ(got.size(), c.delivered ? 1u : 0u) << c.observedName << " / " << c.postedName;
        if (c.delivered) {
            EXPECT_EQ(got[0].name, c.postedName);
            EXPECT_EQ(got[0].object, c.postedObject);
            EXPECT_EQ(std::any_cast<std::string>(got[0].userInfo), "info");
        }
    }
}

TEST_F(NotificationOrderTest, RemovesSelectively)
{
    int a = 0;
    int b = 0;
    int card = 0;
    center.addObserver(&a, heard("a:eject"), "eject");
    center.addObserver(&a, heard("a:update"), "update", &card);
    center.addObserver(&b, heard("b:eject"), "eject");

    center.removeObserver(&a, "update", &card);
    center.postNotificationName("update", &card);
    center.postNotificationName("eject", &card);
    EXPECT_EQ(got, (std::vector<std::string>{"a:eject", "b:eject"}));

    got.clear();
    center.removeObserver(&a);
    center.removeObserver(nullptr);
    center.postNotificationName("eject");
    EXPECT_EQ(got, (std::vector<std::string>{"b:eject"}));

    got.clear();
    center.removeObserver(&b, "", nullptr);  // any name, any sender
    center.postNotificationName("eject");
    EXPECT_TRUE(got.empty());
}

TEST_F(NotificationOrderTest, ObserversChangedDuringAPost)
{
    int selfRemover = 0;
    int remover = 0;
    int victim = 0;
    int adder = 0;
    int late = 0;
    center.addObserver(&selfRemover, [&](const Notification&) {
        got.push_back("selfRemover");
        center.removeObserver(&selfRemover);
    }, "n");
    center.addObserver(&remover, [&](const Notification&) {
        got.push_back("remover");
        center.removeObserver(&victim);
    }, "n");
    center.addObserver(&victim, heard("victim"), "n");
    center.addObserver(&adder, [&](const Notification&) {
        got.push_back("adder");
        center.addObserver(&late, heard("late"), "n");
        center.removeObserver(&adder);
    }, "n");

    center.postNotificationName("n");
    // The victim was removed before its turn; the newcomer waits for the next post.
    EXPECT_EQ(got, (std::vector<std::string>{"selfRemover", "remover", "adder"}));

    got.clear();
    center.postNotificationName("n");
    EXPECT_EQ(got, (std::vector<std::string>{"remover", "late"}));
}

TEST_F(NotificationOrderTest, NestedPostsAndRemovalInsideThem)
{
    int outer = 0;
    int inner = 0;
    int afterInner = 0;
    center.addObserver(&outer, [&](const Notification&) {
        got.push_back("outer");
        center.postNotificationName("inner");
    }, "outer");
    center.addObserver(&inner, [&](const Notification&) {
        got.push_back("inner");
        // Removes the observer whose handler is running further up this stack:
        // must not wait for it.
        center.removeObserver(&outer);
        center.removeObserver(&afterInner);
    }, "inner");
    center.addObserver(&afterInner, heard("afterInner"), "inner");
    center.postNotificationName("outer");
    center.postNotificationName("outer");
    EXPECT_EQ(got, (std::vector<std::string>{"outer", "inner"}));
}

TEST(NotificationCenterTest, RemovalWaitsForAHandlerRunningOnAnotherThread)
{
    NotificationCenter center;
    auto observer = std::make_unique<std::atomic<int>>(0);
    std::promise<void> entered;
    std::promise<void> release;
    auto releaseFuture = release.get_future().share();
    center.addObserver(observer.get(), [&, target = observer.get(), releaseFuture](const Notification&) {
        entered.set_value();
        releaseFuture.wait();
        // Still touches the observer after the main thread asked to remove it.
        target->fetch_add(1);
    }, "n");

    std::thread poster([&] { center.postNotificationName("n"); });
    entered.get_future().wait();
    std::atomic<bool> removeReturned{false};
    auto removal = std::async(std::launch::async, [&] {
        center.removeObserver(observer.get());
        removeReturned = true;
        observer.reset();  // safe only once no handler uses it
    });
    EXPECT_EQ(removal.wait_for(50ms), std::future_status::timeout) << "removal did not wait for the handler";
    EXPECT_FALSE(removeReturned.load());
    release.set_value();
    EXPECT_EQ(removal.wait_for(10s), std::future_status::ready);
    poster.join();
    EXPECT_FALSE(observer);
}

TEST(NotificationCenterTest, HandlerThatThrowsLeavesNoRunningMark)
{
    NotificationCenter center;
    int observer = 0;
    center.addObserver(&observer, [](const Notification&) { throw std::runtime_error("boom"); }, "n");
    std::thread poster([&] { EXPECT_THROW(center.postNotificationName("n"), std::runtime_error); });
    poster.join();
    // Would wait forever if the failed handler still counted as running.
    auto removal = std::async(std::launch::async, [&] { center.removeObserver(&observer); });
    EXPECT_EQ(removal.wait_for(10s), std::future_status::ready);
}

TEST(NotificationCenterTest, ObserversComeAndGoWhileOtherThreadsPost)
{
    NotificationCenter center;
    std::atomic<bool> done{false};
    std::atomic<long> deliveries{0};
    std::vector<std::thread> posters;
    for (int i = 0; i < 3; ++i)
        posters.emplace_back([&] {
            while (!done)
                center.postNotificationName("tick");
        });
    for (int round = 0; round < 300; ++round) {
        // Each observer owns memory its handler writes; it is freed as soon as
        // removal returns, which the sanitizers check.
        auto state = std::make_unique<std::atomic<int>>(0);
        center.addObserver(state.get(), [&deliveries, s = state.get()](const Notification&) {
            s->store(1);
            deliveries.fetch_add(1, std::memory_order_relaxed);
        }, "tick");
        center.removeObserver(state.get());
    }
    done = true;
    for (auto& t : posters)
        t.join();
    SUCCEED() << deliveries.load() << " deliveries";
}

TEST(NotificationCenterTest, RefusesObserverWithoutIdentityOrHandler)
{
    NotificationCenter center;
    int observer = 0;
    EXPECT_THROW(center.addObserver(nullptr, [](const Notification&) {}, "n"), Exception);
    EXPECT_THROW(center.addObserver(&observer, nullptr, "n"), Exception);
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

}  // namespace
}  // namespace orv
