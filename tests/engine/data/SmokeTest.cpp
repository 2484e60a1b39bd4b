#include <gtest/gtest.h>
#include "engine/data/LayerTable.h"
TEST(LayerTable, Constructs) { TLayerTable t; EXPECT_EQ(t.FieldDefs().Count(), 1); }
