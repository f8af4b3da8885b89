// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "common/textfile.h"

#include "childprocess.h"
#include "tempfolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelt {
namespace {

using test::TempFolder;

// What opening the file says, from a child process that may hang there.
std::string OpenMessage(const std::string& fileName) {
    return test::RunGuarded([&]() -> std::string {
        try {
            TTextReader reader;
            reader.Open(fileName, {kMegabyte, "a test file"});
            return "opened";
        } catch (const EInOutError& error) {
            return error.message();
        }
    });
}

// Readers take regular files only: a pipe without a writer would block the open and a device
// like /dev/zero never ends. Neither may hang, and a file past the bound is refused at once.
TEST(TTextReader, RefusesWhatIsNoRegularFileOrTooLargeWithoutWaiting) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenMessage(fifo), "Cannot open file \"" + fifo + "\": it is not a regular file");
    EXPECT_EQ(OpenMessage("/dev/zero"), "Cannot open file \"/dev/zero\": it is not a regular file");
    EXPECT_EQ(OpenMessage(folder.Path()),
              "Cannot open file \"" + folder.Path() + "\": it is a folder");
    EXPECT_EQ(OpenMessage(folder.File("none.txt")),
              "Cannot open file \"" + folder.File("none.txt") + "\": file not found");

    const std::string big = folder.Write("big.txt", "");
    std::filesystem::resize_file(big, kMegabyte + 1);
    EXPECT_EQ(OpenMessage(big), "Cannot read file \"" + big +
                                    "\": it is larger than 1 MB, the limit for a test file");
    std::filesystem::resize_file(big, kMegabyte);
    EXPECT_EQ(OpenMessage(big), "opened");
    EXPECT_EQ(ReadFileBytes(big).size(), kMegabyte);
}

} // namespace
} // namespace zelt
