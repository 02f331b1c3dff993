// On Linux the drivers read text as UTF-8: a parameter's size counts each UTF-8
// sequence as one character.
#include <gtest/gtest.h>

#include "database/ado_command.h"

TEST(CharacterCounts, Utf8SequencesCountOnce) {
  dbl::ParameterShape shape;
  ASSERT_TRUE(dbl::ParameterShapeFor(dbl::DbVariant::Text("tub\xc4\x83"), shape));  // "tubă"
  EXPECT_EQ(shape.size, 8);
}
