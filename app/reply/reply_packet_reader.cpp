#include "reply/reply_packet_reader.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "ascii.h"
#include "atomic_file.h"
#include "core/run_views.h"
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

// Unpacks every file of the archive into the directory while the progress
// window shows; the window is hidden again however the unzip ends.
bool UnpackReplyArchive(TUnzipFile& unzip, ProgressView& progress, const std::string& archive,
                        const std::string& destination) {
    progress.SetCaption("Unzipping " + ascii::Upper(FileNamePart(archive)));
    progress.SetItem("");
    progress.SetPercent(0);
    progress.Show();
    struct HideProgress {
        ProgressView& view;
        ~HideProgress() { view.Hide(); }
    } hide{progress};
    unzip.lpszDestination.SetText(destination);
    unzip.lpszFileSpec.SetText("*.*");
    unzip.lpszZipFile.SetText(archive);
    return unzip.Execute(UnzipActionExtract);
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

std::string DecodeReplyText(std::string_view textBlocks) {
    std::string body;
    body.reserve(textBlocks.size() + textBlocks.size() / 16);
    for (char c : textBlocks) {
        if (c == qwk::LineEnd)
            body += "\r\n";
        else
            body += c;
    }
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
    VxEmptyDirectory(tempDirectory_);
    if (!UnpackReplyArchive(unzip, progress, archivePath_, tempDirectory_))
        return false;
    const auto messageFile = FindFileIgnoringCase(tempDirectory_, settings_.QwkId + ".MSG");
    if (!messageFile || !OpenMessageFile(*messageFile))
        return false;
    std::error_code error;
    for (fs::directory_iterator it(tempDirectory_, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file(error) && it->path().string() != *messageFile)
            otherUnpackedFiles_.push_back(it->path().string());
    return true;
}

bool ReplyPacketReader::OpenMessageFile(const std::string& path) {
    messageFilePath_ = path;
    std::error_code error;
    fileSize_ = fs::file_size(path, error);
    if (error)
        return false;
    messageFile_.open(path, std::ios::binary);
    if (!messageFile_)
        return false;
    // The first block names the packet; no reply starts before record 1.
    messageFile_.read(firstBlock_.data(), qwk::BlockSize);
    if (messageFile_.gcount() != static_cast<std::streamsize>(qwk::BlockSize)) {
        messageFile_.close();
        return false;
    }
    return true;
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
    reply.Body = DecodeReplyText(text);
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
