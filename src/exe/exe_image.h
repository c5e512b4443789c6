#pragma once
// Reading the resources of a 32-bit Windows executable without loading it.
// The file is mapped read-only (or read into memory) and its resource directory
// is presented as a tree of lists and entries, made on first use. Every offset
// taken from the file is checked against the file before it is used: a damaged
// file gives an EExeError, never a read outside it.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "exe/pe_headers.h"
#include "exe/resource_updater.h"
#include "platform/byte_reader.h"
#include "platform/errors.h"

namespace vs {

namespace exe_msg {
inline constexpr const char* CouldntOpen = "Couldn't open: ";
inline constexpr const char* Unrecognized = "unrecognized file format";
inline constexpr const char* NotPE = "Not a PE (WIN32 Executable) file";
inline constexpr const char* NoResources = "No resources in this file.";
inline constexpr const char* NotAList = "ResourceItem is not a list";
}  // namespace exe_msg

// Resource type numbers used by the tree.
inline constexpr int RT_CURSOR_ID = 1;
inline constexpr int RT_BITMAP_ID = 2;
inline constexpr int RT_MENU_ID = 4;
inline constexpr int RT_STRING_ID = 6;
inline constexpr int RT_GROUP_CURSOR_ID = 12;

class TExeImage;
class TResourceList;

// One language of a resource: its data entry.
struct TResourceLanguage {
    std::uint16_t language = 0;
    std::uint32_t fileOffset = 0;
    std::uint32_t size = 0;
    const std::uint8_t* pointer = nullptr;
};

class TResourceItem {
public:
    // The entry whose 8-byte record lies at `entryOffset` of the resource section.
    TResourceItem(TExeImage& image, const TResourceList& owner, std::uint32_t entryOffset);
    virtual ~TResourceItem();
    TResourceItem(const TResourceItem&) = delete;
    TResourceItem& operator=(const TResourceItem&) = delete;

    // Whether the entry stands for a further list.
    virtual bool HasChildren();
    // That list; "ResourceItem is not a list" for an entry without children.
    virtual TResourceList& Children();

    // The type of the list that made the entry (3 icon image, 14 icon group, ...);
    // 0 in the root list, -1 under a named type.
    int TypeId() const;
    // Without children: the file offset of the data (of the first language).
    // With children: the offset of the sub-directory in the resource section.
    std::uint32_t DataFileOffset();
    // The data in the mapping, and its size (0 for an entry with children).
    const std::uint8_t* DataPointer();
    std::uint32_t DataSize();

    // The entry's own identifier: a number or a name.
    bool IsNamed() const;
    std::uint16_t Id() const;
    std::u16string Name() const;
    ResourceId Ident() const;
    // Every language below a name entry, in directory order; empty for an
    // entry whose sub-directory holds further directories.
    std::vector<TResourceLanguage> Languages();
    // The data of the first language, whether or not the entry has children
    // (an icon group's own directory bytes); empty when there is none.
    std::span<const std::uint8_t> RawData();

    TExeImage& Image() const { return image_; }
    const TResourceList& Owner() const { return owner_; }

protected:
    // Whether the entry's first child points to a sub-directory.
    bool FirstChildIsDirectory();
    // The data entry that the entry stands for, or nothing when there is none.
    bool FindData(TResourceLanguage& out);

    TExeImage& image_;
    const TResourceList& owner_;
    pe::ResourceDirectoryEntry entry_;
    std::unique_ptr<TResourceList> children_;
};

// Entry classes by the type of the list that makes them.
class TBitMapResource : public TResourceItem { public: using TResourceItem::TResourceItem; };
class TMenuResource : public TResourceItem { public: using TResourceItem::TResourceItem; };
class TStringResource : public TResourceItem { public: using TResourceItem::TResourceItem; };
class TIconResEntry : public TResourceItem { public: using TResourceItem::TResourceItem; };
class TCursorResEntry : public TIconResEntry { public: using TIconResEntry::TIconResEntry; };

// An icon group: its children are the icon images that it names.
class TIconResource : public TResourceItem {
public:
    using TResourceItem::TResourceItem;
    bool HasChildren() override { return true; }
    TResourceList& Children() override;

protected:
    virtual int ImageType() const { return RT_ICON_ID; }
};
class TCursorResource : public TIconResource {
public:
    using TIconResource::TIconResource;

protected:
    int ImageType() const override { return RT_CURSOR_ID; }
};

class TResourceList {
public:
    // A list over the directory at `dirOffset` of the resource section.
    TResourceList(TExeImage& image, std::uint32_t dirOffset, int typeId, int depth);
    virtual ~TResourceList();
    TResourceList(const TResourceList&) = delete;
    TResourceList& operator=(const TResourceList&) = delete;

    int Count() const;
    TResourceItem& Items(int i);
    int TypeId() const { return typeId_; }
    int Depth() const { return depth_; }
    TExeImage& Image() const { return image_; }

protected:
    virtual void FillEntries() const;
    void EnsureFilled() const;

    TExeImage& image_;
    std::uint32_t dirOffset_;
    int typeId_;
    int depth_;
    mutable bool filled_ = false;
    mutable std::vector<std::unique_ptr<TResourceItem>> owned_;
    mutable std::vector<TResourceItem*> items_;
};

// The images that an icon group names; the entries belong to the icon-image
// type's own list.
class TIconResourceList : public TResourceList {
public:
    TIconResourceList(TExeImage& image, TResourceItem& group, int imageType);

protected:
    void FillEntries() const override;
    TResourceItem& group_;
    int imageType_;
};
class TCursorResourceList : public TIconResourceList {
public:
    TCursorResourceList(TExeImage& image, TResourceItem& group)
        : TIconResourceList(image, group, RT_CURSOR_ID) {}
};

class TExeImage {
public:
    // Opens and checks the file; "Couldn't open: " + name, "unrecognized file
    // format", "Not a PE (WIN32 Executable) file".
    explicit TExeImage(const std::string& fileName);
    // The same over bytes held in memory (`name` is used in messages only).
    TExeImage(std::vector<std::uint8_t> bytes, std::string name);
    // The same over bytes that the caller keeps alive as long as the image.
    struct Borrowed {
        std::span<const std::uint8_t> bytes;
    };
    TExeImage(Borrowed bytes, std::string name);
    ~TExeImage();
    TExeImage(const TExeImage&) = delete;
    TExeImage& operator=(const TExeImage&) = delete;

    const std::string& FileName() const { return fileName_; }
    std::span<const std::uint8_t> FileBytes() const { return {data_, size_}; }
    const PeHeaders& Headers() const { return headers_; }

    // The root list; "No resources in this file." without a resource section.
    TResourceList& ResourceTree();

    // The resource section, once ResourceTree has found it.
    std::uint32_t ResourceSectionOffset() const { return rsrcRaw_; }
    std::uint32_t ResourceSectionRva() const { return rsrcRva_; }
    std::uint32_t ResourceSectionSize() const { return rsrcSize_; }

    // The icon-image (3) and cursor-image (1) type entries, taken aside from
    // the root list; null when the file has none.
    TResourceItem* IconImageType() const { return iconType_; }
    TResourceItem* CursorImageType() const { return cursorType_; }

    // Internal: checked access to the resource section and the entry budget;
    // "unrecognized file format" for anything that lies outside the section.
    std::span<const std::uint8_t> SectionBytes(std::uint64_t offset, std::uint64_t size) const;
    template <typename T>
    T SectionRecord(std::uint64_t offset) const {
        return ByteReader(SectionBytes(offset, sizeof(T))).read<T>();
    }
    void ChargeEntries(std::size_t count);
    void SetTypeEntry(int type, TResourceItem* item);
    // The entries of an image type list by identifier (for groups).
    const std::multimap<std::uint16_t, TResourceItem*>& ImagesById(int imageType);

private:
    void FindResourceSection();
    void Unmap();

    std::string fileName_;
    std::vector<std::uint8_t> owned_;
    void* map_ = nullptr;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    PeHeaders headers_;
    std::uint32_t rsrcRaw_ = 0, rsrcRva_ = 0, rsrcSize_ = 0;
    std::size_t entryBudget_ = 0;
    std::unique_ptr<TResourceList> root_;
    TResourceItem* iconType_ = nullptr;
    TResourceItem* cursorType_ = nullptr;
    std::map<int, std::multimap<std::uint16_t, TResourceItem*>> imagesById_;
};

}  // namespace vs
