// The command records that the program hands to the zip libraries' entry
// points, and the callbacks the libraries call back through. One description,
// used by both libraries and by the program's archive components.
//
// The records are packed with no gaps, little-endian, fields in this order.
// Where addresses are 4 bytes wide that gives the library's historical sizes
// (188 and 142 bytes); on a 64-bit build every address field is a native
// pointer in the same place, so the records grow by 4 bytes per address.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The library's rename record; the program never looks inside it.
struct DZRename;
using PDZRename = DZRename*;

// Status: returns 1 to cancel the operation, 0 to go on.
using DZStatusProc = std::int32_t (*)(const char* szItem, std::int32_t percent, void* userValue);
// Message: MsgID and mbType are 16-bit values passed in 32-bit arguments.
using DZMessageProc = std::int32_t (*)(std::uint32_t msgId, std::uint32_t mbType, std::int32_t p1,
                                       std::int32_t p2, const char* lpsz1, const char* lpsz2,
                                       void* userValue);
// Rename: the result is always 0.
using DZRenameProc = std::int32_t (*)(PDZRename dzr, void* userValue);

// The action codes the program asks the libraries to carry out. The
// components pass on any code from 1 to 9; a library answers one it does not
// carry out with an error.
inline constexpr std::int32_t ZipActionAddFiles = 4;   // dzip: pack the item list
inline constexpr std::int32_t UnzipActionReadText = 6; // dunzip: hand back a text
inline constexpr std::int32_t UnzipActionExtract = 8;  // dunzip: unpack every entry

#pragma pack(push, 1)

// Passed to dzip. Flag fields hold exactly 0 or 1.
struct ZipCommand {
    std::int32_t StructSize;
    std::int32_t ActionCode;
    char* lpszZipFile;
    char* lpszItemList;
    DZStatusProc MajorProc;
    void* MajorData;
    DZStatusProc MinorProc;
    void* MinorData;
    std::int32_t DosifyFlag;
    std::int32_t RecurseFlag;
    std::int32_t CompFactor;
    std::int32_t QuietFlag;
    std::int32_t PathForTempFlag;
    char* lpszTempPath;
    std::int32_t FixFlag;
    std::int32_t FixHarderFlag;
    std::int32_t IncludeVolumeFlag;
    std::int32_t DeleteOriginalFlag;
    std::int32_t GrowExistingFlag;
    std::int32_t NoDirectoryNamesFlag;
    std::int32_t ConvertLFtoCRLFFlag;
    std::int32_t AddCommentFlag;
    char* lpszComment;
    std::int32_t AfterDateFlag;
    char* lpszDate;
    std::int32_t OldAsLatestFlag;
    std::int32_t IncludeOnlyFollowingFlag;
    char* lpszIncludeFollowing;
    std::int32_t ExcludeFollowingFlag;
    char* lpszExcludeFollowing;
    std::int32_t NoDirectoryEntriesFlag;
    std::int32_t IncludeSysHiddenFlag;
    std::int32_t DontCompressTheseSuffixesFlag;
    char* lpszStoreSuffixes;
    std::int32_t bDiagnostic;
    std::int32_t EncryptFlag;
    char* lpszEncryptCode;
    DZMessageProc MessageProc;
    void* MessageData;
    std::uint16_t wMultiVolControl;
    std::uint16_t wZipSubOptions;
    std::uint8_t Reserved[8];
    DZRenameProc RenameProc;
    void* RenameData;
    char* lpszExtProgTitle;
    std::int32_t UnsetField1;
    std::int32_t UnsetField2;
};

// Passed to dunzip. The status callbacks come minor first here.
struct UnzipCommand {
    std::int32_t StructSize;
    std::int32_t ActionCode;
    char* lpszZipFile;
    void* InfoBuffer;
    char* lpszFileSpec;
    std::int32_t IndexofItem;
    char* lpszDestination;
    std::int32_t FreshenFlag;
    std::int32_t UpdateFlag;
    std::int32_t OverWriteFlag;
    std::int32_t QuietFlag;
    std::int32_t TestFlag;
    std::int32_t NoDirectoryNamesFlag;
    std::int32_t RecurseFlag;
    std::int32_t NoDirectoryItemsFlag;
    DZStatusProc MinorProc;
    void* MinorData;
    DZStatusProc MajorProc;
    void* MajorData;
    std::int32_t ReturnCount;
    char* lpszReturnString;
    std::int32_t bDiagnostic;
    std::int32_t bLF2CRLFFlag;
    std::int32_t DecryptFlag;
    char* lpszDecryptCode;
    DZMessageProc MessageProc;
    void* MessageData;
    std::uint16_t wUnzipSubOptions;
    std::uint8_t Reserved[8];
    DZRenameProc RenameProc;
    void* RenameData;
    char* lpszExtProgTitle;
    std::int32_t UnsetField1;
    std::int32_t UnsetField2;
    std::int32_t UnsetField3;
};

#pragma pack(pop)

// The entry points, as the program looks them up by name.
using DZipEntry = std::int32_t (*)(ZipCommand* command);
using DUnzipEntry = std::int32_t (*)(UnzipCommand* command);

} // extern "C"

// How many address fields each record holds; each is 4 bytes on the platform
// the layout was made for and a native pointer here.
inline constexpr std::size_t ZipCommandAddressFields = 18;
inline constexpr std::size_t UnzipCommandAddressFields = 15;
inline constexpr std::size_t ZipCommandSize32 = 188;
inline constexpr std::size_t UnzipCommandSize32 = 142;

static_assert(sizeof(ZipCommand) ==
              ZipCommandSize32 + ZipCommandAddressFields * (sizeof(void*) - 4));
static_assert(sizeof(UnzipCommand) ==
              UnzipCommandSize32 + UnzipCommandAddressFields * (sizeof(void*) - 4));
#if UINTPTR_MAX == 0xffffffff
static_assert(sizeof(ZipCommand) == 188 && offsetof(ZipCommand, NoDirectoryNamesFlag) == 76 &&
              offsetof(ZipCommand, wMultiVolControl) == 156 &&
              offsetof(ZipCommand, RenameProc) == 168);
static_assert(sizeof(UnzipCommand) == 142 && offsetof(UnzipCommand, MinorProc) == 60 &&
              offsetof(UnzipCommand, ReturnCount) == 76 &&
              offsetof(UnzipCommand, wUnzipSubOptions) == 108 &&
              offsetof(UnzipCommand, RenameProc) == 118);
#endif

// What the libraries return. 0 is success; the program stores any other value
// without interpreting it.
enum DZResult : std::int32_t {
    DZ_OK = 0,
    DZ_BAD_RECORD = 1,     // null record or a StructSize this build does not know
    DZ_UNKNOWN_ACTION = 2, // an action code this library does not carry out
    DZ_NOTHING_TO_DO = 3,  // no file or entry matched
    DZ_OPEN_FAILED = 4,    // the archive could not be opened or created
    DZ_READ_FAILED = 5,    // a file or an entry could not be read
    DZ_WRITE_FAILED = 6,   // the archive or an extracted file could not be written
    DZ_CANCELLED = 7,      // a status callback asked to stop
    DZ_UNSAFE_ENTRY = 8,   // an entry would land outside the destination, or is a link
    DZ_TOO_LARGE = 9,      // the entries would expand beyond the extraction limit
};
