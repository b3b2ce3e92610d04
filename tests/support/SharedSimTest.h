#pragma once

#include <gtest/gtest.h>

#include "support/SimProcess.h"

namespace tarvo::test {

// A test suite whose tests share one simulator: started from the fleet text `*Fleet` before the
// suite's first test and stopped after its last. Tests reset it themselves (sim->clear...).
template <const char* const* Fleet>
class SharedSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim = new SimProcess(SimProcess::FleetText{*Fleet}); }
    static void TearDownTestSuite() {
        delete sim;
        sim = nullptr;
    }

    static inline SimProcess* sim = nullptr;
};

}  // namespace tarvo::test
