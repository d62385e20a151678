// Field values of the scene model: the root class Field, the single-valued
// types (SFBool ... SFRotation) with their type codes, text forms and raw BIFS
// coding, and the lists of single values (MultiField, MFField<T>).
// Node values (SingleNode, MultiNode, MFNode) live in node_basenodedef.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "node/result.h"

class OutStream;
class CBIFS_InStream;

// One-byte field type codes (GetFieldType). A list reports its element's code.
enum : std::uint8_t {
    kFieldNoType = 0,
    kFieldSFNode = 1,
    kFieldSFBool = 2,
    kFieldSFColor = 3,
    kFieldSFFloat = 4,
    kFieldSFInt32 = 5,
    kFieldSFRotation = 6,
    kFieldSFString = 7,
    kFieldSFTime = 8,
    kFieldSFURL = 9,
    kFieldSFVec2f = 10,
    kFieldSFVec3f = 11,
    kFieldMFNode = 15,
};

// The longest string (SFString, SFURL) the coding carries: its length is
// written in 16 bits.
inline constexpr std::uint64_t kMaxStringLength = 65535;

// Root of every field value: single values, lists, nodes and node lists.
class Field {
  public:
    virtual std::uint8_t GetFieldType() const { return kFieldNoType; }
    // 1 for a single value or a node, 0 for a list.
    virtual int IsSingle() const = 0;
    // Raw value coding; the abstract bases write and read nothing.
    virtual HRESULT Encode(OutStream& stream) const;
    virtual HRESULT Decode(CBIFS_InStream& stream);
    virtual ~Field() = default;
};

// Base of the ten single-valued types.
class SFField : public Field {
  public:
    int IsSingle() const override { return 1; }
    // Stores the text form; 0.
    virtual int ToString(std::string& out) const = 0;
    // Sets the value from text; 0 on success, 1 when the text does not fit the type.
    virtual int FromString(const std::string& text) = 0;
    // Copies the value of a field of the same class (0); otherwise 1, unchanged.
    virtual int AssignFrom(const Field& other) = 0;
    virtual void GetTypeName(std::string& out) const = 0;
    // A default-constructed value of the same type.
    virtual std::unique_ptr<SFField> CloneEmpty() const = 0;
};

namespace field_detail {
// Shared by the single-valued classes: the class, its code and its name.
template <class Derived, std::uint8_t Code>
class SFTyped : public SFField {
  public:
    std::uint8_t GetFieldType() const override { return Code; }
    int AssignFrom(const Field& other) override {
        auto* same = dynamic_cast<const Derived*>(&other);
        if (same == nullptr) return 1;
        static_cast<Derived&>(*this) = *same;
        return 0;
    }
    void GetTypeName(std::string& out) const override { out = Derived::kTypeName; }
    std::unique_ptr<SFField> CloneEmpty() const override { return std::make_unique<Derived>(); }
};
}  // namespace field_detail

class SFBool final : public field_detail::SFTyped<SFBool, kFieldSFBool> {
  public:
    static constexpr const char* kTypeName = "SFBool";
    SFBool() = default;
    explicit SFBool(bool value) : m_value(value ? 1 : 0) {}
    bool Get() const { return m_value != 0; }
    void Set(bool value) { m_value = value ? 1 : 0; }
    int ToString(std::string& out) const override;
    int FromString(const std::string& text) override;
    HRESULT Encode(OutStream& stream) const override;
    HRESULT Decode(CBIFS_InStream& stream) override;
    bool operator==(const SFBool& o) const { return m_value == o.m_value; }

  private:
    std::uint8_t m_value = 0;
};

class SFInt32 final : public field_detail::SFTyped<SFInt32, kFieldSFInt32> {
  public:
    static constexpr const char* kTypeName = "SFInt32";
    SFInt32() = default;
    explicit SFInt32(std::int32_t value) : m_value(value) {}
    std::int32_t Get() const { return m_value; }
    void Set(std::int32_t value) { m_value = value; }
    int ToString(std::string& out) const override;
    int FromString(const std::string& text) override;
    HRESULT Encode(OutStream& stream) const override;
    HRESULT Decode(CBIFS_InStream& stream) override;
    bool operator==(const SFInt32& o) const { return m_value == o.m_value; }

  private:
    std::int32_t m_value = 0;
};

class SFFloat final : public field_detail::SFTyped<SFFloat, kFieldSFFloat> {
  public:
    static constexpr const char* kTypeName = "SFFloat";
    SFFloat() = default;
    explicit SFFloat(float value) : m_value(value) {}
    float Get() const { return m_value; }
    void Set(float value) { m_value = value; }
    int ToString(std::string& out) const override;
    int FromString(const std::string& text) override;
    HRESULT Encode(OutStream& stream) const override;
    HRESULT Decode(CBIFS_InStream& stream) override;
    bool operator==(const SFFloat& o) const { return m_value == o.m_value; }

  private:
    float m_value = 0;
};

class SFTime final : public field_detail::SFTyped<SFTime, kFieldSFTime> {
  public:
    static constexpr const char* kTypeName = "SFTime";
    SFTime() = default;
    explicit SFTime(double seconds) : m_value(seconds) {}
    double Get() const { return m_value; }
    void Set(double seconds) { m_value = seconds; }
    int ToString(std::string& out) const override;
    int FromString(const std::string& text) override;
    HRESULT Encode(OutStream& stream) const override;
    HRESULT Decode(CBIFS_InStream& stream) override;
    bool operator==(const SFTime& o) const { return m_value == o.m_value; }

  private:
    double m_value = 0;
};

namespace field_detail {
// A narrow string value; SFString and SFURL differ only in type.
template <class Derived, std::uint8_t Code>
class SFText : public SFTyped<Derived, Code> {
  public:
    SFText() = default;
    explicit SFText(std::string value) : m_value(std::move(value)) {}
    const std::string& Get() const { return m_value; }
    void Set(std::string value) { m_value = std::move(value); }
    int ToString(std::string& out) const override {
        out = m_value;
        return 0;
    }
    int FromString(const std::string& text) override {
        m_value = text;
        return 0;
    }
    // 5 bits holding 16, the length in 16 bits, then each byte in 8 bits.
    HRESULT Encode(OutStream& stream) const override;
    // Appends the characters read to the current content.
    HRESULT Decode(CBIFS_InStream& stream) override;
    bool operator==(const SFText& o) const { return m_value == o.m_value; }

  private:
    std::string m_value;
};
}  // namespace field_detail

class SFString final : public field_detail::SFText<SFString, kFieldSFString> {
  public:
    static constexpr const char* kTypeName = "SFString";
    using SFText::SFText;
};

class SFURL final : public field_detail::SFText<SFURL, kFieldSFURL> {
  public:
    static constexpr const char* kTypeName = "SFURL";
    using SFText::SFText;
};

namespace field_detail {
// N float components printed joined by "," and parsed from ","-separated text.
template <class Derived, std::uint8_t Code, int N>
class SFFloats : public SFTyped<Derived, Code> {
  public:
    static constexpr int kComponents = N;
    SFFloats() = default;
    explicit SFFloats(const std::array<float, N>& values) : m_v(values) {}
    float operator[](int i) const { return m_v[i]; }
    float& operator[](int i) { return m_v[i]; }
    const std::array<float, N>& Values() const { return m_v; }
    void SetValues(const std::array<float, N>& values) { m_v = values; }
    int ToString(std::string& out) const override;
    // Text of at most 79 characters; fewer than N components gives 1, with
    // the components read so far already set.
    int FromString(const std::string& text) override;
    HRESULT Encode(OutStream& stream) const override;
    HRESULT Decode(CBIFS_InStream& stream) override;
    bool operator==(const SFFloats& o) const { return m_v == o.m_v; }

  protected:
    std::array<float, N> m_v{};
};
}  // namespace field_detail

class SFVec2f final : public field_detail::SFFloats<SFVec2f, kFieldSFVec2f, 2> {
  public:
    static constexpr const char* kTypeName = "SFVec2f";
    SFVec2f() = default;
    SFVec2f(float x, float y) : SFFloats({x, y}) {}
    float GetX() const { return m_v[0]; }
    float GetY() const { return m_v[1]; }
    void Set(float x, float y) { m_v = {x, y}; }
};

class SFVec3f final : public field_detail::SFFloats<SFVec3f, kFieldSFVec3f, 3> {
  public:
    static constexpr const char* kTypeName = "SFVec3f";
    SFVec3f() = default;
    SFVec3f(float x, float y, float z) : SFFloats({x, y, z}) {}
    float GetX() const { return m_v[0]; }
    float GetY() const { return m_v[1]; }
    float GetZ() const { return m_v[2]; }
    void Set(float x, float y, float z) { m_v = {x, y, z}; }
};

// A colour; components are meant to lie in 0..1 (the nodes clamp them).
class SFColor final : public field_detail::SFFloats<SFColor, kFieldSFColor, 3> {
  public:
    static constexpr const char* kTypeName = "SFColor";
    SFColor() = default;
    SFColor(float r, float g, float b) : SFFloats({r, g, b}) {}
    float GetR() const { return m_v[0]; }
    float GetG() const { return m_v[1]; }
    float GetB() const { return m_v[2]; }
    void Set(float r, float g, float b) { m_v = {r, g, b}; }
};

// Rotation by an angle in radians about the axis (x, y, z), right-handed.
class SFRotation final : public field_detail::SFFloats<SFRotation, kFieldSFRotation, 4> {
  public:
    static constexpr const char* kTypeName = "SFRotation";
    SFRotation() = default;
    SFRotation(float x, float y, float z, float angle) : SFFloats({x, y, z, angle}) {}
    float GetX() const { return m_v[0]; }
    float GetY() const { return m_v[1]; }
    float GetZ() const { return m_v[2]; }
    float GetAngle() const { return m_v[3]; }
    void Set(float x, float y, float z, float angle) { m_v = {x, y, z, angle}; }
};

// A new default value of the type with field type code 2..11; null otherwise.
std::unique_ptr<SFField> CreateSFField(std::uint8_t fieldType);

// Base of the lists of single values.
class MultiField : public Field {
  public:
    int IsSingle() const override { return 0; }
    // List frame: 0, 1, then per element 0 and its raw coding, then 1.
    HRESULT Encode(OutStream& stream) const override;
    // Reads either the vector form or the list form; a first bit of 1 reads an
    // empty list. Malformed data stops the read with node::kFailCode, keeping the
    // elements read so far.
    HRESULT Decode(CBIFS_InStream& stream) override;

    virtual int AssignAt(int index, const Field& value);
    virtual int Append(const Field& value) { return InsertAt(GetCount(), value); }
    virtual int SetAtFromString(int index, const std::string& text);
    virtual void GetTypeName(std::string& out) const = 0;
    virtual int InsertAt(int index, const Field& value) = 0;
    virtual int InsertFromString(int index, const std::string& text) = 0;
    virtual int IsValidText(const std::string& text) const = 0;
    virtual int Clear() = 0;
    virtual int GetCount() const = 0;
    virtual SFField* GetElement(int index) = 0;
    virtual const SFField* GetElement(int index) const = 0;
    virtual void RemoveAt(int index) = 0;
    // Elements' text forms joined by ";".
    virtual int ToString(std::string& out) const;
    virtual int AssignFrom(const Field& other) = 0;

  protected:
    // Decodes elements and appends them: `count` of them, or in list form
    // (`listForm`) each after a 0 bit until a 1 bit. A failing element is not kept.
    virtual HRESULT DecodeElements(CBIFS_InStream& stream, bool listForm, std::uint64_t count) = 0;
};

// A list of T values, stored by value.
template <class T>
class MFField final : public MultiField {
  public:
    using value_type = T;
    MFField() = default;
    MFField(std::initializer_list<T> values) : m_values(values) {}

    std::uint8_t GetFieldType() const override { return T().GetFieldType(); }
    void GetTypeName(std::string& out) const override {
        out = std::string("Multi ") + T::kTypeName;
    }
    int InsertAt(int index, const Field& value) override {
        auto* typed = dynamic_cast<const T*>(&value);
        if (typed == nullptr || index < 0 || index > GetCount()) return 1;
        m_values.insert(m_values.begin() + index, *typed);
        return 0;
    }
    int InsertFromString(int index, const std::string& text) override {
        T parsed;
        if (parsed.FromString(text) != 0) return 1;
        return InsertAt(index, parsed);
    }
    int IsValidText(const std::string& text) const override { return T().FromString(text); }
    int Clear() override {
        m_values.clear();
        return 0;
    }
    int GetCount() const override { return static_cast<int>(m_values.size()); }
    SFField* GetElement(int index) override { return InRange(index) ? &m_values[index] : nullptr; }
    const SFField* GetElement(int index) const override {
        return InRange(index) ? &m_values[index] : nullptr;
    }
    void RemoveAt(int index) override {
        if (InRange(index)) m_values.erase(m_values.begin() + index);
    }
    int AssignFrom(const Field& other) override {
        auto* same = dynamic_cast<const MFField*>(&other);
        if (same == nullptr) return 1;
        if (same != this) m_values = same->m_values;
        return 0;
    }

    // Typed access for the renderer, router and loader.
    const std::vector<T>& Values() const { return m_values; }
    std::vector<T>& Values() { return m_values; }
    const T& operator[](int i) const { return m_values[i]; }
    T& operator[](int i) { return m_values[i]; }
    void PushBack(const T& value) { m_values.push_back(value); }
    bool operator==(const MFField& other) const { return m_values == other.m_values; }

    // The list form, as MultiField writes it; lists of numbers are written
    // in one run of the bit writer.
    HRESULT Encode(OutStream& stream) const override;

  protected:
    // Defined beside the explicit instantiations, where the bit reader is complete.
    HRESULT DecodeElements(CBIFS_InStream& stream, bool listForm, std::uint64_t count) override;

  private:
    bool InRange(int index) const { return index >= 0 && index < GetCount(); }
    std::vector<T> m_values;
};

extern template class MFField<SFString>;
extern template class MFField<SFURL>;
extern template class MFField<SFInt32>;
extern template class MFField<SFFloat>;
extern template class MFField<SFColor>;
extern template class MFField<SFVec3f>;
extern template class MFField<SFVec2f>;
extern template class MFField<SFRotation>;
