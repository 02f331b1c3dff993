// The main of every test binary: runs the tests, then ends the process the way the
// system needs (see FinishTestProcess).
#include <gtest/gtest.h>

int FinishTestProcess(int result);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return FinishTestProcess(RUN_ALL_TESTS());
}
