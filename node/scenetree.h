// SceneTree: the container of a BIFS scene. Owns the root node and indexes the
// nodes that carry a node ID, with every place that holds them, so that the
// BIFS update commands can find a node by its ID and change the scene in place.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "node/node_basenodedef.h"
#include "node/node_ptr.h"

class CBIFS_InStream;

class SceneTree {
  public:
    // Where a node with an ID stands: in an SFNode field of `node` (kind 1; a
    // null node means the tree's root) or in the node list `list` (kind 0).
    struct UseRecord {
        std::uint8_t kind;
        SingleNode* node;
        MultiNode* list;
    };

    // A ROUTE of the scene: from eventOut `outField` (OUT numbering) of the
    // node with ID `fromId` to eventIn `inField` (IN numbering) of `toId`.
    struct Route {
        std::uint32_t fromId;
        int outField;
        std::uint32_t toId;
        int inField;
        bool operator==(const Route&) const = default;
    };

    SceneTree() = default;
    SceneTree(const SceneTree&) = delete;
    SceneTree& operator=(const SceneTree&) = delete;
    // Releases the root and clears the registries.
    virtual ~SceneTree();

    // Stores the root (null when empty) without taking a reference; returns 1.
    int GetRoot(SingleNode** out) const;
    // Makes `node` the root (the tree takes its own reference; null empties the
    // tree) and rebuilds the registries from it. 0, or 1 when the walk met a
    // node held in two places with a reference count of 1 (reported through
    // the trace; the node is registered once).
    int SetRoot(SingleNode* node);
    // Releases the root and reads a new root of type `nodeType`: the
    // isUpdateable bit, the optional 32-bit ID, then the fields. node::kFailCode,
    // and an empty tree, when the type has no class or the data is malformed.
    HRESULT ReplaceScene(int nodeType, CBIFS_InStream& stream);

    // Enter `node` under `id` with a use record; non-zero (and no change) when
    // the id is registered already or is 0.
    int RegisterNode(std::uint32_t id, SingleNode* node, SingleNode* holder);
    int RegisterListNode(std::uint32_t id, SingleNode* node, MultiNode* list);
    void AddUse(std::uint32_t id, SingleNode* holder);
    void AddListUse(std::uint32_t id, MultiNode* list);
    // Walks `field` (a node or a node list held by `holder`) and registers
    // every node with an ID met on the way. Returns the number of nodes met
    // twice with a reference count of 1 (0 for a consistent tree).
    int RegisterSubtree(Field* holder, Field* field);

    // Stores the node registered under `id` with a reference for the caller,
    // or null; returns 0 when found, 1 otherwise.
    int FindNode(std::uint32_t id, SingleNode** out) const;
    // The registered node without taking a reference (null when absent).
    SingleNode* Lookup(std::uint32_t id) const;
    // The use records of `id`, in the order they were made.
    std::vector<UseRecord> GetUses(std::uint32_t id) const;
    std::size_t NodeCount() const { return m_nodes.size(); }

    // The scene's ROUTEs, in order. ReplaceScene clears them; the command
    // decoder sets those of the stream, the encoder writes them.
    const std::vector<Route>& Routes() const { return m_routes; }
    void SetRoutes(std::vector<Route> routes) { m_routes = std::move(routes); }

    // BIFS update operations, each addressed by the target node's ID. An ID
    // that is not registered, a field of the wrong kind or malformed data
    // changes nothing and gives node::kFailCode; success gives 0.
    // Position 255 means the end; other positions are indices.
    HRESULT InsertNode(std::uint32_t id, int nodeType, int position, CBIFS_InStream& stream);
    HRESULT DeleteNode(std::uint32_t id);
    HRESULT ReplaceNode(std::uint32_t id, int nodeType, CBIFS_InStream& stream);
    HRESULT ReplaceNodeByID(std::uint32_t id, std::uint32_t otherId);
    HRESULT InsertIndexedValue(std::uint32_t id, int inField, int position, CBIFS_InStream& stream);
    HRESULT DeleteIndexedValue(std::uint32_t id, int inField, int position);
    HRESULT ReplaceIndexedValue(std::uint32_t id, int inField, int position,
                                CBIFS_InStream& stream);
    HRESULT ReplaceField(std::uint32_t id, int inField, CBIFS_InStream& stream);

    // Rebuilds the registries from the root: drops entries of nodes that left
    // the tree. The update operations call it after every change.
    int Resync();

  private:
    struct WalkState;
    int Walk(SingleNode* holderNode, MultiNode* holderList, Field* field, WalkState& state,
             int depth);
    void Clear();
    // Puts `replacement` in every place recorded for `id` (null removes the
    // node); with `dryRun` only checks that every place accepts it.
    bool PlaceAll(std::uint32_t id, SingleNode* old, SingleNode* replacement, bool dryRun);
    // True when a holder of `id` can be reached from `node` (placing `node`
    // there would make a cycle).
    bool ReachesHolder(SingleNode* node, std::uint32_t id) const;
    // The list field an indexed-value operation addresses, or null.
    MultiField* IndexedList(std::uint32_t id, int inField) const;

    node::Ptr<SingleNode> m_root;
    // Keyed by the whole 32-bit node ID. The registries hold no references:
    // the nodes are kept alive by their holders in the tree, and every
    // operation that changes the tree rebuilds the registries, so an entry
    // never outlives its node. (References held here would also break the
    // encode visit rule, which expects a node's reference count to equal the
    // number of places it stands in the tree.)
    std::map<std::uint32_t, SingleNode*> m_nodes;
    // While a stream is decoded, every node registered holds one extra
    // reference here: a later field in the same stream may replace the field
    // that held it, and a reference to its ID must not then find a freed node.
    // The decoding operation drops them when it ends and resyncs.
    class DecodingScope;
    int m_decoding = 0;
    std::vector<node::Ptr<SingleNode>> m_pins;
    std::multimap<std::uint32_t, UseRecord> m_uses;
    std::vector<Route> m_routes;
};
