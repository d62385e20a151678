#include <array>
#include <cmath>
#include <cstdint>

#include "node/node_basenodedef.h"
#include "node/node_typedef.h"
#include "script/script_internal.h"

namespace script::detail {

namespace {
struct ElemInfo {
    const char* name;     // after "SF"/"MF"
    bool hasList;         // whether the scene model has a list of it
    const char* members;  // the object's member names, one letter each: "xyz", "rgb"
};
// By Elem.
constexpr std::array<ElemInfo, 11> kElems = {{{"Bool", false, ""},
                                              {"Int32", true, ""},
                                              {"Float", true, ""},
                                              {"Time", false, ""},
                                              {"String", true, ""},
                                              {"Vec2f", true, "xy"},
                                              {"Vec3f", true, "xyz"},
                                              {"Color", true, "rgb"},
                                              {"Rotation", true, "xyza"},
                                              {"Node", true, ""},
                                              {"Image", false, ""}}};

const ElemInfo& Info(Elem elem) {
    return kElems[static_cast<int>(elem)];
}

QString MemberName(Elem elem, int i) {
    if (elem == Elem::kRotation && i == 3) return QStringLiteral("angle");
    return QString(QChar(Info(elem).members[i]));
}

std::unique_ptr<Field> NewList(Elem elem) {
    switch (elem) {
        case Elem::kInt32:
            return std::make_unique<MFField<SFInt32>>();
        case Elem::kFloat:
            return std::make_unique<MFField<SFFloat>>();
        case Elem::kString:
            return std::make_unique<MFField<SFString>>();
        case Elem::kVec2f:
            return std::make_unique<MFField<SFVec2f>>();
        case Elem::kVec3f:
            return std::make_unique<MFField<SFVec3f>>();
        case Elem::kColor:
            return std::make_unique<MFField<SFColor>>();
        case Elem::kRotation:
            return std::make_unique<MFField<SFRotation>>();
        default:
            return nullptr;
    }
}

std::unique_ptr<Field> NewSingle(Elem elem) {
    switch (elem) {
        case Elem::kBool:
            return std::make_unique<SFBool>();
        case Elem::kInt32:
            return std::make_unique<SFInt32>();
        case Elem::kFloat:
            return std::make_unique<SFFloat>();
        case Elem::kTime:
            return std::make_unique<SFTime>();
        case Elem::kString:
            return std::make_unique<SFString>();
        case Elem::kVec2f:
            return std::make_unique<SFVec2f>();
        case Elem::kVec3f:
            return std::make_unique<SFVec3f>();
        case Elem::kColor:
            return std::make_unique<SFColor>();
        case Elem::kRotation:
            return std::make_unique<SFRotation>();
        case Elem::kImage:
            return std::make_unique<MFField<SFInt32>>();
        default:
            return nullptr;
    }
}

// The float components of a vector-like value, and their count; null for other types.
template <class T>
const float* Components(const Field* value, int& count) {
    auto* typed = dynamic_cast<const T*>(value);
    if (typed == nullptr) return nullptr;
    count = T::kComponents;
    return typed->Values().data();
}

const float* ComponentsOf(const Field* value, Elem elem, int& count) {
    switch (elem) {
        case Elem::kVec2f:
            return Components<SFVec2f>(value, count);
        case Elem::kVec3f:
            return Components<SFVec3f>(value, count);
        case Elem::kColor:
            return Components<SFColor>(value, count);
        case Elem::kRotation:
            return Components<SFRotation>(value, count);
        default:
            return nullptr;
    }
}

template <class T, int N>
void SetComponents(Field& out, const std::array<float, N>& values) {
    static_cast<T&>(out).SetValues(values);
}

std::string TypeName(Elem elem, bool multi) {
    return std::string(multi ? "MF" : "SF") + Info(elem).name;
}
}  // namespace

bool ParseFieldType(const std::string& name, FieldType& type) {
    if (name.size() < 3 || (name.compare(0, 2, "SF") != 0 && name.compare(0, 2, "MF") != 0)) {
        return false;
    }
    for (std::size_t i = 0; i < kElems.size(); ++i) {
        if (name.compare(2, std::string::npos, kElems[i].name) != 0) continue;
        type.elem = static_cast<Elem>(i);
        type.multi = name[0] == 'M';
        return !type.multi || kElems[i].hasList;
    }
    return false;
}

std::string Describe(const QJSValue& value) {
    if (value.isUndefined()) return "undefined";
    if (value.isNull()) return "null";
    if (value.isBool()) return "a boolean";
    if (value.isNumber()) return "a number";
    if (value.isString()) return "a string";
    if (value.isCallable()) return "a function";
    std::string name = value.property("constructor").property("name").toString().toStdString();
    if (name.empty()) name = value.isArray() ? "Array" : "Object";
    // "an SFVec3f", "an MFFloat", "an Array", "a Date"
    const bool vowel =
        name.find_first_of("AEIOU") == 0 || name.rfind("SF", 0) == 0 || name.rfind("MF", 0) == 0;
    return (vowel ? "an " : "a ") + name;
}

Converter::Converter(QJSEngine& engine) : m_engine(engine) {
    QJSValue global = engine.globalObject();
    for (const ElemInfo& info : kElems) {
        m_sf.push_back(global.property(QString("SF") + info.name));
        m_mf.push_back(global.property(QString("MF") + info.name));
    }
}

QJSValue Converter::Constructor(Elem elem, bool multi) const {
    return (multi ? m_mf : m_sf)[static_cast<int>(elem)];
}

QJSValue Converter::ElementToScript(const Field* value, Elem elem, std::string& error) {
    switch (elem) {
        case Elem::kBool:
            if (auto* v = dynamic_cast<const SFBool*>(value)) return QJSValue(v->Get());
            break;
        case Elem::kInt32:
            if (auto* v = dynamic_cast<const SFInt32*>(value)) return QJSValue(v->Get());
            break;
        case Elem::kFloat:
            if (auto* v = dynamic_cast<const SFFloat*>(value)) return QJSValue(double(v->Get()));
            break;
        case Elem::kTime:
            if (auto* v = dynamic_cast<const SFTime*>(value)) return QJSValue(v->Get());
            break;
        case Elem::kString:
            if (auto* v = dynamic_cast<const SFString*>(value)) {
                return QJSValue(QString::fromStdString(v->Get()));
            }
            if (auto* v = dynamic_cast<const SFURL*>(value)) {
                return QJSValue(QString::fromStdString(v->Get()));
            }
            break;
        case Elem::kNode: {
            auto* node = dynamic_cast<const SingleNode*>(value);
            if (node == nullptr) break;
            m_nodes.push_back(const_cast<SingleNode*>(node));
            std::string typeName = VrmlNodeTypeName(GetNodeType(*node));
            if (typeName.empty()) typeName = "SFNode";
            return Constructor(Elem::kNode, false)
                .callAsConstructor({QJSValue(int(m_nodes.size() - 1)),
                                    QJSValue(QString::fromStdString(typeName))});
        }
        case Elem::kImage: {
            auto* numbers = dynamic_cast<const MFField<SFInt32>*>(value);
            if (numbers == nullptr) break;
            const std::vector<SFInt32>& v = numbers->Values();
            QJSValueList args;
            for (std::size_t i = 0; i < 3; ++i)
                args.append(QJSValue(i < v.size() ? v[i].Get() : 0));
            QJSValue pixels = Constructor(Elem::kInt32, true).callAsConstructor();
            for (std::size_t i = 3; i < v.size(); ++i) {
                pixels.setProperty(quint32(i - 3), QJSValue(v[i].Get()));
            }
            args.append(pixels);
            return Constructor(Elem::kImage, false).callAsConstructor(args);
        }
        default: {
            int count = 0;
            const float* c = ComponentsOf(value, elem, count);
            if (c == nullptr) break;
            QJSValueList args;
            for (int i = 0; i < count; ++i) args.append(QJSValue(double(c[i])));
            return Constructor(elem, false).callAsConstructor(args);
        }
    }
    error = "a value that is not " + TypeName(elem, false);
    return QJSValue();
}

QJSValue Converter::ToScript(const Field* value, const FieldType& type, std::string& error) {
    if (!type.multi) {
        if (value != nullptr) return ElementToScript(value, type.elem, error);
        if (type.elem == Elem::kNode) return QJSValue(QJSValue::NullValue);
        std::unique_ptr<Field> blank = NewSingle(type.elem);
        return ElementToScript(blank.get(), type.elem, error);
    }
    QJSValue list = Constructor(type.elem, true).callAsConstructor();
    if (value == nullptr) return list;
    if (type.elem == Elem::kNode) {
        auto* nodes = dynamic_cast<const MultiNode*>(value);
        if (nodes == nullptr) {
            error = "a value that is not MFNode";
            return QJSValue();
        }
        for (int i = 0; i < nodes->GetCount(); ++i) {
            SingleNode* node = nodes->GetNodeAt(i);
            list.setProperty(i, node == nullptr ? QJSValue(QJSValue::NullValue)
                                                : ElementToScript(node, Elem::kNode, error));
        }
        return list;
    }
    auto* items = dynamic_cast<const MultiField*>(value);
    if (items == nullptr) {
        error = "a value that is not " + TypeName(type.elem, true);
        return QJSValue();
    }
    for (int i = 0; i < items->GetCount(); ++i) {
        QJSValue item = ElementToScript(items->GetElement(i), type.elem, error);
        if (!error.empty()) {
            error = "a value that is not " + TypeName(type.elem, true);
            return QJSValue();
        }
        list.setProperty(i, item);
    }
    return list;
}

bool Converter::ElementFromScript(const QJSValue& value, Elem elem, Field& out,
                                  std::string& error) {
    switch (elem) {
        case Elem::kBool:
            if (!value.isBool() && !value.isNumber()) break;
            static_cast<SFBool&>(out).Set(value.toBool());
            return true;
        case Elem::kInt32:
            if (!value.isNumber()) break;
            static_cast<SFInt32&>(out).Set(value.toInt());
            return true;
        case Elem::kFloat:
            if (!value.isNumber()) break;
            static_cast<SFFloat&>(out).Set(float(value.toNumber()));
            return true;
        case Elem::kTime:
            if (!value.isNumber()) break;
            static_cast<SFTime&>(out).Set(value.toNumber());
            return true;
        case Elem::kString:
            if (!value.isString() && !value.isNumber() && !value.isBool()) break;
            static_cast<SFString&>(out).Set(value.toString().toStdString());
            return true;
        case Elem::kNode:
            break;
        case Elem::kImage: {
            if (!value.isObject() ||
                !value.property("constructor").strictlyEquals(Constructor(elem, false))) {
                break;
            }
            auto& numbers = static_cast<MFField<SFInt32>&>(out).Values();
            numbers.clear();
            for (const char* member : {"x", "y", "comp"}) {
                QJSValue n = value.property(member);
                if (!n.isNumber()) {
                    error = "an SFImage with " + Describe(n) + " as " + member;
                    return false;
                }
                numbers.emplace_back(n.toInt());
            }
            QJSValue pixels = value.property("array");
            const int count = pixels.property("length").toInt();
            if (!pixels.isArray() || numbers[0].Get() < 0 || numbers[1].Get() < 0 ||
                std::int64_t(numbers[0].Get()) * numbers[1].Get() != count) {
                error = "an SFImage whose array does not hold x * y pixels";
                return false;
            }
            for (int i = 0; i < count; ++i) numbers.emplace_back(pixels.property(i).toInt());
            return true;
        }
        default: {
            // An object of the type, or an array of as many numbers as it has members.
            const int n = static_cast<int>(std::char_traits<char>::length(Info(elem).members));
            const bool object =
                value.isObject() &&
                value.property("constructor").strictlyEquals(Constructor(elem, false));
            const bool array = value.isArray() && value.property("length").toInt() == n;
            if (!object && !array) break;
            std::array<float, 4> c{};
            for (int i = 0; i < n; ++i) {
                QJSValue member = object ? value.property(MemberName(elem, i)) : value.property(i);
                if (!member.isNumber()) {
                    error = TypeName(elem, false) + " with " + Describe(member) + " as " +
                            MemberName(elem, i).toStdString();
                    return false;
                }
                c[i] = float(member.toNumber());
            }
            switch (elem) {
                case Elem::kVec2f:
                    SetComponents<SFVec2f, 2>(out, {c[0], c[1]});
                    break;
                case Elem::kVec3f:
                    SetComponents<SFVec3f, 3>(out, {c[0], c[1], c[2]});
                    break;
                case Elem::kColor:
                    SetComponents<SFColor, 3>(out, {c[0], c[1], c[2]});
                    break;
                default:
                    SetComponents<SFRotation, 4>(out, c);
                    break;
            }
            return true;
        }
    }
    error = Describe(value);
    return false;
}

std::unique_ptr<Field> Converter::FromScript(const QJSValue& value, const FieldType& type,
                                             std::string& error) {
    if (type.elem == Elem::kNode) {
        error = "a node (node values are not sent by scripts)";
        return nullptr;
    }
    if (!type.multi) {
        std::unique_ptr<Field> out = NewSingle(type.elem);
        if (!ElementFromScript(value, type.elem, *out, error)) return nullptr;
        return out;
    }
    if (!value.isArray()) {
        error = Describe(value);
        return nullptr;
    }
    std::unique_ptr<Field> out = NewList(type.elem);
    auto& list = static_cast<MultiField&>(*out);
    std::unique_ptr<Field> item = NewSingle(type.elem);
    const int n = value.property("length").toInt();
    for (int i = 0; i < n; ++i) {
        QJSValue element = value.property(i);
        if (element.isUndefined()) {
            // A gap left by assigning past the end: the type's default value.
            list.Append(*NewSingle(type.elem));
            continue;
        }
        if (!ElementFromScript(element, type.elem, *item, error)) {
            error = "a list with " + error + " at " + std::to_string(i);
            return nullptr;
        }
        list.Append(*item);
    }
    return out;
}

}  // namespace script::detail
