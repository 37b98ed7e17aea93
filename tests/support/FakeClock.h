#pragma once

#include "platform/Clock.h"

// A clock that shows whatever the test sets.
class FakeClock : public Clock {
public:
    explicit FakeClock(const QDateTime& now) : m_now(now) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }

private:
    QDateTime m_now;
};
