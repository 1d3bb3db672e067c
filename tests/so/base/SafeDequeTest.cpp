// Tests of the locked task queue: order at both ends, removal of one element, concurrent use.
#include "so/base/SafeDeque.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace QVO::BASE {
namespace {

TEST(SafeDequeTest, KeepsOrderAtBothEnds) {
    SafeDeque<int> queue;
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.Front().has_value());
    EXPECT_FALSE(queue.PopFront().has_value());
    queue.PushBack(2);
    queue.PushBack(3);
    queue.PushFront(1);
    EXPECT_EQ(queue.Size(), 3u);
    EXPECT_EQ(queue.Front(), 1);
    EXPECT_EQ(queue.PopFront(), 1);
    EXPECT_EQ(queue.TakeAll(), (std::vector<int>{2, 3}));
    EXPECT_TRUE(queue.Empty());
}

// Removing a finished task must take that task, not whatever is in front now.
TEST(SafeDequeTest, RemoveFirstTakesTheGivenElementOnly) {
    SafeDeque<int> queue;
    for (int value : {7, 5, 7, 9}) queue.PushBack(value);
    EXPECT_TRUE(queue.RemoveFirst(7));
    EXPECT_FALSE(queue.RemoveFirst(42));
    EXPECT_EQ(queue.TakeAll(), (std::vector<int>{5, 7, 9}));
}

// The front is a copy: it outlives removal by another thread.
TEST(SafeDequeTest, FrontCopyOutlivesRemoval) {
    SafeDeque<std::shared_ptr<int>> queue;
    queue.PushBack(std::make_shared<int>(11));
    auto front = queue.Front();
    queue.Clear();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(**front, 11);
}

// Producers and a consumer at once: nothing lost, nothing twice, each producer's order kept.
TEST(SafeDequeTest, ConcurrentProducersAndConsumerLoseNothing) {
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 2000;
    SafeDeque<int> queue;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (int i = 0; i < kPerProducer; ++i) queue.PushBack(p * kPerProducer + i);
        });
    }
    std::vector<int> lastSeen(kProducers, -1);
    int taken = 0;
    while (taken < kProducers * kPerProducer) {
        if (queue.Size() == 0) continue;  // reading the count concurrently must be race-free
        auto value = queue.PopFront();
        if (!value) continue;
        const int producer = *value / kPerProducer;
        EXPECT_GT(*value, lastSeen[producer]);
        lastSeen[producer] = *value;
        ++taken;
    }
    for (auto& producer : producers) producer.join();
    EXPECT_TRUE(queue.Empty());
}

}  // namespace
}  // namespace QVO::BASE
