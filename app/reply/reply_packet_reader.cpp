#include "reply/reply_packet_reader.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "ascii.h"
#include "atomic_file.h"
#include "core/run_views.h"
#include "qwk_format/message_file.h"
#include "qwk_format/packet_packing.h"
#include "vxutil.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A block count field holds decimal digits only; anything else means the
// file is not what it claims to be.
std::optional<long> ParseBlockCount(const std::string& text) {
    if (text.empty() || text.size() > qwk::header::BlockCount.width)
        return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string FileNamePart(const std::string& path) {
    return fs::path(path).filename().string();
}

// Extracts the archive's entries whose names match the pattern into the
// directory. The number of files written, or nullopt when the library fails.
std::optional<int> ExtractEntries(TUnzipFile& unzip, const std::string& archive,
                                  const std::string& destination, const std::string& pattern) {
    unzip.lpszDestination.SetText(destination);
    unzip.lpszFileSpec.SetText(pattern);
    unzip.lpszZipFile.SetText(archive);
    if (!unzip.Execute(UnzipActionExtract))
        return std::nullopt;
    return unzip.ReturnCount;
}

} // namespace

std::optional<std::string> FindFileIgnoringCase(const std::string& directory,
                                                const std::string& fileName) {
    std::error_code error;
    const fs::path exact = fs::path(directory) / fileName;
    if (fs::is_regular_file(exact, error))
        return exact.string();
    std::optional<std::string> found;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!ascii::EqualIgnoringCase(name, fileName) || !it->is_regular_file(error))
            continue;
        // Several spellings of one name: take the same one every time.
        if (!found || it->path().string() < *found)
            found = it->path().string();
    }
    return found;
}

std::optional<std::string> FindReplyArchive(const Settings& settings) {
    return FindFileIgnoringCase(settings.WorkDirectory, settings.QwkId + ".REP");
}

std::string DecodeReplyText(std::string_view textBlocks, mime::PacketCharset charset) {
    std::string body;
    body.reserve(textBlocks.size() + textBlocks.size() / 16);
    std::size_t start = 0;
    for (const std::size_t end : mime::QwkLineEnds(textBlocks, charset)) {
        body.append(textBlocks.substr(start, end - start)).append("\r\n");
        start = end + 1;
    }
    body.append(textBlocks.substr(start));
    const auto last = body.find_last_not_of(' ');
    body.erase(last == std::string::npos ? 0 : last + 1);
    return body;
}

const NewsGroupRecord* FindConferenceGroup(const NewsGroupTable& table, std::uint16_t conference) {
    for (std::size_t i = 0; i < table.Count(); ++i)
        if (table[i].Conference == conference)
            return &table[i];
    return nullptr;
}

ReplyPacketReader::ReplyPacketReader(const Settings& settings, std::string archivePath,
                                     std::string tempDirectory)
    : settings_(settings), archivePath_(std::move(archivePath)),
      tempDirectory_(std::move(tempDirectory)) {}

bool ReplyPacketReader::OpenReplyPacket(TUnzipFile& unzip, ProgressView& progress) {
    openFailure_.clear();
    VxEmptyDirectory(tempDirectory_);
    if (!UnpackPacket(unzip, progress, archivePath_, tempDirectory_))
        return Fail(FileNamePart(archivePath_) + " cannot be unpacked");
    if (!CheckUnpackedFiles(unzip, unzip.ReturnCount))
        return false;
    const std::string messageName = settings_.QwkId + ".MSG";
    const auto messageFile = FindFileIgnoringCase(tempDirectory_, messageName);
    if (!messageFile)
        return Fail(FileNamePart(archivePath_) + " holds no " + messageName);
    if (!OpenMessageFile(*messageFile))
        return false;
    std::error_code error;
    for (fs::directory_iterator it(tempDirectory_, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file(error) && it->path().string() != *messageFile)
            otherUnpackedFiles_.push_back(it->path().string());
    return true;
}

bool ReplyPacketReader::CheckUnpackedFiles(TUnzipFile& unzip, int extracted) {
    const std::string archiveName = FileNamePart(archivePath_);
    std::vector<std::string> files;
    std::vector<std::string> directories;
    std::error_code error;
    for (fs::directory_iterator it(tempDirectory_, error), end; !error && it != end;
         it.increment(error)) {
        const auto type = it->symlink_status(error).type();
        if (type == fs::file_type::directory)
            directories.push_back(it->path().filename().string());
        else if (type == fs::file_type::regular)
            files.push_back(it->path().filename().string());
    }
    if (error)
        return Fail(archiveName + " cannot be unpacked");
    // A directory, even one named like the message file, is nothing a reader
    // writes into a packet.
    if (!directories.empty())
        return Fail(archiveName + " cannot be read: it holds a directory (" +
                    *std::min_element(directories.begin(), directories.end()) + "/)");

    // Names that differ only in letter case are one file to the reader.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        const std::string upperA = ascii::Upper(a), upperB = ascii::Upper(b);
        return upperA != upperB ? upperA < upperB : a < b;
    });
    const auto twin = std::adjacent_find(
        files.begin(), files.end(),
        [](const std::string& a, const std::string& b) { return ascii::EqualIgnoringCase(a, b); });
    if (twin != files.end())
        return Fail(archiveName + " cannot be read: it holds " + *twin + " twice");

    // Entries of one name all land in one file, the last written winning:
    // fewer files than entries written means a name came twice. Extracting
    // name by name tells which; the message file is the one that matters.
    if (static_cast<std::size_t>(extracted) <= files.size())
        return true;
    const std::string messageName = settings_.QwkId + ".MSG";
    std::stable_partition(files.begin(), files.end(), [&](const std::string& name) {
        return ascii::EqualIgnoringCase(name, messageName);
    });
    for (const std::string& name : files) {
        const auto count = ExtractEntries(unzip, archivePath_, tempDirectory_, '"' + name + '"');
        if (count && *count > 1)
            return Fail(archiveName + " cannot be read: it holds " + name + " twice");
    }
    return Fail(archiveName + " cannot be read: it holds a file name twice");
}

bool ReplyPacketReader::Fail(std::string sentence) {
    openFailure_ = std::move(sentence);
    return false;
}

bool ReplyPacketReader::OpenMessageFile(const std::string& path) {
    messageFilePath_ = path;
    openFailure_.clear();
    const std::string unreadable =
        FileNamePart(path) + " in " + FileNamePart(archivePath_) + " cannot be read";
    std::error_code error;
    fileSize_ = fs::file_size(path, error);
    if (error)
        return Fail(unreadable);
    messageFile_.open(path, std::ios::binary);
    if (!messageFile_)
        return Fail(unreadable);
    // The first block names the packet; no reply starts before record 1.
    messageFile_.read(firstBlock_.data(), qwk::BlockSize);
    if (messageFile_.gcount() != static_cast<std::streamsize>(qwk::BlockSize)) {
        messageFile_.close();
        return Fail(FileNamePart(path) + " in " + FileNamePart(archivePath_) +
                    " is shorter than one block");
    }
    return true;
}

std::optional<std::size_t> ReplyPacketReader::ReplyCount() const {
    return qwk::CountMessages(messageFilePath_);
}

ReplyRead ReplyPacketReader::ReadReplyMessage(ReplyMessage& reply) {
    if (!messageFile_.is_open() || messageFile_.peek() == std::ifstream::traits_type::eof())
        return ReplyRead::End;

    const std::streampos replyStart = messageFile_.tellg();
    const auto damaged = [&] {
        // Keep everything from this reply on exactly as it is stored.
        messageFile_.clear();
        messageFile_.seekg(replyStart);
        unreadRest_.assign(std::istreambuf_iterator<char>(messageFile_),
                           std::istreambuf_iterator<char>());
        messageFile_.close();
        return ReplyRead::Damaged;
    };

    messageFile_.read(reply.Header.data(), qwk::BlockSize);
    if (messageFile_.gcount() != static_cast<std::streamsize>(qwk::BlockSize))
        return damaged();
    const auto blockCount = ParseBlockCount(qwk::HeaderText(reply.Header, qwk::header::BlockCount));
    if (!blockCount)
        return damaged();

    const std::size_t textBlocks = *blockCount > 1 ? static_cast<std::size_t>(*blockCount - 1) : 0;
    // A count beyond the end of the file is a short read; find it before
    // making room for blocks that are not there.
    const auto remaining = fileSize_ - static_cast<std::uintmax_t>(messageFile_.tellg());
    if (textBlocks > remaining / qwk::BlockSize)
        return damaged();
    reply.Records.assign(reply.Header.data(), qwk::BlockSize);
    std::string text(textBlocks * qwk::BlockSize, '\0');
    messageFile_.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (messageFile_.gcount() != static_cast<std::streamsize>(text.size()))
        return damaged();
    reply.Records += text;
    reply.Body = DecodeReplyText(text, settings_.CharacterSet);
    return reply.Body.empty() ? ReplyRead::Empty : ReplyRead::Reply;
}

void ReplyPacketReader::KeepReply(const ReplyMessage& reply) {
    keptRecords_ += reply.Records;
    ++keptReplies_;
}

ReplyPacketOutcome ReplyPacketReader::CloseReplyPacket(TZipFile& zip, ProgressView& progress) {
    if (messageFile_.is_open()) {
        messageFile_.clear(); // only the closing itself counts here
        messageFile_.close();
        if (messageFile_.fail())
            throw std::ios_base::failure("Cannot close " + messageFilePath_);
    }
    ReplyPacketOutcome outcome;
    outcome.KeptReplies = keptReplies_;
    outcome.KeptUnreadRest = !unreadRest_.empty();
    std::error_code error;
    if (keptReplies_ == 0 && unreadRest_.empty()) {
        fs::remove(archivePath_, error);
        outcome.ArchiveUpdated = !error;
    } else {
        outcome.ArchiveUpdated = WriteKeptPacket(zip, progress);
    }
    return outcome;
}

bool ReplyPacketReader::WriteKeptPacket(TZipFile& zip, ProgressView& progress) {
    // The kept packet is made in a directory of its own, so that the zip
    // takes exactly its files; the old archive is only replaced once the
    // new one is whole.
    const std::string scratch = VxSlashIt(tempDirectory_) + "kept-replies";
    const std::string packetFiles = VxSlashIt(scratch) + "packet";
    std::error_code error;
    fs::remove_all(scratch, error);
    // Nothing of it stays behind for the next packet made in TEMP.
    struct RemoveScratch {
        const std::string& path;
        ~RemoveScratch() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } removeScratch{scratch};
    if (!fs::create_directories(packetFiles, error))
        return false;

    const std::string keptMessageFile = VxSlashIt(packetFiles) + FileNamePart(messageFilePath_);
    {
        std::ofstream out(keptMessageFile, std::ios::binary | std::ios::trunc);
        out.write(firstBlock_.data(), qwk::BlockSize);
        out << keptRecords_ << unreadRest_;
        out.close();
        if (!out)
            return false;
    }
    // Whatever else the reader put into the packet goes back with it.
    for (const std::string& other : otherUnpackedFiles_)
        fs::copy_file(other, VxSlashIt(packetFiles) + FileNamePart(other), error);

    const std::string newArchive = VxSlashIt(scratch) + FileNamePart(archivePath_);
    if (!PackPacket(zip, progress, newArchive, packetFiles))
        return false;
    std::ifstream packed(newArchive, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(packed),
                            std::istreambuf_iterator<char>()};
    if (!packed || bytes.empty())
        return false;
    return WriteFileAtomically(archivePath_, bytes).ok();
}
