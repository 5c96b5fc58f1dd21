// What the components put into the command records, and how they read the
// libraries' answers. The entry points are exchanged for recorders here.
#include "archive/unzip_file.h"
#include "archive/zip_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Recorded {
    std::vector<ZipCommand> zip;
    std::vector<UnzipCommand> unzip;
    std::int32_t answer = 0;
    std::int32_t returnCountFromLibrary = 0;
    std::uint16_t returnStringCapacitySeen = 0;
    TUnzipFile* unzipComponent = nullptr;
};
Recorded recorded;

std::int32_t RecordZip(ZipCommand* command) {
    recorded.zip.push_back(*command);
    return recorded.answer;
}

std::int32_t RecordUnzip(UnzipCommand* command) {
    recorded.unzip.push_back(*command);
    if (recorded.unzipComponent != nullptr)
        recorded.returnStringCapacitySeen = recorded.unzipComponent->lpszReturnString.Capacity();
    command->ReturnCount = recorded.returnCountFromLibrary;
    return recorded.answer;
}

class CommandRecords : public ::testing::Test {
protected:
    void SetUp() override {
        recorded = Recorded{};
        previousZip_ = TZipFile::ExchangeEntryPoint(RecordZip);
        previousUnzip_ = TUnzipFile::ExchangeEntryPoint(RecordUnzip);
    }
    void TearDown() override {
        TZipFile::ExchangeEntryPoint(previousZip_);
        TUnzipFile::ExchangeEntryPoint(previousUnzip_);
    }

    TZipFile zip;
    TUnzipFile unzip;

private:
    DZipEntry previousZip_ = nullptr;
    DUnzipEntry previousUnzip_ = nullptr;
};

// The record is packed, so its fields are compared by value (the unary
// plus), never bound to a reference.

// Every flag field of a ZipCommand, with the option it comes from.
std::vector<std::int32_t> ZipFlagFields(const ZipCommand& c) {
    return {c.DosifyFlag,
            c.RecurseFlag,
            c.QuietFlag,
            c.PathForTempFlag,
            c.FixFlag,
            c.FixHarderFlag,
            c.IncludeVolumeFlag,
            c.DeleteOriginalFlag,
            c.GrowExistingFlag,
            c.NoDirectoryNamesFlag,
            c.ConvertLFtoCRLFFlag,
            c.AddCommentFlag,
            c.AfterDateFlag,
            c.OldAsLatestFlag,
            c.IncludeOnlyFollowingFlag,
            c.ExcludeFollowingFlag,
            c.NoDirectoryEntriesFlag,
            c.IncludeSysHiddenFlag,
            c.DontCompressTheseSuffixesFlag,
            c.bDiagnostic,
            c.EncryptFlag};
}

TEST_F(CommandRecords, ActionCodesOutsideOneToNineNeverReachTheLibrary) {
    zip.ResultCode = 42;
    unzip.ResultCode = 43;
    for (std::int32_t code : {0, 10, -1}) {
        EXPECT_FALSE(zip.Execute(code));
        EXPECT_FALSE(unzip.Execute(code));
    }
    EXPECT_TRUE(recorded.zip.empty());
    EXPECT_TRUE(recorded.unzip.empty());
    EXPECT_EQ(zip.ResultCode, 42);
    EXPECT_EQ(unzip.ResultCode, 43);

    EXPECT_TRUE(zip.Execute(1));
    EXPECT_TRUE(zip.Execute(9));
    EXPECT_EQ(recorded.zip.size(), 2u);
}

TEST_F(CommandRecords, PackingOptionsGiveNoDirectoryNamesAloneAndTheDefaults) {
    zip.Options.insert(TZipFlag::AddCommentFlag);
    zip.Options.erase(TZipFlag::AddCommentFlag);
    zip.Options.insert(TZipFlag::NoDirectoryNamesFlag);
    zip.lpszZipFile.SetText("WORK/MYBBS.QWK");
    ASSERT_TRUE(zip.Execute(4));

    const ZipCommand& c = recorded.zip.at(0);
    EXPECT_EQ(+c.StructSize, static_cast<std::int32_t>(sizeof(ZipCommand)));
    EXPECT_EQ(+c.ActionCode, 4);
    EXPECT_EQ(+c.CompFactor, 5);
    EXPECT_EQ(+c.NoDirectoryNamesFlag, 1);
    int set = 0;
    for (std::int32_t flag : ZipFlagFields(c))
        set += flag;
    EXPECT_EQ(set, 1) << "every other flag field is 0";
    EXPECT_EQ(+c.wMultiVolControl, 0);
    EXPECT_EQ(+c.wZipSubOptions, 0);
    EXPECT_EQ(+c.lpszZipFile, zip.lpszZipFile.Text());
    EXPECT_EQ(+c.lpszItemList, nullptr) << "a text never set reaches the library as null";
    EXPECT_EQ(+c.UnsetField1, 0);
    EXPECT_EQ(+c.UnsetField2, 0);
    const std::uint8_t zeros[8] = {};
    EXPECT_EQ(std::memcmp(c.Reserved, zeros, sizeof zeros), 0);
}

TEST_F(CommandRecords, EveryOptionMemberLandsInItsOwnFieldAsExactlyOne) {
    for (int member = 0; member <= static_cast<int>(TZipFlag::bDiagnostic); ++member)
        zip.Options.insert(static_cast<TZipFlag>(member));
    for (int member = 0; member <= static_cast<int>(TZipFormat::QuietFlag); ++member)
        zip.ZipFormats.insert(static_cast<TZipFormat>(member));
    ASSERT_TRUE(zip.Execute(4));
    for (std::int32_t flag : ZipFlagFields(recorded.zip.at(0)))
        EXPECT_EQ(flag, 1);

    for (int member = 0; member <= static_cast<int>(TUnzipFlag::DecryptFlag); ++member)
        unzip.Options.insert(static_cast<TUnzipFlag>(member));
    ASSERT_TRUE(unzip.Execute(8));
    const UnzipCommand& u = recorded.unzip.at(0);
    for (std::int32_t flag : {u.FreshenFlag, u.UpdateFlag, u.OverWriteFlag, u.QuietFlag, u.TestFlag,
                              u.NoDirectoryNamesFlag, u.RecurseFlag, u.NoDirectoryItemsFlag,
                              u.bDiagnostic, u.bLF2CRLFFlag, u.DecryptFlag})
        EXPECT_EQ(flag, 1);
}

TEST_F(CommandRecords, OptionWordsCarryTheirOwnValues) {
    zip.wMultiVolControl = {TMultiVolFlag::MV_USEMULTI, TMultiVolFlag::MV_WIPE};
    zip.wZipSubOptions = {TZipSubOption::ZSO_RELATIVEPATH, TZipSubOption::ZSO_MANGLELONGNAMES};
    unzip.wUnzipSubOptions = {TUnzipSubOption::USO_OVERWRITE_RO,
                              TUnzipSubOption::USO_MANGLELONGNAMES};
    ASSERT_TRUE(zip.Execute(4));
    ASSERT_TRUE(unzip.Execute(8));
    EXPECT_EQ(+recorded.zip.at(0).wMultiVolControl, 0x8100);
    EXPECT_EQ(+recorded.zip.at(0).wZipSubOptions, 0x21);
    EXPECT_EQ(+recorded.unzip.at(0).wUnzipSubOptions, 0x21);

    TMultiVolFlags all;
    for (int member = 0; member <= static_cast<int>(TMultiVolFlag::MV_CDFIRST); ++member)
        all.insert(static_cast<TMultiVolFlag>(member));
    EXPECT_EQ(MultiVolWord(all), 0x8000 + 1 + 2 + 0x100 + 0x200 + 0x400 + 0x1000);
}

TEST_F(CommandRecords, UnzipRecordCarriesTextsNumbersAndTheComponentAsUserValue) {
    unzip.lpszZipFile.SetText("WORK/MYBBS.REP");
    unzip.lpszFileSpec.SetText("");
    unzip.IndexofItem = 3;
    ASSERT_TRUE(unzip.Execute(8));
    const UnzipCommand& u = recorded.unzip.at(0);
    EXPECT_EQ(+u.StructSize, static_cast<std::int32_t>(sizeof(UnzipCommand)));
    EXPECT_EQ(+u.ActionCode, 8);
    EXPECT_STREQ(+u.lpszZipFile, "WORK/MYBBS.REP");
    ASSERT_NE(+u.lpszFileSpec, nullptr) << "an empty text reaches the library as a zero byte";
    EXPECT_EQ(+u.lpszFileSpec[0], '\0');
    EXPECT_EQ(+u.lpszDestination, nullptr);
    EXPECT_EQ(+u.IndexofItem, 3);
    EXPECT_EQ(+u.InfoBuffer, unzip.InfoBuffer.get());
    EXPECT_EQ(+u.MinorProc, &TDynaZip::MinorStatusCallback);
    EXPECT_EQ(+u.MajorProc, &TDynaZip::MajorStatusCallback);
    for (void* user : {u.MinorData, u.MajorData, u.MessageData, u.RenameData})
        EXPECT_EQ(user, static_cast<TDynaZip*>(&unzip));
}

TEST_F(CommandRecords, ReturnCountComesBackOnlyOnSuccess) {
    unzip.ReturnCount = 7;
    recorded.returnCountFromLibrary = 99;
    recorded.answer = 11;
    EXPECT_FALSE(unzip.Execute(8));
    EXPECT_EQ(unzip.ResultCode, 11);
    EXPECT_EQ(unzip.ReturnCount, 7);
    EXPECT_EQ(+recorded.unzip.at(0).ReturnCount, 7);

    recorded.answer = 0;
    EXPECT_TRUE(unzip.Execute(8));
    EXPECT_EQ(unzip.ResultCode, 0);
    EXPECT_EQ(unzip.ReturnCount, 99);
}

TEST_F(CommandRecords, ActionSixSizesTheReturnStringFromReturnCountIn16Bits) {
    recorded.unzipComponent = &unzip;
    unzip.ReturnCount = 80;
    recorded.returnCountFromLibrary = 80;
    ASSERT_TRUE(unzip.Execute(6));
    EXPECT_EQ(recorded.returnStringCapacitySeen, 81);
    EXPECT_TRUE(unzip.lpszReturnString.Fixed());

    unzip.ReturnCount = 0x1FFFF; // low 16 bits + 1 wrap to 0: growable
    ASSERT_TRUE(unzip.Execute(6));
    EXPECT_FALSE(unzip.lpszReturnString.Fixed());
}

TEST(CallbackDispatch, StatusCallbacksAnswerCancelOnlyWhenTheHandlerAsks) {
    TZipFile zip;
    void* user = static_cast<TDynaZip*>(&zip);
    EXPECT_EQ(TDynaZip::MajorStatusCallback("MESSAGES.DAT", 50, user), 0);
    EXPECT_EQ(TDynaZip::MinorStatusCallback("MESSAGES.DAT", 50, user), 0);

    std::string seenItem;
    std::int32_t seenPercent = -1;
    zip.OnMajorCallback = [&](const char* item, std::int32_t percent, bool& doCancel) {
        seenItem = item;
        seenPercent = percent;
        EXPECT_FALSE(doCancel);
        doCancel = true;
    };
    EXPECT_EQ(TDynaZip::MajorStatusCallback("CONTROL.DAT", 75, user), 1);
    EXPECT_EQ(seenItem, "CONTROL.DAT");
    EXPECT_EQ(seenPercent, 75);
    EXPECT_EQ(TDynaZip::MinorStatusCallback("CONTROL.DAT", 75, user), 0)
        << "the minor callback has its own handler";
}

TEST(CallbackDispatch, MessageReturnsTheHandlersResultAndRenameAlwaysZero) {
    TUnzipFile unzip;
    void* user = static_cast<TDynaZip*>(&unzip);
    EXPECT_EQ(TDynaZip::MessageCallback(1, 2, 3, 4, "a", "b", user), 0);
    unzip.OnMessageCallback = [](std::uint16_t msgId, std::uint16_t mbType, std::int32_t p1,
                                 std::int32_t p2, const char*, const char*, std::int32_t& result) {
        EXPECT_EQ(result, 0);
        result = msgId + mbType + p1 + p2;
    };
    EXPECT_EQ(TDynaZip::MessageCallback(0x10001, 2, 3, 4, "a", "b", user), 1 + 2 + 3 + 4)
        << "MsgID is a 16-bit value";

    int renames = 0;
    unzip.OnRenameCallback = [&](PDZRename) { ++renames; };
    EXPECT_EQ(TDynaZip::RenameCallback(nullptr, user), 0);
    EXPECT_EQ(renames, 1);
}

TEST(Libraries, RefuseRecordsTheyDoNotKnowAndActionsTheyDoNotCarryOut) {
    TZipFile zip;
    TUnzipFile unzip;
    EXPECT_FALSE(zip.Execute(1));
    EXPECT_NE(zip.ResultCode, 0);
    EXPECT_FALSE(unzip.Execute(7));
    EXPECT_NE(unzip.ResultCode, 0);

    const DZipEntry dzip = TZipFile::ExchangeEntryPoint(nullptr);
    TZipFile::ExchangeEntryPoint(dzip);
    ASSERT_NE(dzip, nullptr);
    ZipCommand shortRecord{};
    shortRecord.StructSize = 188 - 4;
    shortRecord.ActionCode = 4;
    EXPECT_EQ(dzip(&shortRecord), DZ_BAD_RECORD);
    EXPECT_EQ(dzip(nullptr), DZ_BAD_RECORD);
}

} // namespace
