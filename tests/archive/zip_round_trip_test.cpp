// The zip libraries through the components: packing TEMP the way a retrieval
// run does, extracting a reply archive, and refusing archives that would
// write outside the destination.
#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "qwk_format/packet_packing.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <list>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RecordingProgress : ProgressView {
    std::vector<std::string> calls;
    std::vector<int> percents;
    void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
    void SetItem(const std::string& item) override { calls.push_back("item " + item); }
    void SetPercent(int percent) override { percents.push_back(percent); }
    void Show() override { calls.push_back("show"); }
    void Hide() override { calls.push_back("hide"); }
};

struct CommandOutput {
    int status;
    std::string text;
};

CommandOutput RunShell(const std::string& command) {
    CommandOutput result{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.text.append(buffer, n);
    result.status = ::pclose(pipe);
    return result;
}

std::set<std::string> ArchiveNames(const std::string& archive) {
    std::set<std::string> names;
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (zip == nullptr)
        return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i)
        names.insert(zip_get_name(zip, static_cast<zip_uint64_t>(i), 0));
    zip_discard(zip);
    return names;
}

std::string EveryByteValue(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

// An archive made entry by entry, for the shapes no honest packer makes.
class CraftedArchive {
public:
    explicit CraftedArchive(const std::string& path) : path_(path) {
        int error = 0;
        zip_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    }
    CraftedArchive& Add(const std::string& name, const std::string& bytes) {
        contents_.push_back(bytes);
        zip_source_t* source =
            zip_source_buffer(zip_, contents_.back().data(), contents_.back().size(), 0);
        lastIndex_ = zip_file_add(zip_, name.c_str(), source, ZIP_FL_OVERWRITE);
        return *this;
    }
    CraftedArchive& AddLink(const std::string& name, const std::string& target) {
        Add(name, target);
        zip_file_set_external_attributes(zip_, static_cast<zip_uint64_t>(lastIndex_), 0,
                                         ZIP_OPSYS_UNIX, (S_IFLNK | 0777u) << 16);
        return *this;
    }
    bool Close() { return zip_close(zip_) == 0; }

private:
    std::string path_;
    zip_t* zip_ = nullptr;
    zip_int64_t lastIndex_ = -1;
    std::list<std::string> contents_; // libzip reads them when the archive closes
};

// Rewrites the uncompressed size that the central directory states for each
// entry, in entry order.
void StateSizes(const std::string& archive, const std::vector<std::uint32_t>& sizes) {
    std::string bytes = TempWorkDirectory::Read(archive);
    std::size_t at = 0;
    for (std::uint32_t size : sizes) {
        at = bytes.find("PK\x01\x02", at);
        ASSERT_NE(at, std::string::npos);
        for (int i = 0; i < 4; ++i)
            bytes[at + 24 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        at += 4;
    }
    TempWorkDirectory::Write(archive, bytes);
}

class ZipRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        temp = root.File("TEMP");
        work = root.File("WORK");
        fs::create_directories(temp);
        fs::create_directories(work);
        BindArchiveProgress(zip, progress);
        BindArchiveProgress(unzip, progress);
    }

    // Extracts archive into destination with the reply reader's settings.
    bool Extract(const std::string& archive, const std::string& destination,
                 const std::string& fileSpec = "*.*") {
        unzip.lpszDestination.SetText(destination);
        unzip.lpszFileSpec.SetText(fileSpec);
        unzip.lpszZipFile.SetText(archive);
        return unzip.Execute(8);
    }

    static std::vector<std::string> FilesBelow(const std::string& directory) {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(directory))
            found.push_back(fs::relative(entry.path(), directory).string());
        return found;
    }

    TempWorkDirectory root{false};
    std::string temp, work;
    RecordingProgress progress;
    TZipFile zip;
    TUnzipFile unzip;
};

TEST_F(ZipRoundTrip, PackedTempIsAValidArchiveOfBareNamesThatExtractsByteForByte) {
    const std::string messages = EveryByteValue(300000);
    TempWorkDirectory::Write(temp + "/MESSAGES.DAT", messages);
    TempWorkDirectory::Write(temp + "/CONTROL.DAT", "Zandrel\r\n");
    TempWorkDirectory::Write(temp + "/NODOT", "no extension\r\n");
    TempWorkDirectory::Write(temp + "/EMPTY.TXT", "");

    Settings settings;
    settings.QwkId = "mybbs";
    settings.WorkDirectory = work;
    const std::string archive = PacketArchivePath(settings);
    PackPacket(zip, progress, archive, temp);

    EXPECT_EQ(zip.ResultCode, 0);
    const CommandOutput test = RunShell("unzip -t -q '" + archive + "'");
    EXPECT_EQ(test.status, 0) << test.text;
    EXPECT_EQ(ArchiveNames(archive),
              (std::set<std::string>{"CONTROL.DAT", "EMPTY.TXT", "MESSAGES.DAT", "NODOT"}));

    ASSERT_GE(progress.calls.size(), 3u);
    EXPECT_EQ(progress.calls.front(), "caption Zipping MYBBS.QWK");
    EXPECT_EQ(progress.calls.back(), "hide");
    EXPECT_EQ(progress.percents.back(), 100);

    const std::string out = root.File("out");
    ASSERT_TRUE(Extract(archive, out)) << unzip.ResultCode;
    EXPECT_EQ(unzip.ReturnCount, 4);
    EXPECT_EQ(TempWorkDirectory::Read(out + "/MESSAGES.DAT"), messages);
    EXPECT_EQ(TempWorkDirectory::Read(out + "/CONTROL.DAT"), "Zandrel\r\n");
    EXPECT_EQ(TempWorkDirectory::Read(out + "/NODOT"), "no extension\r\n");
    EXPECT_TRUE(fs::exists(out + "/EMPTY.TXT"));
}

TEST_F(ZipRoundTrip, PrepareEmptiesTempAndKeepsAnUncollectedArchive) {
    TempWorkDirectory::Write(temp + "/LEFTOVER.DAT", "old");
    Settings settings;
    settings.QwkId = "";
    settings.WorkDirectory = work + "/";
    TempWorkDirectory::Write(work + "/.QWK", "previous packet");

    const std::string archive = PreparePacket(settings, temp);
    EXPECT_EQ(archive, work + "/.QWK");
    EXPECT_EQ(TempWorkDirectory::Read(archive), "previous packet");
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(ZipRoundTrip, FileSpecMatchesWithoutRegardToCase) {
    const std::string archive = work + "/MYBBS.REP";
    ASSERT_TRUE(CraftedArchive(archive).Add("MYBBS.MSG", "reply").Add("OTHER.TXT", "x").Close());
    const std::string out = root.File("out");
    ASSERT_TRUE(Extract(archive, out, "mybbs.msg"));
    EXPECT_EQ(FilesBelow(out), std::vector<std::string>{"MYBBS.MSG"});
    EXPECT_EQ(TempWorkDirectory::Read(out + "/MYBBS.MSG"), "reply");

    EXPECT_FALSE(Extract(archive, out, "NOTHERE.MSG"));
    EXPECT_NE(unzip.ResultCode, 0);
}

TEST_F(ZipRoundTrip, EntriesThatLeaveTheDestinationRefuseTheWholeArchive) {
    const std::string outside = root.File("outside");
    fs::create_directories(outside);
    const std::string destination = outside + "/dest";
    fs::create_directories(destination);
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"../escaped.txt", "climbs one level"},
        {"sub/../../escaped.txt", "climbs after a directory"},
        {"..\\escaped.txt", "climbs with a backslash"},
        {outside + "/absolute.txt", "absolute"},
        {"C:/absolute.txt", "drive letter"},
    };
    for (const auto& [name, why] : hostile) {
        const std::string archive = work + "/hostile.zip";
        ASSERT_TRUE(CraftedArchive(archive).Add("FIRST.MSG", "ok").Add(name, "bad").Close());
        const auto before = FilesBelow(root.Path());
        EXPECT_FALSE(Extract(archive, destination)) << why;
        EXPECT_EQ(unzip.ResultCode, DZ_UNSAFE_ENTRY) << why;
        EXPECT_EQ(FilesBelow(root.Path()), before) << why << ": nothing written";
        EXPECT_TRUE(fs::is_empty(destination)) << why << ": not even the harmless entry";
    }

    const std::string linked = work + "/link.zip";
    ASSERT_TRUE(CraftedArchive(linked).AddLink("MYBBS.MSG", outside).Close());
    EXPECT_FALSE(Extract(linked, destination));
    EXPECT_EQ(unzip.ResultCode, DZ_UNSAFE_ENTRY);
    EXPECT_TRUE(fs::is_empty(destination));
}

TEST_F(ZipRoundTrip, ALinkAlreadyInTheDestinationIsNotWrittenThrough) {
    const std::string victim = root.File("victim.txt");
    TempWorkDirectory::Write(victim, "untouched");
    const std::string destination = root.File("dest");
    fs::create_directories(destination);
    fs::create_symlink(victim, destination + "/MYBBS.MSG");

    const std::string archive = work + "/MYBBS.REP";
    ASSERT_TRUE(CraftedArchive(archive).Add("MYBBS.MSG", "overwritten").Close());
    EXPECT_FALSE(Extract(archive, destination));
    EXPECT_EQ(TempWorkDirectory::Read(victim), "untouched");
}

TEST_F(ZipRoundTrip, ArchivesStatingMoreThanAGibibyteInAllAreRefused) {
    const std::string archive = work + "/big.zip";
    ASSERT_TRUE(CraftedArchive(archive).Add("A.DAT", "aaaa").Add("B.DAT", "bbbb").Close());
    StateSizes(archive, {0x30000000, 0x30000000}); // 768 MiB each, 1.5 GiB together
    const std::string destination = root.File("dest");
    EXPECT_FALSE(Extract(archive, destination));
    EXPECT_EQ(unzip.ResultCode, DZ_TOO_LARGE);
    EXPECT_FALSE(fs::exists(destination) && !fs::is_empty(destination));
}

TEST_F(ZipRoundTrip, AnEntryHoldingMoreThanItStatesLeavesNoFile) {
    const std::string archive = work + "/liar.zip";
    ASSERT_TRUE(CraftedArchive(archive).Add("MYBBS.MSG", std::string(5000, 'x')).Close());
    StateSizes(archive, {100});
    const std::string destination = root.File("dest");
    EXPECT_FALSE(Extract(archive, destination));
    EXPECT_FALSE(fs::exists(destination + "/MYBBS.MSG"));
}

TEST_F(ZipRoundTrip, AHandlerThatCancelsStopsBothLibraries) {
    TempWorkDirectory::Write(temp + "/MESSAGES.DAT", EveryByteValue(200000));
    const auto cancel = [](const char*, std::int32_t, bool& doCancel) { doCancel = true; };
    zip.OnMajorCallback = cancel;
    zip.lpszZipFile.SetText(work + "/cancelled.qwk");
    zip.lpszItemList.SetText("\"" + temp + "/*.*\"");
    EXPECT_FALSE(zip.Execute(4));
    EXPECT_EQ(zip.ResultCode, DZ_CANCELLED);
    EXPECT_FALSE(fs::exists(work + "/cancelled.qwk"));

    const std::string archive = work + "/MYBBS.REP";
    ASSERT_TRUE(CraftedArchive(archive).Add("MYBBS.MSG", std::string(200000, 'r')).Close());
    unzip.OnMinorCallback = cancel;
    const std::string destination = root.File("dest");
    EXPECT_FALSE(Extract(archive, destination));
    EXPECT_EQ(unzip.ResultCode, DZ_CANCELLED);
    EXPECT_FALSE(fs::exists(destination + "/MYBBS.MSG"));
}

TEST_F(ZipRoundTrip, NothingToPackCreatesNoArchive) {
    zip.lpszZipFile.SetText(work + "/EMPTY.QWK");
    zip.lpszItemList.SetText("\"" + temp + "/*.*\"");
    EXPECT_FALSE(zip.Execute(4));
    EXPECT_EQ(zip.ResultCode, DZ_NOTHING_TO_DO);
    EXPECT_FALSE(fs::exists(work + "/EMPTY.QWK"));
}

} // namespace
