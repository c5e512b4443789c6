#include "exe/exe_image.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/ascii.h"
#include "platform/byte_reader.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vs {

namespace {

constexpr std::uint32_t kSubdirBit = 0x80000000u;
// Lists below this depth report no children, so a directory that points back
// at itself cannot make a walk of the tree endless.
constexpr int kMaxDepth = 2;

[[noreturn]] void fail(const char* text) { throw EExeError(text); }

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }

bool sameNameNoCase(const std::uint8_t* name8, const char* wanted) {
    std::size_t n = std::strlen(wanted);
    for (std::size_t i = 0; i < 8; ++i) {
        char a = static_cast<char>(name8[i]);
        char b = i < n ? wanted[i] : '\0';
        if (AsciiLower(a) != AsciiLower(b)) return false;
        if (a == '\0') return true;
    }
    return true;
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
    : image_(image), owner_(owner), entryOffset_(entryOffset) {
    nameField_ = image.SectionU32(entryOffset);
    dataField_ = image.SectionU32(entryOffset + 4);
}

TResourceItem::~TResourceItem() = default;

int TResourceItem::TypeId() const { return owner_.TypeId(); }

bool TResourceItem::IsNamed() const { return (nameField_ & kSubdirBit) != 0; }
std::uint16_t TResourceItem::Id() const { return IsNamed() ? 0 : static_cast<std::uint16_t>(nameField_); }

std::u16string TResourceItem::Name() const {
    if (!IsNamed()) return {};
    std::uint32_t at = nameField_ & ~kSubdirBit;
    std::uint16_t length = image_.SectionU16(at);
    auto chars = image_.SectionBytes(at + 2, 2u * length);
    std::u16string name;
    name.reserve(length);
    for (std::size_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(le16(chars.data() + 2 * i)));
    return name;
}

ResourceId TResourceItem::Ident() const {
    return IsNamed() ? ResourceId::Named(Name()) : ResourceId::Number(Id());
}

bool TResourceItem::FirstChildIsDirectory() {
    if (!(dataField_ & kSubdirBit)) return false;
    std::uint32_t sub = dataField_ & ~kSubdirBit;
    auto header = image_.SectionBytes(sub, 16);
    if (le16(header.data() + 12) + le16(header.data() + 14) == 0) return false;
    return (image_.SectionU32(sub + 16 + 4) & kSubdirBit) != 0;
}

bool TResourceItem::HasChildren() {
    if (owner_.Depth() >= kMaxDepth) return false;
    return FirstChildIsDirectory();
}

TResourceList& TResourceItem::Children() {
    if (!HasChildren()) fail(exe_msg::NotAList);
    if (!children_) {
        int type = owner_.Depth() == 0 ? (IsNamed() ? -1 : Id()) : owner_.TypeId();
        children_ = std::make_unique<TResourceList>(image_, dataField_ & ~kSubdirBit, type, owner_.Depth() + 1);
    }
    return *children_;
}

bool TResourceItem::FindData(TResourceLanguage& out) {
    std::uint32_t dataEntry = dataField_;
    out.language = 0;
    if (dataField_ & kSubdirBit) {
        std::uint32_t sub = dataField_ & ~kSubdirBit;
        auto header = image_.SectionBytes(sub, 16);
        if (le16(header.data() + 12) + le16(header.data() + 14) == 0) return false;
        std::uint32_t name = image_.SectionU32(sub + 16);
        dataEntry = image_.SectionU32(sub + 16 + 4);
        if (dataEntry & kSubdirBit) fail(exe_msg::Unrecognized);
        out.language = static_cast<std::uint16_t>(name);
    }
    std::uint32_t rva = image_.SectionU32(dataEntry);
    std::uint32_t size = image_.SectionU32(dataEntry + 4);
    if (rva < image_.ResourceSectionRva()) fail(exe_msg::Unrecognized);
    std::uint32_t at = rva - image_.ResourceSectionRva();
    auto bytes = image_.SectionBytes(at, size);
    out.fileOffset = image_.ResourceSectionOffset() + at;
    out.size = size;
    out.pointer = bytes.data();
    return true;
}

std::uint32_t TResourceItem::DataFileOffset() {
    if (HasChildren()) return dataField_ & ~kSubdirBit;
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
    if (!(dataField_ & kSubdirBit)) {
        TResourceLanguage one;
        if (FindData(one)) out.push_back(one);
        return out;
    }
    std::uint32_t sub = dataField_ & ~kSubdirBit;
    auto header = image_.SectionBytes(sub, 16);
    std::uint32_t count = le16(header.data() + 12) + le16(header.data() + 14);
    image_.SectionBytes(sub + 16, 8 * count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t name = image_.SectionU32(sub + 16 + 8 * i);
        std::uint32_t dataEntry = image_.SectionU32(sub + 16 + 8 * i + 4);
        if (dataEntry & kSubdirBit) return {};
        std::uint32_t rva = image_.SectionU32(dataEntry);
        std::uint32_t size = image_.SectionU32(dataEntry + 4);
        if (rva < image_.ResourceSectionRva()) fail(exe_msg::Unrecognized);
        std::uint32_t at = rva - image_.ResourceSectionRva();
        auto bytes = image_.SectionBytes(at, size);
        out.push_back({static_cast<std::uint16_t>(name), image_.ResourceSectionOffset() + at, size, bytes.data()});
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
    auto header = image_.SectionBytes(dirOffset_, 16);
    std::uint32_t count = le16(header.data() + 12) + le16(header.data() + 14);
    image_.SectionBytes(dirOffset_ + 16, 8 * count);
    image_.ChargeEntries(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t entry = dirOffset_ + 16 + 8 * i;
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
    auto data = group_.RawData();
    if (data.size() < 6) return;
    std::size_t count = std::min<std::size_t>(le16(data.data() + 4), (data.size() - 6) / 14);
    const auto& byId = image_.ImagesById(imageType_);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t id = le16(data.data() + 6 + 14 * i + 12);
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
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw EExeError(exe_msg::CouldntOpen + fileName);
    owned_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    data_ = owned_.data();
    size_ = owned_.size();
#endif
    try {
        CheckHeaders();
    } catch (...) {
#ifndef _WIN32
        if (map_) ::munmap(map_, size_);
#endif
        map_ = nullptr;
        throw;
    }
}

TExeImage::TExeImage(std::vector<std::uint8_t> bytes, std::string name)
    : fileName_(std::move(name)), owned_(std::move(bytes)) {
    data_ = owned_.data();
    size_ = owned_.size();
    CheckHeaders();
}

TExeImage::~TExeImage() {
    // Entries refer to the mapping: free them before it goes.
    root_.reset();
#ifndef _WIN32
    if (map_) ::munmap(map_, size_);
#endif
}

void TExeImage::CheckHeaders() {
    if (size_ < 2 || data_[0] != 'M' || data_[1] != 'Z') fail(exe_msg::Unrecognized);
    if (size_ < 64) fail(exe_msg::NotPE);
    nt_ = le32(data_ + 60);
    if (!fitsIn(nt_, 24, size_) || std::memcmp(data_ + nt_, "PE\0\0", 4) != 0) fail(exe_msg::NotPE);
    // The section table follows the optional header, whose size the file
    // header gives (224 bytes for 32-bit images, 240 for 64-bit ones).
    std::uint32_t optionalSize = le16(data_ + nt_ + 20);
    std::uint32_t sections = le16(data_ + nt_ + 6);
    if (!fitsIn(nt_, 24ull + optionalSize + 40ull * sections, size_)) fail(exe_msg::NotPE);
}

void TExeImage::FindResourceSection() {
    std::uint32_t optionalSize = le16(data_ + nt_ + 20);
    std::uint32_t sections = le16(data_ + nt_ + 6);
    const std::uint8_t* table = data_ + nt_ + 24 + optionalSize;
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::uint8_t* s = table + 40 * i;
        if (!sameNameNoCase(s, ".rsrc")) continue;
        rsrcRva_ = le32(s + 12);
        std::uint32_t rawSize = le32(s + 16);
        rsrcRaw_ = le32(s + 20);
        rsrcSize_ = rsrcRaw_ <= size_ ? static_cast<std::uint32_t>(std::min<std::uint64_t>(rawSize, size_ - rsrcRaw_)) : 0;
        if (rsrcSize_ < 16) fail(exe_msg::NoResources);
        // No legitimate tree has more entries than the section has room for.
        entryBudget_ = rsrcSize_ / 4 + 16;
        return;
    }
    fail(exe_msg::NoResources);
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

std::span<const std::uint8_t> TExeImage::SectionBytes(std::uint32_t offset, std::uint32_t size) const {
    if (!fitsIn(offset, size, rsrcSize_)) fail(exe_msg::Unrecognized);
    return {data_ + rsrcRaw_ + offset, size};
}

std::uint32_t TExeImage::SectionU32(std::uint32_t offset) const { return le32(SectionBytes(offset, 4).data()); }
std::uint16_t TExeImage::SectionU16(std::uint32_t offset) const { return le16(SectionBytes(offset, 2).data()); }

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
