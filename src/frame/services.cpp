// Process-wide services: the one exit for a failed allocation, and seeding rand().
#include "frame/services.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/time.h>

void fatal_no_memory(int site) {
    std::printf("No memory: %d\n", site);
    std::exit(1);
}

void seed_random() {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::srand(static_cast<uint32_t>(now.tv_sec) + static_cast<uint32_t>(now.tv_usec));
}
