#include "package/filer.h"

#include <algorithm>
#include <cstring>

#include "package/extended_float.h"
#include "platform/errors.h"

namespace vs {

namespace {

struct StateGuard {
    TComponent& c;
    unsigned flags;
    StateGuard(TComponent& comp, unsigned f) : c(comp), flags(f) { c.SetState(f); }
    ~StateGuard() { c.ClearState(flags); }
};

}  // namespace

TWriter::TWriter(TStream& stream) : TFiler(stream) { buffer_.reserve(kFilerBufferSize); }

TWriter::~TWriter() {
    try {
        FlushBuffer();
    } catch (...) {
        // Destructors must not throw; callers that need to know flush first.
    }
}

void TWriter::FlushBuffer() {
    if (buffer_.empty()) return;
    std::vector<std::uint8_t> pending;
    pending.swap(buffer_);
    buffer_.reserve(kFilerBufferSize);
    stream_.WriteBuffer(pending.data(), pending.size());
}

void TWriter::Write(const void* data, std::size_t n) {
    if (buffer_.size() + n > kFilerBufferSize) {
        FlushBuffer();
        if (n >= kFilerBufferSize) {
            stream_.WriteBuffer(data, n);
            return;
        }
    }
    auto* p = static_cast<const std::uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + n);
}

void TWriter::WriteValue(ValueTag tag) {
    auto b = static_cast<std::uint8_t>(tag);
    Write(&b, 1);
}

void TWriter::WriteInteger(std::int64_t v) {
    if (v >= -128 && v <= 127) {
        WriteValue(ValueTag::Int8);
        auto b = static_cast<std::int8_t>(v);
        Write(&b, 1);
    } else if (v >= -32768 && v <= 32767) {
        WriteValue(ValueTag::Int16);
        auto w = static_cast<std::int16_t>(v);
        Write(&w, 2);
    } else if (v >= INT32_MIN && v <= INT32_MAX) {
        WriteValue(ValueTag::Int32);
        auto d = static_cast<std::int32_t>(v);
        Write(&d, 4);
    } else {
        WriteValue(ValueTag::Int64);
        Write(&v, 8);
    }
}

void TWriter::WriteStr(std::string_view s) {
    auto n = static_cast<std::uint8_t>(std::min<std::size_t>(s.size(), 255));
    Write(&n, 1);
    Write(s.data(), n);
}

void TWriter::WriteString(const AnsiString& text) {
    const std::string& s = text.bytes();
    if (s.size() <= 255) {
        WriteValue(ValueTag::String);
        WriteStr(s);
    } else {
        if (s.size() > UINT32_MAX) throw EWriteError(msg::StreamWrite);
        WriteValue(ValueTag::LString);
        auto n = static_cast<std::uint32_t>(s.size());
        Write(&n, 4);
        Write(s.data(), s.size());
    }
}

void TWriter::WriteIdent(std::string_view ident) {
    if (SameText(ident, "False")) WriteValue(ValueTag::False);
    else if (SameText(ident, "True")) WriteValue(ValueTag::True);
    else if (SameText(ident, "Null")) WriteValue(ValueTag::Null);
    else if (SameText(ident, "nil")) WriteValue(ValueTag::Nil);
    else {
        WriteValue(ValueTag::Ident);
        WriteStr(ident);
    }
}

void TWriter::WriteFloat(long double value) {
    std::uint8_t ext[10];
    DoubleToExtended(value, ext);
    WriteValue(ValueTag::Extended);
    Write(ext, 10);
}

void TWriter::WritePropName(std::string_view name) {
    std::string full = propPath_;
    full += name;
    WriteStr(full);
}

void TWriter::WriteDescendent(TComponent& root) {
    root_ = &root;
    lookupRoot_ = &root;
    Write(kFilerSignature, 4);
    WriteComponent(root);
}

void TWriter::WriteComponent(TComponent& component) {
    StateGuard writing(component, csWriting);
    WriteStr(component.ClassName());
    WriteStr(component.Name());
    WriteProperties(component);
    WriteListEnd();
    for (TComponent* child : component.GetChildren()) WriteComponent(*child);
    WriteListEnd();
}

void TWriter::WriteProperties(const TPersistent& instance) {
    for (const PropInfo* prop : instance.classInfo().allProps())
        if (prop->readable() && prop->writable() && prop->isStored(instance)) WriteProperty(instance, *prop);
    const_cast<TPersistent&>(instance).DefineProperties(*this);
}

void TWriter::WriteProperty(const TPersistent& instance, const PropInfo& prop) {
    switch (prop.kind) {
        case PropKind::Integer: {
            std::int64_t v = prop.getOrd(instance);
            if (static_cast<std::int32_t>(v) == prop.defaultValue) return;
            WritePropName(prop.name);
            if (prop.identMap && prop.identMap->toIdent) {
                if (auto ident = prop.identMap->toIdent(static_cast<std::int32_t>(v))) {
                    WriteIdent(*ident);
                    return;
                }
            }
            WriteInteger(v);
            return;
        }
        case PropKind::Enumeration: {
            std::int64_t v = prop.getOrd(instance);
            if (v == prop.defaultValue) return;
            if (!prop.enumType || v < 0 || v >= static_cast<std::int64_t>(prop.enumType->idents.size()))
                throw EWriteError(msg::InvalidPropertyValue);
            WritePropName(prop.name);
            WriteIdent(prop.enumType->idents[static_cast<std::size_t>(v)]);
            return;
        }
        case PropKind::Char: {
            std::int64_t v = prop.getOrd(instance);
            if (v == prop.defaultValue) return;
            WritePropName(prop.name);
            WriteValue(ValueTag::String);
            std::uint8_t bytes[2] = {1, static_cast<std::uint8_t>(v)};
            Write(bytes, 2);
            return;
        }
        case PropKind::Set: {
            auto v = static_cast<std::uint32_t>(prop.getOrd(instance));
            if (static_cast<std::int32_t>(v) == prop.defaultValue) return;
            WritePropName(prop.name);
            WriteValue(ValueTag::Set);
            for (std::uint32_t i = 0; i < 32; ++i)
                if ((v >> i) & 1u && prop.enumType && i < prop.enumType->idents.size())
                    WriteStr(prop.enumType->idents[i]);
            WriteStr("");
            return;
        }
        case PropKind::Float: {
            double v = prop.getFloat(instance);
            if (v == 0.0) return;
            WritePropName(prop.name);
            WriteFloat(v);
            return;
        }
        case PropKind::String: {
            std::string v = prop.getStr(instance);
            if (v.empty()) return;
            AnsiString text;
            try {
                text = AnsiString::FromUtf8(v);
            } catch (const ETextEncodingError& e) {
                throw ETextEncodingError(propPath_ + prop.name + ": " + e.what());
            }
            WritePropName(prop.name);
            WriteString(text);
            return;
        }
        case PropKind::Method: {
            TMethodRef m = prop.getMethod(instance);
            if (m.empty() || !lookupRoot_ || !lookupRoot_->classInfo().hasMethod(m.name)) return;
            WritePropName(prop.name);
            WriteIdent(m.name);
            return;
        }
        case PropKind::Object: {
            TPersistent* obj = prop.getObj(instance);
            if (!obj) return;
            if (auto* comp = dynamic_cast<TComponent*>(obj)) {
                if (comp->Name().empty()) return;
                std::string ref = comp->Name();
                if (comp->Owner() && comp->Owner() != lookupRoot_) ref = comp->Owner()->Name() + "." + ref;
                WritePropName(prop.name);
                WriteIdent(ref);
            } else if (auto* coll = dynamic_cast<TCollection*>(obj)) {
                WritePropName(prop.name);
                WriteCollection(*coll);
            } else {
                std::string saved = propPath_;
                propPath_ += prop.name;
                propPath_ += '.';
                WriteProperties(*obj);
                propPath_ = std::move(saved);
            }
            return;
        }
    }
}

void TWriter::WriteCollection(const TCollection& collection) {
    WriteValue(ValueTag::Collection);
    std::string saved = std::move(propPath_);
    propPath_.clear();
    for (int i = 0; i < collection.Count(); ++i) {
        WriteListBegin();
        WriteProperties(collection.Item(i));
        WriteListEnd();
    }
    propPath_ = std::move(saved);
    WriteListEnd();
}

void TWriter::DefineProperty(const std::string& name, const ReaderProc&, const WriterProc& writeData, bool hasData) {
    if (!hasData || !writeData) return;
    WritePropName(name);
    writeData(*this);
}

void TWriter::DefineBinaryProperty(const std::string& name, const StreamProc&, const StreamProc& writeData,
                                   bool hasData) {
    if (!hasData || !writeData) return;
    WritePropName(name);
    TMemoryStream ms;
    writeData(ms);
    if (ms.Size() > INT32_MAX) throw EWriteError(msg::StreamWrite);
    WriteValue(ValueTag::Binary);
    auto n = static_cast<std::uint32_t>(ms.Size());
    Write(&n, 4);
    Write(ms.Memory(), n);
}

void WriteComponentToStream(TStream& stream, TComponent& root) {
    TWriter writer(stream);
    writer.WriteDescendent(root);
    writer.FlushBuffer();
}

}  // namespace vs
