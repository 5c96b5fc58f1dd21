// TZipFile: the zip component over libdzip32.so and its entry point dzip.
#pragma once

#include "archive/dyna_zip.h"
#include "archive/member_set.h"
#include "archive/tlpstr.h"
#include "dynamic_library.h"

#include <cstdint>

enum class TZipFlag {
    RecurseFlag,
    PathForTempFlag,
    FixFlag,
    FixHarderFlag,
    IncludeVolumeFlag,
    DeleteOriginalFlag,
    GrowExistingFlag,
    NoDirectoryNamesFlag,
    AddCommentFlag,
    AfterDateFlag,
    OldAsLatestFlag,
    IncludeOnlyFollowingFlag,
    ExcludeFollowingFlag,
    NoDirectoryEntriesFlag,
    IncludeSysHiddenFlag,
    bDiagnostic,
};
enum class TZipFormat {
    DosifyFlag,
    EncryptFlag,
    DontCompressTheseSuffixesFlag,
    ConvertLFtoCRLFFlag,
    QuietFlag,
};
enum class TMultiVolFlag {
    MV_USEMULTI,
    MV_FORMAT,
    MV_LOWDENSE,
    MV_WIPE,
    MV_SUBDIR,
    MV_SYSHIDE,
    MV_CDFIRST
};
enum class TZipSubOption {
    ZSO_RELATIVEPATH,
    ZSO_MINORCANCEL,
    ZSO_EXTERNALPROG,
    ZSO_EXTPROGCANCEL,
    ZSO_IGNORELONGNAMES,
    ZSO_MANGLELONGNAMES,
};

using TZipFlags = MemberSet<TZipFlag>;
using TZipFormats = MemberSet<TZipFormat>;
using TMultiVolFlags = MemberSet<TMultiVolFlag>;
using TZipSubOptions = MemberSet<TZipSubOption>;

// The library's word for a multi-volume set: each member has its own value.
std::uint16_t MultiVolWord(TMultiVolFlags flags);

class TZipFile : public TDynaZip {
public:
    static constexpr const char* LibraryFileName = "libdzip32.so";
    static constexpr const char* EntryPointName = "dzip";

    // Loads the library (see LibraryFailureHandler) and sets the defaults.
    TZipFile();
    ~TZipFile() override;

    // Runs one library action with the current properties; true when the
    // library reports success. Codes outside 1 to 9 never reach the library.
    // Action 4 creates lpszZipFile from the files lpszItemList names.
    bool Execute(std::int32_t actionCode);

    std::int32_t CompFactor = 5;
    TZipFormats ZipFormats;
    TMultiVolFlags wMultiVolControl;
    TZipSubOptions wZipSubOptions;
    TLPStr lpszZipFile;
    TLPStr lpszItemList;
    TZipFlags Options;
    TLPStr lpszEncryptCode;
    TLPStr lpszExtProgTitle;
    TLPStr lpszTempPath;
    TLPStr lpszComment;
    TLPStr lpszDate;
    TLPStr lpszIncludeFollowing;
    TLPStr lpszExcludeFollowing;
    TLPStr lpszStoreSuffixes;

    // Carried by the record; nothing in the program sets them.
    std::int32_t UnsetField1 = 0;
    std::int32_t UnsetField2 = 0;

    // The entry point every zip component calls; exchanged by callers that
    // must see the records (returns the one that was in place).
    static DZipEntry ExchangeEntryPoint(DZipEntry entry);

private:
    void FillCommand(ZipCommand& command) const;
    DynamicLibrary library_;
};
