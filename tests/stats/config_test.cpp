// Loading of the histogram configuration: section choice, reader and conversion failures, break
// keys, the five break types and legend tables.
#include "AppIni.h"

#include "support/tempdir.h"

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using edu::tovan::merel::app::CatLabelLegend;
using edu::tovan::merel::app::formatNumber;
using edu::tovan::merel::app::HistogramBreak;
using edu::tovan::merel::app::HistogramConfig;
using edu::tovan::merel::app::splitstr;
using edu::tovan::merel::app::UnsupportedBreakType;
using testsupport::TempDir;

namespace {

// Loads `section` from an INI file holding `ini`; returns what was printed.
std::string loadText(HistogramConfig &config, const std::string &ini, const std::string &section) {
    TempDir dir;
    testsupport::writeFile(dir.file("t.ini"), ini);
    config.loadFile(section, dir.file("t.ini"));
    return config.messages.take();
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

std::string namesOf(const std::vector<HistogramBreak> &breaks) {
    std::string names;
    for (const auto &item : breaks) {
        names += (names.empty() ? "" : "|") + item.name;
    }
    return names;
}

const char *const kWarning =
    "WARNING: Give type 'VCI' is not found before 'DEFAULT'! DEFAULT configuration is used "
    "instead.\n";

} // namespace

TEST(HistogramConfig, ConstructionGivesTwentyPercentBreaks) {
    HistogramConfig config;
    EXPECT_EQ(config.type, 1);
    EXPECT_EQ(config.breakCount, 20);
    ASSERT_EQ(config.percentBreaks.size(), 20u);
    EXPECT_EQ(config.percentBreaks[0].name, "0 - 5");
    EXPECT_EQ(config.percentBreaks[19].name, "95 - 100");
    EXPECT_EQ(config.percentBreaks[19].id, 20);
    EXPECT_DOUBLE_EQ(config.percentBreaks[19].low, 95);
    EXPECT_TRUE(config.breaks.empty());
}

TEST(HistogramConfig, SectionChoice) {
    struct Case {
        const char *what;
        const char *ini;
        int expectedType; // type after loading, from the chosen section
        bool warned;
        bool chosen;
    };
    const Case cases[] = {
        {"requested section", "[NDVI]\ntype=3\n[VCI]\ntype=2\n", 2, false, true},
        {"DEFAULT before it", "[DEFAULT]\ntype=0\n[VCI]\ntype=2\n", 0, true, true},
        {"DEFAULT after it", "[VCI]\ntype=2\n[DEFAULT]\ntype=0\n", 2, false, true},
        {"neither", "[NDVI]\ntype=3\n", 1, false, false},
        {"names compare with case", "[vci]\ntype=3\n", 1, false, false},
        {"key before sections", "VCI=3\n[NDVI]\ntype=3\n", 1, false, true},
        {"section without keys dropped", "[VCI]\n[DEFAULT]\ntype=4\n", 4, true, true},
    };
    for (const auto &c : cases) {
        HistogramConfig config;
        std::string out = loadText(config, c.ini, "VCI");
        EXPECT_EQ(config.type, c.expectedType) << c.what;
        EXPECT_EQ(contains(out, kWarning), c.warned) << c.what;
        EXPECT_EQ(contains(out, "Finished with section --VCI\n"), c.chosen) << c.what;
        EXPECT_TRUE(contains(out, "Number of breaks loaded: ")) << c.what;
    }
}

TEST(HistogramConfig, NoSectionLeavesTheResetState) {
    HistogramConfig config;
    config.breakCount = 7;
    config.hasMinMax = 1;
    config.type = 3;
    config.breaks.emplace_back(1, "x", 0, 1);
    std::string out = loadText(config, "[NDVI]\ntype=3\n", "VCI");
    EXPECT_EQ(config.type, 1);
    EXPECT_EQ(config.hasMinMax, 0);
    EXPECT_EQ(config.breakCount, 0);
    EXPECT_TRUE(config.breaks.empty());
    EXPECT_TRUE(contains(out, "[NDVI]\nNumber of breaks loaded: 0\n")) << out;
}

TEST(HistogramConfig, DefaultRequestedByNameStillWarns) {
    HistogramConfig config;
    std::string out = loadText(config, "[DEFAULT]\ntype=2\n", "DEFAULT");
    EXPECT_TRUE(contains(out, "WARNING: Give type 'DEFAULT' is not found before 'DEFAULT'!"));
    EXPECT_EQ(config.type, 2);
}

TEST(HistogramConfig, PrintsEveryStepOfASmallSection) {
    HistogramConfig config;
    TempDir dir;
    const std::string path = dir.file("tallyband.x.ini");
    testsupport::writeFile(path, "[VCI]\ntype=2\nscale=0.004\nbreakCount=1\nbreak1= 0, 25 ,low\n");
    config.loadFile("VCI", path);
    const std::string out = config.messages.take();
    const std::string dirPath = dir.path();
    EXPECT_EQ(out, "LOADING....Section=VCI\n"
                   "AFTER CLEAR LOADING....Section=VCI\n"
                   "Current path: '" +
                       dirPath +
                       "/tallyband.x'\n"
                       "Current path: '" +
                       dirPath +
                       "/tallyband.x.ini'\n"
                       "Finish reading file!!\n"
                       "[VCI]\n"
                       "type=2\npropname=type\ntype=2\n"
                       "scale=0.004\npropname=scale\noffset scale=0.004\nscale=0.004\n"
                       "breakCount=1\npropname=breakCount\nbreakCount=1\n"
                       "break1=0, 25 ,low\npropname=break1\n"
                       "propname=break1;aindexstr='1'\npropname=break1;aindex=1\n"
                       "Before Trim: low='0';high=' 25 '\n"
                       "low=0;high=25;name=low\n"
                       "Finished with section --VCI\n"
                       "type=2\n"
                       "After post-proessing of LoadSection...breakCount=1\n"
                       "break1;name='low;low=0;high=25\n"
                       "Number of breaks loaded: 1\n");
}

TEST(HistogramConfig, ReaderErrorsEndTheLoad) {
    struct Case {
        const char *ini;
        const char *message;
    };
    const Case cases[] = {
        {"[VCI\ntype=2\n", "unmatched '['"},
        {"[VCI]\ntype=2\n[VCI]\ntype=3\n", "duplicate section name"},
        {"[VCI]\ntype\n", "'=' character not found in line"},
        {"[VCI]\n=2\n", "key expected"},
        {"[VCI]\ntype=2\ntype=3\n", "duplicate key name"},
    };
    for (const auto &c : cases) {
        HistogramConfig config;
        try {
            loadText(config, c.ini, "VCI");
            ADD_FAILURE() << "no error for " << c.ini;
        } catch (const boost::property_tree::ini_parser_error &error) {
            EXPECT_TRUE(contains(error.what(), c.message)) << error.what();
        }
    }
    HistogramConfig config;
    EXPECT_THROW(config.loadFile("VCI", "no/such/folder/x.ini"),
                 boost::property_tree::ini_parser_error);
}

TEST(HistogramConfig, KeyConversions) {
    struct Case {
        const char *line;
        std::function<bool(const HistogramConfig &)> check;
        const char *echo; // line printed after the conversion
    };
    const Case cases[] = {
        {"type=-0", [](const HistogramConfig &c) { return c.type == 0; }, "type=0\n"},
        {"interval= 2.5e1xyz", [](const HistogramConfig &c) { return c.interval == 25; },
         "interval=25\n"},
        {"hasMinMax=1.9", [](const HistogramConfig &c) { return c.hasMinMax == 1; },
         "hasMinMax=1\n"},
        {"minVal=-3.25", [](const HistogramConfig &c) { return c.minVal == -3.25; },
         "minVal=-3.25\n"},
        {"maxVal=1234567.8", [](const HistogramConfig &c) { return c.maxVal == 1234567.8; },
         "maxVal=1.23457e+06\n"},
        {"offset=-1", [](const HistogramConfig &c) { return c.offset == -1; },
         "offset val=-1\noffset=-1\n"},
        {"breakCount=12abc", [](const HistogramConfig &c) { return c.breakCount == 12; },
         "breakCount=12\n"},
        {"Colour=red", [](const HistogramConfig &c) { return c.type == 1; }, "propname=Colour\n"},
    };
    for (const auto &c : cases) {
        HistogramConfig config;
        std::string out = loadText(config, std::string("[X]\nscale=1\n") + c.line + "\n", "X");
        EXPECT_TRUE(c.check(config)) << c.line;
        EXPECT_TRUE(contains(out, c.echo)) << c.line << "\n" << out;
    }
}

TEST(HistogramConfig, ConversionFailuresEndTheLoad) {
    const char *const lines[] = {
        "type=2x",      "type= ",       "type=99999999999", "interval=abc",    "hasMinMax=x",
        "minVal=",      "maxVal=1e999", "scale=-",          "breakCount=none", "break=1,2,a",
        "breakx=1,2,a", "break1=a,2,x", "break1=1,,x",
    };
    for (const char *line : lines) {
        HistogramConfig config;
        EXPECT_ANY_THROW(loadText(config, std::string("[X]\n") + line + "\n", "X")) << line;
    }
}

TEST(HistogramConfig, BreakKeys) {
    struct Case {
        const char *line;
        bool added;
        int id;
        double low;
        double high;
        const char *name;
    };
    const Case cases[] = {
        {"break3=10, 20 , low", true, 3, 10, 20, "low"},
        {"break 12 =0.5,3,a b", true, 12, 0.5, 3, "a b"},
        {"break1=1,2,", true, 1, 1, 2, ""},
        {"break1=1,2", false, 0, 0, 0, ""},
        {"break1=1,2,a,b", false, 0, 0, 0, ""},
        {"break7=-5x,1e1,neg", true, 7, -5, 10, "neg"},
    };
    for (const auto &c : cases) {
        HistogramConfig config;
        std::string out = loadText(config, std::string("[X]\ntype=2\n") + c.line + "\n", "X");
        ASSERT_EQ(config.breaks.size(), c.added ? 1u : 0u) << c.line;
        EXPECT_EQ(contains(out, "Error: The configuration is incorrect. No pair of low/high "
                                "values. \n"),
                  !c.added)
            << c.line;
        if (c.added) {
            EXPECT_EQ(config.breaks[0].id, c.id) << c.line;
            EXPECT_EQ(config.breaks[0].low, c.low) << c.line;
            EXPECT_EQ(config.breaks[0].high, c.high) << c.line;
            EXPECT_EQ(config.breaks[0].name, c.name) << c.line;
        }
    }
}

TEST(HistogramConfig, BreakTypes) {
    struct Case {
        const char *what;
        const char *section;
        size_t count;
        int breakCount;
        const char *firstName;
        const char *lastName;
        double lastLow;
        double lastHigh;
    };
    const Case cases[] = {
        {"unit intervals", "type=0\nhasMinMax=1\nminVal=0\nmaxVal=255\ninterval=7\n", 256, 256,
         "0 - 1", "255 - 256", 255, 256},
        {"equal intervals", "type=3\ninterval=1\nhasMinMax=1\nminVal=0\nmaxVal=10\n", 11, 11,
         "0 - 1", "10 - 11", 10, 11},
        {"negative width used as its size",
         "type=3\ninterval=-4\nhasMinMax=1\nminVal=0\n"
         "maxVal=10\n",
         3, 3, "0 - 4", "8 - 12", 8, 12},
        {"fractional width", "type=3\ninterval=0.1\nhasMinMax=1\nminVal=0\nmaxVal=0.25\n", 3, 3,
         "0 - 0.10000000000000001", "0.20000000000000001 - 0.30000000000000004", 0.2,
         0.30000000000000004},
        {"percent equal", "type=4\ninterval=25\nhasMinMax=1\nminVal=0\nmaxVal=200\n", 5, 5,
         "0 - 50", "200 - 250", 200, 250},
        {"percent to value", "type=1\nhasMinMax=1\nminVal=0\nmaxVal=200\nbreak1=0,50,low\n", 1, 0,
         "low", "low", 0, 100},
        {"explicit keeps breakCount 0", "type=2\nbreak1=0,1,a\nbreak2=1,2,b\n", 2, 0, "a", "b", 1,
         2},
        {"interval types wait for a range", "type=3\ninterval=5\nbreakCount=4\n", 0, 4, "", "", 0,
         0},
    };
    for (const auto &c : cases) {
        HistogramConfig config;
        loadText(config, std::string("[X]\n") + c.section, "X");
        ASSERT_EQ(config.breaks.size(), c.count) << c.what;
        EXPECT_EQ(config.breakCount, c.breakCount) << c.what;
        if (c.count == 0) {
            continue;
        }
        EXPECT_EQ(config.breaks.front().name, c.firstName) << c.what;
        EXPECT_EQ(config.breaks.back().name, c.lastName) << c.what;
        EXPECT_EQ(config.breaks.back().low, c.lastLow) << c.what;
        EXPECT_EQ(config.breaks.back().high, c.lastHigh) << c.what;
        for (size_t i = 0; i < config.breaks.size(); ++i) {
            EXPECT_EQ(config.breaks[i].id, static_cast<int>(i) + 1) << c.what;
        }
    }
}

TEST(HistogramConfig, GenerationThatCannotAdvanceStops) {
    struct Case {
        const char *section;
        const char *message;
    };
    const Case cases[] = {
        {"type=3\ninterval=0\nhasMinMax=1\nminVal=0\nmaxVal=10\n",
         "Error: interval is equal to zero. \n"},
        {"type=4\ninterval=0\nhasMinMax=1\nminVal=0\nmaxVal=10\n",
         "Error: percent interval is equal to zero. \n"},
        {"type=3\ninterval=1\nhasMinMax=1\nminVal=10\nmaxVal=0\n",
         "Error: minVal and maxVal flipped \n"},
        {"type=4\ninterval=10\nhasMinMax=1\nminVal=5\nmaxVal=5\n",
         "Error: the interval is too small to advance beyond 5; no breaks are made. \n"},
        {"type=3\ninterval=1e-20\nhasMinMax=1\nminVal=1\nmaxVal=2\n",
         "Error: the interval is too small to advance beyond 1; no breaks are made. \n"},
        {"type=3\ninterval=1\nhasMinMax=1\nminVal=0\nmaxVal=1e300\n",
         "Error: more than 100000 breaks would be made; no breaks are made. \n"},
        {"type=3\ninterval=1\nhasMinMax=1\nminVal=nan\nmaxVal=3\n",
         "Error: the interval is too small to advance beyond nan; no breaks are made. \n"},
    };
    for (const auto &c : cases) {
        HistogramConfig config;
        std::string out = loadText(config, std::string("[X]\nbreakCount=9\n") + c.section, "X");
        EXPECT_TRUE(config.breaks.empty()) << c.section;
        EXPECT_EQ(config.breakCount, 9) << c.section;
        EXPECT_TRUE(contains(out, c.message)) << c.section << out;
    }
}

TEST(HistogramConfig, PercentBreaksSurviveASecondPostProcessing) {
    HistogramConfig config;
    loadText(config, "[X]\ntype=1\nbreakCount=2\nbreak1=0,50,low\nbreak2=50,100,high\n", "X");
    EXPECT_TRUE(config.breaks.empty());
    ASSERT_EQ(config.percentBreaks.size(), 2u);
    config.hasMinMax = 1;
    config.minVal = 100;
    config.maxVal = 200;
    config.postLoadSection();
    ASSERT_EQ(config.breaks.size(), 2u);
    EXPECT_EQ(namesOf(config.breaks), "low|high");
    EXPECT_EQ(config.breaks[0].low, 100);
    EXPECT_EQ(config.breaks[0].high, 150);
    EXPECT_EQ(config.breaks[1].high, 200);
}

TEST(HistogramConfig, TypeOneWithoutBreakKeysUsesTheDefaultPercentBreaks) {
    HistogramConfig config;
    loadText(config, "[X]\ntype=1\nhasMinMax=1\nminVal=0\nmaxVal=40\nbreakCount=20\n", "X");
    ASSERT_EQ(config.breaks.size(), 20u);
    EXPECT_EQ(config.breaks[1].name, "5 - 10");
    EXPECT_EQ(config.breaks[1].low, 2);
    EXPECT_EQ(config.breaks[1].high, 4);
}

TEST(HistogramConfig, UnsupportedBreakTypeThrows) {
    HistogramConfig config;
    try {
        loadText(config, "[X]\ntype=5\n", "X");
        ADD_FAILURE() << "type 5 accepted";
    } catch (const UnsupportedBreakType &error) {
        EXPECT_STREQ(error.what(), "Error: configuration file has unsupported break type - 5");
    }
}

TEST(HistogramConfig, FormatNumber) {
    struct Case {
        double value;
        const char *text;
    };
    const Case cases[] = {
        {0, "0"},       {0.5, "0.5"},           {0.1, "0.10000000000000001"},
        {-3, "-3"},     {1e21, "1e+21"},        {NAN, "nan"},
        {-NAN, "-nan"}, {INFINITY, "infinity"}, {-INFINITY, "-infinity"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(formatNumber(c.value), c.text);
    }
}

TEST(HistogramConfig, SplitKeepsEmptyPieces) {
    struct Case {
        const char *text;
        const char *delimiters;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {"a,b,c", ",", {"a", "b", "c"}}, {"1,2,", ",", {"1", "2", ""}},    {"", ",", {""}},
        {",,", ",", {"", "", ""}},       {"a;b,c", ",;", {"a", "b", "c"}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> parts{"kept"};
        splitstr(c.text, parts, c.delimiters);
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.parts.begin(), c.parts.end());
        EXPECT_EQ(parts, expected) << c.text;
    }
}

namespace {

struct LegendRow {
    const char *value;
    const char *name;
    const char *red;
    const char *green;
    const char *blue;
    const char *opacity;
};

// Writes a dBASE III table with the legend columns, byte by byte (numbers right-aligned,
// text left-aligned, as dBASE stores them).
void writeLegendTable(const std::string &path, const std::vector<LegendRow> &rows) {
    struct Field {
        const char *name;
        char type;
        unsigned char length;
        unsigned char decimals;
    };
    const Field fields[] = {{"VALUE", 'N', 9, 0},  {"CLASS_NAME", 'C', 32, 0},
                            {"RED", 'N', 19, 11},  {"GREEN", 'N', 19, 11},
                            {"BLUE", 'N', 19, 11}, {"OPACITY", 'N', 19, 11}};
    const size_t fieldCount = sizeof fields / sizeof fields[0];
    size_t recordLength = 1;
    for (const auto &f : fields) {
        recordLength += f.length;
    }
    const size_t headerLength = 32 + 32 * fieldCount + 1;
    std::string bytes(32, '\0');
    bytes[0] = 0x03;
    bytes[1] = 126;
    bytes[2] = 12;
    bytes[3] = 8;
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<char>((rows.size() >> (8 * i)) & 0xff);
    }
    bytes[8] = static_cast<char>(headerLength & 0xff);
    bytes[9] = static_cast<char>(headerLength >> 8);
    bytes[10] = static_cast<char>(recordLength & 0xff);
    bytes[11] = static_cast<char>(recordLength >> 8);
    for (const auto &f : fields) {
        std::string descriptor(32, '\0');
        descriptor.replace(0, std::string(f.name).size(), f.name);
        descriptor[11] = f.type;
        descriptor[16] = static_cast<char>(f.length);
        descriptor[17] = static_cast<char>(f.decimals);
        bytes += descriptor;
    }
    bytes += '\r';
    for (const auto &row : rows) {
        const char *values[] = {row.value, row.name, row.red, row.green, row.blue, row.opacity};
        bytes += ' ';
        for (size_t i = 0; i < fieldCount; ++i) {
            std::string value = values[i];
            std::string pad(fields[i].length - value.size(), ' ');
            bytes += fields[i].type == 'C' ? value + pad : pad + value;
        }
    }
    bytes += '\x1a';
    testsupport::writeFile(path, bytes);
}

} // namespace

TEST(HistogramConfig, LegendTablesFromTheIniFile) {
    TempDir dir;
    writeLegendTable(dir.file("crops.dbf"), {{"1", "Corn", "1", "0.8275", "0", "1"},
                                             {"24", "Winter Wheat", "0.6471", "0.4392", "0", "1"},
                                             {"255", "", "0", "0", "0", "0"}});
    const std::string ini = "[X]\ntype=2\nMaskLegendFile=" + dir.file("crops.dbf") +
                            "\nHistogramLegendFile=" + dir.file("missing.dbf") + "\n";
    HistogramConfig config;
    std::string out = loadText(config, ini, "X");
    EXPECT_TRUE(contains(out, "recs=3\n")) << out;
    EXPECT_TRUE(contains(out, "recs=0\n")) << out;
    EXPECT_TRUE(config.histogramLegend.empty());
    ASSERT_EQ(config.maskLegend.size(), 3u);
    const CatLabelLegend &wheat = config.maskLegend[1];
    EXPECT_EQ(wheat.value, 24);
    EXPECT_EQ(wheat.label, "Winter Wheat");
    EXPECT_FLOAT_EQ(wheat.red, 0.6471f);
    EXPECT_FLOAT_EQ(wheat.green, 0.4392f);
    EXPECT_FLOAT_EQ(wheat.opacity, 1.0f);
    EXPECT_EQ(config.maskLegend[2].value, 255);
    EXPECT_EQ(config.maskLegend[2].label, "");
}

TEST(HistogramConfig, RealCropLegendTable) {
    const std::string path = std::string(VEG_SOURCE_DIR) + "/tests/data/real/cdl_legend_2022.dbf";
    if (!testsupport::fileExists(path)) {
        FAIL() << "real legend table missing: " << path;
    }
    HistogramConfig config;
    config.loadLegend(config.maskLegend, path);
    EXPECT_EQ(config.messages.take(), "recs=256\n");
    ASSERT_EQ(config.maskLegend.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(config.maskLegend[static_cast<size_t>(i)].value, i);
    }
    EXPECT_EQ(config.maskLegend[1].label, "Corn");
    EXPECT_FLOAT_EQ(config.maskLegend[1].red, 1.0f);
    EXPECT_FLOAT_EQ(config.maskLegend[1].green, 0.8275f);
    EXPECT_FLOAT_EQ(config.maskLegend[0].opacity, 0.0f);
    EXPECT_EQ(config.maskLegend[24].label, "Winter Wheat");
}
