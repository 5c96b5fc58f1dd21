// TUnzipFile: the unzip component over libdunzip32.so and its entry point dunzip.
#pragma once

#include "archive/dyna_zip.h"
#include "archive/member_set.h"
#include "archive/tlpstr.h"
#include "dynamic_library.h"

#include <cstdint>
#include <memory>

enum class TUnzipFlag {
    FreshenFlag,
    UpdateFlag,
    OverWriteFlag,
    QuietFlag,
    TestFlag,
    NoDirectoryNamesFlag,
    RecurseFlag,
    NoDirectoryItemsFlag,
    bDiagnostic,
    bLF2CRLFFlag,
    DecryptFlag,
};
enum class TUnzipSubOption {
    USO_OVERWRITE_RO,
    USO_MINORCANCEL,
    USO_EXTERNALPROG,
    USO_EXTPROGCANCEL,
    USO_IGNORELONGNAMES,
    USO_MANGLELONGNAMES,
};

using TUnzipFlags = MemberSet<TUnzipFlag>;
using TUnzipSubOptions = MemberSet<TUnzipSubOption>;

class TUnzipFile : public TDynaZip {
public:
    static constexpr const char* LibraryFileName = "libdunzip32.so";
    static constexpr const char* EntryPointName = "dunzip";
    static constexpr std::size_t InfoBufferSize = 310;

    // Loads the library (see LibraryFailureHandler) and sets the defaults.
    TUnzipFile();
    ~TUnzipFile() override;

    // Runs one library action with the current properties; true when the
    // library reports success, and then ReturnCount takes the record's value.
    // Codes outside 1 to 9 never reach the library. Action 8 extracts the
    // entries matching lpszFileSpec (letter case ignored) into lpszDestination.
    bool Execute(std::int32_t actionCode);

    TLPStr lpszZipFile;
    TLPStr lpszFileSpec;
    std::int32_t IndexofItem = 0;
    TLPStr lpszDestination;
    TUnzipFlags Options;
    TLPStr lpszDecryptCode;
    TUnzipSubOptions wUnzipSubOptions;
    TLPStr lpszExtProgTitle;
    TLPStr lpszReturnString;

    std::int32_t ReturnCount = 0;
    // The library may write here; the program never reads it.
    std::unique_ptr<std::uint8_t[]> InfoBuffer;
    // Carried by the record; nothing in the program sets them.
    std::int32_t UnsetField1 = 0;
    std::int32_t UnsetField2 = 0;
    std::int32_t UnsetField3 = 0;

    // The entry point every unzip component calls; exchanged by callers that
    // must see the records (returns the one that was in place).
    static DUnzipEntry ExchangeEntryPoint(DUnzipEntry entry);

private:
    void FillCommand(UnzipCommand& command) const;
    DynamicLibrary library_;
};
