// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/configstore.h"
#include "app/editsettings.h"
#include "common/errors.h"
#include "tests/common/tempfolder.h"

#ifndef _WIN32
#include "tests/common/childprocess.h"

#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace zelt {
namespace {

namespace fs = std::filesystem;

class ConfigStoreTest : public ::testing::Test {
protected:
    void WriteFile(const std::string& text) { folder_.Write("zeltfit.ini", text); }
    std::string FileText() const { return folder_.Read("zeltfit.ini"); }

    test::TempFolder folder_;
    std::string file_ = folder_.File("zeltfit.ini");
};

TEST_F(ConfigStoreTest, MissingFileGivesDefaults) {
    const TConfigStore store(file_);
    EXPECT_EQ(store.ReadString("_Files", "Measurements", "C:\\"), "C:\\");
    EXPECT_EQ(store.ReadInteger("_Fit", "Count", 50), 50);
    EXPECT_EQ(store.ReadFloat("_Iteration", "FromDensity", 1e15), 1e15);
    EXPECT_TRUE(store.ReadSections().empty());
}

TEST_F(ConfigStoreTest, SectionsInFileOrderAndNamesWithoutCase) {
    WriteFile("[_Files]\r\nDatabase=C:\\Data\\Atoms, new\r\n[Fe]\r\nLines=Fe, I\r\n"
              "[_Extra]\r\n[Ar I]\r\nm=39.948\r\n[Cu]\r\n");
    const TConfigStore store(file_);
    EXPECT_EQ(store.ReadSections(),
              (std::vector<std::string>{"_Files", "Fe", "_Extra", "Ar I", "Cu"}));
    EXPECT_EQ(store.ReadString("_files", "DATABASE", ""), "C:\\Data\\Atoms, new");
    EXPECT_EQ(store.ReadString("fe", "lines", ""), "Fe, I");
    EXPECT_EQ(store.ReadFloat("AR I", "M", 0), 39.948);
}

TEST_F(ConfigStoreTest, LinesOutsideSectionsAreSkipped) {
    // Keys before the first section belong to none; those after a section line without a name or
    // bracket stay in the section before. Writes leave the sections as they were.
    WriteFile("Version=2\r\n[_Files]\r\nDatabase=/data\r\n[Fe\r\nLevels=Fe_levels.txt\r\n"
              "[Ar]\r\nm=39.948\r\n[ ]\r\nBoltzmax=3\r\n");
    TConfigStore store(file_);
    for (const char* folder : {"/spectra/a", "/spectra/b"}) {
        EXPECT_EQ(store.ReadSections(), (std::vector<std::string>{"_Files", "Ar"}));
        EXPECT_EQ(store.ReadString("_Files", "Levels", ""), "Fe_levels.txt");
        EXPECT_EQ(store.ReadFloat("Ar", "m", 0), 39.948);
        EXPECT_EQ(store.ReadInteger("Ar", "Boltzmax", 1), 3);
        store.WriteString("_Files", "Measurements", folder);
    }
    EXPECT_EQ(store.ReadSections(), (std::vector<std::string>{"_Files", "Ar"}));
    EXPECT_EQ(store.ReadString("_Files", "Measurements", ""), "/spectra/b");
}

TEST_F(ConfigStoreTest, NumbersAndTheirDefaults) {
    WriteFile("[_Iteration]\nDensityPoints=0x20\nTemperaturePoints=12abc\nFromDensity=2.54e16\n"
              "ToDensity=\nFromTemperature=1,5\nToTemperature= 12345.6 \nCount=0x\n");
    const TConfigStore store(file_);
    EXPECT_EQ(store.ReadInteger("_Iteration", "DensityPoints", 50), 32);
    EXPECT_EQ(store.ReadInteger("_Iteration", "TemperaturePoints", 50), 50);
    EXPECT_EQ(store.ReadInteger("_Iteration", "Count", 7), 7);
    EXPECT_EQ(store.ReadFloat("_Iteration", "FromDensity", 1e15), 2.54e16);
    EXPECT_EQ(store.ReadFloat("_Iteration", "ToDensity", 1e18), 1e18);
    EXPECT_EQ(store.ReadFloat("_Iteration", "FromTemperature", 1000), 1000);
    EXPECT_EQ(store.ReadFloat("_Iteration", "ToTemperature", 50000), 12345.6);
}

TEST_F(ConfigStoreTest, WritesReplaceTheFileAtOnceInShortestForm) {
    WriteFile("; comment kept\r\n[_Files]\r\nDatabase=/data\r\n[Fe]\r\nm=55.845\r\n");
    TConfigStore store(file_);
    store.WriteFloat("_Iteration", "FromDensity", 1e15);
    store.WriteFloat("_Iteration", "ToTemperature", 50000);
    store.WriteFloat("_Parameters", "Path", 0.5);
    store.WriteInteger("_Fit", "Count", 50);
    store.WriteString("_files", "Measurements", "/home/user/spectra, 2026");
    // Another reader sees every key at once.
    const TConfigStore other(file_);
    EXPECT_EQ(other.ReadString("_Iteration", "FromDensity", ""), "1E15");
    EXPECT_EQ(other.ReadString("_Iteration", "ToTemperature", ""), "50000");
    EXPECT_EQ(other.ReadString("_Parameters", "Path", ""), "0.5");
    EXPECT_EQ(other.ReadInteger("_Fit", "Count", 0), 50);
    EXPECT_EQ(other.ReadString("_Files", "Measurements", ""), "/home/user/spectra, 2026");
    EXPECT_EQ(other.ReadSections(),
              (std::vector<std::string>{"_Files", "Fe", "_Iteration", "_Parameters", "_Fit"}));
    const std::string text = FileText();
    EXPECT_NE(text.find("; comment kept\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nFromDensity=1E15\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos); // every line ends with CR LF
    EXPECT_FALSE(fs::exists(file_ + ".tmp"));
}

TEST_F(ConfigStoreTest, WritesChangeOnlyTheirValuesByteForByte) {
    WriteFile("; Zelt Fit settings\r\n\r\n[_Files]\r\nDatabase = /data/atoms   \r\n"
              "; measured in the lab\r\nMeasurements=/old\r\n\r\n"
              "[Fe]\nm=55.845\nM=99\n\n"
              "[_Fit]\r\nCount=\r\n; the start values\r\n\r\n"
              "[Cu]\r\nLines=Cu,I");
    TConfigStore store(file_);
    store.WriteString("_files", "MEASUREMENTS", "/home/user/spectra, 2026");
    store.WriteString("_Files", "Database", "/atoms");
    store.WriteInteger("_Fit", "Count", 50);
    store.WriteFloat("_Fit", "FromDensity", 1e16);
    store.WriteString("Cu", "m", "63.546");
    store.WriteFloat("_Parameters", "Path", 0.5);
    EXPECT_EQ(FileText(), "; Zelt Fit settings\r\n\r\n[_Files]\r\nDatabase = /atoms   \r\n"
                          "; measured in the lab\r\nMeasurements=/home/user/spectra, 2026\r\n\r\n"
                          "[Fe]\nm=55.845\nM=99\n\n"
                          "[_Fit]\r\nCount=50\r\nFromDensity=1E16\r\n; the start values\r\n\r\n"
                          "[Cu]\r\nLines=Cu,I\r\nm=63.546\r\n[_Parameters]\r\nPath=0.5\r\n");
    // The first of two keys of one name is the one read, as the profile-file service does.
    EXPECT_EQ(store.ReadFloat("fe", "m", 0), 55.845);
    EXPECT_EQ(store.ReadString("_Files", "Database", ""), "/atoms");
    EXPECT_THROW(store.WriteString("_Files", "Measurements", "/a\r\n[_Fit]"), Exception);

    // A last line ending in a carriage return alone gets its line feed, and keeps its value.
    WriteFile("[Cu]\r\nLines=Cu,I\r");
    store.WriteString("_Files", "Measurements", "/b");
    EXPECT_EQ(FileText(), "[Cu]\r\nLines=Cu,I\r\n[_Files]\r\nMeasurements=/b\r\n");
    EXPECT_EQ(store.ReadString("Cu", "Lines", ""), "Cu,I");
}

TEST_F(ConfigStoreTest, UnwritableFolderRaisesInOutError) {
    TConfigStore store(folder_.File("missing/zeltfit.ini"));
    EXPECT_THROW(store.WriteInteger("_Fit", "Count", 1), EInOutError);
}

#ifndef _WIN32
// Two windows closing at the same moment, each storing all its keys: both survive whole, and
// what a third party wrote (the species sections) is never lost.
TEST_F(ConfigStoreTest, TwoProcessesClosingAtOnceLoseNothing) {
    std::string species;
    for (int i = 0; i < 2000; ++i)
        species += "[Species " + std::to_string(i) + "]\r\nLines=X" + std::to_string(i) + ",I\r\n";
    WriteFile("[_Files]\r\nDatabase=/atoms\r\n" + species);
    const auto close = [&](const char* section) {
        return test::Spawn([&] {
            TConfigStore store(file_);
            for (int round = 0; round < 20; ++round) {
                store.Update([&](TIniText& ini) {
                    for (int key = 0; key < 10; ++key)
                        ini.SetValue(section, "Key" + std::to_string(key), std::to_string(round));
                });
                // A window closes once; a writer that took the lock again at once would starve
                // the other's retries (every 10 ms) in a slow build until its wait ran out.
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            return 0;
        });
    };
    const pid_t first = close("_Fit"), second = close("_Iteration");
    // Each update reads, writes and syncs a 60 KB file under the lock: in a sanitizer build on a
    // busy machine the 40 of them take longer than the default 20 s of the guard against a hang.
    const std::chrono::seconds hang(180);
    EXPECT_EQ(test::Wait(first, hang), 0);
    EXPECT_EQ(test::Wait(second, hang), 0);
    const TConfigStore store(file_);
    EXPECT_EQ(store.ReadString("_Files", "Database", ""), "/atoms");
    EXPECT_EQ(store.ReadString("Species 1999", "Lines", ""), "X1999,I");
    EXPECT_EQ(store.ReadString("_Fit", "Key9", ""), "19");
    EXPECT_EQ(store.ReadString("_Iteration", "Key9", ""), "19");
}

// A file the program cannot read, cannot decode or may not write is kept byte for byte, and
// the store says why; one that is a link stays a link.
TEST_F(ConfigStoreTest, FilesItCannotTakeAreNeverWritten) {
    const std::string utf16("\xFF\xFE[\0_\0F\0i\0t\0]\0", 12);
    WriteFile(utf16);
    TConfigStore undecodable(file_);
    EXPECT_EQ(undecodable.Problem(), "The configuration file \"" + file_ +
                                         "\" is no single-byte text (UTF-16?): it is read as "
                                         "empty and never written");
    EXPECT_FALSE(undecodable.Readable());
    undecodable.WriteInteger("_Fit", "Count", 5);
    EXPECT_EQ(FileText(), utf16);

    WriteFile("[_Fit]\r\nCount=7\r\n");
    ASSERT_EQ(::chmod(folder_.Path().c_str(), 0777), 0);
    for (const mode_t mode : {0200, 0444}) {
        ASSERT_EQ(::chmod(file_.c_str(), mode), 0);
        // As another user: root may read and write any file.
        const pid_t child = test::Spawn([&] {
            if (::setuid(65534) != 0)
                return 2;
            TConfigStore store(file_);
            store.WriteInteger("_Fit", "Count", 5);
            return store.Problem().empty() ? 1 : store.Readable() ? 10 : 20;
        });
        EXPECT_EQ(test::Wait(child), mode == 0200 ? 20 : 10);
        EXPECT_EQ(FileText(), "[_Fit]\r\nCount=7\r\n");
    }
    ASSERT_EQ(::chmod(file_.c_str(), 0644), 0);
    fs::rename(file_, folder_.File("real.ini"));
    fs::create_symlink("real.ini", file_);
    TConfigStore(file_).WriteInteger("_Fit", "Count", 5);
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(folder_.Read("real.ini"), "[_Fit]\r\nCount=5\r\n");
}

// Two windows on one file: A changes the path, B the gas temperature; A closes, then B. Each
// writes only what it changed, so both changes stay, and every other byte of the file too.
TEST_F(ConfigStoreTest, TwoWindowsKeepEachOthersChanges) {
    const auto file = [](const char* density, const char* tn, const char* path) {
        return std::string("; mine\r\n[_Iteration]\r\nFromDensity=") + density +
               "\r\nToDensity=1e18\r\nDensityPoints=50\r\nFromTemperature=500\r\n"
               "ToTemperature=4000\r\nTemperaturePoints=50\r\n[_Fit]\r\nFromDensity=1E16\r\n"
               "FromTemperature=1000\r\nCount=50\r\n[_Parameters]\r\nTn=" +
               tn + "\r\nPath=" + path + "\r\n[Ar I]\r\nm=39.948\r\n";
    };
    WriteFile(file("2.54e16", "400", "0.05"));
    TConfigStore a(file_), b(file_);
    const TEditSettings readByA(a.View()), readByB(b.View());
    const auto closing = [](const TEditSettings& read, const std::string& edit,
                            const std::string& text) {
        return [&read, edit, text](TIniText& ini) {
            read.StoreChanges(ini, [&](const TSetting& setting) {
                return setting.EditName == edit ? text : read.StartText(setting);
            });
        };
    };
    a.Update(closing(readByA, "PathEdit", "0.070"));
    // The density's box shows 2.5E+016, which A wrote back for the key it found unchanged.
    EXPECT_EQ(FileText(), file("2.5E16", "400", "0.07"));
    b.Update(closing(readByB, "TnEdit", "500"));
    EXPECT_EQ(FileText(), file("2.5E16", "500", "0.07"));
    // A close that changed nothing leaves the file as it is, its missing keys too.
    const std::string before = FileText();
    const TEditSettings unchanged(a.View());
    a.Update(closing(unchanged, "", ""));
    EXPECT_EQ(FileText(), before);
}

// The files the window must not replace: one that is empty or a link to nothing (written, it
// would lose the species), one that lost its species since the start; a lock file left by
// another user is no obstacle, as the lock lies on the file itself.
TEST_F(ConfigStoreTest, KeepsWhatWouldLoseTheSpecies) {
    WriteFile("");
    TConfigStore empty(file_);
    EXPECT_EQ(empty.Problem(), "The configuration file \"" + file_ +
                                   "\" is empty: it names no database and no species, and is "
                                   "never written (restore it, or remove it to have the template "
                                   "copied at the next start)");
    EXPECT_EQ(empty.SpeciesProblem(""), empty.Problem());
    empty.WriteInteger("_Fit", "Count", 5);
    EXPECT_EQ(FileText(), "");

    fs::remove(file_);
    fs::create_symlink("gone/zeltfit.ini", file_);
    TConfigStore dangling(file_);
    dangling.WriteInteger("_Fit", "Count", 5);
    EXPECT_FALSE(fs::exists(folder_.File("gone")));
    EXPECT_TRUE(dangling.Exists());
    fs::remove(file_);
    EXPECT_EQ(TConfigStore(file_).SpeciesProblem("Ar I"),
              "The configuration file \"" + file_ + "\" does not exist");

    WriteFile("[_Fit]\r\nCount=7\r\n[Ar I]\r\nm=1\r\n");
    TConfigStore store(file_);
    WriteFile("[_Fit]\r\nCount=7\r\n");
    EXPECT_THROW(store.WriteInteger("_Fit", "Count", 9), EInOutError);
    EXPECT_EQ(FileText(), "[_Fit]\r\nCount=7\r\n");

    if (::geteuid() != 0)
        GTEST_SKIP() << "files of other users need root";
    // The user 1000 closes the window; the lock file an older version made as user 65534 is no
    // obstacle.
    WriteFile("[_Fit]\r\nCount=7\r\n[Ar I]\r\nm=1\r\n");
    const std::string oldLock = folder_.Write("zeltfit.ini.lock", "");
    ASSERT_EQ(::chown(oldLock.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(oldLock.c_str(), 0600), 0);
    ASSERT_EQ(::chown(file_.c_str(), 1000, 1000), 0);
    ASSERT_EQ(::chmod(folder_.Path().c_str(), 0777), 0);
    const pid_t user = test::Spawn([&] {
        if (::setgid(1000) != 0 || ::setuid(1000) != 0)
            return 2;
        TConfigStore(file_).WriteInteger("_Fit", "Count", 8);
        return 0;
    });
    EXPECT_EQ(test::Wait(user), 0);
    EXPECT_EQ(FileText(), "[_Fit]\r\nCount=8\r\n[Ar I]\r\nm=1\r\n");
}
#endif

} // namespace
} // namespace zelt
