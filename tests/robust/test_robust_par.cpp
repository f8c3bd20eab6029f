// A parameter file far longer than any real one (a data file named by
// mistake) is refused before its line table grows without bound.
#include <gtest/gtest.h>

#include "readers/par_test_util.h"

namespace {

class RobustPar : public par_test::ParRun {};

TEST_F(RobustPar, AFileOfMoreThanAHundredThousandLinesIsRefused) {
    text = std::string(100001, '\n');
    EXPECT_EQ(run(), "Program aborted in read_par_parser: too many lines in bsnm_par.csv");
    text = std::string(100000, '\n');
    EXPECT_NE(run(), "Program aborted in read_par_parser: too many lines in bsnm_par.csv");
}

}  // namespace
