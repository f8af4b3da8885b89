// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "common/safefile.h"

#include "childprocess.h"
#include "tempfolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>

namespace zelt {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

std::vector<std::string> Names(const TempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A writer stopped by SIGINT or SIGTERM in the middle of its file removes it, then ends by the
// signal as it would have without the handler; the old file stays.
TEST(TemporaryFiles, AnInterruptRemovesTheFilesBeingWritten) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempFolder folder;
        const std::string name = folder.Write("map.rss", "good");
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t child = test::Spawn([&] {
            RemoveTemporaryFilesOnInterrupt();
            TSafeFile first, second;
            first.Open(name);
            second.Open(folder.File("report.txt"));
            first.Write(std::string(1 << 20, '7'));
            if (::write(started[1], "!", 1) != 1)
                return 1;
            ::pause();
            return 0;
        });
        char mark = 0;
        ASSERT_EQ(::read(started[0], &mark, 1), 1);
        EXPECT_EQ(Names(folder).size(), 3u);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(Names(folder), std::vector<std::string>{"map.rss"});
        EXPECT_EQ(folder.Read("map.rss"), "good");
        ::close(started[0]);
        ::close(started[1]);
    }
}

// What a killed writer left beside a file is removed before the file is saved again: the
// program's own form of name, the user's, a minute old and held by no writer.
TEST(TemporaryFiles, StaleOnesGoBeforeTheNextSave) {
    TempFolder folder;
    const auto left = [&](const std::string& name, int ageSeconds) {
        const std::string path = folder.Write(name, std::string(4096, 'x'));
        const timeval now{::time(nullptr) - ageSeconds, 0};
        const timeval times[2] = {now, now};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
        return path;
    };
    left(".report.txt.0a1b2c3d", 120);
    left(".report.txt.fresh123", 10);
    left(".other.txt.0a1b2c3d", 120); // of another file
    left(".report.txt.Ab12Cd", 120);  // not the program's form (rsync's)
    const std::string held = left(".report.txt.held4567", 120);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(left(".report.txt.others12", 120).c_str(), 65534, 65534), 0);
    }
    // A writer that still runs holds its file's lock.
    const int writer = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    SaveFile(folder.File("report.txt"), "new");
    ::close(writer);

    std::vector<std::string> kept = {".other.txt.0a1b2c3d", ".report.txt.Ab12Cd",
                                     ".report.txt.fresh123", ".report.txt.held4567", "report.txt"};
    if (root)
        kept.insert(kept.begin() + 4, ".report.txt.others12");
    EXPECT_EQ(Names(folder), kept);
}

// Files saved as one are placed all or none: a name too long for the folder is refused before
// anything is written, and a target that cannot be replaced puts the others back as they were.
TEST(SaveFiles, PlacesEveryFileOrNone) {
    TempFolder folder;
    const std::string a = folder.Write("a.txt", "old a");
    const std::string stem(246, 'n');
    const std::string tooLong = folder.File(stem + ".lines.tsv");
    try {
        SaveFiles({{folder.File(stem + ".txt"), "measurement"}, {tooLong, "table"}});
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.message(), "Cannot create file \"" + tooLong + "\": File name too long");
    }
    EXPECT_EQ(Names(folder), std::vector<std::string>{"a.txt"});

    SaveFiles({{a, "new a"}, {folder.File("b.txt"), "new b"}});
    EXPECT_EQ(folder.Read("a.txt"), "new a");
    EXPECT_EQ(folder.Read("b.txt"), "new b");
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"a.txt", "b.txt"}));

    if (::geteuid() != 0)
        GTEST_SKIP() << "files of other users need root";
    // In a folder with the sticky bit (as /tmp), the user 1000 may write c.txt of another user
    // but not rename over it: a, new, is put back, and b, new, is removed again.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 01777), 0);
    ASSERT_EQ(::chown(a.c_str(), 1000, 1000), 0);
    const std::string c = folder.Write("c.txt", "old c");
    ASSERT_EQ(::chown(c.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(c.c_str(), 0666), 0);
    fs::remove(folder.File("b.txt"));
    const pid_t user = test::Spawn([&] {
        if (::setgid(1000) != 0 || ::setuid(1000) != 0)
            return 2;
        try {
            SaveFiles({{a, "newer a"}, {folder.File("b.txt"), "newer b"}, {c, "new c"}});
        } catch (const EInOutError& error) {
            return error.message() == "Cannot write file \"" + c + "\": Operation not permitted"
                       ? 0
                       : 3;
        }
        return 1;
    });
    EXPECT_EQ(test::Wait(user), 0);
    EXPECT_EQ(folder.Read("a.txt"), "new a");
    EXPECT_EQ(folder.Read("c.txt"), "old c");
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"a.txt", "c.txt"}));
}

} // namespace
} // namespace zelt
