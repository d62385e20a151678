#include "loader/field_values.h"

#include <algorithm>
#include <array>

#include "loader/lex_state.h"
#include "node/node_basenodedef.h"

namespace {

// Lists at least this long are moved into place rather than copied.
constexpr int kMoveThreshold = 1024;

int TupleSize(int kind) {
    switch (kind) {
        case kValueSFVec2f:
        case kValueMFVec2f:
            return 2;
        case kValueSFVec3f:
        case kValueMFVec3f:
        case kValueSFColor:
        case kValueMFColor:
            return 3;
        case kValueSFRotation:
        case kValueMFRotation:
            return 4;
        default:
            return 1;
    }
}

template <class T, int N>
std::unique_ptr<SFField> Tuple(const std::vector<float>& floats) {
    if (floats.size() < N) return nullptr;
    auto value = std::make_unique<T>();
    std::array<float, N> tuple;
    std::copy_n(floats.begin(), N, tuple.begin());
    value->SetValues(tuple);
    return value;
}

// A list of T from consecutive groups of N floats.
template <class T, int N>
std::unique_ptr<MultiField> FloatList(const std::vector<float>& floats) {
    auto list = std::make_unique<MFField<T>>();
    auto& values = list->Values();
    const std::size_t count = floats.size() / N;
    values.reserve(count);
    if constexpr (N == 1) {
        for (float value : floats) values.emplace_back(value);
    } else {
        std::array<float, N> tuple;
        T element;
        for (std::size_t i = 0; i < count; ++i) {
            std::copy_n(floats.begin() + i * N, N, tuple.begin());
            element.SetValues(tuple);
            values.push_back(element);
        }
    }
    return list;
}

template <class T, class V>
std::unique_ptr<MultiField> List(std::vector<V>& items) {
    auto list = std::make_unique<MFField<T>>();
    list->Values().reserve(items.size());
    for (V& item : items) list->Values().emplace_back(std::move(item));
    return list;
}

template <class T>
bool MoveInto(Field* target, MultiField& source) {
    auto* to = dynamic_cast<MFField<T>*>(target);
    auto* from = dynamic_cast<MFField<T>*>(&source);
    if (to == nullptr || from == nullptr) return false;
    to->Values().swap(from->Values());
    return true;
}

}  // namespace

FieldValue MakeFieldValue(int kind, LexState& lex, std::string_view fieldName) {
    FieldValue v;
    switch (kind) {
        case kValueSFInt32:
            v.single = std::make_unique<SFInt32>(lex.intValue);
            break;
        case kValueSFBool:
            v.single = std::make_unique<SFBool>(lex.boolValue);
            break;
        case kValueSFFloat:
            v.single = std::make_unique<SFFloat>(lex.floatValue);
            break;
        case kValueSFTime:
            v.single = std::make_unique<SFTime>(lex.timeValue);
            break;
        case kValueSFString:
            v.single = std::make_unique<SFString>(lex.stringValue);
            break;
        case kValueSFVec2f:
            v.single = Tuple<SFVec2f, 2>(lex.floats);
            break;
        case kValueSFVec3f:
            v.single = Tuple<SFVec3f, 3>(lex.floats);
            break;
        case kValueSFColor:
            v.single = Tuple<SFColor, 3>(lex.floats);
            break;
        case kValueSFRotation:
            v.single = Tuple<SFRotation, 4>(lex.floats);
            break;
        case kValueMFFloat:
            v.multi = FloatList<SFFloat, 1>(lex.floats);
            break;
        case kValueMFVec2f:
            v.multi = FloatList<SFVec2f, 2>(lex.floats);
            break;
        case kValueMFVec3f:
            v.multi = FloatList<SFVec3f, 3>(lex.floats);
            break;
        case kValueMFColor:
            v.multi = FloatList<SFColor, 3>(lex.floats);
            break;
        case kValueMFRotation:
            v.multi = FloatList<SFRotation, 4>(lex.floats);
            break;
        case kValueMFInt32:
            v.multi = List<SFInt32>(lex.ints);
            break;
        case kValueMFString: {
            bool urls = fieldName.size() >= 3 && fieldName.substr(fieldName.size() - 3) == "url";
            v.multi = urls ? List<SFURL>(lex.strings) : List<SFString>(lex.strings);
            break;
        }
        default:
            break;
    }
    return v;
}

bool HasIncompleteTuple(int kind, const LexState& lex) {
    bool tupleList = kind == kValueMFVec2f || kind == kValueMFVec3f || kind == kValueMFColor ||
                     kind == kValueMFRotation;
    return tupleList && lex.floats.size() % TupleSize(kind) != 0;
}

void StoreFieldValue(SingleNode& node, int index, FieldValue& value) {
    if (value.single) {
        node.SetField(index, value.single.get());
        return;
    }
    if (!value.multi) return;
    MultiField& list = *value.multi;
    Field* target = list.GetCount() >= kMoveThreshold ? node.GetField(index) : nullptr;
    bool moved = target != nullptr &&
                 (MoveInto<SFInt32>(target, list) || MoveInto<SFFloat>(target, list) ||
                  MoveInto<SFVec3f>(target, list) || MoveInto<SFVec2f>(target, list) ||
                  MoveInto<SFColor>(target, list) || MoveInto<SFRotation>(target, list) ||
                  MoveInto<SFString>(target, list) || MoveInto<SFURL>(target, list));
    if (!moved) node.SetField(index, &list);
}
