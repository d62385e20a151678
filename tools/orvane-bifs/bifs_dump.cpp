#include "tools/orvane-bifs/bifs_dump.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <string>

#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/node_ptr.h"
#include "tools/orvane-bifs/vrml_writer.h"

namespace {

class Dumper {
  public:
    Dumper(const std::vector<std::uint8_t>& bytes, std::ostream& out)
        : m_in(bytes.empty() ? nullptr : bytes.data(), static_cast<std::uint32_t>(bytes.size())),
          m_total(std::uint64_t{bytes.size()} * 8),
          m_out(out) {}

    bool Command() {
        std::uint32_t code = Read(2, "command code");
        Note(code == 3 ? "SceneReplace" : "unsupported command");
        if (code != 3 || Bad()) return false;
        Read(8, "scene header (reserved, USENAMES)");
        Node(NDT_SFTopNode, 0, true);
        if (Bad()) return false;
        Read(1, "hasROUTEs");
        return !Bad();
    }

  private:
    bool Bad() const { return m_in.HasError() || m_failed; }
    std::uint64_t Offset() const { return m_total - m_in.BitsLeft(); }

    // Reads `n` bits (up to 32) and prints offset, bits and meaning.
    std::uint32_t Read(int n, const std::string& meaning, int depth = 0) {
        std::uint64_t at = Offset();
        std::uint32_t v = m_in.ReadBits(static_cast<std::uint8_t>(n));
        char line[64];
        std::snprintf(line, sizeof line, "%8llu  ", static_cast<unsigned long long>(at));
        m_out << line;
        std::string bits;
        for (int i = n - 1; i >= 0; --i) bits += (v >> i) & 1 ? '1' : '0';
        if (bits.size() > 32) bits = bits.substr(0, 32);
        m_out << bits << std::string(bits.size() < 33 ? 33 - bits.size() : 1, ' ')
              << std::string(static_cast<std::size_t>(depth) * 2, ' ') << meaning;
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

    void Node(std::uint8_t ndt, int depth, bool top = false) {
        if (depth > 1000 || Bad()) {
            m_failed = true;
            return;
        }
        if (Read(1, "isReused", depth)) {
            End();
            std::uint32_t id = Read(32, "node ID", depth);
            Note(std::string("USE N").append(std::to_string(id)));
            return;
        }
        End();
        int type = 0;
        if (top) {
            static const int kTop[4] = {95, 46, 54, 55};
            type = kTop[Read(2, "top node code (SFTopNode)", depth)];
        } else {
            std::uint8_t bits = GetNDTBits(ndt);
            auto code = static_cast<std::uint8_t>(Read(bits, "local code", depth));
            type = GetNodeTypeFromLocal(ndt, code);
        }
        auto node = node::Ptr<SingleNode>::Adopt(type ? CreateNode(type) : nullptr);
        Note(node ? VrmlNodeName(type) : "no node has this code");
        if (!node) {
            m_failed = true;
            return;
        }
        if (Read(1, "isUpdateable", depth)) {
            End();
            Note(std::string("N").append(std::to_string(Read(32, "node ID", depth))));
        } else {
            End();
        }
        if (Read(1, "mask form", depth) == 0) {
            End();
            while (!Bad() && Read(1, "end of fields?", depth) == 0) {
                End();
                int index = static_cast<int>(Read(node->GetDEFBits(), "DEF index", depth));
                std::string name;
                if (node->GetDEFFieldName(index, name) != 0) {
                    Note("no such field");
                    m_failed = true;
                    break;
                }
                Note(name);
                Value(node.Get(), index, depth + 1);
            }
            Note("end");
        } else {
            End();
            for (int i = 0, n = node->GetDEFCount(); i < n && !Bad(); ++i) {
                std::string name;
                node->GetDEFFieldName(i, name);
                if (Read(1, "mask bit of " + name, depth)) {
                    End();
                    Value(node.Get(), i, depth + 1);
                } else {
                    End();
                }
            }
        }
    }

    void Value(SingleNode* node, int index, int depth) {
        const NDTTable* table = node->GetDEFFieldNDT(index);
        Field* field = node->GetDEFField(index);
        if (table != nullptr && dynamic_cast<MultiNode*>(field) != nullptr) {
            NodeList(GetNDTOfTable(table), depth);
        } else if (table != nullptr) {
            Node(GetNDTOfTable(table), depth);
        } else if (auto* list = dynamic_cast<MultiField*>(field)) {
            ValueList(list->GetFieldType(), depth);
        } else if (field != nullptr) {
            Single(field->GetFieldType(), depth);
        }
    }

    // A node list or a value list: 1 keeps the field; else the vector form
    // (width, count, elements) or the list form (a 0 before each element).
    template <class ReadElement>
    void List(const char* what, int depth, ReadElement element) {
        if (Read(1, std::string(what) + ": 1 keeps it", depth)) return Note("unchanged");
        End();
        if (Read(1, "form", depth) == 0) {
            Note("vector");
            int width = static_cast<int>(Read(5, "count width", depth));
            End();
            std::uint32_t count = Read(width, "count", depth);
            Note(std::to_string(count));
            if (count > m_in.BitsLeft()) {
                m_failed = true;
                return;
            }
            for (std::uint32_t i = 0; i < count && !Bad(); ++i) element();
            return;
        }
        Note("list");
        while (!Bad() && Read(1, "end of list?", depth) == 0) {
            End();
            element();
        }
        Note("end");
    }

    void NodeList(std::uint8_t ndt, int depth) {
        List("node list", depth, [&] { Node(ndt, depth + 1); });
    }

    void ValueList(std::uint8_t type, int depth) {
        List("value list", depth, [&] { Single(type, depth + 1); });
    }

    void Single(std::uint8_t type, int depth) {
        auto real = [this, depth](const char* what) {
            float f = std::bit_cast<float>(Read(32, what, depth));
            char buf[32];
            auto r = std::to_chars(buf, buf + sizeof buf, f);
            Note(std::string(buf, r.ptr));
        };
        switch (type) {
            case kFieldSFBool:
                Note(Read(1, "SFBool", depth) ? "TRUE" : "FALSE");
                break;
            case kFieldSFInt32:
                Note(std::to_string(static_cast<std::int32_t>(Read(32, "SFInt32", depth))));
                break;
            case kFieldSFFloat:
                real("SFFloat");
                break;
            case kFieldSFTime: {
                std::uint64_t hi = Read(32, "SFTime (high word)", depth);
                End();
                std::uint64_t lo = Read(32, "SFTime (low word)", depth);
                Note(std::to_string(std::bit_cast<double>(hi << 32 | lo)));
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
            case kFieldSFURL: {
                int width = static_cast<int>(Read(5, "length width", depth));
                End();
                std::uint32_t length = Read(width, "length", depth);
                Note(std::to_string(length));
                if (std::uint64_t{length} * 8 > m_in.BitsLeft()) {
                    m_failed = true;
                    return;
                }
                std::string text;
                std::uint64_t at = Offset();
                for (std::uint32_t i = 0; i < length; ++i)
                    text += static_cast<char>(m_in.ReadBits(8));
                char line[64];
                std::snprintf(line, sizeof line, "%8llu  ", static_cast<unsigned long long>(at));
                m_out << line << std::string(33, ' ')
                      << std::string(static_cast<std::size_t>(depth) * 2, ' ') << length
                      << " characters = \"" << text << "\"\n";
                break;
            }
            default:
                m_failed = true;
                break;
        }
    }

    CBIFS_InStream m_in;
    std::uint64_t m_total;
    std::ostream& m_out;
    bool m_pending = false;
    bool m_failed = false;
};

}  // namespace

bool DumpBifs(const std::vector<std::uint8_t>& bytes, std::ostream& out) {
    if (bytes.empty()) {
        out << "(empty stream)\n";
        return false;
    }
    Dumper d(bytes, out);
    out << "  offset  bits                             meaning\n";
    return d.Command();
}
