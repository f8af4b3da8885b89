// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "common/tempfolder.h"

#include "tempfolder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelt {
namespace {

// Sets TMPDIR for one scope.
class TmpDir {
public:
    explicit TmpDir(const std::string& value) {
        if (const char* old = std::getenv("TMPDIR"))
            old_ = old;
        ::setenv("TMPDIR", value.c_str(), 1);
    }
    ~TmpDir() {
        if (old_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", old_.c_str(), 1);
    }

private:
    std::string old_;
};

std::string FolderError() {
    try {
        return UserTemporaryFolder();
    } catch (const EInOutError& error) {
        return error.message();
    }
}

TEST(UserTemporaryFolder, AFolderOnlyTheUserCanWriteTo) {
    test::TempFolder folder;
    const std::string own = "zeltfit-" + std::to_string(::geteuid());
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0700), 0);
    {
        TmpDir tmpdir(folder.Path());
        EXPECT_EQ(UserTemporaryFolder(), folder.Path());
    }
    // A shared folder gets a private one of the user's in it, made once.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 01777), 0);
    {
        TmpDir tmpdir(folder.Path());
        EXPECT_EQ(UserTemporaryFolder(), folder.File(own));
        EXPECT_EQ(UserTemporaryFolder(), folder.File(own));
        struct stat st;
        ASSERT_EQ(::stat(folder.File(own).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        // Another user's folder (or a link) of that name is no place to write.
        std::filesystem::remove(folder.File(own));
        std::filesystem::create_directory_symlink("/", folder.File(own));
        EXPECT_EQ(FolderError(), "The temporary folder \"" + folder.File(own) +
                                     "\" is not the user's own: another user may write to it");
    }
    // A TMPDIR that names no folder is passed over for /tmp.
    TmpDir missing(folder.File("missing"));
    EXPECT_EQ(UserTemporaryFolder().rfind("/tmp", 0), 0u);
}

} // namespace
} // namespace zelt
