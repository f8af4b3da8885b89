// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "common/filelock.h"
#include "common/safefile.h"
#include "common/textfile.h"

#include "childprocess.h"
#include "tempfolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace zelt {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

// Bytes that differ from line to line, so a file made of two saves would show.
std::string Lines(int count, char mark) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(1, mark) + " line " + std::to_string(i) + "\r\n";
    return text;
}

std::string SaveError(const std::string& fileName, const std::string& content) {
    try {
        SaveFile(fileName, content);
    } catch (const EInOutError& error) {
        return error.message();
    }
    return "saved";
}

std::vector<std::string> Names(const TempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A disk of 64 KiB mounted on the folder while the object lives.
class TSmallDisk {
public:
    explicit TSmallDisk(const TempFolder& folder) : path_(folder.Path()) {
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;
    ~TSmallDisk() {
        if (mounted_)
            ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

TEST(SafeFileFaults, AFullDiskLeavesTheGoodFileAndNoTemporary) {
    TempFolder folder;
    const TSmallDisk disk(folder);
    if (!disk.Mounted())
        GTEST_SKIP() << "a small disk cannot be mounted here (it needs root)";

    const std::string name = folder.File("report.txt");
    const std::string good = Lines(1000, 'g');
    SaveFile(name, good);
    EXPECT_EQ(SaveError(name, Lines(5000, 'n')),
              "Cannot write file \"" + name + "\": No space left on device");
    EXPECT_EQ(folder.Read("report.txt"), good);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"report.txt"});
    // The space of the failed save is free again.
    SaveFile(name, "small");
    EXPECT_EQ(folder.Read("report.txt"), "small");
}

// Several files saved as one: a disk that fills up on the second leaves the first as it was.
TEST(SafeFileFaults, SavedTogetherAllOrNone) {
    TempFolder folder;
    const TSmallDisk disk(folder);
    if (!disk.Mounted())
        GTEST_SKIP() << "a small disk cannot be mounted here (it needs root)";

    SaveFile(folder.File("a.txt"), "old");
    EXPECT_THROW(
        SaveFiles({{folder.File("a.txt"), "new"}, {folder.File("b.txt"), Lines(5000, 'b')}}),
        EInOutError);
    EXPECT_EQ(folder.Read("a.txt"), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"a.txt"});
    SaveFiles({{folder.File("a.txt"), "new"}, {folder.File("b.txt"), "b"}});
    EXPECT_EQ(folder.Read("a.txt") + folder.Read("b.txt"), "newb");
}

TEST(SafeFileFaults, AWriterKilledInTheMiddleLeavesTheGoodFile) {
    TempFolder folder;
    const std::string good = Lines(1000, 'g');
    const std::string name = folder.Write("map.txt", good);
    int started[2];
    ASSERT_EQ(::pipe(started), 0);
    const pid_t child = test::Spawn([&] {
        TSafeFile file;
        file.Open(name);
        const std::string block(1 << 20, '7');
        for (int i = 0; i < 64; ++i) {
            file.Write(block);
            if (i == 4 && ::write(started[1], "!", 1) != 1)
                return 1;
        }
        ::pause();
        return 0;
    });
    char mark = 0;
    ASSERT_EQ(::read(started[0], &mark, 1), 1);
    ::kill(child, SIGKILL);
    EXPECT_EQ(test::Wait(child), -1);
    ::close(started[0]);
    ::close(started[1]);
    EXPECT_EQ(folder.Read("map.txt"), good);
}

// Two processes change one file in turn under the lock: every update survives, and a reader
// beside them sees one whole file at every moment.
TEST(SafeFileFaults, TwoProcessesLoseNoUpdateAndNoReaderSeesHalfAFile) {
    TempFolder folder;
    const std::string name = folder.File("zeltfit.ini");
    const std::string padding = Lines(3000, ';');
    const auto counter = [&](int n) { return "Count=" + std::to_string(100000 + n) + padding; };
    SaveFile(name, counter(0));
    const auto worker = [&] {
        for (int i = 0; i < 50; ++i) {
            TFileLock lock(name);
            const int n = std::stoi(ReadFileBytes(name).substr(6, 6)) - 100000;
            SaveFile(name, counter(n + 1));
        }
        return 0;
    };
    const pid_t first = test::Spawn(worker), second = test::Spawn(worker);
    int reads = 0, broken = 0, status = 0;
    while (::waitpid(first, &status, WNOHANG) == 0 || reads < 10) {
        const std::string text = ReadFileBytes(name);
        broken += text.size() != counter(0).size() || text.substr(12) != padding;
        ++reads;
    }
    EXPECT_EQ(test::Wait(second), 0);
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    EXPECT_EQ(ReadFileBytes(name).substr(0, 12), "Count=100100");
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"zeltfit.ini"}));
}

TEST(SafeFile, LinksModesOwnersAndWhatIsNoFile) {
    TempFolder folder;
    // Through a link: the link stays, its target takes the content and keeps mode and owner.
    const std::string real = folder.Write("real.ini", "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
    }
    fs::create_symlink("real.ini", folder.File("link.ini"));
    SaveFile(folder.File("link.ini"), "new");
    EXPECT_TRUE(fs::is_symlink(folder.File("link.ini")));
    EXPECT_EQ(folder.Read("real.ini"), "new");
    struct stat st;
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
    }
    // A dangling link makes the file it names; a new file has 0666 less the umask.
    fs::create_symlink("made.txt", folder.File("dangling.txt"));
    const mode_t umask = ::umask(027);
    SaveFile(folder.File("dangling.txt"), "made");
    ::umask(umask);
    EXPECT_EQ(folder.Read("made.txt"), "made");
    ASSERT_EQ(::stat(folder.File("made.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Replacing: neither a link nor a hard link at the name is written through.
    const std::string victim = folder.Write("victim.txt", "secret");
    fs::create_symlink(victim, folder.File("zeltfit.txt"));
    fs::create_hard_link(victim, folder.File("hard.txt"));
    for (const char* name : {"zeltfit.txt", "hard.txt"})
        SaveFile(folder.File(name), "log", {TLinkPolicy::Replace, false});
    EXPECT_EQ(folder.Read("victim.txt"), "secret");
    EXPECT_FALSE(fs::is_symlink(folder.File("zeltfit.txt")));
    EXPECT_EQ(folder.Read("zeltfit.txt"), "log");
    EXPECT_EQ(folder.Read("hard.txt"), "log");

    EXPECT_EQ(SaveError(folder.Path(), "x"),
              "Cannot create file \"" + folder.Path() + "\": it is a folder");
    // A device is written into, never replaced by a file.
    SaveFile("/dev/null", "x");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(SaveError("/dev/full", "x"),
              "Cannot write file \"/dev/full\": No space left on device");
    // A file the user may not write is kept, though the folder would let it be replaced.
    if (root) {
        const std::string locked = folder.Write("locked.ini", "keep");
        ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
        ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
        const pid_t child = test::Spawn([&] {
            return ::setuid(65534) == 0 && SaveError(locked, "lost") == "Cannot create file \"" +
                                                                            locked +
                                                                            "\": Permission denied"
                       ? 0
                       : 1;
        });
        EXPECT_EQ(test::Wait(child), 0);
        EXPECT_EQ(folder.Read("locked.ini"), "keep");
    }
}

} // namespace
} // namespace zelt
