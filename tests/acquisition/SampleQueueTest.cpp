#include "acquisition/TSampleQueue.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <thread>

TEST(SampleQueue, PopsAtMostWhatIsQueuedInPushOrder)
{
    TSampleQueue queue;
    EXPECT_EQ(queue.size(), 0);
    queue.push("abc", 3);
    queue.push("defg", 4);
    EXPECT_EQ(queue.size(), 7);
    char out[16] = {};
    EXPECT_EQ(queue.read(out, 2), 2);
    EXPECT_EQ(QByteArray(out, 2), QByteArray("ab"));
    EXPECT_EQ(queue.read(out, 16), 5);
    EXPECT_EQ(QByteArray(out, 5), QByteArray("cdefg"));
    EXPECT_EQ(queue.read(out, 16), 0);
    queue.push("xy", 2);
    queue.clear();
    EXPECT_EQ(queue.size(), 0);
}

TEST(SampleQueue, OneProducerAndOneConsumerKeepEveryByteInOrder)
{
    TSampleQueue queue;
    constexpr int Count = 200000;
    std::thread producer([&] {
        for (int i = 0; i < Count; ++i) {
            const char byte = char(i % 251);
            queue.push(&byte, 1);
        }
    });
    int received = 0;
    bool inOrder = true;
    char buffer[512];
    while (received < Count) {
        const int got = queue.read(buffer, sizeof buffer);
        for (int k = 0; k < got; ++k)
            inOrder = inOrder && buffer[k] == char((received + k) % 251);
        received += got;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(queue.size(), 0);
}
