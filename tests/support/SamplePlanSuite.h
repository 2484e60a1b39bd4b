#pragma once
// A test suite over one sample plan: the engine started and the sample
// plan written once, into a temporary folder, for all the suite's tests.
// A suite calls StartSuite from its SetUpTestSuite once its application
// exists.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "engine/view/EngineStartup.h"
#include "tools/SamplePlan.h"

struct SamplePlanSuite : ::testing::Test {
    static void StartSuite() {
        StartEngine();
        sample = new QTemporaryDir;
        WriteSamplePlan(sample->path());
    }
    static void TearDownTestSuite() {
        delete sample;
        sample = nullptr;
        StopEngine();
    }
    static inline QTemporaryDir* sample = nullptr;
};
