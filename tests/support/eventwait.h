#pragma once

#include "patience.h"

#include <functional>

// Runs the event loop until `done` holds or `msec` have passed; returns
// whether it holds. Unlike QTest::qWaitFor, which sleeps 10 ms between
// looks, the loop wakes as soon as a socket or a timer has something, so a
// talk of many short steps with a server in the same thread (a TLS
// handshake and its requests) is not slowed down by the waiting.
bool waitUntil(const std::function<bool()> &done, int msec = patienceMs);

// QTRY_COMPARE and QTRY_VERIFY with the patience, waiting by waitUntil().
#define WAIT_COMPARE(actual, expected)                                                                                 \
    do {                                                                                                               \
        waitUntil([&] { return (actual) == (expected); });                                                             \
        QCOMPARE(actual, expected);                                                                                    \
    } while (false)
#define WAIT_VERIFY(condition)                                                                                         \
    do {                                                                                                               \
        waitUntil([&] { return bool(condition); });                                                                    \
        QVERIFY(condition);                                                                                            \
    } while (false)
