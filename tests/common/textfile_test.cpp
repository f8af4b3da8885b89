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

// A file cut short while it is read would pass for a shorter one: the reader says it changed.
TEST(TTextReader, SaysThatTheFileChangedWhileItWasRead) {
    TempFolder folder;
    std::string table;
    for (int i = 0; i < 20000; ++i)
        table += std::to_string(500 + i) + " 1\r\n";
    const std::string name = folder.Write("table.txt", table);
    const std::string changed = "Cannot read file \"" + name +
                                "\": it changed while it was read (another program writes it): "
                                "read it again when that is done";
    TTextReader reader;
    reader.Open(name);
    reader.ReadReal();
    ASSERT_EQ(::truncate(name.c_str(), 1000), 0);
    while (!reader.SeekEof())
        reader.SkipLine();
    EXPECT_LT(reader.LineNumber(), 20000); // what it had read before the cut
    try {
        reader.RequireUnchanged();
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.message(), changed);
    }

    // A file that a save replaced whole is read whole: the reader has the old one.
    folder.Write("table.txt", table);
    reader.Open(name);
    folder.Write("new.txt", "500 1\r\n");
    ASSERT_EQ(::rename(folder.File("new.txt").c_str(), name.c_str()), 0);
    while (!reader.SeekEof())
        reader.SkipLine();
    EXPECT_EQ(reader.LineNumber(), 20001);
    EXPECT_NO_THROW(reader.RequireUnchanged());
}

} // namespace
} // namespace zelt
