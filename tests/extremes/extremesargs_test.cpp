// Argument reading of the extremes builders: the two argument orders of the period builder, the
// optional names, and numbers read the way atoi reads them.
#include "dailyvci.h"
#include "periodextremes.h"
#include "textinput.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using veg::extremes::ExtremesForm;
using veg::extremes::ExtremesOptions;

TEST(ExtremesArguments, ReadIntLikeAtoi) {
    struct Case {
        const char *text;
        int value;
    } cases[] = {
        {"2020", 2020},
        {"  7", 7},
        {"+3", 3},
        {"-12", -12},
        {"14days", 14},
        {"x7", 0},
        {"", 0},
        {"0x10", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(veg::fileio::readClampedInt(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(veg::fileio::readClampedInt(nullptr), 0);
}

ExtremesOptions parse(ExtremesForm form, std::vector<const char *> args, bool *ok = nullptr) {
    args.insert(args.begin(), "prog");
    ExtremesOptions o;
    const bool parsed =
        veg::extremes::parseExtremesArguments(form, veg::cli::Args(args.begin(), args.end()), o);
    if (ok)
        *ok = parsed;
    return o;
}

TEST(ExtremesArguments, FullAndBasicOrders) {
    const ExtremesOptions full =
        parse(ExtremesForm::Full, {"src", "2001", "2020", "t.hdf", "5", "7", "14"});
    EXPECT_EQ(full.sourceDir, "src");
    EXPECT_EQ(full.startYear, 2001);
    EXPECT_EQ(full.endYear, 2020);
    EXPECT_EQ(full.targetPath, "t.hdf");
    EXPECT_EQ(full.period, 5);
    EXPECT_EQ(full.step, 7);
    EXPECT_EQ(full.length, 14);
    EXPECT_EQ(full.gridName, "MODIS_Grid_2D");
    EXPECT_EQ(full.fieldName, "sur_ndvi_b02_b01");

    const ExtremesOptions basic =
        parse(ExtremesForm::Basic, {"src", "5", "7", "2001", "2020", "t.hdf", "G", "F"});
    EXPECT_EQ(basic.sourceDir, "src");
    EXPECT_EQ(basic.period, 5);
    EXPECT_EQ(basic.step, 7);
    EXPECT_EQ(basic.length, 7); // a basic period covers exactly its step
    EXPECT_EQ(basic.startYear, 2001);
    EXPECT_EQ(basic.endYear, 2020);
    EXPECT_EQ(basic.targetPath, "t.hdf");
    EXPECT_EQ(basic.gridName, "G");
    EXPECT_EQ(basic.fieldName, "F");

    const ExtremesOptions named =
        parse(ExtremesForm::Full, {"s", "1", "2", "t", "1", "7", "7", "Grid"});
    EXPECT_EQ(named.gridName, "Grid");
    EXPECT_EQ(named.fieldName, "sur_ndvi_b02_b01");
}

TEST(ExtremesArguments, FewestArguments) {
    struct Case {
        ExtremesForm form;
        std::vector<const char *> args;
        bool ok;
    } cases[] = {
        {ExtremesForm::Full, {"s", "1", "2", "t", "1", "7"}, false},
        {ExtremesForm::Full, {"s", "1", "2", "t", "1", "7", "7"}, true},
        {ExtremesForm::Basic, {"s", "1", "7", "2001", "2002"}, false},
        {ExtremesForm::Basic, {"s", "1", "7", "2001", "2002", "t"}, true},
    };
    for (const auto &c : cases) {
        bool ok = false;
        parse(c.form, c.args, &ok);
        EXPECT_EQ(ok, c.ok) << c.args.size() << " arguments";
    }
}

TEST(DailyVciArguments, FivePositions) {
    veg::cli::Args args = {"prog", "src", "2020.12.25", "2021.01.05", "2x", "t.hdf"};
    veg::dailyvci::DailyVciOptions o;
    ASSERT_TRUE(veg::dailyvci::parseDailyVciArguments(args, o));
    EXPECT_EQ(o.sourceDir, "src");
    EXPECT_EQ(o.firstDate, "2020.12.25");
    EXPECT_EQ(o.lastDate, "2021.01.05");
    EXPECT_EQ(o.years, 2);
    EXPECT_EQ(o.targetPath, "t.hdf");
    args.pop_back();
    EXPECT_FALSE(veg::dailyvci::parseDailyVciArguments(args, o));
}

} // namespace
