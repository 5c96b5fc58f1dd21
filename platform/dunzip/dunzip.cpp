// libdunzip32: the extracting zip library. One entry point, dunzip, takes an
// UnzipCommand; action 8 extracts the entries matching the file spec.
//
// The archives it opens come from other programs, so it checks every entry it
// is asked for before writing anything: a name that is empty, absolute or
// climbs out with "..", a symbolic link, or more than ExtractionLimit bytes in
// all make the whole action fail with nothing written. Files are created
// through directory handles that never follow a link, so nothing lands
// outside the destination even when the destination already holds links.
#include "zipcommon/name_patterns.h"
#include "zipcommon/status_report.h"
#include "zipcommon/zip_commands.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr std::uint64_t ExtractionLimit = std::uint64_t{1} << 30;

struct Entry {
    zip_uint64_t index;
    std::string name;
    std::uint64_t size;
    time_t modified;
    bool isDirectory;
    std::vector<std::string> parts; // the path below the destination
};

// The parts of an entry name, taking '\' as a separator too, since archives
// made on other systems use it. Empty when the name may not be extracted.
std::vector<std::string> SafeParts(const std::string& name) {
    std::vector<std::string> parts;
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return {};
    if (name.size() >= 2 && name[1] == ':')
        return {}; // a drive letter
    std::string part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (part == "..")
                return {};
            if (!part.empty() && part != ".")
                parts.push_back(part);
            part.clear();
        } else {
            part += name[i];
        }
    }
    return parts;
}

bool IsLink(zip_t* zip, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(zip, index, 0, &system, &attributes) != 0)
        return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

bool Wanted(const std::string& name, const std::vector<std::string>& patterns) {
    if (patterns.empty())
        return true;
    for (const std::string& pattern : patterns)
        if (zipcommon::MatchesFilePattern(name, pattern))
            return true;
    return false;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }
    // Closes now, so that a failure to write the last bytes is seen.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

// Opens (making it when missing) each directory of parts below root, never
// through a link. The last `keep` parts are not directories and are left.
Descriptor OpenDirectoryBelow(int root, const std::vector<std::string>& parts, std::size_t keep) {
    Descriptor current(::dup(root));
    for (std::size_t i = 0; i + keep < parts.size() && current.ok(); ++i) {
        if (::mkdirat(current.get(), parts[i].c_str(), 0755) != 0 && errno != EEXIST)
            return Descriptor();
        current = Descriptor(::openat(current.get(), parts[i].c_str(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return current;
}

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::int32_t WriteEntry(zip_t* zip, int destination, const Entry& entry, std::uint64_t& total,
                        zipcommon::StatusReport& report) {
    Descriptor directory = OpenDirectoryBelow(destination, entry.parts, 1);
    if (!directory.ok())
        return DZ_WRITE_FAILED;
    const char* fileName = entry.parts.back().c_str();
    std::unique_ptr<zip_file_t, ZipFileCloser> in(zip_fopen_index(zip, entry.index, 0));
    if (!in)
        return DZ_READ_FAILED;
    Descriptor out(::openat(directory.get(), fileName,
                            O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.ok())
        return DZ_WRITE_FAILED;

    const auto fail = [&](std::int32_t code) {
        ::unlinkat(directory.get(), fileName, 0);
        return code;
    };
    std::vector<char> buffer(1 << 16);
    std::uint64_t written = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(in.get(), buffer.data(), buffer.size());
        if (got < 0)
            return fail(DZ_READ_FAILED);
        if (got == 0)
            break;
        written += static_cast<std::uint64_t>(got);
        total += static_cast<std::uint64_t>(got);
        // The stated sizes were checked against the limit; data beyond what
        // an entry states is not trusted either.
        if (written > entry.size)
            return fail(DZ_READ_FAILED);
        if (total > ExtractionLimit)
            return fail(DZ_TOO_LARGE);
        for (zip_int64_t done = 0; done < got;) {
            const ssize_t n =
                ::write(out.get(), buffer.data() + done, static_cast<size_t>(got - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return fail(DZ_WRITE_FAILED);
            }
            done += n;
        }
        const auto percent =
            entry.size == 0 ? 100 : static_cast<std::int32_t>(written * 100 / entry.size);
        if (!report.Minor(entry.name, percent))
            return fail(DZ_CANCELLED);
    }
    if (written != entry.size)
        return fail(DZ_READ_FAILED);
    const timespec times[2] = {{entry.modified, 0}, {entry.modified, 0}};
    ::futimens(out.get(), times);
    if (out.Close() != 0)
        return fail(DZ_WRITE_FAILED);
    return DZ_OK;
}

std::int32_t Extract(UnzipCommand& command) {
    if (command.lpszZipFile == nullptr || command.lpszZipFile[0] == '\0')
        return DZ_OPEN_FAILED;
    int openError = 0;
    zip_t* zip = zip_open(command.lpszZipFile, ZIP_RDONLY, &openError);
    if (zip == nullptr)
        return DZ_OPEN_FAILED;
    const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(zip, zip_discard);

    const std::vector<std::string> patterns = zipcommon::SplitNameList(command.lpszFileSpec);
    std::vector<Entry> entries;
    std::uint64_t declared = 0;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        const auto index = static_cast<zip_uint64_t>(i);
        if (zip_stat_index(zip, index, 0, &stat) != 0 || stat.name == nullptr)
            return DZ_READ_FAILED;
        const std::string name = stat.name;
        if (!Wanted(name, patterns))
            continue;
        // An empty name has no parts either, so it is refused here too.
        std::vector<std::string> parts = SafeParts(name);
        if (parts.empty() || IsLink(zip, index))
            return DZ_UNSAFE_ENTRY;
        const bool isDirectory = name.back() == '/' || name.back() == '\\';
        if (isDirectory && (command.NoDirectoryNamesFlag != 0 || command.NoDirectoryItemsFlag != 0))
            continue;
        if (command.NoDirectoryNamesFlag != 0)
            parts.erase(parts.begin(), parts.end() - 1);
        const std::uint64_t size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
        declared += size;
        if (declared > ExtractionLimit)
            return DZ_TOO_LARGE;
        const time_t modified = (stat.valid & ZIP_STAT_MTIME) != 0 ? stat.mtime : 0;
        entries.push_back({index, name, size, modified, isDirectory, std::move(parts)});
    }
    if (entries.empty())
        return DZ_NOTHING_TO_DO;

    const std::string destination =
        command.lpszDestination != nullptr && command.lpszDestination[0] != '\0'
            ? command.lpszDestination
            : ".";
    std::error_code error;
    std::filesystem::create_directories(destination, error);
    const Descriptor root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.ok())
        return DZ_WRITE_FAILED;

    zipcommon::StatusReport report(command.MajorProc, command.MajorData, command.MinorProc,
                                   command.MinorData);
    std::uint64_t total = 0;
    std::int32_t extracted = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (!report.Major(entry.name, static_cast<std::int32_t>(i * 100 / entries.size())))
            return DZ_CANCELLED;
        if (entry.isDirectory) {
            if (!OpenDirectoryBelow(root.get(), entry.parts, 0).ok())
                return DZ_WRITE_FAILED;
            continue;
        }
        if (const std::int32_t result = WriteEntry(zip, root.get(), entry, total, report);
            result != DZ_OK)
            return result;
        ++extracted;
    }
    report.Major(entries.back().name, 100);
    command.ReturnCount = extracted;
    return DZ_OK;
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t dunzip(UnzipCommand* command) {
    if (command == nullptr ||
        command->StructSize != static_cast<std::int32_t>(sizeof(UnzipCommand)))
        return DZ_BAD_RECORD;
    try {
        switch (command->ActionCode) {
        case UnzipActionExtract:
            return Extract(*command);
        default:
            return DZ_UNKNOWN_ACTION;
        }
    } catch (...) {
        // Nothing may unwind into the caller.
        return DZ_WRITE_FAILED;
    }
}
