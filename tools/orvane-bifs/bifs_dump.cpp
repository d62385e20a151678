#include "tools/orvane-bifs/bifs_dump.h"

#include <bit>
#include <bitset>
#include <charconv>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "node/bifs_errors.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/node_impl.h"
#include "node/node_ptr.h"

namespace {

template <class T>
std::string Number(T value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// "N<id>", the name decode gives a node with that ID.
std::string Named(std::uint32_t id) {
    std::string name = "N";
    name += Number(id);
    return name;
}

// The text between quotes, with quotes, backslashes and control characters
// escaped so that the listing stays one line per string.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// A node of each type with its defaults, for its field tables.
SingleNode* Prototype(int type) {
    static thread_local std::vector<node::Ptr<SingleNode>> nodes(101);
    if (type < 1 || type > 100) return nullptr;
    if (!nodes[type]) nodes[type] = node::Ptr<SingleNode>::Adopt(CreateNode(type));
    return nodes[type].Get();
}

class Dumper {
  public:
    Dumper(const std::vector<std::uint8_t>& bytes, std::ostream& out)
        : m_in(bytes.empty() ? nullptr : bytes.data(), static_cast<std::uint32_t>(bytes.size())),
          m_out(out) {}

    // The command, read as CCommandDecoder reads it.
    bool Command() {
        std::uint32_t code = Read(2, "command code", 0);
        if (m_in.HasError()) return Stop("the stream ends before its first command");
        Note(code == 3 ? "SceneReplace" : "unsupported command");
        if (code != 3) return Stop(bifs_error::UnsupportedCommand(code));
        Read(8, "scene header (reserved, USENAMES)", 0);
        End();
        if (Read(1, "isReused (the top node cannot be a reference)", 0) == 1) {
            End();
            const std::uint64_t at = m_in.BitPosition();
            const std::uint32_t id = Read(32, "node ID", 0);
            if (!m_in.HasError()) m_in.Fail(at, bifs_error::NotDefined(id));
            return Stop();
        }
        End();
        const int type = TopNodeType(Read(2, "top node code (SFTopNode)", 0));
        if (m_in.HasError()) return Stop();
        Note(VrmlNodeTypeName(type));
        std::uint32_t id = 0;
        if (Read(1, "isUpdateable", 0) == 1) {
            End();
            id = Read(32, "node ID", 0);
            Note(Named(id));
            if (id != 0) m_defined[id] = type;
        } else {
            End();
        }
        m_depth = TopNodeExtraLevels(type, id);
        if (m_in.HasError() || !Fields(type, id, 0)) return Stop();
        if (Read(1, "hasROUTEs", 0) == 1) {
            Note("yes");
            if (!Routes()) return Stop();
        } else {
            Note("no");
        }
        if (m_in.HasError()) return Stop();
        End();
        return true;
    }

    const std::string& Error() const { return m_error; }

  private:
    bool Stop(std::string why = {}) {
        End();
        m_error = why.empty() ? m_in.ErrorText() : std::move(why);
        m_out << "stopped: " << m_error << "\n";
        return false;
    }

    // Reads `n` bits (up to 32) and prints offset, bits and meaning; the
    // value's sense follows through Note on the same line.
    std::uint32_t Read(int n, const std::string& meaning, int indent) {
        End();
        const std::uint64_t at = m_in.BitPosition();
        const std::uint32_t v = m_in.ReadBits(static_cast<std::uint8_t>(n));
        char line[32];
        std::snprintf(line, sizeof line, "%8llu  ", static_cast<unsigned long long>(at));
        std::string bits;
        for (int i = n - 1; i >= 0; --i) bits += (v >> i) & 1 ? '1' : '0';
        m_out << line << bits << std::string(33 - bits.size(), ' ')
              << std::string(static_cast<std::size_t>(indent) * 2, ' ') << meaning;
        if (m_in.HasError()) m_out << "  <- the data ends here";
        m_pending = true;
        return v;
    }
    void Note(const std::string& text) {
        if (m_pending) m_out << " = " << text << "\n";
        m_pending = false;
    }
    void End() {
        if (m_pending) m_out << "\n";
        m_pending = false;
    }

    // One SFNode in NDT `ndt`, as DecodeSFNode reads it.
    bool Node(std::uint8_t ndt, int indent) {
        if (Read(1, "isReused", indent) == 1) {
            End();
            const std::uint64_t at = m_in.BitPosition();
            const std::uint32_t id = Read(32, "node ID", indent);
            if (m_in.HasError()) return false;
            auto found = m_defined.find(id);
            if (found == m_defined.end()) return Fail(at, bifs_error::NotDefined(id));
            if (GetLocalCodeInNDT(ndt, found->second) == 0)
                return Fail(at, bifs_error::ReusedOutsideNDT(id, found->second, ndt));
            for (std::uint32_t open : m_open)
                if (open == id) return Fail(at, bifs_error::UsedInsideItself(id));
            Note("USE " + Named(id) + " (" + VrmlNodeTypeName(found->second) + ")");
            return true;
        }
        End();
        const std::uint64_t codeAt = m_in.BitPosition();
        const std::uint32_t code = Read(GetNDTBits(ndt), "local code", indent);
        if (m_in.HasError()) return false;
        const int type = GetNodeTypeFromLocal(ndt, static_cast<std::uint8_t>(code));
        if (type == 0) return Fail(codeAt, bifs_error::CodeNotInNDT(code, ndt));
        Note(VrmlNodeTypeName(type));
        std::uint32_t id = 0;
        if (Read(1, "isUpdateable", indent) == 1) {
            End();
            const std::uint64_t at = m_in.BitPosition();
            id = Read(32, "node ID", indent);
            if (m_in.HasError()) return false;
            if (id != 0 && m_defined.count(id) != 0) return Fail(at, bifs_error::DefinedTwice(id));
            Note(Named(id));
            if (id != 0) m_defined[id] = type;
        } else {
            End();
        }
        return !m_in.HasError() && Fields(type, id, indent);
    }

    // The field description of a node, as SingleNode::DecodeNode reads it.
    bool Fields(int type, std::uint32_t id, int indent) {
        if (m_depth >= kMaxDecodeDepth) return Fail(m_in.BitPosition(), bifs_error::TooDeep());
        SingleNode* node = Prototype(type);
        ++m_depth;
        m_open.push_back(id);
        const bool ok = FieldList(*node, indent);
        m_open.pop_back();
        --m_depth;
        return ok;
    }

    bool FieldList(SingleNode& node, int indent) {
        const int type = GetNodeType(node);
        const int count = node.GetDEFCount();
        std::string name;
        auto fieldName = [&](int i) {
            node.GetDEFFieldName(i, name);
            return std::string(VrmlFieldName(type, name.c_str()));
        };
        if (Read(1, "description form", indent) == 1) {
            Note("mask: one bit per field");
            for (int i = 0; i < count; ++i) {
                if (m_in.HasError()) return false;
                if (Read(1, "mask bit of " + fieldName(i), indent) == 1) {
                    Note("given");
                    if (!Value(node, i, indent + 1)) return false;
                } else {
                    Note("not given");
                }
            }
            return !m_in.HasError();
        }
        Note("list: DEF index and value per field");
        std::bitset<128> given;
        while (!m_in.HasError() && Read(1, "end of fields?", indent) == 0) {
            Note("no");
            const std::uint64_t at = m_in.BitPosition();
            const std::uint32_t index = Read(node.GetDEFBits(), "DEF index", indent);
            if (m_in.HasError()) return false;
            if (index >= static_cast<std::uint32_t>(count))
                return Fail(at, bifs_error::FieldOutOfRange(index, type, count));
            if (given.test(index))
                return Fail(at, bifs_error::FieldTwice(fieldName(static_cast<int>(index)), type));
            given.set(index);
            Note(fieldName(static_cast<int>(index)));
            if (!Value(node, static_cast<int>(index), indent + 1)) return false;
        }
        Note("end");
        return !m_in.HasError();
    }

    // One field value, as NodeImpl::DecodeField reads it.
    bool Value(SingleNode& node, int index, int indent) {
        const NDTTable* table = node.GetDEFFieldNDT(index);
        Field* field = node.GetDEFField(index);
        if (table != nullptr && AsNodeList(field) != nullptr)
            return NodeList(GetNDTOfTable(table), indent);
        if (table != nullptr) return Node(GetNDTOfTable(table), indent);
        if (field == nullptr) return Fail(m_in.BitPosition(), "a field without a value");
        if (!field->IsSingle()) return ValueList(field->GetFieldType(), indent);
        return Single(field->GetFieldType(), indent);
    }

    // A node list, as DecodeNodeList reads it.
    bool NodeList(std::uint8_t ndt, int indent) {
        const std::uint64_t at = m_in.BitPosition();
        if (Read(1, "node list: 1 leaves the list as it is", indent) == 1) {
            Note("left as it is");
            return !m_in.HasError();
        }
        Note("given");
        if (Read(1, "list form?", indent) == 0) {
            Note("no: vector form");
            auto width = static_cast<std::uint8_t>(Read(5, "count width", indent));
            End();
            const std::uint64_t count = Read(width, "count", indent);
            if (m_in.HasError()) return false;
            Note(Number(count));
            if (count > m_in.BitsLeft()) return Fail(at, bifs_error::CountPastEnd(count));
            for (std::uint64_t i = 0; i < count; ++i)
                if (!Node(ndt, indent + 1)) return false;
            return true;
        }
        Note("yes");
        while (Read(1, "end of list?", indent) == 0) {
            Note("no");
            if (m_in.HasError() || !Node(ndt, indent + 1)) return false;
        }
        Note("end");
        return !m_in.HasError();
    }

    // A value list, as MultiField::Decode reads it.
    bool ValueList(std::uint8_t type, int indent) {
        const std::uint64_t at = m_in.BitPosition();
        if (Read(1, "value list: 1 leaves the list empty", indent) == 1) {
            Note("empty");
            return !m_in.HasError();
        }
        Note("given");
        if (Read(1, "list form?", indent) == 0) {
            Note("no: vector form");
            auto width = static_cast<std::uint8_t>(Read(5, "count width", indent));
            End();
            const std::uint64_t count = Read(width, "count", indent);
            if (m_in.HasError()) return false;
            Note(Number(count));
            if (count * 21 > m_in.BitsLeft()) return Fail(at, bifs_error::CountPastEnd(count));
            for (std::uint64_t i = 0; i < count; ++i)
                if (!Single(type, indent + 1)) return false;
            return !m_in.HasError();
        }
        Note("yes");
        for (;;) {
            if (Read(1, "end of list?", indent) != 0) break;
            if (m_in.HasError()) return false;
            Note("no");
            if (!Single(type, indent + 1)) return false;
        }
        Note("end");
        return !m_in.HasError();
    }

    bool Single(std::uint8_t type, int indent) {
        auto real = [&](const char* what) {
            const float f = std::bit_cast<float>(Read(32, what, indent));
            Note(Number(f));
        };
        switch (type) {
            case kFieldSFBool:
                Note(Read(1, "SFBool", indent) ? "TRUE" : "FALSE");
                break;
            case kFieldSFInt32:
                Note(Number(static_cast<std::int32_t>(Read(32, "SFInt32", indent))));
                break;
            case kFieldSFFloat:
                real("SFFloat");
                break;
            case kFieldSFTime: {
                const std::uint64_t high = Read(32, "SFTime (high word)", indent);
                End();
                const std::uint64_t low = Read(32, "SFTime (low word)", indent);
                Note(Number(std::bit_cast<double>(high << 32 | low)));
                break;
            }
            case kFieldSFVec2f:
                real("x");
                real("y");
                break;
            case kFieldSFVec3f:
                real("x");
                real("y");
                real("z");
                break;
            case kFieldSFColor:
                real("r");
                real("g");
                real("b");
                break;
            case kFieldSFRotation:
                real("axis x");
                real("axis y");
                real("axis z");
                real("angle");
                break;
            case kFieldSFString:
            case kFieldSFURL:
                return Text(indent);
            default:
                return Fail(m_in.BitPosition(), "a value of an unknown type");
        }
        return !m_in.HasError();
    }

    // A string, as SFString::Decode reads it.
    bool Text(int indent) {
        const std::uint64_t at = m_in.BitPosition();
        auto width = static_cast<std::uint8_t>(Read(5, "length width", indent));
        End();
        const std::uint64_t length = Read(width, "length", indent);
        if (m_in.HasError()) return false;
        Note(Number(length));
        if (length > kMaxStringLength) return Fail(at, bifs_error::StringTooLong(length));
        if (length * 8 > m_in.BitsLeft()) return Fail(at, bifs_error::StringPastEnd(length));
        std::string text;
        const std::uint64_t start = m_in.BitPosition();
        for (std::uint64_t i = 0; i < length; ++i) text += static_cast<char>(m_in.ReadBits(8));
        char line[32];
        std::snprintf(line, sizeof line, "%8llu  ", static_cast<unsigned long long>(start));
        m_out << line << std::string(33, ' ')
              << std::string(static_cast<std::size_t>(indent) * 2, ' ') << length << " bytes = \""
              << Escaped(text) << "\"\n";
        return !m_in.HasError();
    }

    // The route list, as CCommandDecoder::DecodeRoutes reads it.
    bool Routes() {
        const std::uint64_t at = m_in.BitPosition();
        if (Read(1, "list form?", 0) == 1) {
            Note("yes");
            do {
                if (!Route()) return false;
            } while (Read(1, "another ROUTE?", 0) == 1 && !m_in.HasError() && (Note("yes"), true));
            Note("no");
        } else {
            Note("no: vector form");
            auto width = static_cast<std::uint8_t>(Read(5, "count width", 0));
            End();
            const std::uint64_t count = Read(width, "count", 0);
            if (m_in.HasError()) return false;
            Note(Number(count));
            if (count > m_in.BitsLeft()) return Fail(at, bifs_error::CountPastEnd(count));
            for (std::uint64_t i = 0; i < count; ++i)
                if (!Route()) return false;
        }
        return !m_in.HasError();
    }

    bool Route() {
        if (Read(1, "ROUTE: isUpdateable", 1) == 1) {
            Note("yes");
            Note(std::string("route ID ") += Number(Read(32, "route ID", 1)));
        } else {
            Note("no");
        }
        return RouteEnd(true) && RouteEnd(false);
    }

    bool RouteEnd(bool out) {
        const std::uint64_t at = m_in.BitPosition();
        const std::uint32_t id = Read(32, out ? "from node ID" : "to node ID", 1);
        if (m_in.HasError()) return false;
        auto found = m_defined.find(id);
        if (found == m_defined.end()) return Fail(at, bifs_error::NotDefined(id));
        Note(Named(id) + " (" + VrmlNodeTypeName(found->second) + ")");
        SingleNode& node = *Prototype(found->second);
        const int count = out ? node.GetOUTCount() : node.GetINCount();
        const std::uint64_t fieldAt = m_in.BitPosition();
        const std::uint32_t index = Read(FieldIndexBits(count), out ? "eventOut" : "eventIn", 1);
        if (m_in.HasError()) return false;
        const char* kind = out ? "eventOut" : "eventIn";
        if (index >= static_cast<std::uint32_t>(count))
            return Fail(fieldAt,
                        bifs_error::RouteFieldOutOfRange(kind, index, found->second, count));
        std::string name;
        if (out)
            node.GetOUTFieldName(static_cast<int>(index), name);
        else
            node.GetINFieldName(static_cast<int>(index), name);
        Note(VrmlFieldName(found->second, name.c_str()));
        return true;
    }

    bool Fail(std::uint64_t at, const std::string& why) {
        m_in.Fail(at, why);
        return false;
    }

    CBIFS_InStream m_in;
    std::ostream& m_out;
    bool m_pending = false;
    std::string m_error;
    std::unordered_map<std::uint32_t, int> m_defined;  // node ID -> node type
    std::vector<std::uint32_t> m_open;                 // IDs of the nodes being read
    int m_depth = 0;
};

}  // namespace

bool DumpBifs(const std::vector<std::uint8_t>& bytes, std::ostream& out, std::string* error) {
    out << "  offset  bits                             meaning\n";
    Dumper d(bytes, out);
    const bool ok = d.Command();
    if (error) *error = d.Error();
    return ok;
}
