// SPDX-License-Identifier: GPL-3.0-or-later
// zeltfit-cli under faults: hostile files, files that change while they are read, interrupts,
// full or read-only disks. Each case asserts what the user sees: the exit status, the messages
// and the bytes of the files afterwards.
#include "tests/common/tempfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/mount.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zelt {
namespace {

namespace fs = std::filesystem;

const std::string kData = ZELT_SOURCE_DIR "/data";

std::string ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

struct TRun {
    int Status = -1; // the exit status, or -1 when a signal ended the program
    int Signal = 0;
    std::string Out, Err;
};

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = folder_.Write("zeltfit.ini", Ini(""));
        measurement_ = folder_.Write("argon.txt", Demo());
    }

    // The demo configuration with `parameters` in place of the section _Parameters' keys.
    static std::string Ini(const std::string& parameters, const std::string& database = kData) {
        return "[_Files]\r\nDatabase=" + database + "\r\n[_Parameters]\r\nTn=400\r\n" +
               (parameters.empty() ? "Path=0.05\r\n" : parameters) +
               "[Ar I]\r\nLevels=Ar_levels.txt\r\nLines=Ar,I\r\nm=39.948\r\nBoltzmax=4\r\n";
    }
    static std::string Demo() { return ReadFile(kData + "/measurements/argon_5e16.txt"); }

    // Runs zeltfit-cli with `args` after --ini; `during`, given the process, runs while it
    // does.
    TRun Cli(std::vector<std::string> args, const std::function<void(pid_t)>& during = {}) const {
        args.insert(args.begin(), {"zeltfit-cli", "--ini", ini_});
        return Run(args, during);
    }
    TRun Run(const std::vector<std::string>& args,
             const std::function<void(pid_t)>& during = {}) const {
        const std::string out = folder_.File("stdout.txt"), err = folder_.File("stderr.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            std::vector<char*> argv;
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(ZELT_CLI_PATH, argv.data());
            ::_exit(127);
        }
        if (during)
            during(child);
        int status = 0;
        ::waitpid(child, &status, 0);
        TRun run;
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        run.Out = folder_.Read("stdout.txt");
        run.Err = folder_.Read("stderr.txt");
        return run;
    }
    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempFolder folder_;
    std::string ini_, measurement_;
};

// A comment after the intensity is skipped with its line, and a file of CR line ends is one
// line: the read succeeds with what the format reads, and says what it skipped.
TEST_F(CliFaults, TheRestOfAMeasurementLineIsSkipped) {
    const TRun plain = Cli({"fit", measurement_});
    ASSERT_EQ(plain.Status, 0) << plain.Err;
    // The first three lines of the demo measurement with a comment each.
    std::string commented = Demo();
    std::size_t end = 0;
    for (int line = 1; line <= 3; ++line) {
        end = commented.find_first_of("\r\n", end);
        const std::string comment = "\tline " + std::to_string(line) + " of level 8";
        commented.insert(end, comment);
        end = commented.find('\n', end) + 1;
    }
    const std::string file = folder_.Write("argon.txt", commented);
    const TRun fit = Cli({"fit", file});
    EXPECT_EQ(fit.Status, 0);
    EXPECT_EQ(fit.Out, plain.Out);
    EXPECT_EQ(fit.Err, "Skipped the text after the intensity on 3 lines of file \"" + file +
                           "\", first on line 1: \"line 1 of level 8\".\n");

    folder_.Write("argon.txt", "696.5431 452.163\r727.2936 142.329\r772.4207 785.888\r");
    const TRun table = Cli({"table", file});
    EXPECT_EQ(table.Status, 0);
    EXPECT_EQ(std::count(table.Out.begin(), table.Out.end(), '\n'), 2) << table.Out;
    EXPECT_NE(table.Out.find("\t696.5431\t452.163\t"), std::string::npos) << table.Out;
    EXPECT_EQ(table.Err, "File \"" + file +
                             "\" ends its lines with a carriage return alone (CR without LF), so "
                             "line 1 runs on to the next line feed and only its first record is "
                             "read: save the file with CR LF or LF line ends.\n");
}

// No exit 0 over a fault: a value of the configuration that its option refuses, a measurement
// of NUL bytes, a line table cut short while it is read.
TEST_F(CliFaults, NoSilentResult) {
    folder_.Write("zeltfit.ini", Ini("Path=-0.05\r\n"));
    const TRun negative = Cli({"map", measurement_});
    EXPECT_EQ(negative.Status, 2);
    EXPECT_EQ(negative.Err.substr(0, negative.Err.find('\n')),
              "Invalid value \"-0.05\" of Path in section [_Parameters] of \"" + ini_ +
                  "\": Absorption path (m) takes a number above 0; correct the file or give "
                  "--path");
    EXPECT_EQ(negative.Out, "");
    EXPECT_EQ(Cli({"map", measurement_, "--path", "0.05"}).Status, 0);
    EXPECT_EQ(Cli({"table", measurement_}).Status, 0);

    folder_.Write("zeltfit.ini", Ini(""));
    const std::string nul = folder_.Write("nul.txt", std::string(1 << 20, '\0'));
    const TRun table = Cli({"table", nul});
    EXPECT_EQ(table.Status, 1);
    EXPECT_EQ(table.Err, "Cannot read file \"" + nul +
                             "\": it holds no text, only NUL bytes or other control characters "
                             "(1048576 bytes)\n");

    // A copy of the database whose line table is cut to a tenth as soon as the program has
    // begun to read it.
    const std::string database = folder_.File("database");
    fs::create_directories(database);
    fs::copy_file(kData + "/Ar_levels.txt", database + "/Ar_levels.txt");
    const std::string lines = ReadFile(kData + "/Ar_I.txt");
    const std::string records = lines.substr(lines.find("\nAr ") + 1);
    std::string big = lines;
    while (big.size() < (16u << 20))
        big += records;
    const std::string tableFile = database + "/Ar_I.txt";
    std::ofstream(tableFile, std::ios::binary) << big;
    folder_.Write("zeltfit.ini", Ini("", database));
    const TRun cut = Cli({"lines"}, [&](pid_t child) {
        const std::string process = "/proc/" + std::to_string(child);
        for (bool reading = false; !reading;) {
            std::error_code error;
            for (const auto& fd : fs::directory_iterator(process + "/fd", error)) {
                if (fs::read_symlink(fd.path(), error) != tableFile)
                    continue;
                // Past the look whether the table is there: its bytes are being read.
                const std::string info =
                    ReadFile(process + "/fdinfo/" + fd.path().filename().string());
                reading = reading || (info.starts_with("pos:") && !info.starts_with("pos:\t0\n"));
            }
        }
        ASSERT_EQ(::truncate(tableFile.c_str(), static_cast<off_t>(big.size() / 10)), 0);
    });
    EXPECT_EQ(cut.Status, 1);
    EXPECT_EQ(cut.Out, "");
    // (The line table's folder is joined with a delimiter of its own.)
    EXPECT_EQ(cut.Err, "File error: Cannot read file \"" + database + "//Ar_I.txt" +
                           "\": it changed while it was read (another program writes it): read "
                           "it again when that is done\n");
}

// An interrupt removes the file being written, a kill leaves it for the next save to remove.
TEST_F(CliFaults, NoTemporaryFileIsLeftBehind) {
    fs::create_directories(folder_.File("grids"));
    const std::string grids = folder_.File("grids");
    const auto temporary = [&] {
        for (const std::string& name : Names(grids))
            if (name.starts_with(".big.rss."))
                return grids + "/" + name;
        return std::string();
    };
    // The program is stopped while a large residual grid is being written, then interrupted.
    bool caught = false;
    const TRun run = Cli({"map", measurement_, "--rss", grids + "/big.rss", "--threads", "1",
                          "--density-points", "1500", "--temperature-points", "1500"},
                         [&](pid_t child) {
                             siginfo_t ended{};
                             while (!caught &&
                                    ::waitid(P_PID, static_cast<id_t>(child), &ended,
                                             WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                    ended.si_pid == 0) {
                                 if (temporary().empty())
                                     continue;
                                 ::kill(child, SIGSTOP);
                                 caught = !temporary().empty();
                                 if (caught)
                                     ::kill(child, SIGINT);
                                 ::kill(child, SIGCONT);
                             }
                         });
    ASSERT_TRUE(caught) << "no grid was seen being written";
    EXPECT_EQ(run.Signal, SIGINT);
    EXPECT_EQ(temporary(), "");

    // What a killed program left beside the grid: its own form of name, a minute old, goes.
    const std::string rss = folder_.File("out.rss");
    const auto left = [&](const std::string& name, int age) {
        const std::string path = folder_.Write(name, std::string(1 << 20, '7'));
        const timeval then{::time(nullptr) - age, 0};
        const timeval times[2] = {then, then};
        ::utimes(path.c_str(), times);
    };
    left(".out.rss.0a1b2c3d", 90);
    left(".out.rss.fresh123", 5);
    EXPECT_EQ(Cli({"map", measurement_, "--rss", rss}).Status, 0);
    EXPECT_TRUE(fs::exists(rss));
    EXPECT_FALSE(fs::exists(folder_.File(".out.rss.0a1b2c3d")));
    EXPECT_TRUE(fs::exists(folder_.File(".out.rss.fresh123")));
}

// An import writes its measurement file and its table both or neither: a name too long for the
// second is refused before the first is written.
TEST_F(CliFaults, AnImportWritesBothFilesOrNeither) {
    const std::string stem(246, 'n');
    const std::string spectrum =
        folder_.Write(stem + ".csv", ReadFile(kData + "/spectra/argon_5e16.csv"));
    const std::string out = folder_.File("out");
    const TRun run = Cli({"import", spectrum, "--out", out});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, spectrum + ": Cannot create file \"" + out + "/" + stem +
                           ".lines.tsv\": File name too long.\n");
    EXPECT_EQ(Names(out), std::vector<std::string>{});

    const std::string shorter = folder_.Write("argon.csv", ReadFile(spectrum));
    EXPECT_EQ(Cli({"import", shorter, "--out", out}).Status, 0);
    EXPECT_EQ(Names(out), (std::vector<std::string>{"argon.lines.tsv", "argon.txt"}));
}

// A configuration that is empty, a link to nothing or a folder is named as the cause, and never
// replaced.
TEST_F(CliFaults, ABadConfigurationIsNamedAndKept) {
    const std::string kept = " it is read as empty and never written.\n";
    folder_.Write("zeltfit.ini", "");
    TRun run = Cli({"lines"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "The configuration file \"" + ini_ +
                           "\" is empty: it names no database and no species, and is never "
                           "written (restore it, or remove it to have the template copied at the "
                           "next start)\n");
    EXPECT_EQ(fs::file_size(ini_), 0u);

    fs::remove(ini_);
    fs::create_symlink("gone.ini", ini_);
    run = Cli({"species"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "The configuration file \"" + ini_ + "\" is a link to \"" +
                           folder_.File("gone.ini") + "\", which does not exist:" + kept);
    EXPECT_FALSE(fs::exists(folder_.File("gone.ini")));

    fs::remove(ini_);
    fs::create_directories(ini_);
    run = Cli({"fit", measurement_});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "Cannot open file \"" + ini_ + "\": it is a folder: the configuration is" +
                           kept.substr(6));
}

// Messages name the cause: a read-only file system, a missing configuration, an unknown option;
// a path of 1e-12 m is not taken for 0.
TEST_F(CliFaults, MessagesNameTheCause) {
    const TRun missing = Run({"zeltfit-cli", "--ini", folder_.File("nothere.ini"), "lines"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err,
              "The configuration file \"" + folder_.File("nothere.ini") + "\" does not exist.\n");
    const TRun unknown = Cli({"--frobnicate"});
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_EQ(unknown.Err.substr(0, unknown.Err.find('\n')), "Unknown option \"--frobnicate\"");

    folder_.Write("zeltfit.ini", Ini("Path=1e-12\r\n"));
    const TRun thin = Cli({"map", measurement_, "--format", "tsv"});
    EXPECT_EQ(thin.Err.find(" 0 m"), std::string::npos) << thin.Err;
    EXPECT_NE(thin.Out.find("\t9.9999999999999998e-13\t"), std::string::npos) << thin.Out;
    EXPECT_NE(Cli({"map", "--help"}).Out.find("--path FLOAT:ABOVE 0=1E-12"), std::string::npos);

    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a file system needs root";
    const std::string disk = folder_.File("disk");
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct TUnmount {
        std::string Path;
        ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::string rss = disk + "/out.rss";
    std::ofstream(rss) << "old grid";
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
    folder_.Write("zeltfit.ini", Ini(""));
    const TRun readOnly = Cli({"map", measurement_, "--rss", rss});
    EXPECT_EQ(readOnly.Status, 1);
    EXPECT_TRUE(
        readOnly.Err.ends_with("Cannot create file \"" + rss + "\": Read-only file system.\n"))
        << readOnly.Err;
    EXPECT_EQ(ReadFile(rss), "old grid");
}

// The map's size guard weighs what the map needs against the memory there is, and says both.
TEST_F(CliFaults, TheMapsSizeGuardNamesBothAmounts) {
    const TRun huge =
        Cli({"map", measurement_, "--density-points", "100000", "--temperature-points", "100000"});
    EXPECT_EQ(huge.Status, 1);
    EXPECT_TRUE(std::regex_match(huge.Err,
                                 std::regex("A map of 100000 x 100000 points is too large for the "
                                            "memory: it needs 298.0 GB, and [0-9.]+ [MG]B are "
                                            "available.\n")))
        << huge.Err;
}

} // namespace
} // namespace zelt
