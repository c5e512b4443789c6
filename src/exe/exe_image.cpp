#include "exe/exe_image.h"

#include <algorithm>
#include <iterator>

#include "platform/ascii.h"
#include "platform/byte_reader.h"

#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vs {

namespace {

constexpr std::uint32_t kSubdirBit = pe::kResourceHighBit;
constexpr std::uint32_t kDirSize = sizeof(pe::ResourceDirectory);
constexpr std::uint32_t kEntrySize = sizeof(pe::ResourceDirectoryEntry);
// Lists below this depth report no children, so a directory that points back
// at itself cannot make a walk of the tree endless.
constexpr int kMaxDepth = 2;

[[noreturn]] void fail(const char* text) { throw EExeError(text); }

// The data that a data entry describes, checked against the resource section.
TResourceLanguage dataOf(const TExeImage& image, std::uint16_t language, std::uint32_t dataEntryOffset) {
    const auto entry = image.SectionRecord<pe::ResourceDataEntry>(dataEntryOffset);
    if (entry.offsetToData < image.ResourceSectionRva()) fail(exe_msg::Unrecognized);
    const std::uint32_t at = entry.offsetToData - image.ResourceSectionRva();
    const auto bytes = image.SectionBytes(at, entry.size);
    return {language, image.ResourceSectionOffset() + at, entry.size, bytes.data()};
}

std::unique_ptr<TResourceItem> makeItem(int listType, TExeImage& image, const TResourceList& owner,
                                        std::uint32_t entryOffset) {
    switch (listType) {
        case RT_CURSOR_ID: return std::make_unique<TCursorResEntry>(image, owner, entryOffset);
        case RT_BITMAP_ID: return std::make_unique<TBitMapResource>(image, owner, entryOffset);
        case RT_ICON_ID: return std::make_unique<TIconResEntry>(image, owner, entryOffset);
        case RT_MENU_ID: return std::make_unique<TMenuResource>(image, owner, entryOffset);
        case RT_STRING_ID: return std::make_unique<TStringResource>(image, owner, entryOffset);
        case RT_GROUP_CURSOR_ID: return std::make_unique<TCursorResource>(image, owner, entryOffset);
        case RT_GROUP_ICON_ID: return std::make_unique<TIconResource>(image, owner, entryOffset);
        default: return std::make_unique<TResourceItem>(image, owner, entryOffset);
    }
}

}  // namespace

// ---------------------------------------------------------------- TResourceItem

TResourceItem::TResourceItem(TExeImage& image, const TResourceList& owner, std::uint32_t entryOffset)
    : image_(image), owner_(owner), entry_(image.SectionRecord<pe::ResourceDirectoryEntry>(entryOffset)) {}

TResourceItem::~TResourceItem() = default;

int TResourceItem::TypeId() const { return owner_.TypeId(); }

bool TResourceItem::IsNamed() const { return (entry_.name & kSubdirBit) != 0; }
std::uint16_t TResourceItem::Id() const { return IsNamed() ? 0 : static_cast<std::uint16_t>(entry_.name); }

std::u16string TResourceItem::Name() const {
    if (!IsNamed()) return {};
    const std::uint32_t at = entry_.name & ~kSubdirBit;
    const auto length = image_.SectionRecord<std::uint16_t>(at);
    ByteReader chars(image_.SectionBytes(std::uint64_t{at} + 2, 2ull * length));
    std::u16string name;
    name.reserve(length);
    for (std::size_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(chars.u16()));
    return name;
}

ResourceId TResourceItem::Ident() const {
    return IsNamed() ? ResourceId::Named(Name()) : ResourceId::Number(Id());
}

bool TResourceItem::FirstChildIsDirectory() {
    if (!(entry_.offsetToData & kSubdirBit)) return false;
    const std::uint32_t sub = entry_.offsetToData & ~kSubdirBit;
    if (image_.SectionRecord<pe::ResourceDirectory>(sub).entryCount() == 0) return false;
    return (image_.SectionRecord<pe::ResourceDirectoryEntry>(std::uint64_t{sub} + kDirSize).offsetToData & kSubdirBit) != 0;
}

bool TResourceItem::HasChildren() {
    if (owner_.Depth() >= kMaxDepth) return false;
    return FirstChildIsDirectory();
}

TResourceList& TResourceItem::Children() {
    if (!HasChildren()) fail(exe_msg::NotAList);
    if (!children_) {
        int type = owner_.Depth() == 0 ? (IsNamed() ? -1 : Id()) : owner_.TypeId();
        children_ = std::make_unique<TResourceList>(image_, entry_.offsetToData & ~kSubdirBit, type, owner_.Depth() + 1);
    }
    return *children_;
}

bool TResourceItem::FindData(TResourceLanguage& out) {
    if (!(entry_.offsetToData & kSubdirBit)) {
        out = dataOf(image_, 0, entry_.offsetToData);
        return true;
    }
    const std::uint32_t sub = entry_.offsetToData & ~kSubdirBit;
    if (image_.SectionRecord<pe::ResourceDirectory>(sub).entryCount() == 0) return false;
    const auto first = image_.SectionRecord<pe::ResourceDirectoryEntry>(std::uint64_t{sub} + kDirSize);
    if (first.offsetToData & kSubdirBit) fail(exe_msg::Unrecognized);
    out = dataOf(image_, static_cast<std::uint16_t>(first.name), first.offsetToData);
    return true;
}

std::uint32_t TResourceItem::DataFileOffset() {
    if (HasChildren()) return entry_.offsetToData & ~kSubdirBit;
    TResourceLanguage data;
    return FindData(data) ? data.fileOffset : 0;
}

const std::uint8_t* TResourceItem::DataPointer() {
    if (HasChildren()) return nullptr;
    TResourceLanguage data;
    return FindData(data) ? data.pointer : nullptr;
}

std::uint32_t TResourceItem::DataSize() {
    if (HasChildren()) return 0;
    TResourceLanguage data;
    return FindData(data) ? data.size : 0;
}

std::span<const std::uint8_t> TResourceItem::RawData() {
    TResourceLanguage data;
    if (!FindData(data) || data.size == 0) return {};
    return {data.pointer, data.size};
}

std::vector<TResourceLanguage> TResourceItem::Languages() {
    std::vector<TResourceLanguage> out;
    if (!(entry_.offsetToData & kSubdirBit)) {
        out.push_back(dataOf(image_, 0, entry_.offsetToData));
        return out;
    }
    const std::uint32_t sub = entry_.offsetToData & ~kSubdirBit;
    const std::uint32_t count = image_.SectionRecord<pe::ResourceDirectory>(sub).entryCount();
    ByteReader entries(image_.SectionBytes(std::uint64_t{sub} + kDirSize, std::uint64_t{kEntrySize} * count));
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto language = entries.read<pe::ResourceDirectoryEntry>();
        if (language.offsetToData & kSubdirBit) return {};
        out.push_back(dataOf(image_, static_cast<std::uint16_t>(language.name), language.offsetToData));
    }
    return out;
}

TResourceList& TIconResource::Children() {
    if (!children_) {
        if (ImageType() == RT_CURSOR_ID)
            children_ = std::make_unique<TCursorResourceList>(image_, *this);
        else
            children_ = std::make_unique<TIconResourceList>(image_, *this, ImageType());
    }
    return *children_;
}

// ---------------------------------------------------------------- TResourceList

TResourceList::TResourceList(TExeImage& image, std::uint32_t dirOffset, int typeId, int depth)
    : image_(image), dirOffset_(dirOffset), typeId_(typeId), depth_(depth) {}

TResourceList::~TResourceList() = default;

void TResourceList::EnsureFilled() const {
    if (filled_) return;
    FillEntries();
    filled_ = true;
}

int TResourceList::Count() const {
    EnsureFilled();
    return static_cast<int>(items_.size());
}

TResourceItem& TResourceList::Items(int i) {
    EnsureFilled();
    if (i < 0 || static_cast<std::size_t>(i) >= items_.size()) throw EExeError("List index out of bounds");
    return *items_[static_cast<std::size_t>(i)];
}

void TResourceList::FillEntries() const {
    const std::uint32_t count = image_.SectionRecord<pe::ResourceDirectory>(dirOffset_).entryCount();
    image_.SectionBytes(std::uint64_t{dirOffset_} + kDirSize, std::uint64_t{kEntrySize} * count);
    image_.ChargeEntries(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t entry = dirOffset_ + kDirSize + kEntrySize * i;
        auto item = makeItem(typeId_, image_, *this, entry);
        if (depth_ == 0 && !item->IsNamed() && (item->Id() == RT_ICON_ID || item->Id() == RT_CURSOR_ID)) {
            image_.SetTypeEntry(item->Id(), item.get());
        } else {
            items_.push_back(item.get());
        }
        owned_.push_back(std::move(item));
    }
}

TIconResourceList::TIconResourceList(TExeImage& image, TResourceItem& group, int imageType)
    : TResourceList(image, 0, imageType, kMaxDepth), group_(group), imageType_(imageType) {}

void TIconResourceList::FillEntries() const {
    ByteReader group(group_.RawData());
    if (group.remaining() < sizeof(pe::IconDirHeader)) return;
    // A count beyond the group's data lists the images that are there.
    const std::size_t count =
        std::min<std::size_t>(group.read<pe::IconDirHeader>().count, group.remaining() / sizeof(pe::IconGroupEntry));
    const auto& byId = image_.ImagesById(imageType_);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t id = group.read<pe::IconGroupEntry>().id;
        auto [first, last] = byId.equal_range(id);
        image_.ChargeEntries(static_cast<std::size_t>(std::distance(first, last)));
        for (auto it = first; it != last; ++it) items_.push_back(it->second);
    }
}

// ---------------------------------------------------------------- TExeImage

TExeImage::TExeImage(const std::string& fileName) : fileName_(fileName) {
#ifndef _WIN32
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EExeError(exe_msg::CouldntOpen + fileName);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EExeError(exe_msg::CouldntOpen + fileName);
    }
    size_ = static_cast<std::size_t>(st.st_size);
    if (size_ > 0) {
        map_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map_ == MAP_FAILED) {
            map_ = nullptr;
            ::close(fd);
            throw EExeError("MapViewOfFile failed");
        }
        data_ = static_cast<const std::uint8_t*>(map_);
    }
    ::close(fd);  // the mapping stays valid without the descriptor
#else
    // A read-only view of the file, opened by its UTF-16 name.
    const int fd = OpenFileDescriptor(fileName, O_RDONLY | O_BINARY);
    if (fd < 0) throw EExeError(exe_msg::CouldntOpen + fileName);
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    LARGE_INTEGER length{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &length) ||
        static_cast<std::uint64_t>(length.QuadPart) > SIZE_MAX) {
        ::_close(fd);
        throw EExeError(exe_msg::CouldntOpen + fileName);
    }
    size_ = static_cast<std::size_t>(length.QuadPart);
    if (size_ > 0) {
        HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
        map_ = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size_) : nullptr;
        if (mapping) CloseHandle(mapping);
        if (!map_) {
            ::_close(fd);
            throw EExeError("MapViewOfFile failed");
        }
        data_ = static_cast<const std::uint8_t*>(map_);
    }
    ::_close(fd);
#endif
    try {
        headers_ = ReadPeHeaders(FileBytes());
    } catch (...) {
        Unmap();
        map_ = nullptr;
        throw;
    }
}

TExeImage::TExeImage(std::vector<std::uint8_t> bytes, std::string name)
    : fileName_(std::move(name)), owned_(std::move(bytes)) {
    data_ = owned_.data();
    size_ = owned_.size();
    headers_ = ReadPeHeaders(FileBytes());
}

TExeImage::TExeImage(Borrowed bytes, std::string name)
    : fileName_(std::move(name)), data_(bytes.bytes.data()), size_(bytes.bytes.size()) {
    headers_ = ReadPeHeaders(FileBytes());
}

TExeImage::~TExeImage() {
    // Entries refer to the mapping: free them before it goes.
    root_.reset();
    Unmap();
}

void TExeImage::Unmap() {
    if (!map_) return;
#ifdef _WIN32
    UnmapViewOfFile(map_);
#else
    ::munmap(map_, size_);
#endif
}

void TExeImage::FindResourceSection() {
    const auto found = FindSectionByName(headers_, ".rsrc");
    if (!found) fail(exe_msg::NoResources);
    const pe::SectionHeader& section = headers_.sections[*found];
    rsrcRva_ = section.virtualAddress;
    rsrcRaw_ = section.pointerToRawData;
    rsrcSize_ = rsrcRaw_ <= size_
                    ? static_cast<std::uint32_t>(std::min<std::uint64_t>(section.sizeOfRawData, size_ - rsrcRaw_))
                    : 0;
    if (rsrcSize_ < kDirSize) fail(exe_msg::NoResources);
    // No legitimate tree has more entries than the section has room for.
    entryBudget_ = rsrcSize_ / 4 + 16;
}

TResourceList& TExeImage::ResourceTree() {
    if (!root_) {
        FindResourceSection();
        auto root = std::make_unique<TResourceList>(*this, 0, 0, 0);
        root->Count();  // fills the list, which takes the image type entries aside
        root_ = std::move(root);
    }
    return *root_;
}

std::span<const std::uint8_t> TExeImage::SectionBytes(std::uint64_t offset, std::uint64_t size) const {
    if (!fitsIn(offset, size, rsrcSize_)) fail(exe_msg::Unrecognized);
    return {data_ + rsrcRaw_ + offset, static_cast<std::size_t>(size)};
}

void TExeImage::ChargeEntries(std::size_t count) {
    if (count > entryBudget_) fail(exe_msg::Unrecognized);
    entryBudget_ -= count;
}

void TExeImage::SetTypeEntry(int type, TResourceItem* item) {
    if (type == RT_ICON_ID && !iconType_) iconType_ = item;
    if (type == RT_CURSOR_ID && !cursorType_) cursorType_ = item;
}

const std::multimap<std::uint16_t, TResourceItem*>& TExeImage::ImagesById(int imageType) {
    auto found = imagesById_.find(imageType);
    if (found != imagesById_.end()) return found->second;
    std::multimap<std::uint16_t, TResourceItem*> byId;
    TResourceItem* typeEntry = imageType == RT_ICON_ID ? iconType_ : cursorType_;
    if (typeEntry && typeEntry->HasChildren()) {
        TResourceList& images = typeEntry->Children();
        for (int i = 0; i < images.Count(); ++i) {
            TResourceItem& image = images.Items(i);
            if (!image.IsNamed()) byId.emplace(image.Id(), &image);
        }
    }
    return imagesById_.emplace(imageType, std::move(byId)).first->second;
}

}  // namespace vs
