// libdzip32: the compressing zip library. One entry point, dzip, takes a
// ZipCommand; action 4 adds files to an archive, creating it.
#include "zipcommon/name_patterns.h"
#include "zipcommon/status_report.h"
#include "zipcommon/zip_commands.h"

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct FileToAdd {
    fs::path source;
    std::string storedName;
};

// A stored name never starts at the root or climbs: the leading '/' and any
// "." or ".." parts of the path as given are dropped.
std::string RelativeStoredName(const fs::path& path) {
    std::string stored;
    for (const auto& part : path.relative_path()) {
        const std::string piece = part.string();
        if (piece.empty() || piece == "." || piece == "..")
            continue;
        if (!stored.empty())
            stored += '/';
        stored += piece;
    }
    return stored;
}

// The files one item of the list names: a path whose last part may hold
// wildcards.
void CollectItem(const std::string& item, const ZipCommand& command,
                 std::vector<FileToAdd>& files) {
    const fs::path itemPath(item);
    fs::path directory = itemPath.parent_path();
    const std::string pattern = itemPath.filename().string();
    if (directory.empty())
        directory = ".";
    const auto consider = [&](const fs::directory_entry& entry) {
        std::error_code error;
        if (!entry.is_regular_file(error))
            return;
        const std::string name = entry.path().filename().string();
        if (!zipcommon::MatchesFilePattern(name, pattern))
            return;
        const std::string stored = command.NoDirectoryNamesFlag != 0
                                       ? name
                                       : RelativeStoredName(itemPath.parent_path() /
                                                            fs::relative(entry.path(), directory));
        files.push_back({entry.path(), stored});
    };

    std::error_code error;
    if (!zipcommon::HasWildcard(pattern) && fs::is_regular_file(itemPath, error)) {
        consider(fs::directory_entry(itemPath, error));
        return;
    }
    if (command.RecurseFlag != 0) {
        for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
             it.increment(error))
            consider(*it);
    } else {
        for (fs::directory_iterator it(directory, error), end; !error && it != end;
             it.increment(error))
            consider(*it);
    }
}

// Everything the item list names except the archive itself, in name order.
std::vector<FileToAdd> CollectFiles(const ZipCommand& command, const fs::path& archive) {
    std::vector<FileToAdd> files;
    for (const std::string& item : zipcommon::SplitNameList(command.lpszItemList))
        CollectItem(item, command, files);
    std::error_code error;
    std::erase_if(
        files, [&](const FileToAdd& file) { return fs::equivalent(file.source, archive, error); });
    std::sort(files.begin(), files.end(),
              [](const FileToAdd& a, const FileToAdd& b) { return a.storedName < b.storedName; });
    return files;
}

// libzip compresses while it closes the archive and reports one fraction
// over all entries, each entry taking an equal share in index order.
struct CloseProgress {
    zipcommon::StatusReport* report;
    std::vector<std::string> entryNames;
};

void OnCloseProgress(zip_t*, double fraction, void* data) {
    auto& progress = *static_cast<CloseProgress*>(data);
    if (progress.entryNames.empty())
        return;
    const double position = fraction * static_cast<double>(progress.entryNames.size());
    const auto index =
        std::min<std::size_t>(static_cast<std::size_t>(position), progress.entryNames.size() - 1);
    const std::string& item = progress.entryNames[index];
    const auto withinEntry = static_cast<std::int32_t>(
        std::lround(std::min(1.0, position - static_cast<double>(index)) * 100));
    progress.report->Major(item, static_cast<std::int32_t>(std::lround(fraction * 100)));
    progress.report->Minor(item, withinEntry);
}

int OnCloseCancel(zip_t*, void* data) {
    return static_cast<CloseProgress*>(data)->report->Cancelled() ? 1 : 0;
}

std::int32_t AddFiles(const ZipCommand& command) {
    if (command.lpszZipFile == nullptr || command.lpszZipFile[0] == '\0')
        return DZ_OPEN_FAILED;
    const char* const zipFile = command.lpszZipFile; // the record is packed: no references into it
    const fs::path archive(zipFile);
    const std::vector<FileToAdd> files = CollectFiles(command, archive);
    if (files.empty())
        return DZ_NOTHING_TO_DO;

    int openError = 0;
    const int openFlags = ZIP_CREATE | (command.GrowExistingFlag != 0 ? 0 : ZIP_TRUNCATE);
    zip_t* zip = zip_open(command.lpszZipFile, openFlags, &openError);
    if (zip == nullptr)
        return DZ_OPEN_FAILED;

    const std::int32_t level = std::clamp<std::int32_t>(+command.CompFactor, 0, 9);
    for (const FileToAdd& file : files) {
        zip_source_t* source = zip_source_file(zip, file.source.c_str(), 0, -1);
        if (source == nullptr) {
            zip_discard(zip);
            return DZ_READ_FAILED;
        }
        const zip_int64_t index =
            zip_file_add(zip, file.storedName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return DZ_WRITE_FAILED;
        }
        if (level == 0)
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        else
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                     static_cast<zip_uint32_t>(level));
    }

    zipcommon::StatusReport report(command.MajorProc, command.MajorData, command.MinorProc,
                                   command.MinorData);
    CloseProgress progress{&report, {}};
    const zip_int64_t entries = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0);
        progress.entryNames.emplace_back(name != nullptr ? name : "");
    }
    zip_register_progress_callback_with_state(zip, 0.01, OnCloseProgress, nullptr, &progress);
    zip_register_cancel_callback_with_state(zip, OnCloseCancel, nullptr, &progress);

    if (zip_close(zip) != 0) {
        const int reason = zip_error_code_zip(zip_get_error(zip));
        zip_discard(zip);
        if (report.Cancelled() || reason == ZIP_ER_CANCELLED)
            return DZ_CANCELLED;
        return reason == ZIP_ER_READ || reason == ZIP_ER_OPEN ? DZ_READ_FAILED : DZ_WRITE_FAILED;
    }
    report.Major(progress.entryNames.back(), 100);
    return DZ_OK;
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t dzip(ZipCommand* command) {
    if (command == nullptr || command->StructSize != static_cast<std::int32_t>(sizeof(ZipCommand)))
        return DZ_BAD_RECORD;
    try {
        switch (command->ActionCode) {
        case ZipActionAddFiles:
            return AddFiles(*command);
        default:
            return DZ_UNKNOWN_ACTION;
        }
    } catch (...) {
        // Nothing may unwind into the caller.
        return DZ_WRITE_FAILED;
    }
}
