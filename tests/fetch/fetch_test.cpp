// The parts of tilefetch that need no network: catalogue records and their selection, the
// answers to a resumed request, waiting before a retry, the body checks, checksums, .netrc.
#include "catalogue.h"
#include "manifest.h"
#include "tilefetch.h"
#include "transferrules.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace veg::fetch;

std::string record(const std::string &ur, const std::string &production, const std::string &extra) {
    return R"({"meta":{},"umm":{"GranuleUR":")" + ur +
           R"(","DataGranule":{"ProductionDateTime":")" + production +
           R"(","ArchiveAndDistributionInformation":[{"Name":")" + ur +
           R"(.hdf","SizeInBytes":1234)" + extra + R"(}]},"RelatedUrls":[{"URL":"s3://b/)" + ur +
           R"(.hdf","Type":"GET DATA VIA DIRECT ACCESS"},{"URL":"https://data.example/p/)" + ur +
           R"(.hdf","Type":"GET DATA"}]}})";
}

const std::string kSha = std::string(64, 'A');

TEST(CatalogueTest, RecordsOfAPage) {
    const std::string page =
        R"({"hits":4,"items":[)" +
        record("MOD09GQ.A2024122.h10v04.061.2024124031501", "2024-05-03T03:15:01.000Z",
               R"(,"Checksum":{"Value":")" + kSha + R"(","Algorithm":"SHA-256"})") +
        "," + record("MOD09GQ.A2024366.h35v17.061.2025001000000", "2025-01-01T00:00:00Z", "") +
        "," +
        record("MOD09GQ.A2024122.h10v04.061.2024124031501", "2024-05-03T03:15:01Z",
               R"(,"Checksum":{"Value":"abc","Algorithm":"Adler-32"})") +
        "," + record("MOD09GQ.A2023366.h10v04.061.2024124031501", "x", "") + "]}";
    const SearchPage p = parseSearchPage(page);
    ASSERT_TRUE(p.valid);
    ASSERT_EQ(p.granules.size(), 2u);
    const Granule &g = p.granules[0];
    EXPECT_EQ(g.product, "MOD09GQ");
    EXPECT_EQ(g.tile, "h10v04");
    EXPECT_EQ(g.day, "2024.05.01");
    EXPECT_EQ(g.url, "https://data.example/p/MOD09GQ.A2024122.h10v04.061.2024124031501.hdf");
    EXPECT_EQ(g.fileName, "MOD09GQ.A2024122.h10v04.061.2024124031501.hdf");
    EXPECT_EQ(g.size, 1234);
    EXPECT_EQ(g.checksum, std::string(64, 'a'));
    EXPECT_EQ(g.algorithm, "SHA-256");
    EXPECT_EQ(p.granules[1].day, "2024.12.31"); // leap year
    EXPECT_TRUE(p.granules[1].checksum.empty());
    ASSERT_EQ(p.rejected.size(), 2u); // an unknown algorithm; day 366 of a common year
    EXPECT_NE(p.rejected[0].find("record 2 (MOD09GQ.A2024122"), std::string::npos);
    EXPECT_NE(p.rejected[1].find("not a daily tile's name"), std::string::npos);

    for (const char *bad : {"", "{\"items\": [", "[]", "{\"hits\":0}"}) {
        EXPECT_FALSE(parseSearchPage(bad).valid) << bad;
    }
}

TEST(CatalogueTest, NewestProductionOfEachTileAndDayInTheSpan) {
    const auto g = [](std::string tile, std::string day, std::string production) {
        Granule x;
        x.product = "MOD09GQ";
        x.tile = std::move(tile);
        x.day = std::move(day);
        x.production = std::move(production);
        x.id = x.tile + x.day + x.production;
        return x;
    };
    const std::vector<Granule> listed = {g("h18v04", "2024.05.02", "2024-05-04T00:00:00Z"),
                                         g("h18v04", "2024.05.02", "2024-06-01T00:00:00Z"),
                                         g("h18v04", "2024.05.02", "2024-05-10T00:00:00Z"),
                                         g("h19v04", "2024.05.01", "2024-05-03T00:00:00Z"),
                                         g("h20v04", "2024.05.01", "2024-05-03T00:00:00Z"),
                                         g("h18v04", "2024.05.04", "2024-05-03T00:00:00Z")};
    const auto chosen = selectGranules(listed, {"h18v04", "h19v04"}, "2024.05.01", "2024.05.03");
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].id, listed[3].id);
    EXPECT_EQ(chosen[1].id, listed[1].id);
}

TEST(CatalogueTest, QueriesGroupTilesWithoutLeadingWildcards) {
    SearchTerms terms{"LPCLOUD",    "MOD09GA",    "061",
                      "2024.05.01", "2024.05.31", {"h18v04", "h19v04", "h20v04"},
                      500};
    const auto queries = searchQueries(terms, 2);
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_NE(queries[0].find("temporal%5B%5D=2024-05-01T00:00:00Z,2024-05-31T23:59:59Z"),
              std::string::npos);
    EXPECT_NE(queries[0].find("readable_granule_name%5B%5D=MOD09GA.A*.h19v04.*"),
              std::string::npos);
    EXPECT_EQ(queries[1].find("h19v04"), std::string::npos);
    EXPECT_NE(queries[1].find("h20v04"), std::string::npos);
}

TEST(TransferRulesTest, AnswersToARequest) {
    struct Case {
        long status;
        bool range;
        BodyAction action;
    } cases[] = {{206, true, BodyAction::Append},   {200, true, BodyAction::Restart},
                 {200, false, BodyAction::Restart}, {206, false, BodyAction::Restart},
                 {416, true, BodyAction::Drop},     {416, false, BodyAction::Fail},
                 {429, true, BodyAction::Retry},    {503, false, BodyAction::Retry},
                 {408, false, BodyAction::Retry},   {404, false, BodyAction::Fail},
                 {401, true, BodyAction::Fail},     {400, false, BodyAction::Fail}};
    for (const Case &c : cases) {
        EXPECT_EQ(bodyAction(c.status, c.range), c.action) << c.status << " " << c.range;
    }
}

TEST(TransferRulesTest, WaitBeforeARetry) {
    EXPECT_EQ(parseRetryAfter(" 7 ", 0), 7.0);
    EXPECT_EQ(parseRetryAfter("Sun, 06 Nov 1994 08:49:37 GMT", 784111770), 7.0);
    EXPECT_EQ(parseRetryAfter("Sun, 06 Nov 1994 08:49:37 GMT", 784111790), 0.0); // past
    EXPECT_FALSE(parseRetryAfter("soon", 0));
    EXPECT_FALSE(parseRetryAfter("", 0));
    EXPECT_DOUBLE_EQ(retryDelay(1, 2, 60, 1.0, std::nullopt), 2);
    EXPECT_DOUBLE_EQ(retryDelay(3, 2, 60, 0.5, std::nullopt), 4);
    EXPECT_DOUBLE_EQ(retryDelay(10, 2, 60, 1.0, std::nullopt), 60);
    EXPECT_DOUBLE_EQ(retryDelay(1, 2, 60, 0.5, 30.0), 30);            // the server's wait wins
    EXPECT_DOUBLE_EQ(retryDelay(1, 2, 60, 0.5, 3600.0), 60);          // but is capped
    EXPECT_DOUBLE_EQ(retryDelay(1000, 2, 60, 0.1, std::nullopt), 30); // jitter kept in [0.5, 1]
}

TEST(TransferRulesTest, BodiesThatAreNotTiles) {
    EXPECT_TRUE(looksLikeMarkup("\n  <!DOCTYPE html><html>"));
    EXPECT_TRUE(looksLikeMarkup("\xEF\xBB\xBF<?xml version=\"1.0\"?>"));
    EXPECT_FALSE(looksLikeMarkup(std::string("\x0E\x03\x13\x01<", 5)));
    EXPECT_TRUE(hasHdf4Magic(std::string("\x0E\x03\x13\x01\0", 5)));
    EXPECT_FALSE(hasHdf4Magic("\x89HDF\r\n\x1A\n"));
    EXPECT_FALSE(hasHdf4Magic("\x0E\x03"));
}

TEST(TransferRulesTest, DigestsOfAFile) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("abc"), "abc");
    EXPECT_EQ(fileDigest(dir.file("abc"), "MD5"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(fileDigest(dir.file("abc"), "SHA-256"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(fileDigest(dir.file("abc"), "SHA-1"));
    EXPECT_FALSE(fileDigest(dir.file("none"), "MD5"));
}

TEST(TransferRulesTest, NetrcEntriesAndPermissions) {
    const std::string netrc = "# a comment line machine login x password y\n"
                              "machine other login a password b\n"
                              "machine login.test\n  login ana\n  password p\\ w\\\\d\n"
                              "default login anon password guest\n";
    const auto c = netrcCredential(netrc, "login.test");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->login, "ana");
    EXPECT_EQ(c->password, "p w\\d");
    EXPECT_EQ(netrcCredential(netrc, "nowhere")->login, "anon");
    EXPECT_FALSE(netrcCredential("machine other login a password b", "login.test"));

    testsupport::TempDir dir;
    const std::string path = dir.file("netrc");
    testsupport::writeFile(path, netrc);
    chmod(path.c_str(), 0600);
    EXPECT_EQ(netrcPermissionProblem(path), "");
    chmod(path.c_str(), 0644);
    EXPECT_NE(netrcPermissionProblem(path).find("mode 0644"), std::string::npos);
    EXPECT_NE(netrcPermissionProblem(dir.path()).find("not a regular file"), std::string::npos);
    EXPECT_NE(netrcPermissionProblem(dir.file("none")).find("cannot read"), std::string::npos);
}

TEST(ManifestTest, TextRoundTripSkipsBrokenLines) {
    Granule g;
    g.id = "MOD09GQ.A2024122.h10v04.061.2024124031501";
    g.product = "MOD09GQ";
    g.tile = "h10v04";
    g.day = "2024.05.01";
    g.production = "2024-05-03T03:15:01Z";
    g.fileName = g.id + ".hdf";
    g.size = 99;
    Manifest m;
    m[g.id] = entryOf(g, "done");
    const Manifest back = parseManifest(manifestText(m) + "broken line\nx\ty\n");
    ASSERT_EQ(back.size(), 1u);
    const ManifestEntry &e = back.at(g.id);
    EXPECT_EQ(e.size, 99);
    EXPECT_EQ(e.checksum, "-");
    EXPECT_EQ(e.state, "done");
    EXPECT_EQ(e.file, "2024.05.01/" + g.fileName);
}

TEST(ConfigTest, KeysValuesAndRefusals) {
    veg::tilefetch::Config c = {{"resolve", {"old"}}, {"parallel", {"4"}}};
    std::string error;
    ASSERT_TRUE(
        veg::tilefetch::parseConfig("# comment\nparallel = 8  # eight\nresolve=a:1:127.0.0.1\n"
                                    "resolve = b:1:127.0.0.1\n",
                                    c, error));
    EXPECT_EQ(c["parallel"], std::vector<std::string>{"8"});
    EXPECT_EQ(c["resolve"], (std::vector<std::string>{"a:1:127.0.0.1", "b:1:127.0.0.1"}));
    for (const char *bad : {"paralel = 2", "parallel 2", "retries = 1\nretries = 2"}) {
        EXPECT_FALSE(veg::tilefetch::parseConfig(bad, c, error)) << bad;
        EXPECT_NE(error.find("line"), std::string::npos) << error;
    }
}

} // namespace
