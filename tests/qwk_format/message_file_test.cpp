#include "qwk_format/message_file.h"

#include "support/temp_directory.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageFile, WritesEveryByteThroughItsBuffer) {
    TempWorkDirectory dir(false);
    const std::string path = dir.File("MESSAGES.DAT");
    std::string expected;
    {
        qwk::MessageFile file(path);
        for (int i = 0; i < 2000; ++i) {
            const std::string block(qwk::BlockSize, static_cast<char>('a' + i % 26));
            file.Write(block);
            expected += block;
        }
        file.Close();
    }
    EXPECT_EQ(TempWorkDirectory::Read(path), expected);
}

TEST(MessageFile, CreationFailureNamesTheFile) {
    TempWorkDirectory dir(false);
    try {
        qwk::MessageFile file(dir.File("no/such/MESSAGES.DAT"));
        FAIL() << "created a file in a missing directory";
    } catch (const qwk::MessageFileError& error) {
        EXPECT_NE(std::string(error.what()).find("MESSAGES.DAT"), std::string::npos);
    }
}

TEST(MessageFile, FullDiskIsReportedWithItsErrorNumber) {
    qwk::MessageFile file("/dev/full");
    for (int i = 0; i < 1000; ++i)
        file.Write(std::string(qwk::BlockSize, 'x'));
    try {
        file.Close();
        FAIL() << "a write to a full device was reported as success";
    } catch (const qwk::MessageFileError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("I/O error 28", 0), 0u) << error.what();
    }
}

} // namespace
