// DeclaredNode: a node of a VRML97 type that the BIFS node tables give no
// class — Script and PixelTexture. Its fields are declared one by one (the
// declarations file's interface, then, for a Script, the node's own
// eventIn/eventOut/field declarations), with values of the scene model's
// field classes, so the node stays in the scene: a PixelTexture is drawn, a
// Script is run and ROUTEs reach its fields. BIFS cannot carry such a node:
// encoding refuses it (converters take it out first, StripDeclaredNodes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "node/node_impl.h"

class DeclaredNode final : public NodeImpl,
                           public virtual SFWorldNode,
                           public virtual SF3DNode,
                           public virtual SF2DNode,
                           public virtual SFTextureNode {
  public:
    static constexpr int kScript = 80;
    static constexpr int kPixelTexture = 67;

    // A node of type `nodeType` (kScript or kPixelTexture) with no fields yet;
    // reference count 1.
    explicit DeclaredNode(int nodeType);
    ~DeclaredNode() override;

    // True for the node types this class stands for.
    static bool Declares(int nodeType) { return nodeType == kScript || nodeType == kPixelTexture; }
    // The node as a DeclaredNode, or null.
    static DeclaredNode* Of(SingleNode* node);
    static const DeclaredNode* Of(const SingleNode* node);

    // Adds a field of element type `type` (kFieldSFBool ... kFieldMFNode, as
    // FieldDesc spells it), a list when `multi`, with its type's default value.
    // Its ALL index, or -1 when a field of that name exists already or the
    // node has 255 fields.
    int Declare(std::string_view name, FieldKind kind, std::uint8_t type, bool multi,
                std::string_view typeName);
    // The declared type name ("SFImage", "MFNode", ...) of field `index`; "" when none.
    const std::string& TypeName(int index) const;
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    // The ALL index of the field named `name`, or -1.
    int FindField(std::string_view name) const;
    // The name the node was DEFined under last ("" when none): messages about a
    // Script name it.
    const std::string& DefName() const { return m_defName; }
    void SetDefName(std::string_view name) { m_defName = name; }

    const NodeDesc& Desc() const override { return m_desc; }
    std::uint8_t GetLocalCode(SFWorldNode*) const override { return 0; }
    std::uint8_t GetLocalCode(SF3DNode*) const override { return 0; }
    std::uint8_t GetLocalCode(SF2DNode*) const override { return 0; }
    std::uint8_t GetLocalCode(SFTextureNode*) const override { return 0; }
    // A Script stands among the children of 2-D and 3-D groups; a PixelTexture
    // where a texture goes.
    void* ToNDT(std::uint8_t ndt) override;

  protected:
    Slot SlotAt(int index) override;

  private:
    struct Member;
    void RebuildDesc();

    std::vector<std::unique_ptr<Member>> m_fields;
    std::vector<FieldDesc> m_descs;
    std::vector<std::uint8_t> m_def, m_in, m_out, m_defNodes;
    NodeDesc m_desc{};
    std::string m_defName;
};

// Takes every DeclaredNode out of the tree below `root` (out of node fields and
// node lists); the number of places emptied.
int StripDeclaredNodes(SingleNode* root);
