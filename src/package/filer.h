#pragma once
// The component stream: "TPF0", then one component record of tagged values.
// TWriter writes it and TReader reads it, both through a 4096-byte buffer.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package/packing_batch.h"
#include "package/persistent.h"
#include "platform/cp1252.h"
#include "platform/stream.h"

namespace vs {

enum class ValueTag : std::uint8_t {
    Null = 0, List = 1, Int8 = 2, Int16 = 3, Int32 = 4, Extended = 5, String = 6, Ident = 7,
    False = 8, True = 9, Binary = 10, Set = 11, LString = 12, Nil = 13, Collection = 14,
    Single = 15, Currency = 16, Date = 17, WString = 18, Int64 = 19,
};

inline constexpr char kFilerSignature[4] = {'T', 'P', 'F', '0'};
inline constexpr std::size_t kFilerBufferSize = 4096;

class TWriter;
class TReader;

using ReaderProc = std::function<void(TReader&)>;
using WriterProc = std::function<void(TWriter&)>;
using StreamProc = std::function<void(TStream&)>;

// The common base of writer and reader; objects name their own entries to it
// in their define-properties hook.
class TFiler {
public:
    explicit TFiler(TStream& stream) : stream_(stream) {}
    virtual ~TFiler() = default;
    TFiler(const TFiler&) = delete;
    TFiler& operator=(const TFiler&) = delete;

    virtual void DefineProperty(const std::string& name, const ReaderProc& readData, const WriterProc& writeData,
                                bool hasData) = 0;
    virtual void DefineBinaryProperty(const std::string& name, const StreamProc& readData,
                                      const StreamProc& writeData, bool hasData) = 0;

    TComponent* Root() const { return root_; }
    TComponent* LookupRoot() const { return lookupRoot_; }
    // Always absent in this system: streams are written without an ancestor.
    TPersistent* Ancestor() const { return ancestor_; }

protected:
    TStream& stream_;
    TComponent* root_ = nullptr;
    TComponent* lookupRoot_ = nullptr;
    TPersistent* ancestor_ = nullptr;
};

class TWriter : public TFiler {
public:
    explicit TWriter(TStream& stream);
    ~TWriter() override;  // flushes

    // Signature and the root's component record.
    void WriteDescendent(TComponent& root);
    void WriteComponent(TComponent& component);
    void WriteProperties(const TPersistent& instance);
    void FlushBuffer();

    void DefineProperty(const std::string& name, const ReaderProc& readData, const WriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, const StreamProc& readData, const StreamProc& writeData,
                              bool hasData) override;

    // Value writers.
    void WriteValue(ValueTag tag);
    void WriteInteger(std::int64_t value);
    void WriteBoolean(bool value) { WriteValue(value ? ValueTag::True : ValueTag::False); }
    void WriteString(const AnsiString& value);  // tagString or tagLongString
    void WriteIdent(std::string_view ident);    // the four special identifiers as their tags
    void WriteFloat(long double value);         // tagExtended
    void WriteStr(std::string_view value);      // short string, cut to 255 bytes
    void WriteListBegin() { WriteValue(ValueTag::List); }
    void WriteListEnd() { WriteValue(ValueTag::Null); }
    void WriteCollection(const TCollection& collection);
    void Write(const void* data, std::size_t n);

    const std::string& PropertyPath() const { return propPath_; }

private:
    void WriteProperty(const TPersistent& instance, const PropInfo& prop);
    void WritePropName(std::string_view name);

    std::vector<std::uint8_t> buffer_;
    std::string propPath_;
};

// What a reader does with the local files that a stream's packed files name.
enum class LocalFiles {
    // The names are only stored; no local file is opened. A package or project
    // that comes from elsewhere names files of another machine.
    Ignore,
    // A name of an existing local file loads and compresses that file, unless
    // the stream's "Data" entry replaces it; the files are compressed in
    // parallel when the root has been read, before the loaded notifications.
    Pack,
};

// What a reader does with the compressed bytes of packed files.
enum class PackedData {
    Read,      // they are read into the packed files
    SizeOnly,  // they are passed over, their count kept: for showing a package without reading it whole
};

struct ReadOptions {
    LocalFiles localFiles = LocalFiles::Ignore;
    unsigned jobs = 0;                         // threads that pack local files; 0: one per core
    const PackingObserver* observer = nullptr;  // while they are packed
    PackedData packedData = PackedData::Read;
};

class TReader : public TFiler {
public:
    explicit TReader(TStream& stream, ReadOptions options = {});
    // Moves the stream back over buffered bytes that were not consumed.
    ~TReader() override;

    // Reads the signature and the root's record into the given instance.
    void ReadRootComponent(TComponent& instance);

    void DefineProperty(const std::string& name, const ReaderProc& readData, const WriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, const StreamProc& readData, const StreamProc& writeData,
                              bool hasData) override;
    // A binary entry whose bytes are passed over without being read; `size`
    // is told their count.
    void DefineSkippedBinaryProperty(const std::string& name, const std::function<void(std::uint32_t)>& size);
    const ReadOptions& Options() const { return options_; }

    // Value readers.
    ValueTag ReadValue();
    ValueTag NextValue();
    std::int32_t ReadInteger();
    std::int64_t ReadInt64();
    bool ReadBoolean();
    AnsiString ReadString();
    std::string ReadIdent();
    long double ReadFloat();
    std::string ReadStr();
    void ReadListBegin();
    void ReadListEnd();
    bool EndOfList();
    void ReadCollection(TCollection& collection);
    void SkipValue();
    void Read(void* data, std::size_t n);
    std::uint8_t ReadByte();

    // Bytes still available to the reader (buffered plus left in the stream).
    std::uint64_t Remaining() const;
    // Puts the stream right behind the last consumed byte.
    void FixupStreamPosition();

    const std::string& PropName() const { return propName_; }

    // The batch that packs the local files named while this reader reads a
    // root; nothing when it leaves local files alone.
    PackingBatch* Packing() { return packing_.get(); }

private:
    void RunPacking();

    void ReadChildComponent();
    void ReadPrefix();
    void ReadProperty(TPersistent& instance);
    void ReadPropValue(TPersistent& instance, const PropInfo& prop);
    void ReadDataInner(TComponent& instance);
    void SkipSetBody();
    // The byte count of the binary value that comes next; fails when the
    // value is of another type.
    std::uint32_t ReadBinaryCount();
    void SkipBytes(std::uint64_t n);
    void SkipProperty();
    void RequireAvailable(std::uint64_t n) const;
    bool Refill();
    void EnterNesting();

    std::vector<std::uint8_t> buffer_;
    std::size_t bufPos_ = 0, bufEnd_ = 0;
    std::int64_t streamSize_ = 0;
    std::int64_t streamPos_ = 0;  // stream position behind the buffered bytes
    std::string propName_;

    // Define-properties lookup state.
    bool defineMode_ = false;
    bool defineFound_ = false;
    std::string defineName_;

    struct Fixup { TPersistent* instance; const PropInfo* prop; std::string name; };
    std::vector<Fixup> fixups_;
    std::vector<TComponent*> loaded_;
    ReadOptions options_;
    std::unique_ptr<PackingBatch> packing_;
    int depth_ = 0;
};

// Convenience: a whole component to or from a stream at its current position.
void WriteComponentToStream(TStream& stream, TComponent& root);
void ReadComponentFromStream(TStream& stream, TComponent& instance, ReadOptions options = {});

}  // namespace vs
