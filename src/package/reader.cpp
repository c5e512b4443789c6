#include "package/filer.h"

#include <algorithm>
#include <cstring>

#include "package/extended_float.h"
#include "package/file_name_rules.h"
#include "platform/errors.h"

namespace vs {

namespace {

// Deeper nesting than this is not a stream any writer makes.
constexpr int kMaxNesting = 256;

[[noreturn]] void propValueError() { throw EReadError(msg::InvalidPropertyValue); }
[[noreturn]] void readError() { throw EReadError(msg::StreamRead); }

// Names in messages: a damaged length gives up to 255 bytes of anything.
constexpr std::size_t kShownNameLength = 64;

}  // namespace

TReader::TReader(TStream& stream, ReadOptions options)
    : TFiler(stream), buffer_(kFilerBufferSize), options_(options) {
    streamPos_ = stream.Position();
    streamSize_ = stream.Size();
}

TReader::~TReader() {
    try {
        FixupStreamPosition();
    } catch (...) {
    }
}

void TReader::FixupStreamPosition() {
    if (bufEnd_ > bufPos_) {
        auto back = static_cast<std::int64_t>(bufEnd_ - bufPos_);
        stream_.Seek(-back, SeekOrigin::Current);
        streamPos_ -= back;
    }
    bufPos_ = bufEnd_ = 0;
}

std::uint64_t TReader::Remaining() const {
    std::uint64_t inStream = streamSize_ > streamPos_ ? static_cast<std::uint64_t>(streamSize_ - streamPos_) : 0;
    return (bufEnd_ - bufPos_) + inStream;
}

void TReader::RequireAvailable(std::uint64_t n) const {
    if (n > Remaining()) readError();
}

bool TReader::Refill() {
    std::size_t n = stream_.Read(buffer_.data(), buffer_.size());
    bufPos_ = 0;
    bufEnd_ = n;
    streamPos_ += static_cast<std::int64_t>(n);
    return n > 0;
}

std::uint8_t TReader::ReadByte() {
    if (bufPos_ == bufEnd_ && !Refill()) readError();
    return buffer_[bufPos_++];
}

void TReader::Read(void* data, std::size_t n) {
    if (n == 0) return;
    auto* p = static_cast<std::uint8_t*>(data);
    std::size_t take = std::min(n, bufEnd_ - bufPos_);
    std::memcpy(p, buffer_.data() + bufPos_, take);
    bufPos_ += take;
    p += take;
    n -= take;
    if (n == 0) return;
    if (n >= kFilerBufferSize) {
        // Large blocks go straight from the stream into place.
        std::size_t got = stream_.Read(p, n);
        streamPos_ += static_cast<std::int64_t>(got);
        if (got != n) readError();
        return;
    }
    while (n > 0) {
        if (!Refill()) readError();
        take = std::min(n, bufEnd_);
        std::memcpy(p, buffer_.data(), take);
        bufPos_ = take;
        p += take;
        n -= take;
    }
}

namespace {
template <typename T>
T readLE(TReader& r) {
    T v;
    r.Read(&v, sizeof v);
    return v;
}
}  // namespace

ValueTag TReader::ReadValue() { return static_cast<ValueTag>(ReadByte()); }

ValueTag TReader::NextValue() {
    ValueTag t = ReadValue();
    --bufPos_;  // the byte just read is still in the buffer
    return t;
}

std::int64_t TReader::ReadInt64() {
    switch (ReadValue()) {
        case ValueTag::Int8: return readLE<std::int8_t>(*this);
        case ValueTag::Int16: return readLE<std::int16_t>(*this);
        case ValueTag::Int32: return readLE<std::int32_t>(*this);
        case ValueTag::Int64: return readLE<std::int64_t>(*this);
        default: propValueError();
    }
}

std::int32_t TReader::ReadInteger() {
    switch (ReadValue()) {
        case ValueTag::Int8: return readLE<std::int8_t>(*this);
        case ValueTag::Int16: return readLE<std::int16_t>(*this);
        case ValueTag::Int32: return readLE<std::int32_t>(*this);
        default: propValueError();
    }
}

bool TReader::ReadBoolean() { return ReadValue() == ValueTag::True; }

std::string TReader::ReadStr() {
    std::uint8_t n = ReadByte();
    std::string s(n, '\0');
    Read(s.data(), n);
    return s;
}

AnsiString TReader::ReadString() {
    std::uint32_t n;
    switch (ReadValue()) {
        case ValueTag::String: n = ReadByte(); break;
        case ValueTag::LString: n = readLE<std::uint32_t>(*this); break;
        default: propValueError();
    }
    RequireAvailable(n);
    std::string s(n, '\0');
    Read(s.data(), n);
    return AnsiString::FromBytes(s);
}

std::string TReader::ReadIdent() {
    switch (ReadValue()) {
        case ValueTag::Ident: return ReadStr();
        case ValueTag::False: return "False";
        case ValueTag::True: return "True";
        case ValueTag::Null: return "Null";
        case ValueTag::Nil: return "nil";
        default: propValueError();
    }
}

long double TReader::ReadFloat() {
    if (NextValue() == ValueTag::Extended) {
        ReadValue();
        std::uint8_t ext[10];
        Read(ext, 10);
        return ExtendedToDouble(ext);
    }
    return static_cast<long double>(ReadInt64());
}

void TReader::ReadListBegin() {
    if (ReadValue() != ValueTag::List) propValueError();
}

void TReader::ReadListEnd() {
    if (ReadValue() != ValueTag::Null) propValueError();
}

bool TReader::EndOfList() { return NextValue() == ValueTag::Null; }

void TReader::EnterNesting() {
    if (depth_ >= kMaxNesting) throw EReadError(msg::InvalidStreamFormat);
}

namespace {
struct Nesting {
    int& depth;
    explicit Nesting(int& d) : depth(d) { ++depth; }
    ~Nesting() { --depth; }
};
}  // namespace

void TReader::SkipSetBody() {
    while (!ReadStr().empty()) {
    }
}

void TReader::SkipProperty() {
    ReadStr();
    SkipValue();
}

void TReader::SkipBytes(std::uint64_t n) {
    RequireAvailable(n);
    std::size_t inBuf = std::min<std::uint64_t>(n, bufEnd_ - bufPos_);
    bufPos_ += inBuf;
    n -= inBuf;
    if (n > 0) {
        stream_.Seek(static_cast<std::int64_t>(n), SeekOrigin::Current);
        streamPos_ += static_cast<std::int64_t>(n);
    }
}

void TReader::SkipValue() {
    EnterNesting();
    Nesting nest(depth_);
    auto skipBytes = [this](std::uint64_t n) { SkipBytes(n); };
    switch (ReadValue()) {
        case ValueTag::Null: case ValueTag::False: case ValueTag::True: case ValueTag::Nil: return;
        case ValueTag::List:
            while (!EndOfList()) SkipValue();
            ReadListEnd();
            return;
        case ValueTag::Int8: skipBytes(1); return;
        case ValueTag::Int16: skipBytes(2); return;
        case ValueTag::Int32: case ValueTag::Single: skipBytes(4); return;
        case ValueTag::Extended: skipBytes(10); return;
        case ValueTag::String: case ValueTag::Ident: skipBytes(ReadByte()); return;
        case ValueTag::Binary: case ValueTag::LString: skipBytes(readLE<std::uint32_t>(*this)); return;
        case ValueTag::WString: skipBytes(std::uint64_t{readLE<std::uint32_t>(*this)} * 2); return;
        case ValueTag::Set: SkipSetBody(); return;
        case ValueTag::Currency: case ValueTag::Date: case ValueTag::Int64: skipBytes(8); return;
        case ValueTag::Collection:
            while (!EndOfList()) {
                ValueTag t = NextValue();
                if (t == ValueTag::Int8 || t == ValueTag::Int16 || t == ValueTag::Int32) ReadInteger();
                ReadListBegin();
                while (!EndOfList()) SkipProperty();
                ReadListEnd();
            }
            ReadListEnd();
            return;
    }
    propValueError();
}

void TReader::ReadPrefix() {
    std::uint8_t b = static_cast<std::uint8_t>(NextValue());
    if ((b & 0xF0) != 0xF0) return;
    ReadByte();
    if (b & 0x02) ReadInteger();  // child position
}

void TReader::RunPacking() {
    if (packing_) packing_->Run(options_.observer ? *options_.observer : PackingObserver{});
}

void TReader::ReadRootComponent(TComponent& instance) {
    char sig[4];
    Read(sig, 4);
    if (std::memcmp(sig, kFilerSignature, 4) != 0) throw EReadError(msg::InvalidStreamFormat);

    if (options_.localFiles == LocalFiles::Pack) packing_ = std::make_unique<PackingBatch>(options_.jobs);
    root_ = &instance;
    lookupRoot_ = &instance;
    try {
        ReadPrefix();
        ReadStr();  // class name: the instance is given
        std::string name = ReadStr();
        if (!(instance.State() & csDesigning)) {
            instance.SetState(csLoading | csReading);
            std::string unique = name;
            for (int i = 1; !unique.empty(); ++i) {
                TComponent* holder = FindGlobalComponent(unique);
                if (!holder || holder == &instance) break;
                unique = name + "_" + std::to_string(i);
            }
            instance.SetName(unique);
        }
        loaded_.push_back(&instance);
        ReadDataInner(instance);

        for (const Fixup& f : fixups_) {
            TComponent* target = root_->FindComponent(f.name);
            if (!target) target = FindGlobalComponent(f.name);
            f.prop->setObj(*f.instance, target);
        }
        fixups_.clear();
        RunPacking();
        instance.ClearState(csReading);
        for (TComponent* c : loaded_) c->Loaded();
        loaded_.clear();
    } catch (...) {
        fixups_.clear();
        // Files whose names were read before the failure are packed, as they
        // would have been had each been loaded at once.
        try {
            RunPacking();
        } catch (const VsError&) {
            // The read's own failure is the one to report.
        }
        for (TComponent* c : loaded_) c->ClearState(csLoading | csReading);
        loaded_.clear();
        throw;
    }
}

void TReader::ReadDataInner(TComponent& instance) {
    EnterNesting();
    Nesting nest(depth_);
    while (!EndOfList()) ReadProperty(instance);
    ReadListEnd();
    while (!EndOfList()) ReadChildComponent();
    ReadListEnd();
}

// Child records are never written by this system; a reader still takes them,
// finding the child among the root's components or creating it by class name.
void TReader::ReadChildComponent() {
    ReadPrefix();
    std::string className = ReadStr();
    std::string name = ReadStr();
    TComponent* child = root_->FindComponent(name);
    if (!child) {
        ComponentFactory factory = FindClassFactory(className);
        if (!factory) throw EClassNotFound("Class " + ShownName(className, kShownNameLength) + " not found");
        child = factory(root_);
        child->SetName(name);
    }
    child->SetState(csLoading | csReading);
    loaded_.push_back(child);
    ReadDataInner(*child);
    child->ClearState(csReading);
}

void TReader::ReadProperty(TPersistent& instance) {
    std::string entry = ReadStr();
    propName_ = entry;
    try {
        TPersistent* obj = &instance;
        std::string_view rest = entry;
        std::size_t dot;
        while ((dot = rest.find('.')) != std::string_view::npos) {
            std::string_view segment = rest.substr(0, dot);
            rest.remove_prefix(dot + 1);
            const PropInfo* p = obj->classInfo().findProp(segment);
            if (!p) {
                SkipValue();
                throw EReadError(msg::UnknownProperty);
            }
            TPersistent* next = (p->kind == PropKind::Object && p->getObj) ? p->getObj(*obj) : nullptr;
            if (!next) {
                SkipValue();
                throw EReadError(msg::InvalidPropertyPath);
            }
            obj = next;
        }
        if (const PropInfo* p = obj->classInfo().findProp(rest)) {
            ReadPropValue(*obj, *p);
        } else {
            defineMode_ = true;
            defineFound_ = false;
            defineName_ = std::string(rest);
            try {
                obj->DefineProperties(*this);
            } catch (...) {
                defineMode_ = false;
                throw;
            }
            defineMode_ = false;
            if (!defineFound_) {
                SkipValue();
                throw EReadError(msg::UnknownProperty);
            }
        }
    } catch (const VsError& e) {
        std::string who;
        if (auto* comp = dynamic_cast<TComponent*>(&instance)) who = comp->Name();
        if (who.empty()) who = instance.ClassName();
        throw EReadError("Error reading " + ShownName(who, kShownNameLength) + "." + ShownName(entry, kShownNameLength) + ": " + e.what());
    }
}

void TReader::ReadPropValue(TPersistent& instance, const PropInfo& prop) {
    if (!prop.writable()) throw EReadError(msg::ReadOnlyProperty);
    switch (prop.kind) {
        case PropKind::Integer: {
            if (NextValue() == ValueTag::Ident) {
                std::string ident = ReadIdent();
                std::optional<std::int32_t> v;
                if (prop.identMap && prop.identMap->fromIdent) v = prop.identMap->fromIdent(ident);
                if (!v) propValueError();
                prop.setOrd(instance, *v);
            } else {
                prop.setOrd(instance, ReadInteger());
            }
            return;
        }
        case PropKind::Enumeration: {
            std::string ident = ReadIdent();
            std::optional<int> v = prop.enumType ? prop.enumType->find(ident) : std::nullopt;
            if (!v) propValueError();
            prop.setOrd(instance, *v);
            return;
        }
        case PropKind::Char: {
            if (ReadValue() != ValueTag::String) propValueError();
            if (ReadByte() != 1) propValueError();
            prop.setOrd(instance, ReadByte());
            return;
        }
        case PropKind::Set: {
            if (ReadValue() != ValueTag::Set) propValueError();
            std::uint32_t bits = 0;
            for (;;) {
                std::string member = ReadStr();
                if (member.empty()) break;
                std::optional<int> idx = prop.enumType ? prop.enumType->find(member) : std::nullopt;
                if (!idx) {
                    SkipSetBody();
                    propValueError();
                }
                if (*idx <= 31) bits |= 1u << *idx;
            }
            prop.setOrd(instance, bits);
            return;
        }
        case PropKind::Float:
            prop.setFloat(instance, static_cast<double>(ReadFloat()));
            return;
        case PropKind::String: {
            std::string text = ReadString().ToUtf8();
            if (prop.readStr)
                prop.readStr(instance, text, *this);
            else
                prop.setStr(instance, text);
            return;
        }
        case PropKind::Object: {
            switch (NextValue()) {
                case ValueTag::Nil:
                    ReadValue();
                    // Objects that their holder owns cannot be dropped.
                    if (!prop.setObj(instance, nullptr)) propValueError();
                    return;
                case ValueTag::Collection: {
                    ReadValue();
                    auto* coll = dynamic_cast<TCollection*>(prop.getObj ? prop.getObj(instance) : nullptr);
                    if (!coll) propValueError();
                    ReadCollection(*coll);
                    return;
                }
                case ValueTag::Ident: {
                    std::string name = ReadIdent();
                    // An object its holder owns is filled in place, never replaced by a reference.
                    if (prop.owned) propValueError();
                    fixups_.push_back({&instance, &prop, std::move(name)});
                    return;
                }
                default:
                    propValueError();
            }
        }
        case PropKind::Method: {
            if (NextValue() == ValueTag::Nil) {
                ReadValue();
                prop.setMethod(instance, {});
                return;
            }
            std::string name = ReadIdent();
            if (!root_ || !root_->classInfo().hasMethod(name)) propValueError();
            prop.setMethod(instance, {name, root_});
            return;
        }
    }
}

void TReader::ReadCollection(TCollection& collection) {
    EnterNesting();
    Nesting nest(depth_);
    collection.BeginUpdate();
    struct EndUpdate {
        TCollection& c;
        ~EndUpdate() { c.EndUpdate(); }
    } endUpdate{collection};
    if (!EndOfList()) collection.Clear();
    while (!EndOfList()) {
        ValueTag t = NextValue();
        if (t == ValueTag::Int8 || t == ValueTag::Int16 || t == ValueTag::Int32) ReadInteger();
        TCollectionItem& item = collection.AddItem();
        ReadListBegin();
        while (!EndOfList()) ReadProperty(item);
        ReadListEnd();
    }
    ReadListEnd();
}

void TReader::DefineProperty(const std::string& name, const ReaderProc& readData, const WriterProc&, bool) {
    if (!defineMode_ || defineFound_ || !readData || !SameText(name, defineName_)) return;
    defineFound_ = true;
    defineMode_ = false;
    readData(*this);
}

std::uint32_t TReader::ReadBinaryCount() {
    if (NextValue() != ValueTag::Binary) {
        SkipValue();
        propValueError();
    }
    ReadValue();
    return readLE<std::uint32_t>(*this);
}

void TReader::DefineBinaryProperty(const std::string& name, const StreamProc& readData, const StreamProc&, bool) {
    if (!defineMode_ || defineFound_ || !readData || !SameText(name, defineName_)) return;
    defineFound_ = true;
    defineMode_ = false;
    const std::uint32_t n = ReadBinaryCount();
    RequireAvailable(n);
    TMemoryStream ms;
    ms.SetSize(n);
    Read(ms.buffer().data(), n);
    ms.SetPosition(0);
    readData(ms);
}

void TReader::DefineSkippedBinaryProperty(const std::string& name, const std::function<void(std::uint32_t)>& size) {
    if (!defineMode_ || defineFound_ || !SameText(name, defineName_)) return;
    defineFound_ = true;
    defineMode_ = false;
    const std::uint32_t n = ReadBinaryCount();
    SkipBytes(n);
    size(n);
}

void ReadComponentFromStream(TStream& stream, TComponent& instance, ReadOptions options) {
    TReader reader(stream, options);
    reader.ReadRootComponent(instance);
}

}  // namespace vs
