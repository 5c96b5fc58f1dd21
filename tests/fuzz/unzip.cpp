// The unzip library over an archive from outside, driven through its entry
// point as the unzip component does. Whatever the archive holds, it may
// write below the destination only, never a link, nothing at all when it
// refuses the archive, and never touch the archive itself.
#include "fuzz_check.h"
#include "support/temp_directory.h"
#include "zipcommon/zip_commands.h"

#include <filesystem>
#include <system_error>

extern "C" std::int32_t dunzip(UnzipCommand* command);

namespace fs = std::filesystem;

namespace {

struct Written {
    std::size_t files = 0;
    std::size_t directories = 0;
};

// What lies below the directory; a link, or anything but files and
// directories, stops the run.
Written WrittenBelow(const fs::path& directory) {
    Written written;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        const fs::file_type type = entry.symlink_status().type();
        FUZZ_CHECK(type == fs::file_type::regular || type == fs::file_type::directory);
        ++(type == fs::file_type::regular ? written.files : written.directories);
    }
    return written;
}

void Extract(const fs::path& archive, const fs::path& destination, bool noDirectoryNames) {
    fs::create_directory(destination);
    std::string zipFile = archive.string(), fileSpec = "*.*", target = destination.string();
    UnzipCommand command{};
    command.StructSize = sizeof command;
    command.ActionCode = UnzipActionExtract;
    command.lpszZipFile = zipFile.data();
    command.lpszFileSpec = fileSpec.data();
    command.lpszDestination = target.data();
    command.NoDirectoryNamesFlag = noDirectoryNames;
    const std::int32_t result = dunzip(&command);

    const Written written = WrittenBelow(destination);
    if (noDirectoryNames)
        FUZZ_CHECK(written.directories == 0);
    if (result == DZ_OK) {
        // Entries of one name share a file.
        FUZZ_CHECK(command.ReturnCount >= 0);
        FUZZ_CHECK(written.files <= static_cast<std::size_t>(command.ReturnCount));
        FUZZ_CHECK((written.files == 0) == (command.ReturnCount == 0));
    } else if (result == DZ_UNSAFE_ENTRY || result == DZ_TOO_LARGE || result == DZ_OPEN_FAILED ||
               result == DZ_NOTHING_TO_DO) {
        // Refused before anything was written.
        FUZZ_CHECK(written.files == 0 && written.directories == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TempWorkDirectory directory(false);
    const fs::path root = fs::path(directory.Path()) / "run";
    fs::remove_all(root);
    fs::create_directory(root);
    const std::string bytes = FuzzBytes(data, size);
    const fs::path archive = root / "FUZZ.REP";
    TempWorkDirectory::Write(archive.string(), bytes);

    Extract(archive, root / "dest", false);
    Extract(archive, root / "flat", true);

    for (const auto& entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        FUZZ_CHECK(name == "FUZZ.REP" || name == "dest" || name == "flat");
    }
    FUZZ_CHECK(TempWorkDirectory::Read(archive.string()) == bytes);
    return 0;
}
