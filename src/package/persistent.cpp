#include "package/persistent.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/ascii.h"
#include "platform/errors.h"

namespace vs {

std::optional<int> EnumType::find(std::string_view ident) const {
    for (std::size_t i = 0; i < idents.size(); ++i)
        if (SameText(idents[i], ident)) return static_cast<int>(i);
    return std::nullopt;
}

const EnumType& BooleanType() {
    static const EnumType t{"Boolean", {"False", "True"}};
    return t;
}

bool PropInfo::readable() const {
    switch (kind) {
        case PropKind::Integer: case PropKind::Enumeration: case PropKind::Char: case PropKind::Set:
            return static_cast<bool>(getOrd);
        case PropKind::Float: return static_cast<bool>(getFloat);
        case PropKind::String: return static_cast<bool>(getStr);
        case PropKind::Object: return static_cast<bool>(getObj);
        case PropKind::Method: return static_cast<bool>(getMethod);
    }
    return false;
}

bool PropInfo::writable() const {
    switch (kind) {
        case PropKind::Integer: case PropKind::Enumeration: case PropKind::Char: case PropKind::Set:
            return static_cast<bool>(setOrd);
        case PropKind::Float: return static_cast<bool>(setFloat);
        case PropKind::String: return static_cast<bool>(setStr);
        case PropKind::Object: return static_cast<bool>(setObj);
        case PropKind::Method: return static_cast<bool>(setMethod);
    }
    return false;
}

std::vector<const PropInfo*> ClassInfo::allProps() const {
    std::vector<const ClassInfo*> chain;
    for (const ClassInfo* c = this; c; c = c->parent) chain.push_back(c);
    std::vector<const PropInfo*> out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const PropInfo& p : (*it)->props) out.push_back(&p);
    return out;
}

const PropInfo* ClassInfo::findProp(std::string_view name) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        for (const PropInfo& p : c->props)
            if (SameText(p.name, name)) return &p;
    return nullptr;
}

bool ClassInfo::hasMethod(std::string_view name) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        for (const std::string& m : c->methods)
            if (SameText(m, name)) return true;
    return false;
}

bool ClassInfo::inheritsFrom(const ClassInfo& other) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        if (c == &other) return true;
    return false;
}

// ---- TPersistent

const ClassInfo& TPersistent::StaticClassInfo() {
    static const ClassInfo info{"TPersistent", nullptr, {}, {}};
    return info;
}

void TPersistent::Assign(const TPersistent& source) {
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

// ---- TComponent

const ClassInfo& TComponent::StaticClassInfo() {
    static const ClassInfo info = [] {
        ClassInfo c{"TComponent", &TPersistent::StaticClassInfo(), {}, {}};
        PropInfo name;
        name.name = "Name";
        name.kind = PropKind::String;
        name.getStr = [](const TPersistent& o) { return static_cast<const TComponent&>(o).Name(); };
        name.setStr = [](TPersistent& o, const std::string& v) { static_cast<TComponent&>(o).SetName(v); };
        name.stored = [](const TPersistent&) { return false; };
        c.props.push_back(std::move(name));
        c.props.push_back(IntegerProp("Tag", &TComponent::Tag, 0));
        return c;
    }();
    return info;
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    // Owned components go first, newest first.
    while (!components_.empty()) {
        TComponent* c = components_.back();
        components_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    if (owner_) owner_->RemoveComponent(this);
    RemoveGlobalComponent(this);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->Name(), name)) return c;
    return nullptr;
}

void TComponent::RemoveComponent(TComponent* c) {
    auto it = std::find(components_.begin(), components_.end(), c);
    if (it != components_.end()) {
        components_.erase(it);
        c->owner_ = nullptr;
    }
}

// ---- collections

const ClassInfo& TCollectionItem::StaticClassInfo() {
    static const ClassInfo info{"TCollectionItem", &TPersistent::StaticClassInfo(), {}, {}};
    return info;
}

const ClassInfo& TCollection::StaticClassInfo() {
    static const ClassInfo info{"TCollection", &TPersistent::StaticClassInfo(), {}, {}};
    return info;
}

TCollection::~TCollection() = default;

TCollectionItem& TCollection::AddItem() {
    items_.push_back(CreateItem());
    items_.back()->collection_ = this;
    return *items_.back();
}

void TCollection::Clear() { items_.clear(); }

void TCollection::Delete(int index) {
    items_.erase(items_.begin() + index);
}

// ---- registries

namespace {
struct Registry {
    std::mutex mutex;
    std::map<std::string, std::pair<const ClassInfo*, ComponentFactory>, std::less<>> classes;
    std::vector<TComponent*> globals;
};
Registry& registry() {
    static Registry r;
    return r;
}
std::string lowerKey(std::string_view s) { return AsciiLowerCase(s); }
}  // namespace

void RegisterClass(const ClassInfo& info, ComponentFactory factory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto& slot = r.classes[lowerKey(info.name)];
    slot.first = &info;
    if (factory) slot.second = std::move(factory);
}

const ClassInfo* FindClassInfo(std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.classes.find(lowerKey(name));
    return it == r.classes.end() ? nullptr : it->second.first;
}

ComponentFactory FindClassFactory(std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.classes.find(lowerKey(name));
    return it == r.classes.end() ? ComponentFactory{} : it->second.second;
}

void AddGlobalComponent(TComponent* c) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.globals.push_back(c);
}

void RemoveGlobalComponent(TComponent* c) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase(r.globals, c);
}

TComponent* FindGlobalComponent(std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (TComponent* c : r.globals)
        if (SameText(c->Name(), name)) return c;
    return nullptr;
}

}  // namespace vs
