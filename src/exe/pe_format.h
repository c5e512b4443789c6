#pragma once
// The on-disk records of 32-bit Windows executables, their resource sections
// and icon files, as plain little-endian structs. They are read whole through
// ByteReader and written whole through ByteWriter; no code reads a field by
// its offset.
#include <cstddef>
#include <cstdint>

namespace vs::pe {

#pragma pack(push, 1)

// ------------------------------------------------------------ headers

struct DosHeader {  // IMAGE_DOS_HEADER
    std::uint16_t magic;  // "MZ"
    std::uint8_t unused[58];
    std::uint32_t newHeaderOffset;  // e_lfanew: where the NT headers start
};
static_assert(sizeof(DosHeader) == 64);

struct FileHeader {  // IMAGE_FILE_HEADER, after the 4-byte signature "PE\0\0"
    std::uint16_t machine;
    std::uint16_t numberOfSections;
    std::uint32_t timeDateStamp;
    std::uint32_t pointerToSymbolTable;
    std::uint32_t numberOfSymbols;
    std::uint16_t sizeOfOptionalHeader;
    std::uint16_t characteristics;
};
static_assert(sizeof(FileHeader) == 20);

struct DataDirectory {
    std::uint32_t virtualAddress;
    std::uint32_t size;
};
static_assert(sizeof(DataDirectory) == 8);

// The optional header without its data directories, which follow it.
struct OptionalHeader32 {  // IMAGE_OPTIONAL_HEADER32
    std::uint16_t magic;   // 0x10B
    std::uint8_t majorLinkerVersion, minorLinkerVersion;
    std::uint32_t sizeOfCode;
    std::uint32_t sizeOfInitializedData;
    std::uint32_t sizeOfUninitializedData;
    std::uint32_t addressOfEntryPoint;
    std::uint32_t baseOfCode;
    std::uint32_t baseOfData;
    std::uint32_t imageBase;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint16_t majorOperatingSystemVersion, minorOperatingSystemVersion;
    std::uint16_t majorImageVersion, minorImageVersion;
    std::uint16_t majorSubsystemVersion, minorSubsystemVersion;
    std::uint32_t win32VersionValue;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;
    std::uint32_t checkSum;
    std::uint16_t subsystem;
    std::uint16_t dllCharacteristics;
    std::uint32_t sizeOfStackReserve, sizeOfStackCommit;
    std::uint32_t sizeOfHeapReserve, sizeOfHeapCommit;
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
};
static_assert(sizeof(OptionalHeader32) == 96);

struct OptionalHeader64 {  // IMAGE_OPTIONAL_HEADER64
    std::uint16_t magic;   // 0x20B
    std::uint8_t majorLinkerVersion, minorLinkerVersion;
    std::uint32_t sizeOfCode;
    std::uint32_t sizeOfInitializedData;
    std::uint32_t sizeOfUninitializedData;
    std::uint32_t addressOfEntryPoint;
    std::uint32_t baseOfCode;
    std::uint64_t imageBase;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint16_t majorOperatingSystemVersion, minorOperatingSystemVersion;
    std::uint16_t majorImageVersion, minorImageVersion;
    std::uint16_t majorSubsystemVersion, minorSubsystemVersion;
    std::uint32_t win32VersionValue;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;
    std::uint32_t checkSum;
    std::uint16_t subsystem;
    std::uint16_t dllCharacteristics;
    std::uint64_t sizeOfStackReserve, sizeOfStackCommit;
    std::uint64_t sizeOfHeapReserve, sizeOfHeapCommit;
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
};
static_assert(sizeof(OptionalHeader64) == 112);

inline constexpr std::uint16_t kDosMagic = 0x5A4D;           // "MZ"
inline constexpr std::uint32_t kNtSignature = 0x00004550;    // "PE\0\0"
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kOptionalMagic32 = 0x10B;
inline constexpr std::uint16_t kOptionalMagic64 = 0x20B;
inline constexpr std::uint32_t kMaxDataDirectories = 16;

// Data directory indexes.
inline constexpr std::size_t kDirResource = 2;
inline constexpr std::size_t kDirSecurity = 4;
inline constexpr std::size_t kDirBaseReloc = 5;
inline constexpr std::size_t kDirDebug = 6;

struct SectionHeader {  // IMAGE_SECTION_HEADER
    char name[8];  // not terminated when all 8 bytes are used
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t sizeOfRawData;
    std::uint32_t pointerToRawData;
    std::uint32_t pointerToRelocations;
    std::uint32_t pointerToLinenumbers;
    std::uint16_t numberOfRelocations;
    std::uint16_t numberOfLinenumbers;
    std::uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

inline constexpr std::uint32_t kScnInitializedData = 0x00000040u;
inline constexpr std::uint32_t kScnDiscardable = 0x02000000u;

struct DebugDirectory {  // IMAGE_DEBUG_DIRECTORY
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion, minorVersion;
    std::uint32_t type;
    std::uint32_t sizeOfData;
    std::uint32_t addressOfRawData;
    std::uint32_t pointerToRawData;
};
static_assert(sizeof(DebugDirectory) == 28);

struct BaseRelocationBlock {  // IMAGE_BASE_RELOCATION, followed by its 16-bit entries
    std::uint32_t pageAddress;
    std::uint32_t blockSize;
};
static_assert(sizeof(BaseRelocationBlock) == 8);

inline constexpr std::size_t kCoffSymbolSize = 18;

// ------------------------------------------------------------ resources

struct ResourceDirectory {  // IMAGE_RESOURCE_DIRECTORY, followed by its entries
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion, minorVersion;
    std::uint16_t numberOfNamedEntries;
    std::uint16_t numberOfIdEntries;
    std::uint32_t entryCount() const { return std::uint32_t{numberOfNamedEntries} + numberOfIdEntries; }
};
static_assert(sizeof(ResourceDirectory) == 16);

struct ResourceDirectoryEntry {  // IMAGE_RESOURCE_DIRECTORY_ENTRY
    // With the top bit set: the offset of a name (16-bit length, UTF-16), else
    // the identifier.
    std::uint32_t name;
    // With the top bit set: the offset of a sub-directory, else of a data entry.
    std::uint32_t offsetToData;
};
static_assert(sizeof(ResourceDirectoryEntry) == 8);

struct ResourceDataEntry {  // IMAGE_RESOURCE_DATA_ENTRY
    std::uint32_t offsetToData;  // an address in memory, not an offset in the section
    std::uint32_t size;
    std::uint32_t codePage;
    std::uint32_t reserved;
};
static_assert(sizeof(ResourceDataEntry) == 16);

// Offsets in the tree count from the start of the resource section.
inline constexpr std::uint32_t kResourceHighBit = 0x80000000u;

// ------------------------------------------------------------ icons

// The header of an icon group resource and of an icon file.
struct IconDirHeader {
    std::uint16_t reserved;
    std::uint16_t type;  // 1 icon, 2 cursor
    std::uint16_t count;
};
static_assert(sizeof(IconDirHeader) == 6);

struct IconGroupEntry {  // one image of an icon group resource
    std::uint8_t width, height, colorCount, reserved;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t bytesInRes;
    std::uint16_t id;  // the icon image resource's identifier
};
static_assert(sizeof(IconGroupEntry) == 14);

struct IconFileEntry {  // one image of an icon file
    std::uint8_t width, height, colorCount, reserved;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t bytesInRes;
    std::uint32_t imageOffset;  // from the start of the file
};
static_assert(sizeof(IconFileEntry) == 16);

// The header of an icon image (BITMAPINFOHEADER): its height counts the
// colour rows and the mask rows together.
struct BitmapInfoHeader {
    std::uint32_t size;
    std::int32_t width, height;
    std::uint16_t planes, bitCount;
    std::uint32_t compression, sizeImage;
    std::int32_t xPelsPerMeter, yPelsPerMeter;
    std::uint32_t clrUsed, clrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

#pragma pack(pop)

}  // namespace vs::pe
