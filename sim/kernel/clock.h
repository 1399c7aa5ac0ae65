// Virtual time: Sleep advances it at once, so fixed waits of seconds cost
// nothing in tests, and a test can see how long a scenario took.
#pragma once

#include <atomic>
#include <cstdint>

namespace sim {

class VirtualClock {
public:
    uint64_t NowMs() const { return now_.load(); }
    void Advance(uint64_t ms) { now_.fetch_add(ms); }

private:
    std::atomic<uint64_t> now_{0};
};

} // namespace sim
