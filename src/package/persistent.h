#pragma once
// Streamable objects and their published properties.
//
// Every streamable class describes its published properties once, in
// declaration order, in a static ClassInfo: name, kind, declared default,
// stored condition and typed access through the class's setter where it has
// one. The component stream writer and reader are generic over that table and
// over the define-properties hook.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/ascii.h"

namespace vs {

class TFiler;
class TReader;
class TPersistent;
class TComponent;

// Declared default meaning "no default".
inline constexpr std::int32_t kNoDefault = INT32_MIN;

enum class PropKind { Integer, Enumeration, Char, Set, Float, String, Method, Object };
enum class OrdType { SByte, UByte, SWord, UWord, SLong, ULong };

// Identifiers of an enumeration (Boolean is {"False", "True"}); also the member
// names of a set type.
struct EnumType {
    std::string name;
    std::vector<std::string> idents;
    std::optional<int> find(std::string_view ident) const;  // without regard to ASCII case
};
const EnumType& BooleanType();

// Optional identifier names of an integer type (colour names and the like).
struct IntIdentMap {
    std::function<std::optional<std::string>(std::int32_t)> toIdent;
    std::function<std::optional<std::int32_t>(std::string_view)> fromIdent;
};

// A method value: the published name of a method and the object it runs on.
struct TMethodRef {
    std::string name;
    TPersistent* data = nullptr;
    bool empty() const { return name.empty(); }
    bool operator==(const TMethodRef&) const = default;
};

struct PropInfo {
    std::string name;
    PropKind kind = PropKind::Integer;
    OrdType ord = OrdType::SLong;
    const EnumType* enumType = nullptr;   // enumerations and sets
    const IntIdentMap* identMap = nullptr;
    std::int32_t defaultValue = kNoDefault;
    std::function<bool(const TPersistent&)> stored;  // empty: always stored

    std::function<std::int64_t(const TPersistent&)> getOrd;  // Integer, Enumeration, Char, Set
    std::function<void(TPersistent&, std::int64_t)> setOrd;
    std::function<double(const TPersistent&)> getFloat;
    std::function<void(TPersistent&, double)> setFloat;
    // Strings are UTF-8 here; the stream holds them as Windows-1252.
    std::function<std::string(const TPersistent&)> getStr;
    std::function<void(TPersistent&, const std::string&)> setStr;
    // A string setter that needs to know the reader it is read by (a packed
    // file's name consults the reader's packing batch); the reader uses it
    // instead of setStr when it is given.
    std::function<void(TPersistent&, const std::string&, TReader&)> readStr;
    std::function<TPersistent*(const TPersistent&)> getObj;
    // Sets an object property; returns false when the value does not fit.
    std::function<bool(TPersistent&, TPersistent*)> setObj;
    // The object belongs to its holder and is filled in place: a stream value
    // that would replace it (nil, a component reference) is refused.
    bool owned = false;
    std::function<TMethodRef(const TPersistent&)> getMethod;
    std::function<void(TPersistent&, const TMethodRef&)> setMethod;

    bool readable() const;
    bool writable() const;
    bool isStored(const TPersistent& obj) const { return !stored || stored(obj); }
};

struct ClassInfo {
    std::string name;
    const ClassInfo* parent = nullptr;
    std::vector<PropInfo> props;             // own published properties, in declaration order
    std::vector<std::string> methods;        // published method names

    // Properties of the whole hierarchy in index order: the bases' first.
    std::vector<const PropInfo*> allProps() const;
    // Lookup without regard to ASCII case, the class first, then its bases.
    const PropInfo* findProp(std::string_view name) const;
    bool hasMethod(std::string_view name) const;
    bool inheritsFrom(const ClassInfo& other) const;
};

// Every concrete streamable class derives from Published<Itself, Base> (below),
// which is the only place classInfo() is given.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const ClassInfo& classInfo() const = 0;
    const std::string& ClassName() const { return classInfo().name; }

    // Adds the object's own stream entries (plain or binary) to a writer or reader.
    virtual void DefineProperties(TFiler& filer) {}
    // Copies another object; fails with "Cannot assign a %s to a %s" unless overridden.
    virtual void Assign(const TPersistent& source);

    static const ClassInfo& StaticClassInfo();
};

// ---- components

enum ComponentState : unsigned {
    csLoading = 1, csReading = 2, csWriting = 4, csDesigning = 8,
};

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    static const ClassInfo& StaticClassInfo();

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    std::int32_t Tag = 0;

    TComponent* Owner() const { return owner_; }
    // Components owned by this one; they are freed with it.
    const std::vector<TComponent*>& Components() const { return components_; }
    TComponent* FindComponent(std::string_view name) const;
    // Gives up ownership of a component (it stays alive).
    void RemoveComponent(TComponent* c);

    unsigned State() const { return state_; }
    void SetState(unsigned flags) { state_ |= flags; }
    void ClearState(unsigned flags) { state_ &= ~flags; }

    // Children written after the component's own entries (none for a plain component).
    virtual std::vector<TComponent*> GetChildren() const { return {}; }
    // Called once a whole read is done.
    virtual void Loaded() { ClearState(csLoading); }

private:
    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    unsigned state_ = 0;
};

// ---- collections

class TCollection;

class TCollectionItem : public TPersistent {
public:
    explicit TCollectionItem(TCollection* collection = nullptr) : collection_(collection) {}
    static const ClassInfo& StaticClassInfo();
    TCollection* Collection() const { return collection_; }

private:
    friend class TCollection;
    TCollection* collection_;
};

class TCollection : public TPersistent {
public:
    TCollection() = default;
    ~TCollection() override;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    static const ClassInfo& StaticClassInfo();

    int Count() const { return static_cast<int>(items_.size()); }
    TCollectionItem& Item(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
    // The collection's plain add: a new item of the collection's item class.
    TCollectionItem& AddItem();
    void Clear();
    void Delete(int index);
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate() { --updateCount_; }
    int UpdateCount() const { return updateCount_; }

protected:
    virtual std::unique_ptr<TCollectionItem> CreateItem() = 0;

private:
    std::vector<std::unique_ptr<TCollectionItem>> items_;
    int updateCount_ = 0;
};

// ---- the class information of concrete classes

// A concrete streamable class is declared `class TX final : public
// Published<TX, TBase>` and provides a static StaticClassInfo(). classInfo()
// is final here and the class must be final, so no class can stream under
// the information of its base by forgetting to give its own.
template <class Derived, class Base>
class Published : public Base {
public:
    using Base::Base;
    const ClassInfo& classInfo() const final {
        static_assert(std::is_final_v<Derived>, "a published class must be final");
        return Derived::StaticClassInfo();
    }
};

// ---- class registry

using ComponentFactory = std::function<TComponent*(TComponent* owner)>;
// Registers a class by name; registering the same name twice is harmless.
void RegisterClass(const ClassInfo& info, ComponentFactory factory = {});
const ClassInfo* FindClassInfo(std::string_view name);
ComponentFactory FindClassFactory(std::string_view name);

// Global components (forms and data modules), whose names a read root is made unique against.
void AddGlobalComponent(TComponent* c);
void RemoveGlobalComponent(TComponent* c);
TComponent* FindGlobalComponent(std::string_view name);


// ---- helpers that build property descriptions from members

template <class C>
PropInfo IntegerProp(std::string name, std::int32_t C::*field, std::int32_t def = kNoDefault) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::Integer;
    p.ord = OrdType::SLong;
    p.defaultValue = def;
    p.getOrd = [field](const TPersistent& o) { return std::int64_t{static_cast<const C&>(o).*field}; };
    p.setOrd = [field](TPersistent& o, std::int64_t v) { static_cast<C&>(o).*field = static_cast<std::int32_t>(v); };
    return p;
}

template <class C>
PropInfo ByteProp(std::string name, std::uint8_t C::*field, std::int32_t def = kNoDefault) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::Integer;
    p.ord = OrdType::UByte;
    p.defaultValue = def;
    p.getOrd = [field](const TPersistent& o) { return std::int64_t{static_cast<const C&>(o).*field}; };
    p.setOrd = [field](TPersistent& o, std::int64_t v) { static_cast<C&>(o).*field = static_cast<std::uint8_t>(v); };
    return p;
}

template <class C>
PropInfo BooleanProp(std::string name, bool C::*field, std::int32_t def = kNoDefault) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::Enumeration;
    p.ord = OrdType::UByte;
    p.enumType = &BooleanType();
    p.defaultValue = def;
    p.getOrd = [field](const TPersistent& o) { return std::int64_t{static_cast<const C&>(o).*field ? 1 : 0}; };
    p.setOrd = [field](TPersistent& o, std::int64_t v) { static_cast<C&>(o).*field = v != 0; };
    return p;
}

template <class C, class E>
PropInfo EnumProp(std::string name, E C::*field, const EnumType& type, std::int32_t def = kNoDefault) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::Enumeration;
    p.ord = OrdType::UByte;
    p.enumType = &type;
    p.defaultValue = def;
    p.getOrd = [field](const TPersistent& o) { return static_cast<std::int64_t>(static_cast<const C&>(o).*field); };
    p.setOrd = [field](TPersistent& o, std::int64_t v) { static_cast<C&>(o).*field = static_cast<E>(v); };
    return p;
}

template <class C>
PropInfo StringProp(std::string name, std::string C::*field) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::String;
    p.getStr = [field](const TPersistent& o) { return static_cast<const C&>(o).*field; };
    p.setStr = [field](TPersistent& o, const std::string& v) { static_cast<C&>(o).*field = v; };
    return p;
}

// An object property whose object is owned by its holder and changed in place:
// a reader fills the existing object and can never replace or drop it.
template <class C, class T, class Getter>
PropInfo OwnedObjectProp(std::string name, Getter getter) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::Object;
    p.getObj = [getter](const TPersistent& o) -> TPersistent* {
        T* obj = getter(static_cast<const C&>(o));
        return obj;
    };
    p.setObj = [getter](TPersistent& o, TPersistent* v) {
        return v == static_cast<TPersistent*>(getter(static_cast<const C&>(o)));
    };
    p.owned = true;
    return p;
}

template <class C>
PropInfo MethodProp(std::string name, TMethodRef C::*field) {
    PropInfo p;
    p.name = std::move(name);
    p.kind = PropKind::Method;
    p.getMethod = [field](const TPersistent& o) { return static_cast<const C&>(o).*field; };
    p.setMethod = [field](TPersistent& o, const TMethodRef& v) { static_cast<C&>(o).*field = v; };
    return p;
}

}  // namespace vs
