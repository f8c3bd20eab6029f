#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ensim/keyword_line.h"
#include "ensim/tb0_header.h"
#include "platform/console.h"
#include "platform/fatal.h"

namespace nimbex {
namespace {

class Tb0HeaderTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    Tb0Header h;
    Tb0ColumnMetaData c;

    int key(std::string_view k, std::string_view v) { return handle_tb0_key(con, h, k, v); }
    int col(std::string_view k, std::string_view v) { return handle_column_key(c, k, v); }
};

TEST_F(Tb0HeaderTest, InitSetsTableDefaults) {
    h.unitconversion = 25.4f;
    h.deltat = 6;
    h.projection = "UTM";
    h.ellipsoid = "GRS80";
    h.zone = 17;
    h.file_type = "tb0";
    h.name = "KeptName";
    init_tb0_header(h);
    EXPECT_EQ(h.unitconversion, 0.0f);
    EXPECT_EQ(h.deltat, 0);
    EXPECT_EQ(h.projection, "Cartesian");
    EXPECT_EQ(h.ellipsoid, "Unknown");
    EXPECT_EQ(h.zone, 0);
    EXPECT_EQ(h.file_type, "Unknown");
    EXPECT_EQ(h.name, "KeptName");  // the table's own name is not reset
}

TEST_F(Tb0HeaderTest, OwnKeysAndCommonKeys) {
    init_tb0_header(h);
    EXPECT_EQ(key(":deltat", "6  hours"), 1);
    EXPECT_EQ(h.deltat, 6);
    EXPECT_EQ(key(":unitconversion", "25.4"), 1);
    EXPECT_FLOAT_EQ(h.unitconversion, 25.4f);
    EXPECT_EQ(key(":name", "CMC_glb_forecast_for_a_long_basin_name extra"), 1);
    EXPECT_EQ(h.name.str(), "CMC_glb_forecast_for_a_long_ba");  // cut to 30
    EXPECT_EQ(h.EnSimHeader::name, "Unknown");                   // the common name is not used
    EXPECT_EQ(key(":name", "\"Two Words\""), 1);
    EXPECT_EQ(h.name, "Two");
    EXPECT_EQ(key(":projection", "UTM"), 1);
    EXPECT_EQ(h.projection, "UTM");
    EXPECT_EQ(key(":zone", "17"), 1);
    EXPECT_EQ(h.zone, 17);
    EXPECT_EQ(key(":columnname", "a b"), 0);  // a column key outside the block
    EXPECT_EQ(key(":whatever", "1"), 0);
    EXPECT_EQ(out.str(), "");

    EXPECT_EQ(key(":deltat", ""), -1);
    EXPECT_EQ(key(":unitconversion", "  "), -1);
    EXPECT_EQ(key(":name", ""), -1);
    EXPECT_EQ(key(":name", "\"\""), -1);
    EXPECT_THROW(key(":deltat", "six"), FatalStop);
    EXPECT_THROW(key(":unitconversion", "abc"), FatalStop);
}

TEST_F(Tb0HeaderTest, FileTypeMustBeLowerCaseTb0) {
    EXPECT_EQ(key(":filetype", "tb0 ASCII EnSim 1.0"), 1);
    EXPECT_EQ(h.file_type, "tb0");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(key(":filetype", "TB0 ASCII EnSim 1.0"), -1);
    EXPECT_EQ(out.str(), "ERROR in file: \nExpected: TB0 Found: TB0\n");
}

TEST_F(Tb0HeaderTest, ColumnsWithoutElevationGetMinus999) {
    EXPECT_EQ(col(":columnname", "GaugeNumberOne G2 \tG3"), 1);
    EXPECT_EQ(c.column_count, 3);
    EXPECT_EQ(col(":columnunits", "mm mm mm"), 1);
    EXPECT_EQ(col(":columnlocationx", "500000.5 510000 520000"), 1);
    EXPECT_EQ(col(":columnlocationy", "4800000 4805000 4.815e6"), 1);
    ASSERT_EQ(c.column_name.size(), 3u);
    EXPECT_EQ(c.column_name[0], "GaugeNumberOne");
    EXPECT_EQ(c.column_name[2], "G3");
    EXPECT_EQ(c.column_units[1], "mm");
    EXPECT_FLOAT_EQ(c.column_location_x[0], 500000.5f);
    EXPECT_FLOAT_EQ(c.column_location_y[2], 4815000.0f);
    ASSERT_EQ(c.column_elevation.size(), 3u);
    for (float e : c.column_elevation) EXPECT_EQ(e, -999.0f);
}

TEST_F(Tb0HeaderTest, UnitsLineOverridesAnEarlierElevationLine) {
    EXPECT_EQ(col(":elevation", "200 300"), 1);
    EXPECT_EQ(col(":columnunits", "mm mm"), 1);
    EXPECT_EQ(c.column_elevation[0], -999.0f);
    EXPECT_EQ(col(":elevation", "250.5 300"), 1);
    EXPECT_FLOAT_EQ(c.column_elevation[0], 250.5f);
    EXPECT_FLOAT_EQ(c.column_elevation[1], 300.0f);
}

TEST_F(Tb0HeaderTest, LastColumnLineSetsTheCount) {
    EXPECT_EQ(col(":columnname", "a b c d"), 1);
    EXPECT_EQ(col(":columnlocationx", "1 2"), 1);
    EXPECT_EQ(c.column_count, 2);
    EXPECT_EQ(c.column_name.size(), 4u);  // earlier arrays keep their sizes
    EXPECT_EQ(col(":columclasscount", "1 2 3"), 1);  // spelt without the n
    EXPECT_EQ(c.column_count, 3);
    EXPECT_EQ(c.column_class_count[2], "3");
    EXPECT_EQ(col(":columnclasscount", "1 2 3"), 0);
    EXPECT_EQ(col(":columnlocationx1", "7 8"), 1);
    EXPECT_EQ(col(":columnlocationy1", "9 10"), 1);
    EXPECT_FLOAT_EQ(c.column_location_y1[1], 10.0f);
    EXPECT_EQ(col(":deltat", "1"), 0);  // table keys are not column keys
    EXPECT_EQ(col(":columnname", ""), -1);
    EXPECT_EQ(col(":elevation", " \t "), -1);
    EXPECT_THROW(col(":columnlocationy", "1 x2 3"), FatalStop);
}

}  // namespace
}  // namespace nimbex
