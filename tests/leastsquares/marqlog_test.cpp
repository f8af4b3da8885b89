// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/marq3w.h"

#include "common/errors.h"
#include "tests/common/tempfolder.h"
#include "tests/leastsquares/filled.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace zelt {
namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines joined with CR LF, each line ended.
std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Rule(int dashes) {
    return std::string(dashes, '-') + std::string(80 - dashes, ' ');
}

const std::string kOpening = std::string(84, '=');
const std::string kTableRule = std::string(84, '-');
const std::string kParameterHeader = "Parameter            Value               Error";

class MarqLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                (std::string("zelt_marqlog_") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
        MarqOpenLog(path_.string(), 1);
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::string Log() const { return ReadBytes(path_); }

    std::filesystem::path path_;
};

constexpr auto Params = &test::Filled<TParamVector>;
constexpr auto Matrix = &test::Filled<TDataVector>;

TEST_F(MarqLogTest, FitLogMatchesTheExpectedFile) {
    // y = p1 exp(p2 x) through five points, three iterations; the expected file was computed
    // independently in 40-digit arithmetic (expected_log.py).
    TMarqControl control;
    std::int32_t limit = 0;
    MarqDefaults(control, limit);
    TDataVector x, y, w, covariance, fitted;
    const long double data[] = {8.2L, 4.9L, 3.1L, 1.8L, 1.15L};
    for (int j = 1; j <= 5; ++j) {
        x[j] = j;
        y[j] = data[j - 1];
        w[j] = 1;
    }
    TParamVector p = Params({10, -0.3L});
    long double s = 0;
    std::int32_t code = 99;
    const auto model = [](std::int32_t, const TParamVector& q, bool&, long double xj) {
        return q[1] * std::exp(q[2] * xj);
    };
    const auto derivatives = [](std::int32_t j, const TDataVector& xs, std::int32_t,
                                const TParamVector& q, TParamVector& dy, bool&) {
        const long double e = std::exp(q[2] * xs[j]);
        dy[1] = e;
        dy[2] = q[1] * xs[j] * e;
    };
    MarqMinimize(control, 3, 1, 5, x, y, w, 2, p, s, covariance, fitted, code, model, derivatives);
    EXPECT_EQ(code, 2);
    MarqReport(code, 5, 2, s, p, covariance);
    EXPECT_EQ(Log(), ReadBytes(std::filesystem::path(ZELT_SOURCE_DIR) /
                               "tests/leastsquares/data/fit_log.txt"));
}

TEST_F(MarqLogTest, StartAtTheMinimumLogsOnlyTheStartingPoint) {
    // y = 1 + 2x + 3x^2 at x = 0 .. 4, started at its solution; the covariance is the inverse
    // of the normal matrix, [[31/35, -27/35, 1/7], [-27/35, 87/70, -2/7], [1/7, -2/7, 1/14]].
    TMarqControl control;
    std::int32_t limit = 0;
    MarqDefaults(control, limit);
    TDataVector x, y, w, covariance, fitted;
    for (int j = 1; j <= 5; ++j) {
        x[j] = j - 1;
        y[j] = 1 + 2 * x[j] + 3 * x[j] * x[j];
        w[j] = 1;
    }
    TParamVector p = Params({1, 2, 3});
    long double s = -1;
    std::int32_t code = 99;
    const auto model = [](std::int32_t, const TParamVector& q, bool&, long double xj) {
        return q[1] + q[2] * xj + q[3] * xj * xj;
    };
    const auto derivatives = [](std::int32_t j, const TDataVector& xs, std::int32_t,
                                const TParamVector&, TParamVector& dy, bool&) {
        dy[1] = 1;
        dy[2] = xs[j];
        dy[3] = xs[j] * xs[j];
    };
    MarqMinimize(control, limit, 1, 5, x, y, w, 3, p, s, covariance, fitted, code, model,
                 derivatives);
    EXPECT_EQ(code, 5);
    MarqReport(code, 5, 3, s, p, covariance);
    EXPECT_EQ(Log(), Lines({kOpening,
                            "iter  log10(n_1)          Te          b3             sumr",
                            kTableRule,
                            "  0  1.000E+0000  2.000E+0000  3.000E+0000  0.000000E+0000",
                            "",
                            "Minimization report : parameters are not changing",
                            "",
                            "Results :",
                            Rule(9),
                            kParameterHeader,
                            Rule(59),
                            "  log10(n_1)      1.000E+000      0.000E+000",
                            "  Te              2.000E+000      0.000E+000",
                            "  b3              3.000E+000      0.000E+000",
                            "",
                            "Correlation coefficients :",
                            Rule(25),
                            "        1     2     3",
                            " 1   1.00",
                            " 2  -0.74  1.00",
                            " 3   0.57 -0.96  1.00",
                            ""}));
}

TEST_F(MarqLogTest, ReportWithoutIterationLog) {
    // S = 2 over N - NP = 2 degrees of freedom: errors sqrt(1 * 4) = 2 and sqrt(1 * 1) = 1;
    // correlation -1.9 / sqrt(4 * 1) = -0.95. "%15.3e" shows four significant digits.
    MarqReport(0, 4, 2, 2, Params({1234.6L, -0.95L}), Matrix({4, -1.9L, -1.9L, 1}));
    EXPECT_EQ(Log(), Lines({kOpening, "", "Minimization report : given sum of squeres was achieved",
                            "", "Results :", Rule(9), kParameterHeader, Rule(59),
                            "  log10(n_1)      1.235E+003      2.000E+000",
                            "  Te             -9.500E-001      1.000E+000", "",
                            "Correlation coefficients :", Rule(25), "        1     2", " 1   1.00",
                            " 2  -0.95  1.00", ""}));
}

TEST_F(MarqLogTest, FewPointsGiveZeroErrorsAndNoCorrelationTable) {
    MarqReport(7, 2, 3, 5, Params({1, 2, 3}), Matrix({1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(Log(), Lines({kOpening, "", "Minimization report : return code :  7", "",
                            "Results :", Rule(9), kParameterHeader, Rule(59),
                            "  log10(n_1)      1.000E+000      0.000E+000",
                            "  Te              2.000E+000      0.000E+000",
                            "  b3              3.000E+000      0.000E+000", "", ""}));
}

TEST_F(MarqLogTest, ZeroVarianceShowsZeroCorrelation) {
    // A parameter whose pivot failed in the covariance factorisation has variance 0.
    MarqReport(1, 5, 2, 3, Params({1, 2}), Matrix({0, 0, 0, 0.25L}));
    EXPECT_EQ(Log(), Lines({kOpening, "", "Minimization report : given maximum lambda was achieved",
                            "", "Results :", Rule(9), kParameterHeader, Rule(59),
                            "  log10(n_1)      1.000E+000      0.000E+000",
                            "  Te              2.000E+000      5.000E-001", "",
                            "Correlation coefficients :", Rule(25), "        1     2", " 1   0.00",
                            " 2   0.00  1.00", ""}));
}

TEST_F(MarqLogTest, FailedRunsEndTheReportAndRaise) {
    const struct {
        std::int32_t code;
        const char* text;
    } cases[] = {
        {-1, "no minimization was started"}, {3, "residuum is false"}, {4, "hessian is false"}};
    for (const auto& c : cases) {
        MarqOpenLog(path_.string(), 1);
        try {
            MarqReport(c.code, 5, 2, 1, Params({1, 2}), Matrix({1, 0, 0, 1}));
            ADD_FAILURE() << "no exception for code " << c.code;
        } catch (const EInOutError&) {
            ADD_FAILURE() << "input/output error for code " << c.code;
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), c.text);
        }
        EXPECT_EQ(Log(), kOpening + "\r\n\r\nMinimization report : " + c.text);
    }
    // The log is closed: another report cannot write.
    EXPECT_THROW(MarqReport(0, 5, 2, 1, Params({1, 2}), Matrix({1, 0, 0, 1})), EInOutError);
}

// Fits on threads that end when their fit is done, as a batch's workers do: each thread writes
// its own log with its own parameter names, and the end of a thread leaves the others' logs and
// the memory they used intact (MinGW-w64 once crashed there, in the threads' end).
TEST(MarqLogThreadTest, ThreadsThatEndWriteTheirOwnLogs) {
    const test::TempFolder folder;
    for (int round = 0; round < 20; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&folder, t] {
                const std::string name = "slope" + std::to_string(t);
                MarqOpenLog(folder.File(name + ".txt"), 3, {"intercept", name});
                MarqReport(2, 1, 2, 0, Params({1, 2}), Matrix({1, 0, 0, 1}));
            });
        for (std::thread& thread : threads)
            thread.join();
    }
    for (const std::string name : {"slope0", "slope1"})
        EXPECT_EQ(folder.Read(name + ".txt"),
                  Lines({"", "Minimization report : given number of iteration was achieved", "",
                         "Results :", Rule(9), kParameterHeader, Rule(59),
                         "  intercept       1.000E+000      0.000E+000",
                         "  " + name + "          2.000E+000      0.000E+000", "", ""}));
}

#ifndef _WIN32
// In a shared temporary folder anyone can put a link or a hard link where the log goes: the log
// replaces it and never writes the file behind it.
TEST(MarqLogFileTest, ALinkAtTheLogsNameIsReplacedNotFollowed) {
    namespace fs = std::filesystem;
    const test::TempFolder folder;
    const std::string victim = folder.Write("victim.txt", "keep");
    fs::create_symlink(victim, folder.File("zeltfit.txt"));
    fs::create_hard_link(victim, folder.File("hard.txt"));
    for (const char* name : {"zeltfit.txt", "hard.txt"}) {
        MarqOpenLog(folder.File(name), 3);
        MarqReport(2, 1, 1, 0, Params({1}), Matrix({1}));
        EXPECT_EQ(folder.Read(name).substr(0, 4), "\r\nMi");
    }
    EXPECT_FALSE(fs::is_symlink(folder.File("zeltfit.txt")));
    EXPECT_EQ(folder.Read("victim.txt"), "keep");
}
#endif

TEST(MarqLogFileTest, FileErrorsAreInputOutputErrors) {
    EXPECT_THROW(MarqOpenLog("/nonexistent-folder/zeltfit.txt", 1), EInOutError);
    // A full device fails when the report flushes the log.
    if (std::filesystem::exists("/dev/full")) {
        MarqOpenLog("/dev/full", 1);
        EXPECT_THROW(MarqReport(0, 2, 1, 0, Params({1}), Matrix({1})), EInOutError);
    }
    // Mode 3 and above write no opening rule.
    const auto path = std::filesystem::temp_directory_path() / "zelt_marqlog_mode3.txt";
    MarqOpenLog(path.string(), 3);
    MarqReport(2, 1, 1, 0, Params({1}), Matrix({1}));
    EXPECT_EQ(ReadBytes(path).substr(0, 4), "\r\nMi");
    std::filesystem::remove(path);

    // The log is closed now: a run with the iteration log cannot write it.
    TMarqControl control;
    std::int32_t limit = 0, code = 99;
    MarqDefaults(control, limit);
    TDataVector x, y, w, covariance, fitted;
    TParamVector p;
    long double s = 0;
    const auto model = [](std::int32_t, const TParamVector& q, bool&, long double) { return q[1]; };
    const auto derivatives = [](std::int32_t, const TDataVector&, std::int32_t, const TParamVector&,
                                TParamVector& dy, bool&) { dy[1] = 1; };
    EXPECT_THROW(MarqMinimize(control, limit, 1, 0, x, y, w, 1, p, s, covariance, fitted, code,
                              model, derivatives),
                 EInOutError);
    EXPECT_EQ(code, -1);
}

} // namespace
} // namespace zelt
