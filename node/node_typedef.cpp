#include "node/node_typedef.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cctype>
#include <cstring>
#include <type_traits>

#include "node/bifs_errors.h"
#include "node/bifs_instream.h"
#include "node/number_text.h"
#include "node/outstream.h"

// ---- Field ----

HRESULT Field::Encode(OutStream&) const {
    return node::kFailCode;
}
HRESULT Field::Decode(CBIFS_InStream&) {
    return node::kFailCode;
}

namespace {

HRESULT StreamResult(const CBIFS_InStream& stream) {
    return stream.HasError() ? node::kFailCode : node::kOk;
}

}  // namespace

// ---- SFBool ----

int SFBool::ToString(std::string& out) const {
    out = m_value ? "true" : "false";
    return 0;
}

int SFBool::FromString(const std::string& text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "true" || lower == "1") {
        m_value = 1;
    } else if (lower == "false" || lower == "0") {
        m_value = 0;
    } else {
        return 1;
    }
    return 0;
}

HRESULT SFBool::Encode(OutStream& stream) const {
    stream.WriteBits(m_value ? 1 : 0, 1);
    return node::kOk;
}

HRESULT SFBool::Decode(CBIFS_InStream& stream) {
    m_value = stream.ReadBits(1) == 1 ? 1 : 0;
    return StreamResult(stream);
}

// ---- SFInt32 ----

int SFInt32::ToString(std::string& out) const {
    out = std::to_string(m_value);
    return 0;
}

int SFInt32::FromString(const std::string& text) {
    numtext::ScanInt32(text.c_str(), m_value);
    return 0;
}

HRESULT SFInt32::Encode(OutStream& stream) const {
    stream.WriteInt32(m_value);
    return node::kOk;
}

HRESULT SFInt32::Decode(CBIFS_InStream& stream) {
    m_value = stream.ReadInt32();
    return StreamResult(stream);
}

// ---- SFFloat ----

int SFFloat::ToString(std::string& out) const {
    out = numtext::FormatFixed(m_value);
    return 0;
}

int SFFloat::FromString(const std::string& text) {
    numtext::ScanFloat(text.c_str(), m_value);
    return 0;
}

HRESULT SFFloat::Encode(OutStream& stream) const {
    stream.WriteFloat(std::bit_cast<std::uint32_t>(m_value));
    return node::kOk;
}

HRESULT SFFloat::Decode(CBIFS_InStream& stream) {
    m_value = stream.ReadFloat();
    return StreamResult(stream);
}

// ---- SFTime ----

int SFTime::ToString(std::string& out) const {
    out = numtext::FormatFixed(m_value);
    return 0;
}

int SFTime::FromString(const std::string& text) {
    numtext::ScanDouble(text.c_str(), m_value);
    return 0;
}

HRESULT SFTime::Encode(OutStream& stream) const {
    stream.WriteDouble(std::bit_cast<std::uint64_t>(m_value));
    return node::kOk;
}

HRESULT SFTime::Decode(CBIFS_InStream& stream) {
    m_value = stream.ReadDouble();
    return StreamResult(stream);
}

// ---- SFString, SFURL ----

namespace field_detail {

template <class Derived, std::uint8_t Code>
HRESULT SFText<Derived, Code>::Encode(OutStream& stream) const {
    // A longer string would need more than its 16-bit length: refused, not cut.
    if (m_value.size() > kMaxStringLength) {
        stream.Fail(bifs_error::StringTooLong(m_value.size()));
        return node::kFailCode;
    }
    stream.WriteBits(16, 5);
    stream.WriteBits(m_value.size(), 16);
    stream.WriteChars(m_value);
    return node::kOk;
}

template <class Derived, std::uint8_t Code>
HRESULT SFText<Derived, Code>::Decode(CBIFS_InStream& stream) {
    const std::uint64_t at = stream.BitPosition();
    auto width = static_cast<std::uint8_t>(stream.ReadBits(5));
    std::uint64_t length = stream.ReadBits(width);
    if (stream.HasError()) return node::kFailCode;
    // Longer strings cannot be written again; a length beyond the data left
    // is a malformed stream, not a reason for a huge allocation.
    if (length > kMaxStringLength) {
        stream.Fail(at, bifs_error::StringTooLong(length));
        return node::kFailCode;
    }
    if (length * 8 > stream.BitsLeft()) {
        stream.Fail(at, bifs_error::StringPastEnd(length));
        return node::kFailCode;
    }
    m_value.reserve(m_value.size() + length);
    for (std::uint64_t i = 0; i < length; ++i) {
        m_value.push_back(static_cast<char>(stream.ReadBits(8)));
    }
    return StreamResult(stream);
}

template class SFText<SFString, kFieldSFString>;
template class SFText<SFURL, kFieldSFURL>;

// ---- SFVec2f, SFVec3f, SFColor, SFRotation ----

template <class Derived, std::uint8_t Code, int N>
int SFFloats<Derived, Code, N>::ToString(std::string& out) const {
    out.clear();
    for (int i = 0; i < N; ++i) {
        if (i) out += ',';
        out += numtext::FormatFixed(m_v[i]);
    }
    return 0;
}

template <class Derived, std::uint8_t Code, int N>
int SFFloats<Derived, Code, N>::FromString(const std::string& text) {
    // The parse works in an 80-byte buffer; longer text is bad input, not a
    // programming error, so it is rejected rather than asserted.
    if (text.length() >= 80) return 1;
    // Split on "," the way strtok does: runs of separators count as one and
    // empty tokens do not exist. A token that is not a number keeps its
    // component and still counts.
    char buffer[80];
    std::memcpy(buffer, text.c_str(), text.length() + 1);
    char* save = nullptr;
    char* token = strtok_r(buffer, ",", &save);
    for (int i = 0; i < N; ++i) {
        if (token == nullptr) return 1;
        numtext::ScanFloat(token, m_v[i]);
        token = strtok_r(nullptr, ",", &save);
    }
    return 0;
}

template <class Derived, std::uint8_t Code, int N>
HRESULT SFFloats<Derived, Code, N>::Encode(OutStream& stream) const {
    for (float v : m_v) stream.WriteFloat(std::bit_cast<std::uint32_t>(v));
    return node::kOk;
}

template <class Derived, std::uint8_t Code, int N>
HRESULT SFFloats<Derived, Code, N>::Decode(CBIFS_InStream& stream) {
    for (float& v : m_v) v = stream.ReadFloat();
    return StreamResult(stream);
}

template class SFFloats<SFVec2f, kFieldSFVec2f, 2>;
template class SFFloats<SFVec3f, kFieldSFVec3f, 3>;
template class SFFloats<SFColor, kFieldSFColor, 3>;
template class SFFloats<SFRotation, kFieldSFRotation, 4>;

}  // namespace field_detail

// ---- CreateSFField ----

std::unique_ptr<SFField> CreateSFField(std::uint8_t fieldType) {
    switch (fieldType) {
        case kFieldSFBool:
            return std::make_unique<SFBool>();
        case kFieldSFColor:
            return std::make_unique<SFColor>();
        case kFieldSFFloat:
            return std::make_unique<SFFloat>();
        case kFieldSFInt32:
            return std::make_unique<SFInt32>();
        case kFieldSFRotation:
            return std::make_unique<SFRotation>();
        case kFieldSFString:
            return std::make_unique<SFString>();
        case kFieldSFTime:
            return std::make_unique<SFTime>();
        case kFieldSFURL:
            return std::make_unique<SFURL>();
        case kFieldSFVec2f:
            return std::make_unique<SFVec2f>();
        case kFieldSFVec3f:
            return std::make_unique<SFVec3f>();
        default:
            return nullptr;
    }
}

// ---- MultiField ----

HRESULT MultiField::Encode(OutStream& stream) const {
    stream.WriteBits(0, 1);
    stream.WriteBits(1, 1);
    for (int i = 0, n = GetCount(); i < n; ++i) {
        stream.WriteBits(0, 1);
        if (GetElement(i)->Encode(stream) != node::kOk) {
            stream.AddErrorContext("element " + std::to_string(i));
            return node::kFailCode;
        }
    }
    stream.WriteBits(1, 1);
    return node::kOk;
}

HRESULT MultiField::Decode(CBIFS_InStream& stream) {
    const std::uint64_t at = stream.BitPosition();
    if (stream.ReadBits(1) == 1) return StreamResult(stream);
    if (stream.ReadBits(1) == 0) {
        // Vector form: a 5-bit width, a count of that many bits, the elements.
        auto width = static_cast<std::uint8_t>(stream.ReadBits(5));
        std::uint64_t count = stream.ReadBits(width);
        if (stream.HasError()) return node::kFailCode;
        // Every element takes at least 21 bits (an empty string); a count the
        // data cannot hold is malformed, not a reason to allocate.
        if (count * 21 > stream.BitsLeft()) {
            stream.Fail(at, bifs_error::CountPastEnd(count));
            return node::kFailCode;
        }
        return DecodeElements(stream, false, count);
    }
    // List form: a 0 bit before each element, a 1 bit at the end.
    return DecodeElements(stream, true, 0);
}

namespace {
// An element's 0 bit and its first 32-bit word go out as one 33-bit write.
void WriteElement(OutStream::Run& run, const SFInt32& v) {
    run.WriteBits(static_cast<std::uint32_t>(v.Get()), 33);
}
void WriteElement(OutStream::Run& run, const SFFloat& v) {
    run.WriteBits(std::bit_cast<std::uint32_t>(v.Get()), 33);
}
template <class D, std::uint8_t C, int N>
void WriteElement(OutStream::Run& run, const field_detail::SFFloats<D, C, N>& v) {
    run.WriteBits(std::bit_cast<std::uint32_t>(v[0]), 33);
    for (int i = 1; i < N; ++i) run.WriteBits(std::bit_cast<std::uint32_t>(v[i]), 32);
}
}  // namespace

template <class T>
HRESULT MFField<T>::Encode(OutStream& stream) const {
    if constexpr (std::is_same_v<T, SFString> || std::is_same_v<T, SFURL>) {
        return MultiField::Encode(stream);
    } else {
        OutStream::Run run(stream);
        run.WriteBits(0b01, 2);
        for (const T& value : m_values) WriteElement(run, value);
        run.WriteBits(1, 1);
        return node::kOk;
    }
}

namespace {

// Number lists: 32-bit words per element, and an element from its words.
template <class T>
constexpr unsigned kWords = 0;
template <>
constexpr unsigned kWords<SFInt32> = 1;
template <>
constexpr unsigned kWords<SFFloat> = 1;
template <>
constexpr unsigned kWords<SFVec2f> = 2;
template <>
constexpr unsigned kWords<SFVec3f> = 3;
template <>
constexpr unsigned kWords<SFColor> = 3;
template <>
constexpr unsigned kWords<SFRotation> = 4;

template <class T>
T FromWords(const std::uint32_t* words) {
    if constexpr (std::is_same_v<T, SFInt32>) {
        return T(static_cast<std::int32_t>(words[0]));
    } else if constexpr (std::is_same_v<T, SFFloat>) {
        return T(std::bit_cast<float>(words[0]));
    } else {
        std::array<float, kWords<T>> values;
        for (unsigned i = 0; i < kWords<T>; ++i) values[i] = std::bit_cast<float>(words[i]);
        T value;
        value.SetValues(values);
        return value;
    }
}

}  // namespace

template <class T>
HRESULT MFField<T>::DecodeElements(CBIFS_InStream& stream, bool listForm, std::uint64_t count) {
    if constexpr (kWords<T> != 0) {
        if (listForm) {
            // A list-form number list: counted first, so that its room is
            // taken once (a list grown element by element copies itself and
            // touches fresh memory at each doubling), then its whole elements
            // read straight from the data. The loop below reads the end bit,
            // or meets the end of the data where it would have.
            constexpr unsigned kBits = 1 + 32 * kWords<T>;
            const std::uint64_t elements = stream.CountListElements(kBits - 1);
            m_values.reserve(m_values.size() + elements);
            std::uint64_t at = stream.BitPosition();
            const std::uint64_t end = stream.BitCount();
            std::uint32_t words[kWords<T>];
            for (std::uint64_t i = 0; i < elements && at + kBits <= end; ++i, at += kBits) {
                for (unsigned w = 0; w < kWords<T>; ++w) words[w] = stream.WordAt(at + 1 + 32 * w);
                m_values.push_back(FromWords<T>(words));
            }
            stream.SeekBit(at);
        }
    }
    if (!listForm) m_values.reserve(m_values.size() + count);
    for (std::uint64_t i = 0; listForm || i < count; ++i) {
        if (listForm) {
            if (stream.ReadBits(1) != 0) break;
            if (stream.HasError()) return node::kFailCode;
        }
        m_values.emplace_back();
        if (m_values.back().Decode(stream) != node::kOk) {
            m_values.pop_back();
            return node::kFailCode;
        }
    }
    return StreamResult(stream);
}

int MultiField::AssignAt(int index, const Field& value) {
    SFField* element = GetElement(index);
    return element ? element->AssignFrom(value) : 1;
}

int MultiField::SetAtFromString(int index, const std::string& text) {
    SFField* element = GetElement(index);
    return element ? element->FromString(text) : 1;
}

int MultiField::ToString(std::string& out) const {
    out.clear();
    std::string item;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        if (i) out += ';';
        GetElement(i)->ToString(item);
        out += item;
    }
    return 0;
}

template class MFField<SFString>;
template class MFField<SFURL>;
template class MFField<SFInt32>;
template class MFField<SFFloat>;
template class MFField<SFColor>;
template class MFField<SFVec3f>;
template class MFField<SFVec2f>;
template class MFField<SFRotation>;
